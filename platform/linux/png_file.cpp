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

// The rows top-down, as PNG stores them: one grey byte a pixel, or red, green, blue.
std::vector<std::uint8_t> pngRows(int width, int height, const std::uint8_t *pixels, bool grey) {
  const std::size_t pixelBytes = grey ? 1 : 3;
  const std::size_t rowBytes = pixelBytes * static_cast<std::size_t>(width);
  std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const std::uint8_t *from = pixels + static_cast<std::size_t>(height - 1 - y) * 3 * width;
    std::uint8_t *to = rows.data() + static_cast<std::size_t>(y) * rowBytes;
    for (int x = 0; x < width; ++x, from += 3, to += pixelBytes) {
      if (grey) {
        to[0] = from[0];
      } else {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
      }
    }
  }
  return rows;
}

// libpng reports failures by longjmp; nothing with a destructor lives in this frame.
bool encode(std::FILE *file, int width, int height, bool grey, const std::uint8_t *rows) {
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
  const std::size_t rowBytes = (grey ? 1u : 3u) * static_cast<std::size_t>(width);
  for (int y = 0; y < height; ++y) {
    png_write_row(png, rows + static_cast<std::size_t>(y) * rowBytes);
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
  const std::vector<std::uint8_t> rows = pngRows(width, height, pixels, grey);
  errno = 0;
  const bool written = encode(file, width, height, grey, rows.data()) && std::fflush(file) == 0;
  const int error = errno != 0 ? errno : EIO;
  return finishOutputFile(file, path, written, error);
}
