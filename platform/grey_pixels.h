// Whether a picture of blue, green, red pixels is grey: what lets a PNG store one byte a pixel.
#pragma once

#include <cstddef>
#include <cstdint>

inline bool everyPixelGrey(const std::uint8_t *pixels, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, pixels += 3) {
    if (pixels[0] != pixels[1] || pixels[1] != pixels[2]) return false;
  }
  return true;
}
