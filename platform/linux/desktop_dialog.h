// The desktop's graphical open dialog, tried before the terminal chooser.
#pragma once

#include "file_dialog.h"

enum class DesktopDialogResult { chosen, cancelled, unavailable };

// Shows the desktop's open dialog when a display can be opened.
DesktopDialogResult desktopChooseFile(OPENFILENAMEA *dialog);
