// fft1d against the figures it must reproduce and against transforms summed term by term.
#include "spectrum/fft1d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace {

using Exact = std::complex<long double>;

const long double kExactTwoPi = 6.283185307179586476925286766559L;

int bitReversed(int index, int bits) {
  int reversed = 0;
  for (int d = 0; d < bits; ++d) reversed |= ((index >> d) & 1) << (bits - 1 - d);
  return reversed;
}

// The transform the butterflies compute, summed directly: every stage d contributes, for a set
// bit d of k, a sign from bit n-1-d of t and a twiddle whose angle is built from kTwoPi.
std::vector<Exact> definingSum(const std::vector<float> &re, const std::vector<float> &im) {
  const int n = static_cast<int>(re.size());
  const int bits = floorLog2(n);
  std::vector<std::vector<Exact>> twiddles(bits);
  for (int d = 0; d < bits; ++d) {
    const long double period = std::ldexp(1.0L, bits - d);
    for (int r = 0; r < (1 << (bits - 1 - d)); ++r) {
      const long double angle = -static_cast<long double>(kTwoPi) * r / period;
      twiddles[d].push_back(Exact(std::cos(angle), std::sin(angle)));
    }
  }
  std::vector<Exact> out(n);
  for (int k = 0; k < n; ++k) {
    Exact sum = 0;
    for (int t = 0; t < n; ++t) {
      Exact factor = 1;
      for (int d = 0; d < bits; ++d) {
        if (((k >> d) & 1) == 0) continue;
        const int high = bits - 1 - d;
        factor *= twiddles[d][t & ((1 << high) - 1)];
        if ((t >> high) & 1) factor = -factor;
      }
      sum += Exact(re[t], im[t]) * factor;
    }
    out[k] = sum / std::sqrt(static_cast<long double>(n));
  }
  return out;
}

std::vector<Exact> unitaryTransform(const std::vector<float> &re, const std::vector<float> &im) {
  const int n = static_cast<int>(re.size());
  std::vector<Exact> roots(n);
  for (int j = 0; j < n; ++j) {
    const long double angle = -kExactTwoPi * j / n;
    roots[j] = Exact(std::cos(angle), std::sin(angle));
  }
  std::vector<Exact> out(n);
  for (int k = 0; k < n; ++k) {
    Exact sum = 0;
    for (int t = 0; t < n; ++t) sum += Exact(re[t], im[t]) * roots[(static_cast<long>(k) * t) % n];
    out[k] = sum / std::sqrt(static_cast<long double>(n));
  }
  return out;
}

long double largestDeviation(const std::vector<float> &re, const std::vector<float> &im,
                             const std::vector<Exact> &expected) {
  long double largest = 0;
  for (size_t k = 0; k < re.size(); ++k) {
    largest = std::max(largest, std::abs(Exact(re[k], im[k]) - expected[k]));
  }
  return largest;
}

struct FourPointCase {
  const char *name;
  std::vector<float> inRe;
  std::vector<float> outRe;
  std::vector<float> outIm;
};

}  // namespace

// Every length the transform takes, 1 to 1024: n is 2 to the power floorLog2(n).
TEST(Fft1d, FloorLog2IsTheBinaryLogarithmOfEveryLength) {
  for (int stages = 0; stages <= 10; ++stages) {
    const int n = static_cast<int>(std::ldexp(1.0, stages));
    EXPECT_EQ(floorLog2(n), stages) << n;
  }
}

TEST(Fft1d, LengthOneLeavesTheValueAsItIs) {
  const float values[][2] = {{0.0f, 0.0f}, {3.25f, -1.5f}, {-0.0f, 255.0f}, {1e-30f, -7e20f}};
  for (const auto &value : values) {
    float re = value[0];
    float im = value[1];
    fft1d(&re, &im, 1);
    EXPECT_EQ(std::signbit(re), std::signbit(value[0]));
    EXPECT_EQ(re, value[0]);
    EXPECT_EQ(im, value[1]);
  }
}

