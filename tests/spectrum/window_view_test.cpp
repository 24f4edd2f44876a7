// The windows' own view of the spectrum: the centred image is an exact cyclic shift of the corner
// image, and the pointer readout names the bin each pixel shows, in every view.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "common/dib_view.h"
#include "display/display.h"
#include "platform/format_text.h"
#include "spectrum/spectrum.h"
#include "tests/spectrum/picture_fixture.h"

namespace {

class WindowView : public PictureTest {
 protected:
  void TearDown() override {
    spectrumOptions = SpectrumOptions{};
    PictureTest::TearDown();
  }
};

// A grating of `cycles` periods across the picture's width, and a weaker one down its height,
// over noise-free grey.
void drawGrating(int cycles) {
  const int width = sourceView.header.biWidth;
  const int height = sourceView.header.biHeight;
  const double pi = std::acos(-1.0);
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      const double v =
          128 + 90 * std::cos(2 * pi * cycles * x / width) + 20 * std::cos(2 * pi * row / height);
      const auto grey = static_cast<std::uint8_t>(v);
      setPictureGrey(x, row, grey, grey, grey);
    }
  }
}

std::vector<std::uint8_t> computed(int logScale, int dcCut, int zoom4, bool centred) {
  spectrumOptions.centred = centred;
  computeSpectrum(logScale, dcCut, zoom4, 0);
  return spectrumBytes();
}

TEST_F(WindowView, CentredImageIsTheExactCyclicShift) {
  const int sizes[][2] = {{16, 8}, {8, 16}, {32, 32}, {1, 4}, {4, 1}, {2, 2}};
  for (const auto &size : sizes) {
    for (int mode = 0; mode < 4; ++mode) {
      SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]) + " mode " +
                   std::to_string(mode));
      setUpPicture(size[0], size[1]);
      drawGrating(1);
      const int logScale = mode & 1, dcCut = mode >> 1;
      const std::vector<std::uint8_t> corner = computed(logScale, dcCut, 0, false);
      const std::vector<std::uint8_t> centred = computed(logScale, dcCut, 0, true);
      const int w2 = spectrumView.header.biWidth, h2 = spectrumView.header.biHeight;
      ASSERT_EQ(corner.size(), centred.size());
      int moved = 0;
      for (int y = 0; y < h2; ++y) {
        for (int x = 0; x < w2; ++x) {
          const size_t to = (static_cast<size_t>(y) * w2 + x) * 3;
          const size_t from = (static_cast<size_t>((y + h2 / 2) % h2) * w2 + (x + w2 / 2) % w2) * 3;
          for (int c = 0; c < 3; ++c) moved += centred[to + c] != corner[from + c];
        }
      }
      EXPECT_EQ(moved, 0);
      tearDownPicture();
    }
  }
}

// Four-fold and centred, each 4 x 4 block shows the bin from -W2/8 on, the DC term's block at
// (W2/8, H2/8).
TEST_F(WindowView, CentredFourFoldMagnifiesTheBlockAroundTheDcTerm) {
  setUpPicture(32, 16);
  drawGrating(3);
  const std::vector<std::uint8_t> plain = computed(0, 0, 0, false);
  const std::vector<std::uint8_t> fourFold = computed(0, 0, 1, true);
  const int w2 = 32, h2 = 16;
  for (int y = 0; y < h2; ++y) {
    for (int x = 0; x < w2; ++x) {
      const int u = (x / 4 - w2 / 8 + w2) % w2, v = (y / 4 - h2 / 8 + h2) % h2;
      ASSERT_EQ(fourFold[(static_cast<size_t>(y) * w2 + x) * 3],
                plain[(static_cast<size_t>(v) * w2 + u) * 3])
          << "pixel " << x << "," << y;
    }
  }
}

