// Placing the spectrum window beside the picture window.
#include "platform/window_placement.h"

#include <algorithm>

void placeBeside(const ScreenRect &placed, int width, int height, int screenWidth, int screenHeight,
                 int *x, int *y) {
  if (placed.right + width <= screenWidth) {
    *x = placed.right;
    *y = placed.top;
  } else if (placed.bottom + height <= screenHeight) {
    *x = placed.left;
    *y = placed.bottom;
  } else {
    // Neither fits: a window placed where part of it is off the screen could not be seen whole,
    // so it moves left and up onto the screen, its top-left corner never off it.
    *x = std::max(0, std::min(placed.right, screenWidth - width));
    *y = std::max(0, std::min(placed.top, screenHeight - height));
  }
}
