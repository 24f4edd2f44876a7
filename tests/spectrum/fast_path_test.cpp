// computeSpectrum against the plain step-by-step computation: every size, every mode, every bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/dib_view.h"
#include "spectrum/fft1d.h"
#include "spectrum/lanes.h"
#include "spectrum/spectrum.h"
#include "spectrum/workers.h"
#include "tests/scripted/scripted_platform.h"
#include "tests/spectrum/picture_fixture.h"
#include "tests/spectrum/reference_spectrum.h"

namespace {

struct Outcome {
  std::string console;
  std::vector<std::uint32_t> real;
  std::vector<std::uint32_t> imag;
  std::vector<std::uint32_t> magnitude;
  std::vector<std::uint8_t> pixels;
};

// The two runs alike in every output, or which output differs first.
testing::AssertionResult sameOutcome(const Outcome &actual, const Outcome &expected) {
  if (actual.console != expected.console) {
    return testing::AssertionFailure() << "console text\n"
                                       << actual.console << "\ninstead of\n"
                                       << expected.console;
  }
  if (actual.real != expected.real) return testing::AssertionFailure() << "real plane";
  if (actual.imag != expected.imag) return testing::AssertionFailure() << "imaginary plane";
  if (actual.magnitude != expected.magnitude) return testing::AssertionFailure() << "magnitudes";
  if (actual.pixels != expected.pixels) return testing::AssertionFailure() << "spectrum pixels";
  return testing::AssertionSuccess();
}

// Leftovers of an earlier call: both computations start from the same ones.
void scribbleOverOutputs() {
  const int columns = std::min(static_cast<int>(spectrumView.header.biWidth) + 16, kPlaneCapacity);
  for (int y = 0; y < spectrumView.header.biHeight; ++y) {
    for (int x = 0; x < columns; ++x) {
      realPlane[y][x] = static_cast<float>(x - y);
      imagPlane[y][x] = -0.0f;
      magnitudePlane[y][x] = static_cast<float>(y * 3 + x) * 0.25f;
    }
  }
  std::memset(spectrumView.pixels, kUntouched,
              static_cast<size_t>(spectrumView.header.biWidth) * spectrumView.header.biHeight * 3);
}

// Runs one computation from the same leftovers and keeps what it left, reusing the storage.
void run(void (*compute)(int, int, int, int), const int mode[4], Outcome &outcome) {
  scribbleOverOutputs();
  resetScriptedPlatform();
  compute(mode[0], mode[1], mode[2], mode[3]);
  outcome.console = scriptedOutput;
  planeBits(realPlane, outcome.real);
  planeBits(imagPlane, outcome.imag);
  planeBits(magnitudePlane, outcome.magnitude);
  const std::uint8_t *pixels = spectrumView.pixels;
  outcome.pixels.assign(pixels, pixels + static_cast<size_t>(spectrumView.header.biWidth) *
                                             spectrumView.header.biHeight * 3);
}

// Full noise, sparse bright dots (exact zeros and ties), or a few grey levels in stripes.
void paintPicture(std::mt19937 &random, int kind) {
  std::uniform_int_distribution<int> byte(0, 255);
  for (int row = 0; row < sourceView.header.biHeight; ++row) {
    for (int x = 0; x < sourceView.header.biWidth; ++x) {
      std::uint8_t *pixel = pictureBytes(x, row);
      for (int c = 0; c < 3; ++c) {
        switch (kind) {
          case 0:
            pixel[c] = static_cast<std::uint8_t>(byte(random));
            break;
          case 1:
            pixel[c] = byte(random) < 8 ? 255 : 0;
            break;
          default:
            pixel[c] = static_cast<std::uint8_t>((x / 2 % 3) * 60 + c);
            break;
        }
      }
    }
  }
}

// Instrumented builds look for memory and thread faults, which the modes do not change beyond
// the rendering: there the larger pictures go through two modes only, to keep the run short.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kInstrumented = true;
#else
constexpr bool kInstrumented = false;
#endif

using FastPathTest = PictureTest;

TEST_F(FastPathTest, EqualsThePlainComputationForEverySizeAndMode) {
  const int modes[][4] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {1, 1, 0, 0}, {0, 0, 1, 0},
                          {1, 0, 1, 0}, {0, 1, 1, 0}, {1, 1, 1, 0}, {1, 1, 1, 1}};
  const std::vector<const LaneKernels *> kernelSets = runnableKernels();
  const SettingRestored<const LaneKernels *> restored(spectrumKernels);
  std::mt19937 random(2024);
  Outcome expected;
  Outcome actual;
  int picture = 0;
  for (int w2 = 1; w2 <= 1024; w2 *= 2) {
    for (int h2 = 1; h2 <= 1024; h2 *= 2, ++picture) {
      // A picture a little larger than the rectangle, so that padding and cropping take part.
      setUpPicture(w2 + w2 / 3, h2 + h2 / 5);
      ASSERT_EQ(spectrumView.header.biWidth, w2);
      ASSERT_EQ(spectrumView.header.biHeight, h2);
      paintPicture(random, picture % 3);
      for (const int *mode : modes) {
        if (kInstrumented && w2 * h2 > 64 * 64 && mode != modes[0] && mode != modes[7]) continue;
        run(referenceComputeSpectrum, mode, expected);
        for (const LaneKernels *kernels : kernelSets) {
          spectrumKernels = kernels;
          run(computeSpectrum, mode, actual);
          const std::string where = std::string(kernels->name) + ", " + std::to_string(w2) + "x" +
                                    std::to_string(h2) + " mode " + std::to_string(mode[0]) +
                                    std::to_string(mode[1]) + std::to_string(mode[2]) +
                                    std::to_string(mode[3]);
          ASSERT_TRUE(sameOutcome(actual, expected)) << where;
        }
      }
    }
  }
}

