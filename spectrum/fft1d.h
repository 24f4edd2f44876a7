// fft1d: the in-place radix-2 transform of one complex row or column, and powerOfTwo.
#pragma once

// The value that stands for 2*pi in every twiddle angle: the double nearest to 6.283.
inline constexpr double kTwoPi = 6.283;

// 1 shifted left by n bits.
int powerOfTwo(int n);

// The whole binary logarithm of n >= 1: ln(n + 0.5) / ln 2 in double, truncated toward zero. The
// program has always sized its rectangle and counted the transform's stages through these
// floating-point logarithms, so every result stays what it was; the half keeps each power of two
// clear of the logarithms' rounding, which makes this floor(log2 n) for every int n >= 1 (as a
// run over all of them shows).
int floorLog2(int n);

// Contract:
// - In place: re[0..n-1] and im[0..n-1] hold the signal on entry and its transform on return.
// - n is a power of two from 1 to 1024; nothing else is accepted or checked.
// - The result is the unitary forward transform, (1/sqrt(n)) * sum_t x[t] * e^(-i*w*k*t/n),
//   in natural order (index 0 the DC term, n/2 the highest frequency, the upper half negative),
//   except that 6.283 stands for 2*pi inside each butterfly stage's twiddles.
// - Bit-exact: every stored value is a float, every expression between two stores is evaluated
//   in double in a fixed order, so the result is the same on every IEEE machine
//   (build without contraction and without fast-math).
// - Uses no tables and no memory beyond the two arrays; prints nothing; cannot fail.
void fft1d(float *re, float *im, int n);

// The reordering step of fft1d alone: moves every element of re and im (n a power of two up to
// 1024) to its bit-reversed index by exchanging one pair of index bits per level.
void bitPairReorder(float *re, float *im, int n);

// The twiddle pairs that fft1d's butterflies use, stage after stage: n/2 pairs for the first
// stage, then n/4, ..., 1; n - 1 pairs in all, from the same recurrence, rounded the same way.
// Every block of a stage starts the recurrence afresh, so one list per stage serves all blocks.
void fft1dTwiddles(int n, float *twiddleRe, float *twiddleIm);
