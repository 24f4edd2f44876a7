// Placeholder until the desktop dialog lands: no graphical dialog is available.
#include "platform/linux/desktop_dialog.h"

DesktopDialogResult desktopChooseFile(OPENFILENAMEA *) { return DesktopDialogResult::unavailable; }
