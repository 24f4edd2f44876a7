// Small BMP files made by the tests: headers with chosen fields and pixels from a function.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

#include "common/dib_row.h"

struct BmpFields {
  std::uint16_t bfType = 0x4D42;
  std::int64_t bfSize = -1;  // -1: the real file size
  std::uint32_t bfOffBits = 54;
  std::uint32_t biSize = 40;
  std::int32_t biWidth = 1;
  std::int32_t biHeight = 1;
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 24;
  std::uint32_t biCompression = 0;
  std::int64_t biSizeImage = -1;  // -1: the real pixel size
};

inline void putLittle(std::string &bytes, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The padded bottom-up rows of a width x |height| picture; pixel(x, row) gives the blue, green
// and red bytes of the pixel in stored row `row` (0 = first row in the file).
inline std::string bmpPixels(int width, int rows,
                             const std::function<std::uint32_t(int, int)> &bgr) {
  std::string bytes;
  const auto stride = static_cast<int>(dibRowBytes(static_cast<std::uint64_t>(width)));
  for (int row = 0; row < rows; ++row) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t value = bgr(x, row);
      bytes += static_cast<char>(value & 0xFF);
      bytes += static_cast<char>((value >> 8) & 0xFF);
      bytes += static_cast<char>((value >> 16) & 0xFF);
    }
    bytes.append(static_cast<size_t>(stride - 3 * width), '\0');
  }
  return bytes;
}

// A whole file: file header, information header (padded to biSize when larger than 40),
// zero bytes up to bfOffBits, then the pixel bytes as given.
inline std::string bmpFile(const BmpFields &f, const std::string &pixels) {
  std::string info;
  putLittle(info, f.biSize, 4);
  putLittle(info, static_cast<std::uint32_t>(f.biWidth), 4);
  putLittle(info, static_cast<std::uint32_t>(f.biHeight), 4);
  putLittle(info, f.biPlanes, 2);
  putLittle(info, f.biBitCount, 2);
  putLittle(info, f.biCompression, 4);
  putLittle(info, f.biSizeImage < 0 ? pixels.size() : static_cast<std::uint64_t>(f.biSizeImage), 4);
  putLittle(info, 2835, 4);
  putLittle(info, 2835, 4);
  putLittle(info, 0, 4);
  putLittle(info, 0, 4);
  if (f.biSize > 40 && f.biSize < 4096) info.append(f.biSize - 40, '\0');
  std::string gap;
  if (f.bfOffBits > 14 + info.size() && f.bfOffBits < (1u << 20)) {
    gap.assign(f.bfOffBits - 14 - info.size(), '\x77');
  }
  const std::uint64_t total = 14 + info.size() + gap.size() + pixels.size();
  std::string file;
  putLittle(file, f.bfType, 2);
  putLittle(file, f.bfSize < 0 ? total : static_cast<std::uint64_t>(f.bfSize), 4);
  putLittle(file, 0, 2);
  putLittle(file, 0, 2);
  putLittle(file, f.bfOffBits, 4);
  return file + info + gap + pixels;
}

// A plain 24-bit picture, bottom-up, whose pixels come from bgr(x, row).
inline std::string bmpPicture(int width, int height,
                              const std::function<std::uint32_t(int, int)> &bgr) {
  BmpFields fields;
  fields.biWidth = width;
  fields.biHeight = height;
  return bmpFile(fields, bmpPixels(width, height, bgr));
}

inline void writeFile(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
