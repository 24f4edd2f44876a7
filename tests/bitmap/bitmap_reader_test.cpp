// The BMP reader: the header listing, every refusal with its one message, and pixel placement.
#include "bitmap/bitmap_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/dib_view.h"
#include "tests/scripted/scripted_platform.h"
#include "tests/support/bmp_fixture.h"
#include "tests/support/expected_texts.h"
#include "tests/support/read_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

std::string endOf(const std::string &text, size_t length) {
  return text.size() < length ? text : text.substr(text.size() - length);
}

TEST(BitmapReader, ListsBothHeadersOfA3x2Picture) {
  const std::string file =
      bmpPicture(3, 2, [](int x, int row) { return 0x010203u * (x + 3 * row); });
  const ReadResult result = readBytes(file);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.output, expectedFileListing(3, 2));
  EXPECT_EQ(sourceView.header.biWidth, 3);
  EXPECT_EQ(sourceView.header.biHeight, 2);
  EXPECT_EQ(std::memcmp(sourceView.pixels, file.data() + 54, 24), 0);
}

TEST(BitmapReader, PrintsUnsignedFieldsAsSignedDecimals) {
  BmpFields fields;
  fields.bfSize = 0xFFFFFFFF;
  fields.biSizeImage = 0x80000000;
  const ReadResult result =
      readBytes(bmpFile(fields, bmpPixels(1, 1, [](int, int) { return 0u; })));
  EXPECT_TRUE(result.ok);
  EXPECT_NE(result.output.find("bfSize      \t -1(byte) \n"), std::string::npos);
  EXPECT_NE(result.output.find("biSizeImage     \t -2147483648 \n"), std::string::npos);
}

TEST(BitmapReader, RefusesEachBrokenFileWithItsOneMessage) {
  const std::string pixels = bmpPixels(2, 2, [](int, int) { return 0x808080u; });
  const auto with = [&](auto change) {
    BmpFields fields;
    fields.biWidth = 2;
    fields.biHeight = 2;
    change(fields);
    return bmpFile(fields, pixels);
  };
  const std::string valid = with([](BmpFields &) {});
  struct Case {
    const char *name;
    std::string bytes;
    std::string message;  // the end of the output
    bool listed;          // both headers listed before the message
  };
  const Case cases[] = {
      {"empty file", "", kReadError, false},
      {"file header cut short", valid.substr(0, 13), kReadError, false},
      {"not BM", "XY" + valid.substr(2), "/pictures/a.bmp はDIBフォーマットではありません", false},
      {"information header cut short", valid.substr(0, 53), kReadError, false},
      {"8-bit picture", with([](BmpFields &f) { f.biBitCount = 8; }), kNot24Bit, true},
      {"core header", with([](BmpFields &f) { f.biSize = 12; }), kOtherFormat, true},
      {"compressed", with([](BmpFields &f) { f.biCompression = 1; }), kCompressed, true},
      {"zero width", with([](BmpFields &f) { f.biWidth = 0; }), kBadExtent, true},
      {"negative width", with([](BmpFields &f) { f.biWidth = -2; }), kBadExtent, true},
      {"zero height", with([](BmpFields &f) { f.biHeight = 0; }), kBadExtent, true},
      {"pixels cut short", valid.substr(0, valid.size() - 1), kPixelError, true},
      {"huge picture in a tiny file", with([](BmpFields &f) { f.biWidth = f.biHeight = 100000; }),
       kPixelError, true},
      {"most negative height", with([](BmpFields &f) { f.biHeight = INT32_MIN; }), kBadExtent,
       true},
      {"widest picture", with([](BmpFields &f) { f.biWidth = INT32_MAX; }), kPixelError, true},
      {"pixels past the end", with([](BmpFields &f) { f.bfOffBits = 0xFFFFFFFF; }), kPixelError,
       true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult result = readBytes(c.bytes);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(endOf(result.output, c.message.size()), c.message);
    EXPECT_EQ(result.output.find("------ BITMAPINFOHEADER ------") != std::string::npos, c.listed);
    // One message: the output ends with it and holds it once.
    EXPECT_EQ(result.output.find(c.message), result.output.size() - c.message.size());
  }
}

TEST(BitmapReader, ReadsExactlyThePixelsThePictureNeeds) {
  // biSizeImage 0 (common) and larger than the pixels both read the padded rows.
  for (std::int64_t claimed : {0, 24, 4096}) {
    SCOPED_TRACE(claimed);
    BmpFields fields;
    fields.biWidth = 3;
    fields.biHeight = 2;
    fields.biSizeImage = claimed;
    const std::string pixels =
        bmpPixels(3, 2, [](int x, int row) { return 0x100u * (x + 1) + row; });
    ASSERT_TRUE(readBytes(bmpFile(fields, pixels)).ok);
    EXPECT_EQ(std::memcmp(sourceView.pixels, pixels.data(), 24), 0);
  }
}

TEST(BitmapReader, FindsThePixelsAtTheirOffset) {
  const std::string pixels = bmpPixels(2, 1, [](int x, int) { return 0x010101u * (x + 5); });
  struct Case {
    const char *name;
    std::uint32_t biSize, bfOffBits;
  };
  const Case cases[] = {
      {"gap before the pixels", 40, 70},
      {"offset inside the headers", 40, 20},
      {"offset zero", 40, 0},
      {"version 5 header", 124, 138},
      {"version 5 header, offset inside it", 124, 54},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BmpFields fields;
    fields.biWidth = 2;
    fields.biSize = c.biSize;
    fields.bfOffBits = c.bfOffBits;
    ASSERT_TRUE(readBytes(bmpFile(fields, pixels)).ok);
    EXPECT_EQ(std::memcmp(sourceView.pixels, pixels.data(), pixels.size()), 0);
  }
}

TEST(BitmapReader, TurnsTopDownRowsBottomUp) {
  BmpFields fields;
  fields.biWidth = 1;
  fields.biHeight = -3;
  const std::string pixels = bmpPixels(1, 3, [](int, int row) { return 10u + row; });
  const ReadResult result = readBytes(bmpFile(fields, pixels));
  ASSERT_TRUE(result.ok);
  EXPECT_NE(result.output.find("biHeight        \t -3 \n"), std::string::npos);
  EXPECT_EQ(sourceView.header.biHeight, 3);
  // Stored top row first: the last stored row becomes the bottom row.
  EXPECT_EQ(sourceView.pixels[0], 12);
  EXPECT_EQ(sourceView.pixels[4], 11);
  EXPECT_EQ(sourceView.pixels[8], 10);
}

TEST(BitmapReader, ChoosesThroughTheDialog) {
  const std::string path = testPath("reader_dialog.bmp");
  writeFile(path, bmpPicture(1, 1, [](int, int) { return 0u; }));

  resetScriptedPlatform();
  bool cancelled = false;
  EXPECT_FALSE(readBitmapFile(&cancelled));
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(scriptedOutput, "");

  scriptedChosenPath = path;
  EXPECT_TRUE(readBitmapFile(&cancelled));
  EXPECT_FALSE(cancelled);
  EXPECT_EQ(scriptedOutput.rfind("file name [" + path + "]\n------ BITMAPFILEHEADER", 0), 0u);

  resetScriptedPlatform();
  scriptedChosenPath = testPath("no_such_picture.bmp");
  EXPECT_FALSE(readBitmapFile(&cancelled));
  EXPECT_FALSE(cancelled);
  EXPECT_EQ(scriptedOutput, "file name [" + scriptedChosenPath + "]\n" + kReadError);
}

}  // namespace

