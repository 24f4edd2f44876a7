// Choosing a 24-bit BMP file, reading it into sourceView and listing its two headers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "common/bmp_headers.h"

// The chosen file's full path; empty until a file is chosen.
// Room for the longest path Linux takes (PATH_MAX, its end included), which also holds any
// Windows path the open dialog or a command line gives in practice.
constexpr int kPathCapacity = 4096;
extern char bitmapFilePath[kPathCapacity];

// Lets the user choose a file and reads it into sourceView. On failure a message has been
// printed, except when the user cancelled the choice: *cancelled is then set.
bool readBitmapFile(bool *cancelled);

// Takes the named file as the chosen one: its full path into bitmapFilePath. False when the
// full path does not fit there.
bool setBitmapFilePath(const char *path);

// Reads the file named by bitmapFilePath into sourceView, listing it as readBitmapFile does.
bool readChosenBitmap();

// Lists the information header's title and its first five fields, as both headers start.
void listInfoHeaderStart(const BmpInfoHeader &header);

// Why parsing stopped, in the order the checks are made: each fault lists what came before it.
enum class BmpFault {
  none,
  shortFileHeader,
  notBitmap,
  shortInfoHeader,
  refused,
  lengthUnknown,
  pixelsOutside
};

// What the start of a BMP file says: its headers, and where its pixel rows lie.
struct BmpParse {
  BmpFault fault;
  BmpFileHeader fileHeader;                 // read unless the file is too short for it
  BmpInfoHeader infoHeader;                 // read when the fault is later than shortInfoHeader
  std::uint64_t pixelOffset, stride, rows;  // when the fault is none
  bool topDown;
};

// Parses the first bytes of a BMP file (its 54 bytes of headers, or fewer when it is shorter) and
// the file's length (negative when it cannot be told), touching nothing else.
BmpParse parseBitmap(std::span<const std::uint8_t> headers, long long fileLength);

// Reads and lists an opened BMP file (the path names it in messages) into sourceView.
bool readBitmapStream(std::FILE *file, const char *path);
