// A console for the fuzz checks: text into a string, no keys, a dialog that always cancels.
#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "platform/console.h"
#include "platform/file_chooser.h"
#include "tests/fuzz/fuzz_checks.h"

std::string fuzzConsoleOutput;

void consolePrintf(const char *format, ...) {
  char buffer[1024];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  // Every listing line and message is far shorter than the buffer; a cut line would show up
  // as a wrong listing rather than go unnoticed.
  if (length > 0) fuzzConsoleOutput.append(buffer, std::min<size_t>(length, sizeof buffer - 1));
}

// Reasons on standard error are no part of what the checks compare.
void consoleErrorf(const char *, ...) {}

void consolePuts(const char *line) {
  fuzzConsoleOutput += line;
  fuzzConsoleOutput += '\n';
}

std::string consoleShown(const char *text, bool) {
  return text;
}

int _getch() {
  return -1;
}

FileChoice chooseBitmapFile(std::size_t) {
  return FileChoice{false, ""};
}
