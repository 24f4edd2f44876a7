// Writing a picture as a PNG file, through the platform's PNG library.
#pragma once

#include <cstdint>

// Writes width x height pixels, given as bottom-up rows of exactly 3 * width bytes (blue, green,
// red), as an 8-bit grey PNG when every pixel is grey, else as an 8-bit RGB PNG. False with errno
// set when the file cannot be written; a partly written file is removed.
bool writePngFile(const char *path, int width, int height, const std::uint8_t *pixels);
