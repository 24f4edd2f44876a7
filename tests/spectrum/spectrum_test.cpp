// computeSpectrum on tiny pictures: console text, plane values and spectrum pixels, mode by mode.
#include "spectrum/spectrum.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/main_flow.h"
#include "common/dib_view.h"
#include "tests/scripted/scripted_platform.h"
#include "tests/spectrum/picture_fixture.h"
#include "tests/support/bmp_fixture.h"
#include "tests/support/expected_texts.h"
#include "tests/support/temp_folder.h"

namespace {

std::string printed(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string printed(const char *format, ...) {
  char text[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

std::string rowLine(const char *maximum, int x, int y) {
  return printed(" 横FFT後　max = %s x %d y %d \n", maximum, x, y);
}

std::string rangeLine(const char *maximum, const char *minimum) {
  return printed(" 縦横FFT後　max %s min %s \n", maximum, minimum);
}

// Every spectrum pixel of a w x h buffer as a string of rows from the top, one char per pixel:
// '#' for 255, '.' for 0, '?' for anything else.
std::string pixelMap() {
  std::string map;
  for (int y = spectrumView.header.biHeight - 1; y >= 0; --y) {
    for (int x = 0; x < spectrumView.header.biWidth; ++x) {
      const int value = spectrumPixel(x, y);
      map += value == 255 ? '#' : value == 0 ? '.' : value == kUntouched ? '-' : '?';
    }
    map += '\n';
  }
  return map;
}

using SpectrumTest = PictureTest;

TEST_F(SpectrumTest, UniformGreyHasOnlyTheDcTerm) {
  setUpPicture(8, 8);
  fillPicture(7, 7, 7);
  computeSpectrum(0, 0, 0, 0);
  EXPECT_EQ(scriptedOutput,
            rowLine("19.798990", 0, 7) + expectedCounter(8) + rangeLine("56.000004", "0.000000"));
  EXPECT_EQ(magnitudePlane[0][0], 56.0000038f);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      if (x != 0 || y != 0) {
        EXPECT_EQ(magnitudePlane[y][x], 0.0f) << x << "," << y;
      }
    }
  }
  EXPECT_EQ(pixelMap(),
            "........\n"
            "........\n"
            "........\n"
            "........\n"
            "........\n"
            "........\n"
            "........\n"
            "#.......\n");
}

struct ModeCase {
  const char *name;
  int logScale, dcCut, zoom4;
  std::string range;
  std::string pixels;
};

TEST_F(SpectrumTest, UniformGreyInEachMode) {
  const ModeCase cases[] = {
      {"linear without DC", 0, 1, 0, rangeLine("0.000000", "0.000000"),
       "........\n........\n........\n........\n........\n........\n........\n........\n"},
      {"log", 1, 0, 0, rangeLine("4.025352", "0.000000"),
       "........\n........\n........\n........\n........\n........\n........\n#.......\n"},
      {"four-fold", 0, 0, 1, rangeLine("56.000004", "0.000000"),
       "........\n........\n........\n........\n####....\n####....\n####....\n####....\n"},
      {"four-fold without DC", 0, 1, 1, rangeLine("0.000000", "0.000000"),
       "........\n........\n........\n........\n........\n........\n........\n........\n"},
  };
  for (const ModeCase &c : cases) {
    setUpPicture(8, 8);
    fillPicture(7, 7, 7);
    resetScriptedPlatform();
    computeSpectrum(c.logScale, c.dcCut, c.zoom4, 0);
    EXPECT_EQ(scriptedOutput, rowLine("19.798990", 0, 7) + expectedCounter(8) + c.range) << c.name;
    EXPECT_EQ(pixelMap(), c.pixels) << c.name;
  }
}

TEST_F(SpectrumTest, AllBlackGivesZeroEverywhereAndPositionZero) {
  setUpPicture(4, 4);
  computeSpectrum(0, 0, 0, 0);
  EXPECT_EQ(scriptedOutput,
            rowLine("0.000000", 0, 0) + expectedCounter(4) + rangeLine("0.000000", "0.000000"));
  EXPECT_EQ(pixelMap(), "....\n....\n....\n....\n");
}

TEST_F(SpectrumTest, LogOfMagnitudesBelowOneGoesNegativeWhileZeroStaysZero) {
  setUpPicture(2, 2);
  fillPicture(1, 0, 0);
  computeSpectrum(1, 0, 0, 0);
  EXPECT_EQ(scriptedOutput,
            rowLine("0.471405", 0, 1) + expectedCounter(2) + rangeLine("0.000000", "-0.405465"));
  EXPECT_EQ(magnitudePlane[1][1], 0.0f);
  EXPECT_EQ(pixelMap(), "##\n.#\n");
}

TEST_F(SpectrumTest, DcCutInLogScaleForcesTheDcPixelToZero) {
  // Grey levels 4/3 and three times 1/3: ln of the DC term is positive, the rest ln 0.5.
  struct {
    int dcCut;
    std::string range;
    std::string pixels;
  } cases[] = {
      {0, rangeLine("0.154151", "-0.693147"), "..\n#.\n"},
      // The cleared DC value 0 lies above min and would map to 255 without the override.
      {1, rangeLine("0.000000", "-0.693147"), "..\n..\n"},
  };
  for (const auto &c : cases) {
    setUpPicture(2, 2);
    fillPicture(1, 0, 0);
    setPictureGrey(0, 1, 2, 1, 1);
    resetScriptedPlatform();
    computeSpectrum(1, c.dcCut, 0, 0);
    EXPECT_EQ(scriptedOutput, rowLine("1.178511", 0, 0) + expectedCounter(2) + c.range) << c.dcCut;
    EXPECT_EQ(pixelMap(), c.pixels) << c.dcCut;
    if (c.dcCut) {
      EXPECT_EQ(magnitudePlane[0][0], 0.0f);
    }
  }
}

TEST_F(SpectrumTest, FourFoldViewWritesNothingWhenASideIsBelowFour) {
  const int sizes[][2] = {{2, 8}, {8, 2}, {1, 1}, {2, 2}};
  for (const auto &size : sizes) {
    setUpPicture(size[0], size[1]);
    fillPicture(7, 7, 7);
    resetScriptedPlatform();
    computeSpectrum(0, 0, 1, 0);
    EXPECT_NE(scriptedOutput.find(" 縦横FFT後　max "), std::string::npos);
    for (std::uint8_t byte : spectrumBytes())
      ASSERT_EQ(byte, kUntouched) << size[0] << "x" << size[1];
  }
}

TEST_F(SpectrumTest, SinglePixelAlwaysMapsToZero) {
  struct {
    int logScale;
    std::string range;
  } cases[] = {{0, rangeLine("7.000000", "7.000000")}, {1, rangeLine("1.945910", "1.945910")}};
  for (const auto &c : cases) {
    setUpPicture(1, 1);
    fillPicture(7, 7, 7);
    resetScriptedPlatform();
    computeSpectrum(c.logScale, 0, 0, 0);
    EXPECT_EQ(scriptedOutput, rowLine("7.000000", 0, 0) + expectedCounter(1) + c.range);
    EXPECT_EQ(spectrumPixel(0, 0), 0);
  }
}

TEST_F(SpectrumTest, RowMaximumIsTheFirstStrictlyLargestInProcessingOrder) {
  struct RowCase {
    const char *name;
    std::function<void()> paint;
    std::string line;
  };
  const RowCase cases[] = {
      {"bright bottom row wins",
       [] {
         for (int x = 0; x < 4; ++x) setPictureGrey(x, 3, 9, 9, 9);
       },
       rowLine("18.000000", 0, 0)},
      {"a single pixel: equal magnitudes, the first column stays",
       [] { setPictureGrey(2, 1, 6, 6, 6); }, rowLine("3.000000", 0, 2)},
      {"equal rows: the first row processed stays",
       [] {
         setPictureGrey(0, 1, 6, 6, 6);
         setPictureGrey(2, 2, 6, 6, 6);
       },
       rowLine("3.000000", 0, 2)},
  };
  for (const RowCase &c : cases) {
    setUpPicture(4, 4);
    c.paint();
    resetScriptedPlatform();
    computeSpectrum(0, 0, 0, 0);
    EXPECT_EQ(scriptedOutput.substr(0, c.line.size()), c.line) << c.name;
  }
}

TEST_F(SpectrumTest, RowMaximumComparesTheRoundedMagnitudes) {
  // Grey 1 at column 1 of 4 in every row: column 1's squares sum a little above column 0's (the
  // twiddle is not exactly of modulus 1), yet both magnitudes round to 0.5, so column 0 stays.
  setUpPicture(4, 8);
  for (int row = 0; row < 8; ++row) setPictureGrey(1, row, 1, 1, 1);
  computeSpectrum(0, 0, 0, 0);
  const std::string line = rowLine("0.500000", 0, 7);
  EXPECT_EQ(scriptedOutput.substr(0, line.size()), line);
}

TEST_F(SpectrumTest, OnlyTheTopLeftRectangleIsAnalysed) {
  // 5 x 3 gives a 4 x 2 rectangle; the rightmost column and the bottom row are outside it.
  setUpPicture(5, 3);
  for (int row = 0; row < 3; ++row) setPictureGrey(4, row, 200, 200, 200);
  for (int x = 0; x < 5; ++x) setPictureGrey(x, 2, 200, 200, 200);
  computeSpectrum(0, 0, 0, 0);
  EXPECT_EQ(scriptedOutput,
            rowLine("0.000000", 0, 0) + expectedCounter(4) + rangeLine("0.000000", "0.000000"));
}

TEST_F(SpectrumTest, GreyPictureIsTheRectangleTruncatedAndPrintsNothing) {
  setUpPicture(5, 3);  // rows of 15 bytes padded to 16
  const std::uint8_t bytes[3][5][3] = {
      {{0, 0, 2}, {255, 255, 254}, {10, 20, 30}, {1, 1, 1}, {99, 99, 99}},
      {{3, 3, 3}, {0, 0, 0}, {100, 0, 0}, {255, 255, 255}, {99, 99, 99}},
      {{99, 99, 99}, {99, 99, 99}, {99, 99, 99}, {99, 99, 99}, {99, 99, 99}},
  };
  for (int row = 0; row < 3; ++row) {
    for (int x = 0; x < 5; ++x)
      setPictureGrey(x, row, bytes[row][x][0], bytes[row][x][1], bytes[row][x][2]);
  }
  realPlane[0][0] = 42.0f;
  magnitudePlane[1][3] = -1.0f;
  computeSpectrum(1, 1, 1, 1);
  EXPECT_EQ(scriptedOutput, "");
  const int expected[2][4] = {{3, 0, 33, 255}, {0, 254, 20, 1}};  // bottom row first
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(spectrumPixel(x, y), expected[y][x]) << x << "," << y;
  }
  EXPECT_EQ(realPlane[0][0], 42.0f);
  EXPECT_EQ(magnitudePlane[1][3], -1.0f);
}

TEST_F(SpectrumTest, ExtentsBeyondThePlanesAreRefusedWithoutTouchingAnything) {
  setUpPicture(4, 4);
  fillPicture(7, 7, 7);
  spectrumView.header.biWidth = 2048;
  computeSpectrum(0, 0, 0, 0);
  computeSpectrum(0, 0, 0, 1);
  EXPECT_EQ(scriptedOutput, "");
  spectrumView.header.biWidth = 4;
  for (std::uint8_t byte : spectrumBytes()) ASSERT_EQ(byte, kUntouched);
}

// A 4 x 4 BMP file of grey 7 run through the whole program with every mode key.
TEST_F(SpectrumTest, EveryModeKeyEndToEnd) {
  const std::string path = testPath("spectrum_uniform_4x4.bmp");
  writeFile(path, bmpPicture(4, 4, [](int, int) { return 0x070707u; }));

  scriptedChosenPath = path;
  for (char key : std::string("1x2345660q")) scriptedKeys.push_back(key);
  runMainFlow();

  const std::string prompt = kPrompt;
  const std::string linear =
      rowLine("14.000000", 0, 3) + expectedCounter(4) + rangeLine("28.000000", "0.000000");
  const std::string log =
      rowLine("14.000000", 0, 3) + expectedCounter(4) + rangeLine("3.332205", "0.000000");
  const std::string noDc =
      rowLine("14.000000", 0, 3) + expectedCounter(4) + rangeLine("0.000000", "0.000000");
  auto mode = [](int l, int d, int z) {
    return printed("\n log表示=%d DCcut=%d 拡大=%d\n", l, d, z);
  };
  const std::string expected = linear + prompt +                  //
                               mode(0, 0, 0) + linear + prompt +  // 1
                               prompt +                           // x
                               mode(1, 0, 0) + log + prompt +     // 2
                               mode(1, 0, 0) + log + prompt +     // 3
                               mode(1, 1, 0) + noDc + prompt +    // 4
                               mode(1, 1, 0) + noDc + prompt +    // 5
                               mode(1, 1, 1) + noDc + prompt +    // 6
                               mode(1, 1, 1) + noDc + prompt +    // 6
                               mode(1, 1, 1) + prompt;            // 0, then q
  const size_t start = scriptedOutput.find(" 横FFT後");
  ASSERT_NE(start, std::string::npos) << scriptedOutput;
  EXPECT_EQ(scriptedOutput.substr(start), expected);
  EXPECT_NE(scriptedOutput.find("LONG  \t biWidth         \t 4 \n"), std::string::npos);
  // The program keeps both pixel buffers for its whole life; here the test ends it.
  releasePixels(sourceView);
  releasePixels(spectrumView);
  std::remove(path.c_str());
}

}  // namespace
