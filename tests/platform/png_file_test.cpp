// The PNG writer: grey pictures stored as one grey byte a pixel, others as RGB, both read back
// by libpng as the very pixels given.
#include "platform/png_file.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

struct Case {
  const char *name;
  int width, height;
  bool grey;
};

std::vector<std::uint8_t> picture(const Case &c) {
  std::vector<std::uint8_t> pixels;
  for (int i = 0; i < c.width * c.height; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 37 + 5);
    pixels.insert(pixels.end(), {level, c.grey ? level : static_cast<std::uint8_t>(level ^ 0x5a),
                                 c.grey ? level : static_cast<std::uint8_t>(255 - level)});
  }
  return pixels;
}

TEST(PngFile, ReadsBackAsTheSamePixelsInTheNarrowestFormat) {
  const Case cases[] = {
      {"grey 8x4", 8, 4, true},    {"grey 1x1", 1, 1, true},    {"grey 3x5 (odd rows)", 3, 5, true},
      {"colour 8x4", 8, 4, false}, {"colour 2x3", 2, 3, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint8_t> pixels = picture(c);
    const std::string path = testPath("out.png");
    ASSERT_TRUE(writePngFile(path.c_str(), c.width, c.height, pixels.data()));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    EXPECT_EQ(image.format, static_cast<png_uint_32>(c.grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB));
    image.format = PNG_FORMAT_BGR;
    std::vector<std::uint8_t> read(pixels.size());
    // A negative stride: the given rows are bottom-up.
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, read.data(), -3 * c.width, nullptr))
        << image.message;
    png_image_free(&image);
    EXPECT_EQ(read, pixels);
  }
}

}  // namespace
