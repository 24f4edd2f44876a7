// The BMP reader run on bytes made by a test, as though they were a file on disk.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bitmap/bitmap_reader.h"
#include "common/dib_view.h"
#include "tests/scripted/scripted_platform.h"

struct ReadResult {
  bool ok;
  std::string output;  // what the reader printed
};

// Reads the bytes from a fresh scripted console and an empty sourceView. `read` stands in for
// readBitmapStream, so that a test can measure the read alone.
inline ReadResult readBytes(
    const std::string &bytes, const char *path = "/pictures/a.bmp",
    const std::function<bool(std::FILE *, const char *)> &read = readBitmapStream) {
  resetScriptedPlatform();
  std::free(sourceView.pixels);
  sourceView = DibView{};
  std::string copy = bytes;
  // fmemopen refuses an empty buffer; /dev/null is the empty file.
  std::FILE *file =
      copy.empty() ? std::fopen("/dev/null", "rb") : fmemopen(copy.data(), copy.size(), "rb");
  if (file == nullptr) return {false, "(the bytes could not be opened as a file)"};
  const bool ok = read(file, path);
  std::fclose(file);
  return {ok, scriptedOutput};
}
