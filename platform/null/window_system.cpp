// No window system, as on a machine without a display: nothing is shown, and the requests for the
// windows do nothing. Unit tests link it in place of a real backend.
#include "platform/window_system.h"

bool openWindows(const WindowImage *, const WindowImage &, WindowEventHandler) {
  return false;
}

void repaintWindow(ShownWindow) {}

void closeWindows() {}

void setWindowTitle(ShownWindow, const char *) {}
