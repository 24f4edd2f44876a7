// The two headers of a BMP file as the program keeps them: the file header and the 40-byte
// information header of a device-independent bitmap, with the field names the format gives them.
#pragma once

#include <cstdint>

struct BmpFileHeader {
  std::uint16_t bfType;
  std::uint32_t bfSize;
  std::uint16_t bfReserved1;
  std::uint16_t bfReserved2;
  std::uint32_t bfOffBits;
};

// Laid out as stored in the file, so that a window system can take its address as its own.
#pragma pack(push, 2)
struct BmpInfoHeader {
  std::uint32_t biSize;
  std::int32_t biWidth;
  std::int32_t biHeight;
  std::uint16_t biPlanes;
  std::uint16_t biBitCount;
  std::uint32_t biCompression;
  std::uint32_t biSizeImage;
  std::int32_t biXPelsPerMeter;
  std::int32_t biYPelsPerMeter;
  std::uint32_t biClrUsed;
  std::uint32_t biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BmpInfoHeader) == 40);
