// Conversion of the program's UTF-8 texts into the terminal's character set.
#pragma once

#include <string>

// The text in the character set of the locale's LC_CTYPE: unchanged for UTF-8 and ASCII
// locales (and whenever conversion fails), converted for legacy sets such as Shift_JIS.
std::string toTerminalText(const char *utf8);
