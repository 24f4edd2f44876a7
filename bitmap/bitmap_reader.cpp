// Reading 24-bit BMP files: every header field checked before the pixels are allocated.
#include "bitmap/bitmap_reader.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>
#include <utility>

#include "common/dib_row.h"
#include "common/dib_view.h"
#include "common/texts.h"
#include "common/utf8_path.h"
#include "platform/console.h"
#include "platform/file_chooser.h"
#include "platform/stream_offsets.h"
#include "platform/system_text.h"

char bitmapFilePath[kPathCapacity];

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

constexpr char kReadError[] = "ファイル読み込みのエラー\n";
constexpr char kPixelReadError[] = "ファイル(DIB部)読み込みのエラー\n";

std::uint16_t little16(const unsigned char *bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t little32(const unsigned char *bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Fields print as signed 32-bit decimals, as the listing has always shown them.
int asSigned(std::uint32_t value) {
  return static_cast<int>(value);
}

void listFileHeader(const BmpFileHeader &header) {
  consolePrintf("------ BITMAPFILEHEADER ------\n");
  consolePrintf("WORD  \t bfType      \t %04X ('%c%c') \n", header.bfType, header.bfType & 0xFF,
                header.bfType >> 8);
  consolePrintf("DWORD \t bfSize      \t %d(byte) \n", asSigned(header.bfSize));
  consolePrintf("WORD  \t bfReserved1 \t %d \n", header.bfReserved1);
  consolePrintf("WORD  \t bfReserved2 \t %d \n", header.bfReserved2);
  consolePrintf("DWORD \t bfOffBits   \t %d \n", asSigned(header.bfOffBits));
}

void listInfoHeader(const BmpInfoHeader &header) {
  listInfoHeaderStart(header);
  consolePrintf("DWORD \t biCompression   \t %d \n", asSigned(header.biCompression));
  consolePrintf("DWORD \t biSizeImage     \t %d \n", asSigned(header.biSizeImage));
  consolePrintf("LONG  \t biXPelsPerMeter \t %d \n", static_cast<int>(header.biXPelsPerMeter));
  consolePrintf("LONG  \t biYPelsPerMeter \t %d \n", static_cast<int>(header.biYPelsPerMeter));
  consolePrintf("DWORD \t biClrUsed       \t %d \n", asSigned(header.biClrUsed));
  consolePrintf("DWORD \t biClrImportant  \t %d \n", asSigned(header.biClrImportant));
}

BmpInfoHeader decodeInfoHeader(const unsigned char *bytes) {
  BmpInfoHeader header;
  header.biSize = little32(bytes + 0);
  header.biWidth = static_cast<std::int32_t>(little32(bytes + 4));
  header.biHeight = static_cast<std::int32_t>(little32(bytes + 8));
  header.biPlanes = little16(bytes + 12);
  header.biBitCount = little16(bytes + 14);
  header.biCompression = little32(bytes + 16);
  header.biSizeImage = little32(bytes + 20);
  header.biXPelsPerMeter = static_cast<std::int32_t>(little32(bytes + 24));
  header.biYPelsPerMeter = static_cast<std::int32_t>(little32(bytes + 28));
  header.biClrUsed = little32(bytes + 32);
  header.biClrImportant = little32(bytes + 36);
  return header;
}

// The message that refuses a picture of this information header, or null when it is taken.
const char *refusalOf(const BmpInfoHeader &header) {
  if (header.biBitCount != 24) return "本プログラムは24bitカラーのBMPファイルのみ扱えます\n";
  if (header.biSize < kInfoHeaderSize) return "この形式のBMPファイルは扱えません\n";
  if (header.biCompression != 0) return "圧縮されたBMPファイルは扱えません\n";
  // A top-down height of -2^31 has no positive counterpart: its rows could not be counted.
  if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN) {
    return "画像の幅または高さが不正です\n";
  }
  return nullptr;
}

// Where the pixel rows lie, once the headers are taken; fault set when the file cannot hold them.
void placePixels(BmpParse &parse, long long fileLength) {
  const BmpInfoHeader &header = parse.infoHeader;
  // Sizes in 64 bits: no product of header fields can overflow them.
  parse.stride = dibRowBytes(static_cast<std::uint64_t>(header.biWidth));
  parse.topDown = header.biHeight < 0;
  parse.rows = parse.topDown ? -static_cast<std::int64_t>(header.biHeight)
                             : static_cast<std::uint64_t>(header.biHeight);
  // Pixels start at bfOffBits, unless that points into the headers.
  const std::uint64_t headersEnd = kFileHeaderSize + static_cast<std::uint64_t>(header.biSize);
  parse.pixelOffset =
      parse.fileHeader.bfOffBits >= headersEnd ? parse.fileHeader.bfOffBits : headersEnd;
  const std::uint64_t size = parse.stride * parse.rows;
  // A stream whose length cannot be told cannot be checked to hold the pixels it claims.
  if (fileLength < 0) {
    parse.fault = BmpFault::lengthUnknown;
    return;
  }
  const auto length = static_cast<std::uint64_t>(fileLength);
  if (parse.pixelOffset > length || size > length - parse.pixelOffset) {
    parse.fault = BmpFault::pixelsOutside;
  }
}

// Turns top-down rows bottom-up, in place.
void flipRows(std::uint8_t *pixels, std::uint64_t stride, std::uint64_t rows) {
  for (std::uint64_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
    std::uint8_t *a = pixels + top * stride;
    std::uint8_t *b = pixels + bottom * stride;
    for (std::uint64_t i = 0; i < stride; ++i) std::swap(a[i], b[i]);
  }
}

// Lists what the parse found, as far as it went, and says why it stopped; true when the picture
// is taken.
bool listParse(const BmpParse &parse, const char *path) {
  if (parse.fault == BmpFault::shortFileHeader) {
    consolePrintf("%s", kReadError);
    return false;
  }
  if (parse.fault == BmpFault::notBitmap) {
    consolePrintf("%s はDIBフォーマットではありません", consoleShown(path).c_str());
    return false;
  }
  listFileHeader(parse.fileHeader);
  if (parse.fault == BmpFault::shortInfoHeader) {
    consolePrintf("%s", kReadError);
    return false;
  }
  listInfoHeader(parse.infoHeader);
  if (parse.fault == BmpFault::refused) {
    if (const char *refusal = refusalOf(parse.infoHeader)) consolePrintf("%s", refusal);
    // The first four bytes of a 12-byte OS/2 header are its size; the rest is not what the
    // refusal above read it as.
    if (parse.infoHeader.biSize == 12)
      consoleErrorf("bmpspectrum: %s: OS/2 bitmap header not supported\n", path);
    return false;
  }
  if (parse.fault == BmpFault::lengthUnknown) {
    consolePrintf("%s", kReadError);
    return false;
  }
  if (parse.fault == BmpFault::pixelsOutside) {
    consolePrintf("%s", kPixelReadError);
    return false;
  }
  return true;
}

// Reads the pixel rows the parse placed into sourceView, bottom-up; false after the message when
// they cannot be read or memory runs short.
bool fillSourceView(std::FILE *file, const BmpParse &parse) {
  const std::uint64_t size = parse.stride * parse.rows;
  if (!seekStream(file, parse.pixelOffset)) {
    consolePrintf("%s", kPixelReadError);
    return false;
  }
  if (!allocatePixels(sourceView, size)) {
    consolePrintf("%s", kOutOfMemory);
    return false;
  }
  if (std::fread(sourceView.pixels, 1, size, file) != size) {
    consolePrintf("%s", kPixelReadError);
    releasePixels(sourceView);
    return false;
  }
  sourceView.header = parse.infoHeader;
  if (parse.topDown) {
    flipRows(sourceView.pixels, parse.stride, parse.rows);
    sourceView.header.biHeight = static_cast<std::int32_t>(parse.rows);
  }
  return true;
}

}  // namespace

