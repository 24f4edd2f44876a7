// The open-file dialog: the common dialog library's GetOpenFileNameA.
#pragma once

// The dialog's header needs the window types first.
#include "win32.h"
// clang-format off
#include <commdlg.h>
// clang-format on