// The grating of 2 cycles across 16 pixels is bins 2 and -2 of the top row: the readout finds
// them wherever the view draws them, with their value as mapped to grey.
TEST_F(WindowView, ReadoutNamesTheSignedFrequencyAndValueInEveryView) {
  setUpPicture(16, 16);
  drawGrating(2);
  struct Case {
    const char *view;
    int zoom4;
    bool centred;
    int x, y;  // window pixel, y from the top
    int u, v;  // the bin it shows
    const char *frequency;
  };
  const Case cases[] = {
      {"normal", 0, false, 2, 15, 2, 0, "fx=+0.1250 fy=+0.0000 c/px  period 8.00 px  angle 0.0°"},
      {"normal", 0, false, 14, 15, 14, 0,
       "fx=-0.1250 fy=+0.0000 c/px  period 8.00 px  angle 180.0°"},
      {"normal", 0, false, 0, 14, 0, 1, "fx=+0.0000 fy=+0.0625 c/px  period 16.00 px  angle 90.0°"},
      {"normal DC", 0, false, 0, 15, 0, 0, "fx=+0.0000 fy=+0.0000 c/px"},
      {"centred", 0, true, 10, 7, 2, 0, "fx=+0.1250 fy=+0.0000 c/px  period 8.00 px  angle 0.0°"},
      {"centred", 0, true, 6, 7, 14, 0, "fx=-0.1250 fy=+0.0000 c/px  period 8.00 px  angle 180.0°"},
      {"four-fold", 1, false, 9, 15, 2, 0,
       "fx=+0.1250 fy=+0.0000 c/px  period 8.00 px  angle 0.0°"},
      {"centred four-fold", 1, true, 1, 7, 14, 0,
       "fx=-0.1250 fy=+0.0000 c/px  period 8.00 px  angle 180.0°"},
      {"centred four-fold DC", 1, true, 8, 7, 0, 0, "fx=+0.0000 fy=+0.0000 c/px"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.view) + " at " + std::to_string(c.x) + "," + std::to_string(c.y));
    for (int logScale : {0, 1}) {
      spectrumOptions.centred = c.centred;
      computeSpectrum(logScale, 0, c.zoom4, 0);
      const std::string value = formatText("  value %.4f", magnitudePlane[c.v][c.u]);
      EXPECT_EQ(spectrumReadout(c.x, c.y), c.frequency + value);
    }
  }
  // Bins 2 and -2 are the brightest after the DC term: the readout's value is the one drawn.
  computeSpectrum(0, 0, 0, 0);
  EXPECT_NEAR(magnitudePlane[0][2], magnitudePlane[0][14], 1e-3 * magnitudePlane[0][2]);
  EXPECT_GT(magnitudePlane[0][2], magnitudePlane[1][0]);
  EXPECT_EQ(spectrumReadout(16, 0), "");
  EXPECT_EQ(spectrumReadout(-1, 0), "");
}

TEST_F(WindowView, ReadoutOfTheGreyPictureAndOfThePictureWindow) {
  setUpPicture(5, 4);
  setPictureGrey(3, 1, 10, 20, 30);  // blue, green, red of the pixel at x 3, row 1 from the top
  computeSpectrum(0, 0, 0, 1);
  EXPECT_EQ(pictureReadout(3, 1), "x=3 y=1  R=30 G=20 B=10");
  EXPECT_EQ(pictureReadout(5, 0), "");
  // The grey view shows the top-left 4 x 4 rectangle: its pixel (3, 1) is picture row 1 too.
  EXPECT_EQ(spectrumReadout(3, 1), "x=3 y=1  grey=20");
  EXPECT_EQ(spectrumReadout(0, 0), "x=0 y=0  grey=0");
}

// The magnitudes of the last linear computation on the two axes, the DC term and its next
// neighbours left out (a window spreads the DC term into those).
double axisSum() {
  double sum = 0;
  for (int u = 2; u + 1 < spectrumView.header.biWidth; ++u) sum += magnitudePlane[0][u];
  for (int v = 2; v + 1 < spectrumView.header.biHeight; ++v) sum += magnitudePlane[v][0];
  return sum;
}