void listInfoHeaderStart(const BmpInfoHeader &header) {
  consolePrintf("------ BITMAPINFOHEADER ------\n");
  consolePrintf("DWORD \t biSize          \t %d \n", asSigned(header.biSize));
  consolePrintf("LONG  \t biWidth         \t %d \n", static_cast<int>(header.biWidth));
  consolePrintf("LONG  \t biHeight        \t %d \n", static_cast<int>(header.biHeight));
  consolePrintf("WORD  \t biPlanes        \t %d \n", header.biPlanes);
  consolePrintf("WORD  \t biBitCount      \t %d \n", header.biBitCount);
}

BmpParse parseBitmap(std::span<const std::uint8_t> headers, long long fileLength) {
  BmpParse parse{};
  if (headers.size() < kFileHeaderSize) {
    parse.fault = BmpFault::shortFileHeader;
    return parse;
  }
  const unsigned char *bytes = headers.data();
  parse.fileHeader.bfType = little16(bytes + 0);
  parse.fileHeader.bfSize = little32(bytes + 2);
  parse.fileHeader.bfReserved1 = little16(bytes + 6);
  parse.fileHeader.bfReserved2 = little16(bytes + 8);
  parse.fileHeader.bfOffBits = little32(bytes + 10);
  if (parse.fileHeader.bfType != 0x4D42) {
    parse.fault = BmpFault::notBitmap;
  } else if (headers.size() < kFileHeaderSize + kInfoHeaderSize) {
    parse.fault = BmpFault::shortInfoHeader;
  } else {
    parse.infoHeader = decodeInfoHeader(bytes + kFileHeaderSize);
    if (refusalOf(parse.infoHeader) != nullptr) {
      parse.fault = BmpFault::refused;
    } else {
      placePixels(parse, fileLength);
    }
  }
  return parse;
}

