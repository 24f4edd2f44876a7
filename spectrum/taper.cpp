// The tapers' names, the Hann window, and the roots of unity both tapers take; the
// periodic-plus-smooth decomposition itself runs in the lane kernels (taper_body.inc).
#include "spectrum/taper.h"

#include <cstring>
#include <vector>

#include "spectrum/lanes.h"
#include "spectrum/unit_root.h"

namespace {

const double kPi = 3.141592653589793;  // the double nearest pi

// cos x and sin x for 0 <= x <= pi / 4 from their series, by basic operations in a fixed order:
// the same bits on every IEEE machine, where a C library's sin and cos may differ in the last one.
UnitRoot cosineSineNearZero(double x) {
  const double x2 = x * x;
  double c = 1;
  double s = 1;
  for (int k = 11; k >= 1; --k) {
    c = 1 - x2 / ((2.0 * k - 1) * (2.0 * k)) * c;
    s = 1 - x2 / ((2.0 * k) * (2.0 * k + 1)) * s;
  }
  return {c, x * s};
}

}  // namespace

// The angle's eighth of a turn from the series, the rest by symmetry.
UnitRoot unitRoot(long k, long n) {
  const long turn = ((k % n + n) % n) * (kTurn / n);
  const long rest = turn % (kTurn / 4);
  UnitRoot root;
  if (rest <= kTurn / 8) {
    root = cosineSineNearZero(2 * kPi * rest / kTurn);
  } else {
    const UnitRoot complement = cosineSineNearZero(2 * kPi * (kTurn / 4 - rest) / kTurn);
    root = {complement.im, complement.re};
  }
  switch (turn / (kTurn / 4)) {
    case 1:
      return {-root.im, root.re};
    case 2:
      return {-root.re, -root.im};
    case 3:
      return {root.im, -root.re};
  }
  return root;
}

namespace {

// The periodic Hann window of n points; a single point keeps its weight.
std::vector<double> hannWeights(int n) {
  std::vector<double> weights(static_cast<size_t>(n), 1.0);
  if (n > 1) {
    for (int i = 0; i < n; ++i) weights[i] = 0.5 - 0.5 * unitRoot(i, n).re;
  }
  return weights;
}

}  // namespace
const char *taperName(Taper taper) {
  switch (taper) {
    case Taper::periodic:
      return "periodic";
    case Taper::hann:
      return "hann";
    case Taper::none:
      break;
  }
  return "none";
}

bool taperNamed(const char *name, Taper *taper) {
  for (Taper candidate : {Taper::none, Taper::periodic, Taper::hann}) {
    if (std::strcmp(name, taperName(candidate)) == 0) {
      *taper = candidate;
      return true;
    }
  }
  return false;
}

void applyTaper(Taper taper, float *const *grey, int w2, int h2, int threads) {
  if (taper == Taper::periodic) {
    chosenKernels().subtractSmoothComponent(grey, w2, h2, threads);
  } else if (taper == Taper::hann) {
    const std::vector<double> across = hannWeights(w2), down = hannWeights(h2);
    for (int y = 0; y < h2; ++y) {
      for (int x = 0; x < w2; ++x) {
        grey[y][x] = static_cast<float>(grey[y][x] * across[x] * down[y]);
      }
    }
  }
}
