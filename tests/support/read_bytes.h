// The BMP reader run on bytes made by a test, through a stream over them.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "bitmap/bitmap_reader.h"
#include "common/dib_view.h"
#include "tests/scripted/scripted_platform.h"
#include "tests/support/temp_folder.h"

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
  releasePixels(sourceView);
  sourceView = DibView{};
#ifdef _WIN32
  // The Windows C runtime has no streams over memory: a file in the test's own folder.
  const std::string name = testPath("read_bytes.bmp");
  std::FILE *out = std::fopen(name.c_str(), "wb");
  if (out == nullptr) return {false, "(the bytes could not be written to a file)"};
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written) return {false, "(the bytes could not be written)"};
  std::FILE *file = std::fopen(name.c_str(), "rb");
#else
  // A stream over the bytes in memory, which seeks and tells its length as a file does.
  std::string copy = bytes.empty() ? std::string(1, '\0') : bytes;
  std::FILE *file = fmemopen(copy.data(), bytes.size(), "rb");
#endif
  if (file == nullptr) return {false, "(the bytes could not be opened as a stream)"};
  const bool ok = read(file, path);
  std::fclose(file);
  return {ok, scriptedOutput};
}