bool readBitmapStream(std::FILE *file, const char *path) {
  std::uint8_t headers[kFileHeaderSize + kInfoHeaderSize];
  const std::size_t got = std::fread(headers, 1, sizeof headers, file);
  const BmpParse parse = parseBitmap(std::span(headers, got), streamLength(file));
  if (parse.fault > BmpFault::shortInfoHeader) sourceView.header = parse.infoHeader;
  return listParse(parse, path) && fillSourceView(file, parse);
}

bool readBitmapFile(bool *cancelled) {
  const FileChoice choice = chooseBitmapFile(sizeof bitmapFilePath - 1);
  *cancelled = !choice.chosen;
  // The chooser takes no longer path; this keeps a faulty one from overrunning the buffer.
  if (!choice.chosen || choice.path.size() >= sizeof bitmapFilePath) return false;
  std::memcpy(bitmapFilePath, choice.path.c_str(), choice.path.size() + 1);
  return readChosenBitmap();
}

bool setBitmapFilePath(const char *path) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(pathFromUtf8(path), error);
  if (error) full = pathFromUtf8(path);
  const std::string text = utf8FromPath(full.lexically_normal());
  if (text.size() >= sizeof bitmapFilePath) return false;
  std::memcpy(bitmapFilePath, text.c_str(), text.size() + 1);
  return true;
}

bool readChosenBitmap() {
  consolePrintf("file name [%s]\n", consoleShown(bitmapFilePath).c_str());
  // Only a regular file is opened: a FIFO would block the open, and a pipe cannot be measured.
  std::error_code error;
  const auto status = std::filesystem::status(pathFromUtf8(bitmapFilePath), error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    consolePrintf("%s", kReadError);
    consoleErrorf("bmpspectrum: %s: not a regular file\n",
                  consoleShown(bitmapFilePath, true).c_str());
    return false;
  }
  // Closed once read: the picture lives in sourceView, and nothing reads the file again.
  std::FILE *file = openFile(bitmapFilePath, "rb");
  if (file == nullptr) {
    const int reason = errno;
    consolePrintf("%s", kReadError);
    consoleErrorf("bmpspectrum: %s: %s\n", consoleShown(bitmapFilePath, true).c_str(),
                  std::strerror(reason));
    return false;
  }
  const bool read = readBitmapStream(file, bitmapFilePath);
  std::fclose(file);
  return read;
}
