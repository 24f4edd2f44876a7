// Test text in a legacy character set, as a terminal in such a locale shows it.
#pragma once

#include <iconv.h>

#include <string>

// The UTF-8 text converted to the given iconv character set.
inline std::string converted(const std::string &utf8, const char *codeset) {
  iconv_t converter = iconv_open(codeset, "UTF-8");
  std::string in = utf8, out(utf8.size() * 2 + 16, '\0');
  char *inPointer = in.data(), *outPointer = out.data();
  size_t inLeft = in.size(), outLeft = out.size();
  iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
  iconv_close(converter);
  out.resize(out.size() - outLeft);
  return out;
}