// However many threads share the rows, panels and grey rows (more than the cores included), and
// whichever of them takes which, the bytes are those of the plain computation.
TEST_F(FastPathTest, EveryThreadCountGivesThePlainComputationsBytes) {
  const int sizes[][2] = {{64, 64}, {1024, 64}, {64, 1024}, {256, 512}, {1024, 1024}};
  const int modes[][4] = {{0, 0, 0, 0}, {1, 1, 0, 0}, {1, 0, 1, 0}, {0, 1, 1, 0}};
  std::mt19937 random(7);
  Outcome expected;
  Outcome actual;
  for (const auto &size : sizes) {
    setUpPicture(size[0], size[1]);
    paintPicture(random, 0);
    for (const int *mode : modes) {
      if (kInstrumented && size[0] * size[1] > 256 * 512 && mode != modes[0]) continue;
      run(referenceComputeSpectrum, mode, expected);
      for (int threads : {1, 2, 3, 8}) {
        const SettingRestored<int> count(spectrumThreads, threads);
        run(computeSpectrum, mode, actual);
        const std::string where = std::to_string(threads) + " threads, " + std::to_string(size[0]) +
                                  "x" + std::to_string(size[1]) + " mode " +
                                  std::to_string(mode[0]) + std::to_string(mode[1]) +
                                  std::to_string(mode[2]);
        ASSERT_TRUE(sameOutcome(actual, expected)) << where;
      }
    }
  }
}

// The kernels' grey levels against the division, for every byte sum at every place in a row of
// every kernel width, the row's last pixels included.
TEST(GreyLevels, EveryKernelSetGivesEachByteSumItsThird) {
  constexpr int kWidth = 1024;
  constexpr int kRows = 16;
  std::vector<std::uint8_t> picture(static_cast<size_t>(kWidth) * 3 * kRows);
  const auto pass = std::make_unique<SpectrumPass>();
  pass->w2 = kWidth;
  for (int sum = 0; sum < kByteSums; ++sum) pass->greyOfSum[sum] = greyOfByteSum(sum);
  for (int y = 0; y < kRows; ++y) {
    std::uint8_t *row = &picture[static_cast<size_t>(y) * kWidth * 3];
    pass->sourceRows[y] = row;
    for (int x = 0; x < kWidth; ++x) {
      // Three bytes that add up to sum, which runs through all of them every 766 pixels.
      const int sum = (7 * x + 97 * y) % kByteSums;
      for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<std::uint8_t>((sum + c) / 3);
    }
  }
  std::vector<float> levels(kWidth);
  for (const LaneKernels *kernels : runnableKernels()) {
    for (int y = 0; y < kRows; ++y) {
      kernels->greyRow(*pass, y, levels.data());
      for (int x = 0; x < kWidth; ++x) {
        const int sum = (7 * x + 97 * y) % kByteSums;
        ASSERT_EQ(std::memcmp(&levels[x], &pass->greyOfSum[sum], sizeof(float)), 0)
            << kernels->name << ": sum " << sum << " at x " << x << " gave " << levels[x];
      }
    }
  }
}

