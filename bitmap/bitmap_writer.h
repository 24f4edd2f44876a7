// Writing a picture as a 24-bit BMP file that this program and other tools can read.
#pragma once

#include <cstdint>

// Writes width x height pixels, given as bottom-up rows of exactly 3 * width bytes (blue, green,
// red), as an uncompressed 24-bit BMP. False with errno set when the file cannot be written;
// a partly written file is removed.
bool writeBitmapFile(const char *path, int width, int height, const std::uint8_t *pixels);
