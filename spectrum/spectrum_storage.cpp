// Setting up the spectrum's pixels and working planes for the loaded picture.
#include <algorithm>
#include <cstdint>

#include "common/dib_view.h"
#include "spectrum/fft1d.h"
#include "spectrum/spectrum.h"

int powerOfTwoFloor(int n) {
  return powerOfTwo(floorLog2(n));
}

SpectrumStorage setUpSpectrumStorage() {
  spectrumView.header = sourceView.header;
  // Pictures beyond the planes' capacity are analysed in their top-left corner.
  const int width = std::min(powerOfTwoFloor(sourceView.header.biWidth), kPlaneCapacity);
  const int height = std::min(powerOfTwoFloor(sourceView.header.biHeight), kPlaneCapacity);
  spectrumView.header.biWidth = width;
  spectrumView.header.biHeight = height;
  spectrumView.header.biSizeImage = static_cast<std::uint32_t>(width * height * 3);
  if (!allocatePixels(spectrumView, spectrumView.header.biSizeImage)) {
    return SpectrumStorage::noPixels;
  }
  if (!allocatePlane(realPlane, height) || !allocatePlane(imagPlane, height)) {
    return SpectrumStorage::noRealOrImagPlane;
  }
  if (!allocatePlane(magnitudePlane, height)) return SpectrumStorage::noMagnitudePlane;
  return SpectrumStorage::ready;
}
