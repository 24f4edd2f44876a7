// PNG files through libpng's simplified interface, which takes bottom-up BGR rows as they are.
#include "platform/png_file.h"

#include <png.h>

#include <cerrno>
#include <cstdio>

#include "common/output_file.h"

bool writePngFile(const char *path, int width, int height, const std::uint8_t *pixels) {
  std::FILE *file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_BGR;
  // A negative stride: the bottom row comes first in the buffer.
  errno = 0;
  const bool written =
      png_image_write_to_stdio(&image, file, 0, pixels, -3 * width, nullptr) != 0 &&
      std::fflush(file) == 0;
  const int error = errno != 0 ? errno : EIO;
  png_image_free(&image);
  return finishOutputFile(file, path, written, error);
}
