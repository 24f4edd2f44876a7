// The radix-2 decimation-in-frequency transform with recurrence twiddles and bit-pair reordering.
#include "spectrum/fft1d.h"

#include <cmath>
#include <utility>

int powerOfTwo(int n) {
  return 1 << n;
}

int floorLog2(int n) {
  return static_cast<int>(std::log(n + 0.5) / std::log(2.0));
}

namespace {

// The rotation from one twiddle of a stage to the next, as the stage with `blocks` blocks of an
// n-point transform takes it: wpi = sin theta and wpr = cos theta - 1.
struct TwiddleStep {
  float wpr;
  float wpi;
};

TwiddleStep twiddleStep(int n, int blocks) {
  const float delta = static_cast<float>(kTwoPi / n);
  const float theta = static_cast<float>(blocks * static_cast<double>(delta));
  const float wpi = static_cast<float>(std::sin(static_cast<double>(theta)));
  // cos(theta) - 1 as -2 sin^2(theta/2): the unrounded sine times the stored one.
  const double sigma = std::sin(theta / 2.0);
  const float tau = static_cast<float>(sigma);
  const float wpr = static_cast<float>((sigma * -2.0) * tau);
  return {wpr, wpi};
}

// The twiddle (wr, wi) becomes the next one of its block.
void advanceTwiddle(float &wr, float &wi, TwiddleStep step) {
  const float nextWi = static_cast<float>(
      (static_cast<double>(step.wpr) * wi + static_cast<double>(step.wpi) * wr) + wi);
  const float nextWr = static_cast<float>(
      (static_cast<double>(step.wpr) * wr - static_cast<double>(step.wpi) * wi) + wr);
  wi = nextWi;
  wr = nextWr;
}

void reorder(float *re, float *im, int n, int stages) {
  // Level i exchanges index bit i-1 with bit stages-i; together they reverse every index.
  for (int i = 1; i <= stages / 2; ++i) {
    const int p = powerOfTwo(i - 1);
    const int q = n / (4 * p);
    for (int g = 0; g < p; ++g) {
      const int g0 = g * 4 * q;
      for (int k = 1; k <= q; ++k) {
        const int u = ((k - 1) / p) * p + k;
        const int first = g0 + p + u - 1;
        const int second = g0 + 2 * q + u - 1;
        std::swap(re[first], re[second]);
        std::swap(im[first], im[second]);
      }
    }
  }
}

}  // namespace

void bitPairReorder(float *re, float *im, int n) {
  reorder(re, im, n, floorLog2(n));
}

void fft1d(float *re, float *im, int n) {
  const int stages = floorLog2(n);

  for (int s = 1; s <= stages; ++s) {
    const int blocks = powerOfTwo(s - 1);
    const int half = n / (2 * blocks);
    const int length = 2 * half;
    const TwiddleStep step = twiddleStep(n, blocks);
    for (int j = 0; j < blocks; ++j) {
      const int base = j * length;
      float wr = 1.0f;
      float wi = 0.0f;
      for (int k = 0; k < half; ++k) {
        const int a = base + k;
        const int b = a + half;
        const float xa = re[a];
        const float ya = im[a];
        re[a] = static_cast<float>(static_cast<double>(xa) + re[b]);
        im[a] = static_cast<float>(static_cast<double>(ya) + im[b]);
        const float dr = static_cast<float>(static_cast<double>(xa) - re[b]);
        const float di = static_cast<float>(static_cast<double>(ya) - im[b]);
        re[b] = static_cast<float>(static_cast<double>(dr) * wr + static_cast<double>(di) * wi);
        im[b] = static_cast<float>(static_cast<double>(di) * wr - static_cast<double>(dr) * wi);
        advanceTwiddle(wr, wi, step);
      }
    }
  }

  reorder(re, im, n, stages);

  const float root = static_cast<float>(std::sqrt(static_cast<double>(n)));
  for (int k = 0; k < n; ++k) {
    re[k] = static_cast<float>(re[k] / static_cast<double>(root));
    im[k] = static_cast<float>(im[k] / static_cast<double>(root));
  }
}

void fft1dTwiddles(int n, float *twiddleRe, float *twiddleIm) {
  const int stages = floorLog2(n);
  int offset = 0;
  for (int s = 1; s <= stages; ++s) {
    const int blocks = powerOfTwo(s - 1);
    const int half = n / (2 * blocks);
    const TwiddleStep step = twiddleStep(n, blocks);
    float wr = 1.0f;
    float wi = 0.0f;
    for (int k = 0; k < half; ++k) {
      twiddleRe[offset + k] = wr;
      twiddleIm[offset + k] = wi;
      advanceTwiddle(wr, wi, step);
    }
    offset += half;
  }
}
