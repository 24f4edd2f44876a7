// Builds and releases the test pictures, the spectrum buffer and the plane rows.
#include "tests/spectrum/picture_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/main_flow.h"
#include "common/dib_row.h"
#include "common/dib_view.h"
#include "spectrum/spectrum.h"
#include "tests/scripted/scripted_platform.h"

namespace {

std::vector<std::uint8_t> pictureStorage;

int pictureStride() {
  return static_cast<int>(dibRowBytes(static_cast<std::uint64_t>(sourceView.header.biWidth)));
}

}  // namespace

void setUpPicture(int width, int height) {
  tearDownPicture();
  sourceView.header.biSize = 40;
  sourceView.header.biWidth = width;
  sourceView.header.biHeight = height;
  sourceView.header.biPlanes = 1;
  sourceView.header.biBitCount = 24;
  pictureStorage.assign(static_cast<size_t>(pictureStride()) * height, 0);
  sourceView.pixels = pictureStorage.data();

  ASSERT_EQ(setUpSpectrumStorage(), SpectrumStorage::ready);
  // Bytes the computation never writes keep this value, and show it.
  std::memset(spectrumView.pixels, kUntouched, spectrumView.header.biSizeImage);
}

void tearDownPicture() {
  releasePlanes();
  releasePixels(spectrumView);
  pictureStorage.clear();
  sourceView = DibView{};
  spectrumView = DibView{};
}

std::uint8_t *pictureBytes(int x, int rowFromTop) {
  const int row = sourceView.header.biHeight - 1 - rowFromTop;
  return sourceView.pixels + row * pictureStride() + 3 * x;
}

void setPictureGrey(int x, int rowFromTop, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  std::uint8_t *pixel = pictureBytes(x, rowFromTop);
  pixel[0] = b;
  pixel[1] = g;
  pixel[2] = r;
}

void fillPicture(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  for (int row = 0; row < sourceView.header.biHeight; ++row) {
    for (int x = 0; x < sourceView.header.biWidth; ++x) setPictureGrey(x, row, b, g, r);
  }
}

int spectrumPixel(int x, int y) {
  const std::uint8_t *pixel =
      spectrumView.pixels + (static_cast<size_t>(y) * spectrumView.header.biWidth + x) * 3;
  EXPECT_EQ(pixel[0], pixel[1]) << "pixel " << x << "," << y;
  EXPECT_EQ(pixel[0], pixel[2]) << "pixel " << x << "," << y;
  return pixel[0];
}

std::vector<std::uint8_t> spectrumBytes() {
  return std::vector<std::uint8_t>(spectrumView.pixels,
                                   spectrumView.pixels + spectrumView.header.biSizeImage);
}

void planeBits(float *const *plane, std::vector<std::uint32_t> &bits) {
  const int columns = std::min(static_cast<int>(spectrumView.header.biWidth) + 16, kPlaneCapacity);
  bits.resize(static_cast<size_t>(spectrumView.header.biHeight) * columns);
  for (int y = 0; y < spectrumView.header.biHeight; ++y) {
    std::memcpy(bits.data() + static_cast<size_t>(y) * columns, plane[y], columns * sizeof(float));
  }
}

void PictureTest::SetUp() {
  resetScriptedPlatform();
}

void PictureTest::TearDown() {
  tearDownPicture();
  resetScriptedPlatform();
}
