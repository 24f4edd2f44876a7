// The two display records, the working planes and the lock that guards the spectrum pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "common/bmp_headers.h"

// A picture as the display paints it: bottom-up rows of blue, green, red bytes.
struct DibView {
  BmpInfoHeader header;
  std::uint8_t *pixels;
};

extern DibView sourceView;    // the loaded picture, rows padded to 4 bytes
extern DibView spectrumView;  // W2 x H2, rows of exactly 3 * W2 bytes

// Points view.pixels at a zero-filled block of bytes bytes from the same large pages as the
// planes, after giving back the block it had from here; false, with view.pixels null, when
// memory runs out. A picture of megabytes would otherwise take a page fault every 4 KB as it is
// first written.
bool allocatePixels(DibView &view, std::size_t bytes);
// Gives back the block allocatePixels gave the view; its pixels are null after, unless they were
// pointed elsewhere since.
void releasePixels(DibView &view);

// Held while the spectrum pixels are rewritten and while a window is painted, so that
// painting never shows a half-written buffer.
extern std::mutex spectrumPixelsLock;

constexpr int kPlaneCapacity = 1024;

// Row y of each plane is null or a zero-filled row of kPlaneCapacity floats.
extern float *realPlane[kPlaneCapacity];
extern float *imagPlane[kPlaneCapacity];
extern float *magnitudePlane[kPlaneCapacity];

// Points rows 0 .. rows - 1 of one of the three planes at zero-filled rows, all from one block
// (its pages are touched only when the rows are written); false when memory runs out.
bool allocatePlane(float *(&plane)[kPlaneCapacity], int rows);
// Releases the rows of every plane that allocatePlane gave, and leaves every slot null.
void releasePlanes();
