// Console text on standard output: UTF-16 to a console, text-mode bytes to a file or pipe.
#include "platform/console.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/windows/console_text.h"
#include "win32.h"

namespace {

// Each text reaches its destination whole and at once: no buffer lies in between.
void writeText(const std::string &utf8) {
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;

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

void consolePrintf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length > 0) {
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.pop_back();
    writeText(text);
  }
  va_end(arguments);
}

void consolePuts(const char *line) {
  writeText(std::string(line) + "\n");
}
