// The Hann window and the periodic-plus-smooth decomposition (Moisan, J. Math. Imaging Vis. 2011)
// of the grey levels, the latter through an accurate transform of its own.
#include "spectrum/taper.h"

#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

#include "spectrum/workers.h"

namespace {

using Complex = std::complex<double>;

const double kPi = std::acos(-1.0);

// In-place radix-2 transform of n values (a power of two) taken every `step` elements; the
// inverse without its 1/n. Its twiddles are exact to double precision: the smooth component
// must cancel the edge jumps closely.
void transform(Complex *data, int n, int step, bool inverse) {
  for (int i = 1, j = 0; i < n; ++i) {
    int bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j |= bit;
    if (i < j) std::swap(data[i * step], data[j * step]);
  }
  for (int length = 2; length <= n; length <<= 1) {
    const double angle = (inverse ? 2 : -2) * kPi / length;
    for (int start = 0; start < n; start += length) {
      for (int k = 0; k < length / 2; ++k) {
        const Complex twiddle = std::polar(1.0, angle * k);
        Complex &a = data[(start + k) * step];
        Complex &b = data[(start + k + length / 2) * step];
        const Complex t = b * twiddle;
        b = a - t;
        a += t;
      }
    }
  }
}

// The two-dimensional transform of an h2 x w2 array, rows then columns, shared between threads.
void transform2d(std::vector<Complex> &data, int w2, int h2, bool inverse, int threads) {
  std::atomic<int> next{0};
  runOnWorkers(threads, [&](int) {
    for (int y = next++; y < h2; y = next++)
      transform(&data[static_cast<size_t>(y) * w2], w2, 1, inverse);
  });
  next = 0;
  runOnWorkers(threads, [&](int) {
    for (int x = next++; x < w2; x = next++) transform(&data[x], h2, w2, inverse);
  });
}

// The smooth component's effect removed: grey minus the solution s of (periodic Laplacian) s = v,
// v holding the jumps between opposite edges, solved in the frequency domain.
void subtractSmoothComponent(float *const *grey, int w2, int h2, int threads) {
  std::vector<Complex> v(static_cast<size_t>(w2) * h2);
  const auto at = [&](int y, int x) -> Complex & { return v[static_cast<size_t>(y) * w2 + x]; };
  for (int x = 0; x < w2; ++x) {
    const double jump = static_cast<double>(grey[h2 - 1][x]) - grey[0][x];
    at(0, x) += jump;
    at(h2 - 1, x) -= jump;
  }
  for (int y = 0; y < h2; ++y) {
    const double jump = static_cast<double>(grey[y][w2 - 1]) - grey[y][0];
    at(y, 0) += jump;
    at(y, w2 - 1) -= jump;
  }
  transform2d(v, w2, h2, false, threads);
  std::vector<double> cosX(static_cast<size_t>(w2)), cosY(static_cast<size_t>(h2));
  for (int x = 0; x < w2; ++x) cosX[x] = 2 * std::cos(2 * kPi * x / w2);
  for (int y = 0; y < h2; ++y) cosY[y] = 2 * std::cos(2 * kPi * y / h2);
  for (int y = 0; y < h2; ++y) {
    for (int x = 0; x < w2; ++x) {
      const double denominator = cosX[x] + cosY[y] - 4;
      at(y, x) = (x == 0 && y == 0) ? Complex(0) : at(y, x) / denominator;
    }
  }
  transform2d(v, w2, h2, true, threads);
  const double scale = 1.0 / (static_cast<double>(w2) * h2);
  for (int y = 0; y < h2; ++y) {
    for (int x = 0; x < w2; ++x) {
      grey[y][x] = static_cast<float>(grey[y][x] - at(y, x).real() * scale);
    }
  }
}

// The periodic Hann window of n points; a single point keeps its weight.
std::vector<double> hannWeights(int n) {
  std::vector<double> weights(static_cast<size_t>(n), 1.0);
  if (n > 1) {
    for (int i = 0; i < n; ++i) weights[i] = 0.5 - 0.5 * std::cos(2 * kPi * i / n);
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
    subtractSmoothComponent(grey, w2, h2, threads);
  } else if (taper == Taper::hann) {
    const std::vector<double> across = hannWeights(w2), down = hannWeights(h2);
    for (int y = 0; y < h2; ++y) {
      for (int x = 0; x < w2; ++x) {
        grey[y][x] = static_cast<float>(grey[y][x] * across[x] * down[y]);
      }
    }
  }
}