// Whether bin (u, v) of a w x h spectrum lies within one bin of the DC term.
bool nearDc(int u, int v, int w, int h) {
  return (u <= 1 || u >= w - 1) && (v <= 1 || v >= h - 1);
}

// A diagonal grating of 5 cycles across and 3 down (bins (5, -3) and (-5, 3), rows counting up),
// plus (when ramp is set) a brightness that grows across the
// picture: a jump of 94 levels between its left and right edges.
void drawGratingOnRamp(bool ramp) {
  const double pi = std::acos(-1.0);
  for (int row = 0; row < 64; ++row) {
    for (int x = 0; x < 64; ++x) {
      const double v = 100 + 60 * std::cos(2 * pi * (5 * x + 3 * row) / 64) + (ramp ? 1.5 * x : 0);
      const auto grey = static_cast<std::uint8_t>(v);
      setPictureGrey(x, row, grey, grey, grey);
    }
  }
}

TEST_F(WindowView, PeriodicPlusSmoothRemovesTheCrossOfARampAndKeepsTheGrating) {
  setUpPicture(64, 64);
  drawGratingOnRamp(true);
  computeSpectrum(0, 0, 0, 0);
  const double cross = axisSum();
  const float grating = magnitudePlane[61][5];
  for (Taper taper : {Taper::periodic, Taper::hann}) {
    SCOPED_TRACE(taperName(taper));
    spectrumOptions.taper = taper;
    computeSpectrum(0, 0, 0, 0);
    EXPECT_LT(axisSum(), cross / 4);
    // The grating stays the brightest thing off the DC term.
    float brightest = 0;
    for (int v = 0; v < 64; ++v) {
      for (int u = 0; u < 64; ++u) {
        if ((u != 5 || v != 61) && (u != 59 || v != 3) && !nearDc(u, v, 64, 64)) {
          brightest = std::max(brightest, magnitudePlane[v][u]);
        }
      }
    }
    // Periodic-plus-smooth keeps the grating's strength, and it stays the brightest thing away
    // from the DC term; a window weakens it and spreads the ramp over the lowest bins.
    if (taper == Taper::periodic) {
      EXPECT_GT(magnitudePlane[61][5], 4 * brightest);
      EXPECT_NEAR(magnitudePlane[61][5], grating, 0.05 * grating);
    }
  }
}

// A picture whose opposite edges already meet has no smooth component: periodic-plus-smooth
// leaves every stored value as it was. A periodic grating barely changes: its last and first
// columns are neighbours, not equals, and the decomposition smooths that step a little.
TEST_F(WindowView, PeriodicPlusSmoothLeavesAPeriodicPictureAlone) {
  setUpPicture(16, 8);
  for (int row = 0; row < 8; ++row) {
    for (int x = 0; x < 16; ++x) {
      // Equal first and last columns, equal first and last rows.
      const auto grey = static_cast<std::uint8_t>(50 + ((x % 15) * 7 + (row % 7) * 11) % 90);
      setPictureGrey(x, row, grey, grey, grey);
    }
  }
  for (int logScale : {0, 1}) {
    spectrumOptions.taper = Taper::none;
    const std::vector<std::uint8_t> plain = computed(logScale, 0, 0, false);
    std::vector<std::uint32_t> plainBits, taperedBits;
    planeBits(magnitudePlane, plainBits);
    spectrumOptions.taper = Taper::periodic;
    EXPECT_EQ(computed(logScale, 0, 0, false), plain);
    planeBits(magnitudePlane, taperedBits);
    EXPECT_EQ(taperedBits, plainBits);
  }
  tearDownPicture();
  setUpPicture(64, 64);
  spectrumOptions.taper = Taper::none;
  drawGratingOnRamp(false);
  computeSpectrum(0, 0, 0, 0);
  const float grating = magnitudePlane[61][5];
  spectrumOptions.taper = Taper::periodic;
  computeSpectrum(0, 0, 0, 0);
  EXPECT_NEAR(magnitudePlane[61][5], grating, 0.03 * grating);
}

}  // namespace