TEST(Fft1d, FourPointFiguresExactly) {
  const FourPointCase cases[] = {
      {"impulse at 0", {1, 0, 0, 0}, {0.5f, 0.5f, 0.5f, 0.5f}, {0, 0, 0, 0}},
      {"constant", {1, 1, 1, 1}, {2, 0, 0, 0}, {0, 0, 0, 0}},
      // 6.283 standing for 2*pi leaves a trace in the real parts of elements 1 and 3.
      {"impulse at 1",
       {0, 1, 0, 0},
       {0.5f, 2.3186207e-5f, -0.5f, -2.3186207e-5f},
       {0, -0.5f, 0, 0.5f}},
  };
  for (const FourPointCase &c : cases) {
    std::vector<float> re = c.inRe;
    std::vector<float> im(4, 0.0f);
    fft1d(re.data(), im.data(), 4);
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(re[k], c.outRe[k]) << c.name << " re[" << k << "]";
      EXPECT_EQ(im[k], c.outIm[k]) << c.name << " im[" << k << "]";
    }
  }
}

TEST(BitPairReorder, EightPointsGoToTheirBitReversedPlaces) {
  std::vector<float> re = {0, 1, 2, 3, 4, 5, 6, 7};
  std::vector<float> im = {0, 10, 20, 30, 40, 50, 60, 70};
  bitPairReorder(re.data(), im.data(), 8);
  EXPECT_EQ(re, (std::vector<float>{0, 4, 2, 6, 1, 5, 3, 7}));
  EXPECT_EQ(im, (std::vector<float>{0, 40, 20, 60, 10, 50, 30, 70}));
}

TEST(BitPairReorder, EveryLengthReversesEveryIndex) {
  for (int n = 1; n <= 1024; n *= 2) {
    std::vector<float> re(n);
    std::vector<float> im(n);
    for (int i = 0; i < n; ++i) {
      re[i] = static_cast<float>(i);
      im[i] = static_cast<float>(-i);
    }
    bitPairReorder(re.data(), im.data(), n);
    for (int k = 0; k < n; ++k) {
      ASSERT_EQ(re[k], static_cast<float>(bitReversed(k, floorLog2(n)))) << "n " << n << " k " << k;
      ASSERT_EQ(im[k], -re[k]) << "n " << n << " k " << k;
    }
  }
}

// n values of each part drawn uniformly from [-limit, limit].
static void randomSignal(std::mt19937 &random, float limit, int n, std::vector<float> &re,
                         std::vector<float> &im) {
  std::uniform_real_distribution<float> unit(-limit, limit);
  re.resize(n);
  im.resize(n);
  for (int t = 0; t < n; ++t) {
    re[t] = unit(random);
    im[t] = unit(random);
  }
}

TEST(Fft1d, StaysNearBothYardsticksForEveryLength) {
  struct Case {
    const char *yardstick;
    unsigned seed;
    float amplitude;
    std::vector<Exact> (*expect)(const std::vector<float> &, const std::vector<float> &);
    long double bound;
  };
  const Case cases[] = {
      // Only single-precision rounding separates the transform from its butterfly sum.
      {"butterfly sum", 12345, 1.0f, definingSum, 4e-6L},
      {"unitary transform", 777, 0.7f, unitaryTransform, 1e-3L},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.yardstick);
    std::mt19937 random(c.seed);
    for (int n = 1; n <= 1024; n *= 2) {
      std::vector<float> re, im;
      randomSignal(random, c.amplitude, n, re, im);
      const std::vector<Exact> expected = c.expect(re, im);
      fft1d(re.data(), im.data(), n);
      EXPECT_LT(largestDeviation(re, im, expected), c.bound) << "n " << n;
    }
  }
}

TEST(Fft1d, TonesOfModulusOneStayWithinTheStatedBound) {
  // A pure tone puts the whole signal into one output, where the angle error adds up most.
  const int n = 1024;
  long double worst = 0;
  for (int tone : {1, 3, 100, 511, 512, 700, 1023}) {
    std::vector<float> re(n);
    std::vector<float> im(n);
    for (int t = 0; t < n; ++t) {
      const double angle = 2 * std::numbers::pi * ((static_cast<long>(tone) * t) % n) / n;
      re[t] = static_cast<float>(std::cos(angle));
      im[t] = static_cast<float>(std::sin(angle));
    }
    const std::vector<Exact> expected = unitaryTransform(re, im);
    fft1d(re.data(), im.data(), n);
    const long double deviation = largestDeviation(re, im, expected);
    EXPECT_LT(deviation, 1.2e-2L) << "tone " << tone;
    worst = std::max(worst, deviation);
  }
  // The angles really are 6.283-based: an exact 2*pi would leave only rounding noise.
  EXPECT_GT(worst, 1e-3L);
}
