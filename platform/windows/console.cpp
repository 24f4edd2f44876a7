// Console text on standard output: UTF-16 to a console, text-mode bytes to a file or pipe.
#include "platform/console.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/windows/console_text.h"
#include "win32.h"

namespace {

// The last byte written to standard output; -1 before the first.
int lastOutputByte = -1;

// Each text reaches its destination (standard output or standard error) whole and at once: no
// buffer lies in between.
void writeText(const std::string &utf8, DWORD destination = STD_OUTPUT_HANDLE) {
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  HANDLE output = GetStdHandle(destination);
  if (output == nullptr || output == INVALID_HANDLE_VALUE || utf8.empty()) return;
  if (destination == STD_OUTPUT_HANDLE) lastOutputByte = static_cast<unsigned char>(utf8.back());

  DWORD mode;
  if (GetConsoleMode(output, &mode)) {
    const std::wstring wide = toConsoleText(utf8);
    for (size_t done = 0; done < wide.size();) {
      DWORD wrote = 0;
      if (!WriteConsoleW(output, wide.data() + done, static_cast<DWORD>(wide.size() - done), &wrote,
                         nullptr) ||
          wrote == 0) {
        return;
      }
      done += wrote;
    }
    return;
  }
  const std::string bytes = toRedirectedText(utf8, redirectedCodePage(GetConsoleOutputCP()));
  for (size_t done = 0; done < bytes.size();) {
    DWORD wrote = 0;
    if (!WriteFile(output, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote,
                   nullptr) ||
        wrote == 0) {
      return;
    }
    done += wrote;
  }
}

}  // namespace

namespace {

std::string formatted(const char *format, va_list arguments) {
  va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, arguments);
  text.pop_back();
  return text;
}

}  // namespace

void consolePrintf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  writeText(formatted(format, arguments));
  va_end(arguments);
}

void consoleErrorf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  writeText(formatted(format, arguments), STD_ERROR_HANDLE);
  va_end(arguments);
}

// Only a console gets the line ended: a file or a pipe keeps the transcript byte for byte.
void consoleFinish() {
  DWORD mode;
  if (lastOutputByte != -1 && lastOutputByte != '\n' &&
      GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
    writeText("\n");
  }
}

void consolePuts(const char *line) {
  writeText(std::string(line) + "\n");
}
