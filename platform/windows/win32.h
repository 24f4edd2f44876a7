// The Windows API that the program calls: windows, painting, the open dialog and thread start.
#pragma once

// No min and max macros (the core uses std::min), and only the parts of the API it needs.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <process.h>
#include <windows.h>
