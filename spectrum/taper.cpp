// The Hann window and the periodic-plus-smooth decomposition (Moisan, J. Math. Imaging Vis. 2011)
// of the grey levels, the latter through an accurate transform of its own.
#include "spectrum/taper.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

#include "spectrum/workers.h"

namespace {

using Complex = std::complex<double>;

const double kPi = std::acos(-1.0);

// An n-point radix-2 transform (n a power of two) with its twiddles worked out once: exact to
// double precision, for the smooth component must cancel the edge jumps closely.
struct Transform {
  int n = 0;
  std::vector<Complex> twiddles;  // e^(-2 pi i k / n), k < n / 2
  std::vector<int> reversed;      // bit-reversed index

  explicit Transform(int size) : n(size), twiddles(static_cast<size_t>(size / 2)), reversed(size) {
    for (int k = 0; k < n / 2; ++k) twiddles[k] = std::polar(1.0, -2 * kPi * k / n);
    for (int i = 0, j = 0; i < n; ++i) {
      reversed[i] = j;
      int bit = n >> 1;
      for (; bit > 0 && (j & bit); bit >>= 1) j ^= bit;
      j |= bit;
    }
  }

  // In place on n contiguous values; the inverse without its 1/n.
  void run(Complex *data, bool inverse) const {
    for (int i = 0; i < n; ++i) {
      if (i < reversed[i]) std::swap(data[i], data[reversed[i]]);
    }
    for (int half = 1; half < n; half <<= 1) {
      const int stride = n / (2 * half);
      for (int start = 0; start < n; start += 2 * half) {
        for (int k = 0; k < half; ++k) {
          const Complex w = twiddles[k * stride];
          const double wi = inverse ? -w.imag() : w.imag();
          Complex &a = data[start + k];
          Complex &b = data[start + k + half];
          // Written out: the library's complex product checks for infinities at every call.
          const Complex t(b.real() * w.real() - b.imag() * wi, b.real() * wi + b.imag() * w.real());
          b = a - t;
          a += t;
        }
      }
    }
  }
};

// Columns of an h2 x w2 array go through the transform a few at a time, gathered into rows, so
// that each pass reads the array in whole cache lines.
constexpr int kColumnsAtOnce = 8;

// The inverse two-dimensional transform (without its scale) of an h2 x w2 array that is the
// transform of a real one, columns then rows, shared between threads; only the real parts of
// the result are right. A real result halves the work twice: the columns past w2 / 2 are the
// conjugates of those before, and two rows go through one complex transform, one as its real
// part and one as its imaginary part.
void inverse2dReal(std::vector<Complex> &data, int w2, int h2, int threads) {
  const Transform across(w2), down(h2);
  const int halfColumns = w2 / 2 + 1;
  std::atomic<int> next{0};
  runOnWorkers(threads, [&](int) {
    std::vector<Complex> columns(static_cast<size_t>(kColumnsAtOnce) * h2);
    for (int x0 = kColumnsAtOnce * next++; x0 < halfColumns; x0 = kColumnsAtOnce * next++) {
      const int count = std::min(kColumnsAtOnce, halfColumns - x0);
      for (int y = 0; y < h2; ++y) {
        for (int c = 0; c < count; ++c) {
          columns[static_cast<size_t>(c) * h2 + y] = data[static_cast<size_t>(y) * w2 + x0 + c];
        }
      }
      for (int c = 0; c < count; ++c) down.run(&columns[static_cast<size_t>(c) * h2], true);
      for (int y = 0; y < h2; ++y) {
        Complex *row = &data[static_cast<size_t>(y) * w2];
        for (int c = 0; c < count; ++c) {
          const int x = x0 + c;
          row[x] = columns[static_cast<size_t>(c) * h2 + y];
          if (x > 0 && x < w2 - x) row[w2 - x] = std::conj(row[x]);
        }
      }
    }
  });
  next = 0;
  runOnWorkers(threads, [&](int) {
    std::vector<Complex> pair(static_cast<size_t>(w2));
    for (int y = 2 * next++; y < h2; y = 2 * next++) {
      Complex *first = &data[static_cast<size_t>(y) * w2];
      Complex *second = y + 1 < h2 ? first + w2 : nullptr;
      for (int x = 0; x < w2; ++x) {
        // first + i * second, written out
        pair[x] =
            second ? Complex(first[x].real() - second[x].imag(), first[x].imag() + second[x].real())
                   : first[x];
      }
      across.run(pair.data(), true);
      for (int x = 0; x < w2; ++x) {
        first[x] = pair[x].real();
        if (second) second[x] = pair[x].imag();
      }
    }
  });
}

// The smooth component's effect removed: grey minus the solution s of (periodic Laplacian) s = v,
// v holding the jumps between opposite edges, solved in the frequency domain. v lives on the
// border alone, so its transform comes from two one-dimensional ones: the jumps a(x) between the
// last and first rows stand at rows 0 and h2 - 1 with opposite signs, giving
// A(u) (1 - e^(2 pi i v / h2)), and the jumps b(y) between the last and first columns likewise.
void subtractSmoothComponent(float *const *grey, int w2, int h2, int threads) {
  std::vector<Complex> a(static_cast<size_t>(w2)), b(static_cast<size_t>(h2));
  for (int x = 0; x < w2; ++x) a[x] = static_cast<double>(grey[h2 - 1][x]) - grey[0][x];
  for (int y = 0; y < h2; ++y) b[y] = static_cast<double>(grey[y][w2 - 1]) - grey[y][0];
  Transform(w2).run(a.data(), false);
  Transform(h2).run(b.data(), false);
  std::vector<Complex> edgeU(static_cast<size_t>(w2)), edgeV(static_cast<size_t>(h2));
  std::vector<double> cosU(static_cast<size_t>(w2)), cosV(static_cast<size_t>(h2));
  for (int u = 0; u < w2; ++u) {
    edgeU[u] = 1.0 - std::polar(1.0, 2 * kPi * u / w2);
    cosU[u] = 2 * std::cos(2 * kPi * u / w2);
  }
  for (int v = 0; v < h2; ++v) {
    edgeV[v] = 1.0 - std::polar(1.0, 2 * kPi * v / h2);
    cosV[v] = 2 * std::cos(2 * kPi * v / h2);
  }
  std::vector<Complex> smooth(static_cast<size_t>(w2) * h2);
  for (int v = 0; v < h2; ++v) {
    Complex *row = &smooth[static_cast<size_t>(v) * w2];
    for (int u = 0; u < w2; ++u) {
      const double denominator = cosU[u] + cosV[v] - 4;
      const Complex edges(a[u].real() * edgeV[v].real() - a[u].imag() * edgeV[v].imag() +
                              b[v].real() * edgeU[u].real() - b[v].imag() * edgeU[u].imag(),
                          a[u].real() * edgeV[v].imag() + a[u].imag() * edgeV[v].real() +
                              b[v].real() * edgeU[u].imag() + b[v].imag() * edgeU[u].real());
      row[u] = (u == 0 && v == 0) ? Complex(0) : edges / denominator;
    }
  }
  inverse2dReal(smooth, w2, h2, threads);
  const double scale = 1.0 / (static_cast<double>(w2) * h2);
  for (int y = 0; y < h2; ++y) {
    const Complex *row = &smooth[static_cast<size_t>(y) * w2];
    for (int x = 0; x < w2; ++x) {
      grey[y][x] = static_cast<float>(grey[y][x] - row[x].real() * scale);
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
