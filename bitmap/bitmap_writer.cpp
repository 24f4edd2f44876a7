// The 24-bit BMP writer: both headers, then the rows padded to multiples of 4 bytes.
#include "bitmap/bitmap_writer.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "common/dib_row.h"
#include "common/output_file.h"
#include "platform/system_text.h"

namespace {

void putLittle(std::string &bytes, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

bool writeBitmapFile(const char *path, int width, int height, const std::uint8_t *pixels) {
  const size_t rowBytes = 3 * static_cast<size_t>(width);
  const auto stride = static_cast<size_t>(dibRowBytes(static_cast<std::uint64_t>(width)));
  const size_t imageBytes = stride * static_cast<size_t>(height);

  std::string bytes;
  bytes.reserve(54 + imageBytes);
  putLittle(bytes, 0x4D42, 2);  // "BM"
  putLittle(bytes, static_cast<std::uint32_t>(54 + imageBytes), 4);
  putLittle(bytes, 0, 2);
  putLittle(bytes, 0, 2);
  putLittle(bytes, 54, 4);  // the pixels follow the two headers
  putLittle(bytes, 40, 4);
  putLittle(bytes, static_cast<std::uint32_t>(width), 4);
  putLittle(bytes, static_cast<std::uint32_t>(height), 4);  // positive: bottom-up rows
  putLittle(bytes, 1, 2);
  putLittle(bytes, 24, 2);
  putLittle(bytes, 0, 4);  // uncompressed
  putLittle(bytes, static_cast<std::uint32_t>(imageBytes), 4);
  putLittle(bytes, 0, 4);  // no resolution: spectrum pixels have no physical size
  putLittle(bytes, 0, 4);
  putLittle(bytes, 0, 4);  // no colour table
  putLittle(bytes, 0, 4);
  for (int row = 0; row < height; ++row) {
    bytes.append(reinterpret_cast<const char *>(pixels) + row * rowBytes, rowBytes);
    bytes.append(stride - rowBytes, '\0');
  }

  std::FILE *file = openFile(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return finishOutputFile(file, path, written, errno);
}
