// The display thread: two windows showing the picture and its spectrum, painted from their records.
#pragma once

#include <atomic>

#include "win32.h"

// Set to 1 by the display thread once both windows exist and their handles are stored.
extern std::atomic<int> windowsReady;
// The picture window, for the close request at the end; null until the display thread sets it.
extern HWND pictureWindow;

// Starts the display thread and returns once both windows exist; returns at once when the
// window class cannot be registered or the thread cannot start.
void startDisplay(int width, int height);
void displayThreadMain(void *);
LRESULT displayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
