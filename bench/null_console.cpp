// A console that formats and flushes every write like the real one, into /dev/null.
#include <cstdarg>
#include <cstdio>

#include "platform/console.h"

namespace {

std::FILE *discarded() {
  static std::FILE *stream = std::fopen("/dev/null", "w");
  return stream;
}

}  // namespace

void consolePrintf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(discarded(), format, arguments);
  va_end(arguments);
  std::fflush(discarded());
}

void consoleErrorf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(discarded(), format, arguments);
  va_end(arguments);
  std::fflush(discarded());
}

void consolePuts(const char *line) {
  std::fputs(line, discarded());
  std::fputc('\n', discarded());
  std::fflush(discarded());
}

std::string consoleShown(const char *text, bool) {
  return text;
}

int _getch() {
  return -1;
}

void queueWindowKey(int) {}
