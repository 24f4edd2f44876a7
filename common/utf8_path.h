// Paths held as UTF-8 text, turned into filesystem paths and back without the system's code page
// in between (on Windows that would be the ANSI one).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

inline std::filesystem::path pathFromUtf8(const char *text) {
  return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t *>(text)));
}

inline std::string utf8FromPath(const std::filesystem::path &path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
