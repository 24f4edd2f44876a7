// The edge tapers on grey levels alone: periodic-plus-smooth against its definition summed term by
// term, the same bits on any number of threads and on every platform.
#include "spectrum/taper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "common/dib_view.h"
#include "spectrum/fft1d.h"
#include "spectrum/grey_levels.h"
#include "spectrum/lanes.h"
#include "spectrum/spectrum.h"
#include "spectrum/workers.h"
#include "tests/spectrum/picture_fixture.h"

namespace {

using Exact = std::complex<long double>;

const long double kExactTwoPi = 6.283185307179586476925286766559L;

// A w x h picture of grey levels (thirds of byte sums, as the program makes them), the same
// from any standard library: the generator's raw output is defined, its distributions are not.
struct Levels {
  int w, h;
  std::vector<float> values;
  std::vector<float *> rows;

  Levels(int width, int height, unsigned seed) : w(width), h(height), values(width * height) {
    std::mt19937 random(seed);
    for (float &v : values) v = static_cast<float>(static_cast<int>(random() % 766) / 3.0);
    for (int y = 0; y < h; ++y) rows.push_back(&values[static_cast<size_t>(y) * w]);
  }
};

// The grey levels minus the smooth component as its definition gives it: the jumps between
// opposite edges v, their spectrum divided by that of the periodic Laplacian (0 at the DC
// term), transformed back, every sum written out in long double.
std::vector<long double> definedPeriodicPart(const Levels &grey) {
  const int w = grey.w, h = grey.h;
  auto at = [&](int x, int y) -> long double {
    return grey.values[static_cast<size_t>(y) * w + x];
  };
  std::vector<long double> v(static_cast<size_t>(w) * h, 0.0L);
  for (int x = 0; x < w; ++x) {
    v[x] += at(x, h - 1) - at(x, 0);
    v[static_cast<size_t>(h - 1) * w + x] -= at(x, h - 1) - at(x, 0);
  }
  for (int y = 0; y < h; ++y) {
    v[static_cast<size_t>(y) * w] += at(w - 1, y) - at(0, y);
    v[static_cast<size_t>(y) * w + w - 1] -= at(w - 1, y) - at(0, y);
  }
  // e^(sign 2 pi i k / n) from a table per length.
  std::vector<Exact> rootsW(w), rootsH(h);
  for (int k = 0; k < w; ++k) rootsW[k] = std::polar(1.0L, kExactTwoPi * k / w);
  for (int k = 0; k < h; ++k) rootsH[k] = std::polar(1.0L, kExactTwoPi * k / h);
  auto root = [&](long k, long n, int sign) {
    const Exact r = (n == w ? rootsW : rootsH)[k % n];
    return sign > 0 ? r : std::conj(r);
  };
  // Rows, then columns, forward; divide; columns, then rows, back.
  std::vector<Exact> across(static_cast<size_t>(w) * h), both(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int u = 0; u < w; ++u) {
      Exact sum = 0;
      for (int x = 0; x < w; ++x) sum += v[static_cast<size_t>(y) * w + x] * root(u * x, w, -1);
      across[static_cast<size_t>(y) * w + u] = sum;
    }
  }
  for (int k = 0; k < h; ++k) {
    for (int u = 0; u < w; ++u) {
      Exact sum = 0;
      for (int y = 0; y < h; ++y)
        sum += across[static_cast<size_t>(y) * w + u] * root(k * y, h, -1);
      const long double laplacian =
          2 * std::cos(kExactTwoPi * u / w) + 2 * std::cos(kExactTwoPi * k / h) - 4;
      both[static_cast<size_t>(k) * w + u] = (u == 0 && k == 0) ? Exact(0) : sum / laplacian;
    }
  }
  for (int y = 0; y < h; ++y) {
    for (int u = 0; u < w; ++u) {
      Exact sum = 0;
      for (int k = 0; k < h; ++k) sum += both[static_cast<size_t>(k) * w + u] * root(k * y, h, 1);
      across[static_cast<size_t>(y) * w + u] = sum;
    }
  }
  std::vector<long double> periodic(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      Exact sum = 0;
      for (int u = 0; u < w; ++u) sum += across[static_cast<size_t>(y) * w + u] * root(u * x, w, 1);
      periodic[static_cast<size_t>(y) * w + x] =
          at(x, y) - sum.real() / (static_cast<long double>(w) * h);
    }
  }
  return periodic;
}

std::vector<std::uint32_t> bitsOf(const std::vector<float> &values) {
  std::vector<std::uint32_t> bits(values.size());
  std::memcpy(bits.data(), values.data(), values.size() * sizeof(float));
  return bits;
}

// Every shape the closed form treats apart: one row or column, two, the small sizes where the
// transform has no full stage, and long thin ones where r^h2 comes close to 1.
TEST(Taper, PeriodicPlusSmoothIsItsDefinitionToFarBelowAGreyStep) {
  const int shapes[][2] = {{1, 1},  {1, 8},   {8, 1},    {2, 2},    {4, 2},    {2, 4},   {16, 8},
                           {8, 64}, {64, 32}, {1024, 2}, {2, 1024}, {256, 64}, {32, 128}};
  for (const auto &shape : shapes) {
    const int w = shape[0], h = shape[1];
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    Levels grey(w, h, static_cast<unsigned>(w * 7919 + h));
    const std::vector<long double> expected = definedPeriodicPart(grey);
    applyTaper(Taper::periodic, grey.rows.data(), w, h, 2);
    double worst = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
      worst = std::max(worst, static_cast<double>(std::fabs(grey.values[i] - expected[i])));
    }
    // A grey step is 1/3; a float near 255 carries 1.5e-5.
    EXPECT_LT(worst, 1e-4);
  }
}

