// Console text on standard output: UTF-16 to a console, text-mode bytes to a file or pipe.
#include "platform/console.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/format_text.h"
#include "platform/windows/console_text.h"
// clang-format off
#include <conio.h>
// clang-format on
#include "win32.h"

namespace {

// The last byte written to standard output; -1 before the first.
int lastOutputByte = -1;
// Whether a write to standard output has failed.
bool outputFailed = false;

// Hands the whole text to write, which may take only part of it per call; false on a failure.
template <typename Text, typename Write>
bool writeWhole(const Text &text, Write write) {
  for (size_t done = 0; done < text.size();) {
    DWORD wrote = 0;
    if (!write(text.data() + done, static_cast<DWORD>(text.size() - done), &wrote) || wrote == 0) {
      return false;
    }
    done += wrote;
  }
  return true;
}

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
    writeWhole(wide, [&](const wchar_t *from, DWORD count, DWORD *wrote) {
      return WriteConsoleW(output, from, count, wrote, nullptr);
    });
    return;
  }
  const std::string bytes = toRedirectedText(utf8, redirectedCodePage(GetConsoleOutputCP()));
  const bool whole = writeWhole(bytes, [&](const char *from, DWORD count, DWORD *wrote) {
    return WriteFile(output, from, count, wrote, nullptr);
  });
  if (!whole && destination == STD_OUTPUT_HANDLE) outputFailed = true;
}

}  // namespace

void consolePrintf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  writeText(formatTextV(format, arguments));
  va_end(arguments);
}

void consoleErrorf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  writeText(formatTextV(format, arguments), STD_ERROR_HANDLE);
  va_end(arguments);
}

// Only a console gets the line ended: a file or a pipe keeps the transcript byte for byte.
bool consoleFinish() {
  DWORD mode;
  if (lastOutputByte != -1 && lastOutputByte != '\n' &&
      GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
    writeText("\n");
  }
  if (!outputFailed) return true;
  consoleErrorf("bmpspectrum: write error on standard output\n");
  return false;
}

std::string consoleShown(const char *text, bool onError) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(onError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), &mode)
             ? withoutControls(text)
             : text;
}

void consolePuts(const char *line) {
  writeText(std::string(line) + "\n");
}

// The key goes into the console's input as a key press, where _getch reads it.
void queueWindowKey(int key) {
  HANDLE input =
      CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return;
  INPUT_RECORD press{};
  press.EventType = KEY_EVENT;
  press.Event.KeyEvent.bKeyDown = TRUE;
  press.Event.KeyEvent.wRepeatCount = 1;
  press.Event.KeyEvent.uChar.UnicodeChar = static_cast<WCHAR>(key);
  INPUT_RECORD release = press;
  release.Event.KeyEvent.bKeyDown = FALSE;
  const INPUT_RECORD records[2] = {press, release};
  DWORD written = 0;
  WriteConsoleInputW(input, records, 2, &written);
  CloseHandle(input);
}

void consoleLinger(int status) {
  DWORD processes[2];
  // Only this process on the console: it was made for the program and goes with it.
  if (status == 0 || GetConsoleProcessList(processes, 2) != 1) return;
  consoleErrorf("Press a key to close this window.\n");
  _getch();
}
