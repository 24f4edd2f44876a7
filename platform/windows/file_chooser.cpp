// The open dialog is the system's own, always there to be shown.
#include "platform/file_chooser.h"

bool fileChooserAvailable() {
  return true;
}