TEST(Taper, EveryThreadCountGivesTheSameBits) {
  for (Taper taper : {Taper::periodic, Taper::hann}) {
    SCOPED_TRACE(taperName(taper));
    std::vector<std::uint32_t> first;
    for (int threads : {1, 2, 3, 8}) {
      Levels grey(256, 128, 5);
      applyTaper(taper, grey.rows.data(), grey.w, grey.h, threads);
      if (first.empty()) first = bitsOf(grey.values);
      EXPECT_EQ(bitsOf(grey.values), first) << threads << " threads";
    }
  }
}

// The tapers take their cosines from basic operations in a fixed order, not from the C library,
// so the Windows build gives these very bits, and so does every kernel set; they change only with
// the taper's arithmetic.
TEST(Taper, TheSameBitsOnEveryPlatform) {
  const struct {
    Taper taper;
    int w, h;
    std::uint64_t digest;
  } cases[] = {{Taper::periodic, 64, 32, 3288033203751959929ull},
               {Taper::hann, 64, 32, 12266667583445268711ull},
               {Taper::periodic, 1024, 256, 5176889248441355627ull}};
  // Every kernel set, whatever the width of its lanes.
  const SettingRestored<const LaneKernels *> restored(spectrumKernels);
  for (const LaneKernels *kernels : runnableKernels()) {
    spectrumKernels = kernels;
    for (const auto &c : cases) {
      SCOPED_TRACE(std::string(kernels->name) + " " + taperName(c.taper) + " " +
                   std::to_string(c.w) + " x " + std::to_string(c.h));
      Levels grey(c.w, c.h, 11);
      applyTaper(c.taper, grey.rows.data(), grey.w, grey.h, 2);
      std::uint64_t digest = 14695981039346656037ull;  // FNV-1a over the levels' bits
      for (std::uint32_t bits : bitsOf(grey.values)) {
        for (int i = 0; i < 4; ++i) {
          digest = (digest ^ ((bits >> (8 * i)) & 0xff)) * 1099511628211ull;
        }
      }
      EXPECT_EQ(digest, c.digest);
    }
  }
}

class TaperedSpectrum : public PictureTest {
 protected:
  void TearDown() override {
    spectrumOptions.taper = Taper::none;
    spectrumKernels = kernels_;
    spectrumThreads = threads_;
    PictureTest::TearDown();
  }
  const LaneKernels *kernels_ = spectrumKernels;
  int threads_ = spectrumThreads;
};

// Every kernel set reads the tapered levels for its row pass: whole tiles of rows, rows fewer
// than its lanes, rows shorter than its lanes. The row pass's planes are fft1d of the levels
// applyTaper gives.
TEST_F(TaperedSpectrum, EveryKernelSetTransformsTheTaperedLevels) {
  const int shapes[][2] = {{64, 64}, {32, 4}, {4, 32}, {128, 16}};
  std::mt19937 random(3);
  for (const auto &shape : shapes) {
    setUpPicture(shape[0], shape[1]);
    const int w2 = shape[0], h2 = shape[1];
    for (int y = 0; y < h2; ++y) {
      for (int x = 0; x < w2; ++x) {
        const auto level = static_cast<std::uint8_t>(random() % 256);
        setPictureGrey(x, y, level, static_cast<std::uint8_t>(255 - level), level);
      }
    }
    for (Taper taper : {Taper::periodic, Taper::hann}) {
      std::vector<float> levels(static_cast<size_t>(w2) * h2);
      std::vector<float *> rows;
      for (int y = 0; y < h2; ++y) {
        rows.push_back(&levels[static_cast<size_t>(y) * w2]);
        // Spectrum rows count up from the picture's bottom row, as the file stores them.
        for (int x = 0; x < w2; ++x) {
          rows[y][x] = greyOfByteSum(byteSum(pictureBytes(x, h2 - 1 - y)));
        }
      }
      applyTaper(taper, rows.data(), w2, h2, 1);
      std::vector<float> re(static_cast<size_t>(w2)), im(static_cast<size_t>(w2));
      for (const LaneKernels *kernels : runnableKernels()) {
        SCOPED_TRACE(std::string(kernels->name) + " " + taperName(taper) + " " +
                     std::to_string(w2) + " x " + std::to_string(h2));
        spectrumKernels = kernels;
        spectrumOptions.taper = taper;
        spectrumThreads = 2;
        computeSpectrum(0, 0, 0, 0);
        for (int y = 0; y < h2; ++y) {
          std::copy(rows[y], rows[y] + w2, re.begin());
          std::fill(im.begin(), im.end(), 0.0f);
          fft1d(re.data(), im.data(), w2);
          ASSERT_EQ(bitsOf(re), bitsOf(std::vector<float>(realPlane[y], realPlane[y] + w2))) << y;
          ASSERT_EQ(bitsOf(im), bitsOf(std::vector<float>(imagPlane[y], imagPlane[y] + w2))) << y;
        }
      }
    }
    tearDownPicture();
  }
}

}  // namespace
