// Scripted file dialog and PNG writer for unit tests.
#include "tests/scripted/scripted_platform.h"

#include <cerrno>
#include <cstdint>

#include "platform/file_chooser.h"
#include "platform/png_file.h"
#include "platform/translate.h"

bool fileChooserAvailable() {
  return true;
}

FileChoice chooseBitmapFile(std::size_t longestPath) {
  if (scriptedChosenPath.empty() || scriptedChosenPath.size() > longestPath) {
    return FileChoice{false, ""};
  }
  return FileChoice{true, scriptedChosenPath};
}

// Unit tests write BMP files only; the PNG writer is the real backend's.
bool writePngFile(const char *, int, int, const std::uint8_t *) {
  errno = ENOTSUP;
  return false;
}

void startTranslation() {}
const char *translate(const char *english) {
  return english;
}
