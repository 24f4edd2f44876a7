// Arguments and file names are bytes on Linux: the program's UTF-8 passes through unchanged.
#include "platform/system_text.h"

char **utf8Arguments(int, char **argv) {
  return argv;
}

std::FILE *openFile(const char *utf8Path, const char *mode) {
  return std::fopen(utf8Path, mode);
}
