// The PNG writer: grey pictures stored as one grey byte a pixel, others as RGB, both read back
// by libpng as the very pixels given.
#include "platform/png_file.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bitmap/bitmap_reader.h"
#include "common/dib_view.h"
#include "display/display.h"
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

// The pixels of the PNG file at path, bottom-up blue, green, red; empty when it cannot be read.
std::vector<std::uint8_t> pngPixels(const std::string &path, int width, int height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_BGR;
  std::vector<std::uint8_t> read(static_cast<size_t>(width) * height * 3);
  // A negative stride: the rows are wanted bottom-up.
  const bool done = png_image_finish_read(&image, nullptr, read.data(), -3 * width, nullptr);
  png_image_free(&image);
  return done ? read : std::vector<std::uint8_t>{};
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
    png_image_free(&image);
    EXPECT_EQ(pngPixels(path, c.width, c.height), pixels);
  }
}

// The spectrum window saved from a window: named after the picture, numbered past every name
// that exists, never over a file, and holding the window's pixels.
TEST(SaveSpectrumWindow, NamesAfterThePictureAndNeverOverwrites) {
  const Case shape{"spectrum", 4, 2, true};
  std::vector<std::uint8_t> pixels = picture(shape);
  spectrumView.header.biWidth = shape.width;
  spectrumView.header.biHeight = shape.height;
  spectrumView.pixels = pixels.data();
  std::strcpy(bitmapFilePath, "/pictures/disk.bmp");
  const std::string folder = testFolder();
  const std::string first = folder + "/disk-spectrum.png";
  const std::string third = folder + "/disk-spectrum-3.png";
  std::ofstream(third) << "the user's own file";
  const std::vector<std::string> expected = {first, folder + "/disk-spectrum-2.png",
                                             folder + "/disk-spectrum-4.png"};
  for (const std::string &path : expected) {
    EXPECT_EQ(saveSpectrumWindow(folder.c_str()), path);
    EXPECT_EQ(pngPixels(path, shape.width, shape.height), pixels);
  }
  std::ifstream kept(third);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "the user's own file");
  // No temporary file is left behind (out.png is the other test's).
  int files = 0;
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    files += entry.path().filename() != "out.png";
  }
  EXPECT_EQ(files, 4);
  spectrumView = DibView{};
}

}  // namespace
