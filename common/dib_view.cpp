// Storage for the display records and the working planes.
#include "common/dib_view.h"

DibView sourceView{};
DibView spectrumView{};
std::mutex spectrumPixelsLock;

float *realPlane[kPlaneCapacity];
float *imagPlane[kPlaneCapacity];
float *magnitudePlane[kPlaneCapacity];
