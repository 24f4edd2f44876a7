// Hostile BMP files: header fields at their limits, every cut of a valid file, any pixel offset.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "bitmap/bitmap_reader.h"
#include "common/dib_row.h"
#include "common/dib_view.h"
#include "tests/scripted/scripted_platform.h"
#include "tests/support/bmp_fixture.h"
#include "tests/support/expected_texts.h"
#include "tests/support/read_bytes.h"

// The test links with --wrap=malloc and --wrap=obtainZeroedBlock: every block the reader asks
// for, from the C library or from the platform, passes here, so the test sees the largest.
static std::size_t largestBlock = 0;
extern "C" void *__real_malloc(std::size_t size);
extern "C" void *__wrap_malloc(std::size_t size) {
  if (size > largestBlock) largestBlock = size;
  return __real_malloc(size);
}
extern "C" void *__real_obtainZeroedBlock(std::size_t bytes);
extern "C" void *__wrap_obtainZeroedBlock(std::size_t bytes) {
  if (bytes > largestBlock) largestBlock = bytes;
  return __real_obtainZeroedBlock(bytes);
}

// C++ allocations go straight to the real malloc: where the C++ library is linked statically (the
// Windows build), its operator new would pass the wrap too, and the test's own strings would
// count as the reader's.
void *operator new(std::size_t size) {
  void *block = __real_malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void operator delete(void *block) noexcept {
  std::free(block);
}
void operator delete(void *block, std::size_t) noexcept {
  std::free(block);
}

namespace {

constexpr char kPath[] = "/pictures/hostile.bmp";
constexpr const char *kMessages[] = {kReadError,
                                     kNot24Bit,
                                     kOtherFormat,
                                     kBadExtent,
                                     kPixelError,
                                     "はDIBフォーマットではありません",
                                     "圧縮されたBMPファイルは扱えません\n",
                                     "メモリが足りません\n"};

struct MeasuredRead {
  bool ok;
  std::string output;
  std::size_t largestBlock;
  double seconds;
};

// The read with the largest block it asked for and the time it took.
MeasuredRead readMeasured(const std::string &bytes) {
  std::size_t largest = 0;
  std::chrono::duration<double> took{};
  const ReadResult result = readBytes(bytes, kPath, [&](std::FILE *file, const char *path) {
    largestBlock = 0;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = readBitmapStream(file, path);
    took = std::chrono::steady_clock::now() - start;
    largest = largestBlock;
    return ok;
  });
  return {result.ok, result.output, largest, took.count()};
}

// The one message, last in the output, or none when the file is read.
void expectOutcome(const MeasuredRead &result, const char *message, std::size_t fileSize) {
  EXPECT_EQ(result.ok, message == nullptr);
  for (const char *each : kMessages) {
    std::size_t times = 0;
    for (std::size_t at = result.output.find(each); at != std::string::npos;
         at = result.output.find(each, at + 1)) {
      ++times;
    }
    EXPECT_EQ(times, message != nullptr && std::strcmp(each, message) == 0 ? 1u : 0u)
        << each << " in " << result.output;
  }
  if (message != nullptr) {
    const std::size_t length = std::strlen(message);
    ASSERT_GE(result.output.size(), length);
    EXPECT_EQ(result.output.substr(result.output.size() - length), message);
    EXPECT_EQ(sourceView.pixels, nullptr);
  }
  // Never more memory than the file could fill, and no waiting: a bound against hangs only.
  EXPECT_LE(result.largestBlock, fileSize);
  EXPECT_LT(result.seconds, 2.0);
}

// A 2 x 2 picture: rows of 6 bytes padded to 8, 70 bytes in all.
std::string validFile() {
  BmpFields fields;
  fields.biWidth = 2;
  fields.biHeight = 2;
  return bmpFile(fields, bmpPixels(2, 2, [](int x, int row) {
                   return 0x102030u + 0x010101u * (x + 2 * row);
                 }));
}

void patch(std::string &file, int offset, int width, std::uint32_t value) {
  for (int i = 0; i < width; ++i) file[offset + i] = static_cast<char>(value >> (8 * i));
}

TEST(HostileFiles, HeaderFieldsAtTheirLimits) {
  enum Outcome { R, N, F, E, P };  // read, not 24-bit, other format, bad extent, pixels short
  const char *const messages[] = {nullptr, kNot24Bit, kOtherFormat, kBadExtent, kPixelError};
  const std::int64_t values[] = {0, 1, -1, INT32_MAX, INT32_MIN, 0xFFFFFFFF};
  struct Field {
    const char *name;
    int offset, width;
    const char *line;  // the listing line, with %s for the value
    Outcome outcome[6];
  };
  const Field fields[] = {
      {"bfSize", 2, 4, "DWORD \t bfSize      \t %s(byte) \n", {R, R, R, R, R, R}},
      {"bfOffBits", 10, 4, "DWORD \t bfOffBits   \t %s \n", {R, R, P, P, P, P}},
      {"biSize", 14, 4, "DWORD \t biSize          \t %s \n", {F, F, P, P, P, P}},
      {"biWidth", 18, 4, "LONG  \t biWidth         \t %s \n", {E, R, E, P, E, E}},
      // -2^31 has no positive height: refused, not read as 2^31 rows.
      {"biHeight", 22, 4, "LONG  \t biHeight        \t %s \n", {E, R, R, P, E, R}},
      {"biPlanes", 26, 2, "WORD  \t biPlanes        \t %s \n", {R, R, R, R, R, R}},
      {"biBitCount", 28, 2, "WORD  \t biBitCount      \t %s \n", {N, N, N, N, N, N}},
      {"biSizeImage", 34, 4, "DWORD \t biSizeImage     \t %s \n", {R, R, R, R, R, R}},
      {"biClrUsed", 46, 4, "DWORD \t biClrUsed       \t %s \n", {R, R, R, R, R, R}},
      {"biClrImportant", 50, 4, "DWORD \t biClrImportant  \t %s \n", {R, R, R, R, R, R}},
  };
  const std::string valid = validFile();
  for (const Field &field : fields) {
    for (int v = 0; v < 6; ++v) {
      SCOPED_TRACE(std::string(field.name) + " = " + std::to_string(values[v]));
      std::string file = valid;
      const auto raw = static_cast<std::uint32_t>(values[v]);
      patch(file, field.offset, field.width, raw);
      const MeasuredRead result = readMeasured(file);
      expectOutcome(result, messages[field.outcome[v]], file.size());

      // The field is listed with the value it holds: 32-bit fields signed, 16-bit unsigned.
      const std::string shown = field.width == 4 ? std::to_string(static_cast<std::int32_t>(raw))
                                                 : std::to_string(raw & 0xFFFF);
      char line[128];
      std::snprintf(line, sizeof line, field.line, shown.c_str());
      EXPECT_NE(result.output.find(line), std::string::npos) << line;

      if (result.ok) {
        // Rows come from offset 54 whatever the field says; a lone row reads the same either way.
        const BmpInfoHeader &header = sourceView.header;
        const int height = header.biHeight;
        ASSERT_GT(height, 0);
        const auto stride = static_cast<std::size_t>(dibRowBytes(header.biWidth));
        EXPECT_EQ(std::memcmp(sourceView.pixels, file.data() + 54, stride * height), 0);
        EXPECT_GE(result.largestBlock, stride * height);  // the count sees the reader's blocks
      }
    }
  }
}

TEST(HostileFiles, EveryCutOfAValidFile) {
  const std::string valid = validFile();
  const MeasuredRead whole = readMeasured(valid);
  ASSERT_TRUE(whole.ok);
  const std::string fileListing = whole.output.substr(0, whole.output.find(kInfoTitle));
  for (std::size_t length = 0; length < valid.size(); ++length) {
    SCOPED_TRACE("cut at " + std::to_string(length));
    const MeasuredRead result = readMeasured(valid.substr(0, length));
    // Short headers: the read error after what could be listed; short pixels: both listings.
    const std::string expected = length < 14   ? kReadError
                                 : length < 54 ? fileListing + kReadError
                                               : whole.output + kPixelError;
    EXPECT_EQ(result.output, expected);
    expectOutcome(result, length < 54 ? kReadError : kPixelError, length);
  }
}

TEST(HostileFiles, PixelOffsetsAnywhere) {
  const std::string valid = validFile();  // the 16 pixel bytes are the last of its 70
  struct Case {
    const char *name;
    std::uint32_t bfOffBits;
    int pixelsAt;  // where the rows are read from; -1: refused as short
  };
  const Case cases[] = {
      {"zero", 0, 54},
      {"inside the file header", 10, 54},
      {"inside the information header", 53, 54},
      {"right behind the headers", 54, 54},
      {"one byte too far for the rows", 55, -1},
      {"at the end of the file", 70, -1},
      {"one past the end", 71, -1},
      {"far past the end", 0x7FFFFFFF, -1},
      {"at the top of the range", 0xFFFFFFFF, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = valid;
    patch(file, 10, 4, c.bfOffBits);
    const MeasuredRead result = readMeasured(file);
    expectOutcome(result, c.pixelsAt < 0 ? kPixelError : nullptr, file.size());
    if (c.pixelsAt >= 0 && result.ok) {
      EXPECT_EQ(std::memcmp(sourceView.pixels, file.data() + c.pixelsAt, 16), 0);
    }
  }
  // With a gap the offset decides: rows right after the gap, not right after the headers.
  std::string gapped = valid.substr(0, 54) + "GAP!" + valid.substr(54);
  patch(gapped, 10, 4, 58);
  const MeasuredRead result = readMeasured(gapped);
  expectOutcome(result, nullptr, gapped.size());
  EXPECT_EQ(std::memcmp(sourceView.pixels, valid.data() + 54, 16), 0);
}

}  // namespace
