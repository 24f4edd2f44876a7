// Roots of unity with the same bits on every machine, for the tapers' own transforms.
#pragma once

struct UnitRoot {
  double re;
  double im;
};

// The finest turn unitRoot divides.
constexpr long kTurn = 8192;

// e^(2 pi i k / n), n a power of two up to kTurn, from basic operations in a fixed order: a C
// library's sin and cos may differ in the last bit from one system to another. Any thread.
UnitRoot unitRoot(long k, long n);