// Parsing alone: the headers' bytes and the file's length give the fault and the pixels' place,
// with nothing printed and nothing allocated.
TEST(BitmapParse, FindsTheFirstFaultAndWhereThePixelsLie) {
  const std::string pixels = bmpPixels(3, 2, [](int, int) { return 0u; });  // 2 rows of 12 bytes
  const std::string file = bmpFile(BmpFields{.biWidth = 3, .biHeight = 2}, pixels);
  const std::string topDown = bmpFile(BmpFields{.biWidth = 3, .biHeight = -2}, pixels);
  const std::string notBmp =
      bmpFile(BmpFields{.bfType = 0x5858, .biWidth = 3, .biHeight = 2}, pixels);
  struct Case {
    const char *name;
    const std::string &bytes;
    size_t headerBytes;
    long long length;
    BmpFault fault;
  };
  const Case cases[] = {
      {"whole", file, 54, 78, BmpFault::none},
      {"top-down", topDown, 54, 78, BmpFault::none},
      {"13 bytes", file, 13, 13, BmpFault::shortFileHeader},
      {"not a BMP", notBmp, 54, 78, BmpFault::notBitmap},
      {"53 bytes", file, 53, 53, BmpFault::shortInfoHeader},
      {"length unknown", file, 54, -1, BmpFault::lengthUnknown},
      {"one pixel byte short", file, 54, 77, BmpFault::pixelsOutside},
  };
  resetScriptedPlatform();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const BmpParse parse = parseBitmap(
        std::span(reinterpret_cast<const std::uint8_t *>(c.bytes.data()), c.headerBytes), c.length);
    EXPECT_EQ(parse.fault, c.fault);
    if (c.fault != BmpFault::none) continue;
    EXPECT_EQ(parse.pixelOffset, 54u);
    EXPECT_EQ(parse.stride, 12u);
    EXPECT_EQ(parse.rows, 2u);
    EXPECT_EQ(parse.topDown, &c.bytes == &topDown);
  }
  EXPECT_EQ(scriptedOutput, "");
}
