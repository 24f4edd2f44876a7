// printf-style formatting into a string, for the console backends and the terminal chooser.
#pragma once

#include <cstdarg>
#include <string>

// The text that vsnprintf would write for the format and arguments; empty when it fails.
std::string formatTextV(const char *format, va_list arguments);
std::string formatText(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The text with each control character (below 0x20, and 0x7f) replaced by '?'.
std::string withoutControls(const char *text);
