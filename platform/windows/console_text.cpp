// Converting the program's UTF-8 texts for the console and for redirected output.
#include "platform/windows/console_text.h"

#include "win32.h"

namespace {

constexpr unsigned kJapaneseCodePage = 932;

}  // namespace

unsigned redirectedCodePage(unsigned consoleOutputCodePage) {
  return consoleOutputCodePage == kJapaneseCodePage ? kJapaneseCodePage : CP_UTF8;
}

std::wstring toConsoleText(const std::string &utf8) {
  if (utf8.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string toRedirectedText(const std::string &utf8, unsigned codePage) {
  std::string lines;
  lines.reserve(utf8.size() + utf8.size() / 8);
  for (char c : utf8) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  if (codePage == CP_UTF8 || lines.empty()) return lines;

  const std::wstring wide = toConsoleText(lines);
  const int length =
      WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(),
                          static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return lines;
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                      bytes.data(), length, nullptr, nullptr);
  return bytes;
}
