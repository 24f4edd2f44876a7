// Storage for the display records and the working planes.
#include "common/dib_view.h"

#include <cstdlib>

DibView sourceView{};
DibView spectrumView{};
std::mutex spectrumPixelsLock;

float *realPlane[kPlaneCapacity];
float *imagPlane[kPlaneCapacity];
float *magnitudePlane[kPlaneCapacity];

void releasePlanes() {
  for (int y = 0; y < kPlaneCapacity; ++y) {
    std::free(realPlane[y]);
    realPlane[y] = nullptr;
    std::free(imagPlane[y]);
    imagPlane[y] = nullptr;
    std::free(magnitudePlane[y]);
    magnitudePlane[y] = nullptr;
  }
}
