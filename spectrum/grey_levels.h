// Grey levels of picture pixels and grey bytes of spectrum values, the one place of each formula.
#pragma once

#include <cstdint>

// The sums the three bytes of a pixel can have: 0 to 3 * 255.
constexpr int kByteSums = 3 * 255 + 1;

// The sum of the three bytes of the pixel at `pixel`.
inline int byteSum(const std::uint8_t *pixel) {
  return pixel[0] + pixel[1] + pixel[2];
}

// The grey level of a picture pixel whose three bytes add up to sum: their mean as a float.
inline float greyOfByteSum(int sum) {
  return static_cast<float>(sum / 3.0);
}

// The grey byte of value v where the range starts at low and is span wide (span > 0): the low
// byte of (v - low) * 255 / span, truncated, all in double.
inline std::uint8_t greyByte(float v, double low, double span) {
  return static_cast<std::uint8_t>(static_cast<int>(((v - low) * 255) / span) & 0xff);
}
