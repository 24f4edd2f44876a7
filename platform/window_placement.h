// Where the spectrum window goes beside the picture window: one rule for every window system.
#pragma once

// A rectangle on the screen, in pixels: left and top inclusive, right and bottom exclusive.
struct ScreenRect {
  int left, top, right, bottom;
};

// The top-left corner of a window of the given outer size: directly right of the placed window
// when it fits there, else directly below it when it fits there, else as near to the right of it
// as keeps the window whole on the screen (over the placed window if need be).
void placeBeside(const ScreenRect &placed, int width, int height, int screenWidth, int screenHeight,
                 int *x, int *y);
