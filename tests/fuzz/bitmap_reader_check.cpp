// The reader's check: its outcome against what the input's own header fields call for.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bitmap/bitmap_reader.h"
#include "common/dib_row.h"
#include "common/dib_view.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/support/expected_texts.h"

namespace {

constexpr char kPath[] = "/fuzz/input.bmp";
constexpr char kNotDib[] = "/fuzz/input.bmp はDIBフォーマットではありません";
const char *const kMessages[] = {kReadError,  kNotDib,    kNot24Bit,   kOtherFormat,
                                 kCompressed, kBadExtent, kPixelError, kNoMemory};

std::uint32_t little(const std::uint8_t *bytes, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

// What a reader that follows the rules does with these bytes.
struct Expected {
  const char *message;  // nullptr: the picture is read
  int titles;           // header titles listed before the message
  std::uint64_t offset, stride, rows;
  bool topDown;
};

Expected refused(Expected e, const char *message) {
  e.message = message;
  return e;
}

Expected expectedOutcome(const std::uint8_t *data, std::size_t size) {
  Expected e{nullptr, 0, 0, 0, 0, false};
  if (size < 14) return refused(e, kReadError);
  if (little(data, 2) != 0x4D42) return refused(e, kNotDib);
  e.titles = 1;
  if (size < 54) return refused(e, kReadError);
  e.titles = 2;
  const std::uint32_t biSize = little(data + 14, 4);
  const auto width = static_cast<std::int32_t>(little(data + 18, 4));
  const auto height = static_cast<std::int32_t>(little(data + 22, 4));
  if (little(data + 28, 2) != 24) return refused(e, kNot24Bit);
  if (biSize < 40) return refused(e, kOtherFormat);
  if (little(data + 30, 4) != 0) return refused(e, kCompressed);
  if (width <= 0 || height == 0 || height == INT32_MIN) return refused(e, kBadExtent);
  e.topDown = height < 0;
  e.rows = e.topDown ? -static_cast<std::int64_t>(height) : height;
  e.stride = dibRowBytes(static_cast<std::uint64_t>(width));
  const std::uint64_t bfOffBits = little(data + 10, 4);
  e.offset = bfOffBits >= 14 + std::uint64_t{biSize} ? bfOffBits : 14 + std::uint64_t{biSize};
  if (e.offset > size || e.stride * e.rows > size - e.offset) return refused(e, kPixelError);
  return e;
}

bool endsWith(const std::string &text, const char *tail) {
  const std::size_t length = std::strlen(tail);
  return text.size() >= length && text.compare(text.size() - length, length, tail) == 0;
}

}  // namespace

std::string checkBitmapInput(const std::uint8_t *data, std::size_t size) {
  releasePixels(sourceView);
  sourceView = DibView{};
  fuzzConsoleOutput.clear();

  // A copy the exact size of the input, so that reading past it is caught.
  std::vector<std::uint8_t> copy(data, data + size);
  std::FILE *file = size == 0 ? std::fopen("/dev/null", "rb") : fmemopen(copy.data(), size, "rb");
  if (file == nullptr) return "the input cannot be opened as a stream";
  const bool read = readBitmapStream(file, kPath);
  std::fclose(file);

  const Expected e = expectedOutcome(data, size);
  const std::string &out = fuzzConsoleOutput;
  if (read != (e.message == nullptr)) {
    return std::string(read ? "read a file that should be refused with: " + std::string(e.message)
                            : "refused a readable file with: " + out);
  }
  if (countOf(out, kFileTitle) != (e.titles >= 1 ? 1u : 0u) ||
      countOf(out, kInfoTitle) != (e.titles >= 2 ? 1u : 0u)) {
    return "wrong header listing: " + out;
  }
  for (const char *message : kMessages) {
    const std::size_t times = countOf(out, message);
    if (times != (message == e.message ? 1u : 0u)) return "wrong messages: " + out;
  }
  if (!read) {
    if (!endsWith(out, e.message)) return "the message is not the last output: " + out;
    if (sourceView.pixels != nullptr) return "a refused file left a pixel buffer behind";
    return "";
  }

  char lastLine[64];
  std::snprintf(lastLine, sizeof lastLine, "DWORD \t biClrImportant  \t %d \n",
                static_cast<int>(little(data + 50, 4)));
  if (!endsWith(out, lastLine)) return "the listing does not end the output: " + out;
  const BmpInfoHeader &header = sourceView.header;
  if (header.biWidth != static_cast<std::int32_t>(little(data + 18, 4)) ||
      static_cast<std::uint64_t>(header.biHeight) != e.rows) {
    return "the picture's extent is not the file's";
  }
  if (sourceView.pixels == nullptr) return "a read picture has no pixels";
  // Rows bottom-up as the picture needs them, each from where the file keeps it.
  for (std::uint64_t row = 0; row < e.rows; ++row) {
    const std::uint64_t stored = e.topDown ? e.rows - 1 - row : row;
    if (std::memcmp(sourceView.pixels + row * e.stride, data + e.offset + stored * e.stride,
                    e.stride) != 0) {
      return "pixel row " + std::to_string(row) + " differs from the file";
    }
  }
  return "";
}
