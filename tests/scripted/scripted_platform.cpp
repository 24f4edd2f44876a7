// Scripted file dialog, and a window system that shows nothing, as when no display exists.
#include "tests/scripted/scripted_platform.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <thread>

#include "platform/file_chooser.h"
#include "platform/png_file.h"
#include "platform/translate.h"
#include "platform/window_system.h"

bool fileChooserAvailable() {
  return true;
}

FileChoice chooseBitmapFile(std::size_t longestPath) {
  if (scriptedChosenPath.empty() || scriptedChosenPath.size() > longestPath) {
    return FileChoice{false, ""};
  }
  return FileChoice{true, scriptedChosenPath};
}

// No window system, as on a machine without a display: nothing is shown, and the requests for
// the windows do nothing.
bool openWindows(const WindowImage *, const WindowImage &, WindowEventHandler) {
  return false;
}
void repaintWindow(ShownWindow) {}
void closeWindows() {}

// Unit tests write BMP files only; the PNG writer is the real backend's.
bool writePngFile(const char *, int, int, const std::uint8_t *) {
  errno = ENOTSUP;
  return false;
}

void startTranslation() {}
const char *translate(const char *english) {
  return english;
}
