// The wide command line and wide file names, converted to and from the program's UTF-8.
#include "platform/system_text.h"

#include <string>
#include <vector>

#include "platform/windows/console_text.h"
#include "win32.h"
// clang-format off
#include <shellapi.h>
// clang-format on

namespace {

std::string utf8Of(const wchar_t *wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
  text.pop_back();
  return text;
}

}  // namespace

char **utf8Arguments(int argc, char **argv) {
  int count = 0;
  LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr || count != argc) {
    if (wide != nullptr) LocalFree(wide);
    return argv;
  }
  // Kept for the life of the program, as argv is.
  static std::vector<std::string> texts;
  static std::vector<char *> pointers;
  for (int i = 0; i < count; ++i) {
    // Windows programs take /? for their help.
    texts.push_back(i > 0 && std::wstring(wide[i]) == L"/?" ? "--help" : utf8Of(wide[i]));
  }
  LocalFree(wide);
  for (std::string &text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers.data();
}

std::FILE *openFile(const char *utf8Path, const char *mode) {
  return _wfopen(toConsoleText(utf8Path).c_str(), toConsoleText(mode).c_str());
}
