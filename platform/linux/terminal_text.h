// Conversion of the program's UTF-8 texts into the terminal's character set.
#pragma once

#include <string>

// The text in the character set of the locale's LC_CTYPE: unchanged for UTF-8 and ASCII
// locales, converted for legacy sets such as Shift_JIS; bytes that are not UTF-8, and characters
// the set lacks, pass through unchanged.
std::string toTerminalText(const char *utf8);
