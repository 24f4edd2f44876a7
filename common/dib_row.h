// The length of one stored row of a 24-bit device-independent bitmap.
#pragma once

#include <cstdint>

// Three bytes a pixel, the row padded with zero bytes to a multiple of four. In 64 bits, so that
// no width a header can claim overflows it.
constexpr std::uint64_t dibRowBytes(std::uint64_t width) {
  return (3 * width + 3) / 4 * 4;
}