// Each row holds two waves of nearly equal strength, the stronger one visited later, by gaps from
// 2^-9 down to below a float's rounding: every kernel set gives each row the maximum and column of
// fft1d's first strictly largest magnitude, however close the two peaks.
TEST(RowMaxima, EveryKernelSetTellsNearlyEqualPeaksApart) {
  constexpr int kWidth = 64;
  constexpr int kRows = 16;
  std::vector<std::vector<float>> grey(kRows, std::vector<float>(kWidth));
  std::vector<std::vector<float>> real(kRows, std::vector<float>(kWidth));
  std::vector<std::vector<float>> imag(kRows, std::vector<float>(kWidth));
  std::vector<const float *> greyRows;
  std::vector<float *> realRows;
  std::vector<float *> imagRows;
  std::vector<float> expectedBest(kRows);
  std::vector<int> expectedX(kRows);
  for (int y = 0; y < kRows; ++y) {
    const double stronger = 1 + std::ldexp(1.0, -9 - y);
    for (int x = 0; x < kWidth; ++x) {
      const double turn = 2 * std::acos(-1.0) * x / kWidth;
      grey[y][x] = static_cast<float>(std::cos(3 * turn) + stronger * std::cos(5 * turn));
    }
    greyRows.push_back(grey[y].data());
    realRows.push_back(real[y].data());
    imagRows.push_back(imag[y].data());
    std::vector<float> re = grey[y];
    std::vector<float> im(kWidth, 0.0f);
    fft1d(re.data(), im.data(), kWidth);
    float best = 0;
    for (int x = 0; x < kWidth; ++x) {
      const float m = static_cast<float>(
          std::sqrt(static_cast<double>(re[x]) * re[x] + static_cast<double>(im[x]) * im[x]));
      if (best < m) {
        best = m;
        expectedX[y] = x;
      }
    }
    expectedBest[y] = best;
  }
  const auto pass = std::make_unique<SpectrumPass>();
  pass->w2 = kWidth;
  pass->h2 = kRows;
  pass->greyRows = greyRows.data();
  pass->realRows = realRows.data();
  pass->imagRows = imagRows.data();
  pass->streamPlanes = false;
  planTwiddles(kWidth, pass->rowTwiddles);
  float order[kWidth];
  float unused[kWidth] = {};
  for (int k = 0; k < kWidth; ++k) order[k] = static_cast<float>(k);
  bitPairReorder(order, unused, kWidth);
  for (int k = 0; k < kWidth; ++k) pass->rowOrder[k] = static_cast<int>(order[k]);
  pass->rowRoot = 8.0f;  // the root of 64, and its exact reciprocal
  pass->rowScale = 0.125f;
  for (const LaneKernels *kernels : runnableKernels()) {
    for (int y0 = 0; y0 < kRows; y0 += kernels->lanes) kernels->transformRows(*pass, y0);
    for (int y = 0; y < kRows; ++y) {
      EXPECT_EQ(pass->rowBest[y], expectedBest[y]) << kernels->name << ", row " << y;
      EXPECT_EQ(pass->rowBestX[y], expectedX[y]) << kernels->name << ", row " << y;
    }
  }
}

struct ThreadSetting {
  const char *setting;
  unsigned processors;
  int threads;
};

TEST(SpectrumThreads, TakeTheSettingWhenItIsACountElseTheProcessorCount) {
  const ThreadSetting cases[] = {
      {nullptr, 4, 4}, {"", 4, 4},      {"1", 8, 1},          {"3", 2, 3},
      {"8", 16, 8},    {"256", 2, 256}, {"257", 2, 2},        {"0", 2, 2},
      {"-2", 2, 2},    {"two", 2, 2},   {"2x", 6, 6},         {"99999999999999999999", 2, 2},
      {nullptr, 0, 1}, {"0", 0, 1},     {nullptr, 1000, 256}, {nullptr, 1, 1},
  };
  for (const ThreadSetting &c : cases) {
    EXPECT_EQ(threadCountFrom(c.setting, c.processors), c.threads)
        << (c.setting ? c.setting : "(unset)") << " with " << c.processors << " processors";
  }
}

}  // namespace
