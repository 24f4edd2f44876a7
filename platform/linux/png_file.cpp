// PNG files through libpng: 8-bit grey when every pixel is grey, else 8-bit RGB, at a fast level.
#include "platform/png_file.h"

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "common/output_file.h"
#include "platform/grey_pixels.h"

namespace {

// One picture row as PNG stores it: a grey byte a pixel, or red, green, blue.
void pngRow(const std::uint8_t *from, int width, bool grey, std::uint8_t *to) {
  for (int x = 0; x < width; ++x, from += 3) {
    if (grey) {
      *to++ = from[0];
    } else {
      *to++ = from[2];
      *to++ = from[1];
      *to++ = from[0];
    }
  }
}

// libpng reports failures by longjmp; nothing with a destructor lives in this frame. The rows go
// top-down, each through row, which holds one.
bool encode(std::FILE *file, int width, int height, bool grey, const std::uint8_t *pixels,
            std::uint8_t *row) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // The spectrum is mostly dark noise: deflate's search for matches buys nothing on it, while
  // runs of one byte after the Up filter are what it holds. Run-length matches at level 1 write
  // smaller files than the default level in a fraction of its time.
  png_set_compression_level(png, 1);
  png_set_compression_strategy(png, Z_RLE);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_write_info(png, info);
  for (int y = height - 1; y >= 0; --y) {
    pngRow(pixels + static_cast<std::size_t>(y) * 3 * width, width, grey, row);
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool writePngFile(const char *path, int width, int height, const std::uint8_t *pixels) {
  std::FILE *file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool grey =
      everyPixelGrey(pixels, static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::vector<std::uint8_t> row(3 * static_cast<std::size_t>(width));
  errno = 0;
  const bool written =
      encode(file, width, height, grey, pixels, row.data()) && std::fflush(file) == 0;
  const int error = errno != 0 ? errno : EIO;
  return finishOutputFile(file, path, written, error);
}
