// The Hann window and the periodic-plus-smooth decomposition (Moisan, J. Math. Imaging Vis. 2011)
// of the grey levels, the latter solved in closed form down the columns and by an accurate
// transform of its own along the rows.
#include "spectrum/taper.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/dib_view.h"
#include "spectrum/workers.h"

namespace {

// Two doubles in one register: what every x86-64 processor has, and what this file is built for.
typedef double Doubles __attribute__((vector_size(2 * sizeof(double))));
constexpr int kLanes = sizeof(Doubles) / sizeof(double);

const double kPi = 3.141592653589793;  // the double nearest pi

struct UnitRoot {
  double re;
  double im;
};

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

// e^(2 pi i k / n), n a power of two up to kTurn: the angle's eighth of a turn from the series,
// the rest by symmetry.
constexpr long kTurn = 8192;
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

// The unscaled inverse transform, X(u) -> sum over u of X(u) e^(2 pi i u x / n), of kLanes
// sequences at once (one in each lane), n a power of two up to kPlaneCapacity: radix-2 decimation
// in frequency with a table of twiddles per stage; the last two stages need no multiplication.
// Element x of the result stands at reversed[x].
struct InverseTransform {
  int n;
  std::vector<double> twiddleRe;  // stage of half m = n / 2, ..., 4: e^(2 pi i k / 2m), k < m
  std::vector<double> twiddleIm;
  std::vector<int> reversed;

  explicit InverseTransform(int size) : n(size), reversed(size) {
    for (int m = n / 2; m >= 4; m /= 2) {
      for (int k = 0; k < m; ++k) {
        const UnitRoot w = unitRoot(k, 2 * m);
        twiddleRe.push_back(w.re);
        twiddleIm.push_back(w.im);
      }
    }
    for (int i = 0, j = 0; i < n; ++i) {
      reversed[i] = j;
      int bit = n >> 1;
      for (; bit > 0 && (j & bit); bit >>= 1) j ^= bit;
      j |= bit;
    }
  }

  void run(Doubles *re, Doubles *im) const {
    const double *wr = twiddleRe.data();
    const double *wi = twiddleIm.data();
    for (int m = n / 2; m >= 4; wr += m, wi += m, m /= 2) {
      for (int start = 0; start < n; start += 2 * m) {
        for (int k = start; k < start + m; ++k) {
          const Doubles ar = re[k], ai = im[k], br = re[k + m], bi = im[k + m];
          re[k] = ar + br;
          im[k] = ai + bi;
          const Doubles dr = ar - br, di = ai - bi;
          re[k + m] = dr * wr[k - start] - di * wi[k - start];
          im[k + m] = dr * wi[k - start] + di * wr[k - start];
        }
      }
    }
    if (n >= 4) {
      for (int k = 0; k < n; k += 4) {
        // Half 2: twiddles 1 and i; then half 1.
        const Doubles r0 = re[k] + re[k + 2], i0 = im[k] + im[k + 2];
        const Doubles r1 = re[k + 1] + re[k + 3], i1 = im[k + 1] + im[k + 3];
        const Doubles r2 = re[k] - re[k + 2], i2 = im[k] - im[k + 2];
        const Doubles r3 = im[k + 3] - im[k + 1], i3 = re[k + 1] - re[k + 3];
        re[k] = r0 + r1;
        im[k] = i0 + i1;
        re[k + 1] = r0 - r1;
        im[k + 1] = i0 - i1;
        re[k + 2] = r2 + r3;
        im[k + 2] = i2 + i3;
        re[k + 3] = r2 - r3;
        im[k + 3] = i2 - i3;
      }
    } else if (n == 2) {
      const Doubles r0 = re[0], i0 = im[0];
      re[0] = r0 + re[1];
      im[0] = i0 + im[1];
      re[1] = r0 - re[1];
      im[1] = i0 - im[1];
    }
  }
};

Doubles loadDoubles(const double *from) {
  Doubles v;
  std::memcpy(&v, from, sizeof v);
  return v;
}

void storeDoubles(double *to, Doubles v) {
  std::memcpy(to, &v, sizeof v);
}

// The smooth component s solves (periodic Laplacian) s = v, v holding the jumps between opposite
// edges: v(x, y) = a(x) (d(y) - d(y - h2 + 1)) + b(y) (d(x) - d(x - w2 + 1)), a the jumps from
// the first to the last row, b those from the first to the last column, d the unit impulse.
// Across, in frequency u, the rows of v become V(u, y) = A(u) (d(y) - d(y - h2 + 1)) +
// (1 - e^(2 pi i u / w2)) b(y); down, the Laplacian divides by 2 cos(2 pi u / w2) +
// 2 cos(2 pi v / h2) - 4, which for u > 0 is the spectrum of the periodic two-sided geometric
// kernel g(y) = -(r^y + r^(h2 - y)) / ((1 - r^h2) sqrt(t^2 - 4)), 0 <= y < h2, with
// r + 1 / r = t = 4 - 2 cos(2 pi u / w2). So T(u, y), the smooth component across in frequency,
// is V(u, .) convolved with g: a causal and an anticausal first-order recursion per column, each
// started where the periodic sum puts it. Column u = 0 holds only a's mean slope, a line.
// The rows of T then go through the inverse transform, two real rows as one complex one.
struct SmoothComponent {
  int w2 = 0;
  int h2 = 0;
  int stride = 0;          // columns u = 0 .. w2 / 2 of T, padded to whole groups after u = 0
  std::vector<double> re;  // T, row after row
  std::vector<double> im;
  std::vector<double> rowZero;  // the zero row that stands for rows past h2
};

// The columns solveColumns takes at once: eight registers of independent recursions, so that
// each step waits on no other, and two cache lines of every row of T.
constexpr int kColumnGroup = 8 * kLanes;

// T for columns u0 .. u0 + kColumnGroup - 1 (u0 >= 1; those past w2 / 2 are padding).
void solveColumns(SmoothComponent &t, int u0, const std::vector<double> &b,
                  const std::vector<UnitRoot> &across) {
  constexpr int kVectors = kColumnGroup / kLanes;
  const int w2 = t.w2;
  const int h2 = t.h2;
  Doubles r[kVectors], factor[kVectors], oneMinusPower[kVectors], edgeRe[kVectors],
      edgeIm[kVectors], jumpRe[kVectors], jumpIm[kVectors];
  for (int i = 0; i < kColumnGroup; ++i) {
    const int u = u0 + i, v = i / kLanes, lane = i % kLanes;
    if (u > w2 / 2) {
      r[v][lane] = 0.5;  // a harmless column: its input is 0
      factor[v][lane] = oneMinusPower[v][lane] = 1;
      edgeRe[v][lane] = edgeIm[v][lane] = jumpRe[v][lane] = jumpIm[v][lane] = 0;
      continue;
    }
    // t - 2 = 4 sin^2(pi u / w2), without the cancellation of 2 - 2 cos for small u.
    const double sine = unitRoot(u, 2L * w2).im;
    const double excess = 4 * sine * sine;
    const double root = std::sqrt(excess * (excess + 4));  // sqrt(t^2 - 4)
    const double ratio = 2 / (2 + excess + root);          // the root of r + 1 / r = t below 1
    // 1 - r^h2 by squaring, h2 a power of two: 1 - p^2 = (1 - p) (1 + p).
    double power = ratio, rest = 1 - ratio;
    for (int k = 1; k < h2; k *= 2) {
      rest *= 1 + power;
      power *= power;
    }
    r[v][lane] = ratio;
    factor[v][lane] = -1 / root;
    oneMinusPower[v][lane] = rest;
    const UnitRoot w = unitRoot(u, w2);
    edgeRe[v][lane] = 1 - w.re;
    edgeIm[v][lane] = -w.im;
    jumpRe[v][lane] = across[u].re;
    jumpIm[v][lane] = across[u].im;
  }
  // The input V(u, y): the column jumps everywhere, the row jumps at rows 0 and h2 - 1.
  const auto input = [&](int y, int v, Doubles &xr, Doubles &xi) {
    xr = edgeRe[v] * b[y];
    xi = edgeIm[v] * b[y];
    if (y == 0) {
      xr += jumpRe[v];
      xi += jumpIm[v];
    }
    if (y == h2 - 1) {
      xr -= jumpRe[v];
      xi -= jumpIm[v];
    }
  };
  // The causal sum's value at h2 - 1 and the anticausal one's at 0, periodic: sums over one
  // period divided by 1 - r^h2.
  Doubles cr[kVectors] = {}, ci[kVectors] = {}, er[kVectors] = {}, ei[kVectors] = {};
  Doubles power[kVectors];
  for (int v = 0; v < kVectors; ++v) power[v] = Doubles{} + 1;
  for (int y = 0; y < h2; ++y) {
    for (int v = 0; v < kVectors; ++v) {
      Doubles xr, xi;
      input(y, v, xr, xi);
      cr[v] = xr + r[v] * cr[v];
      ci[v] = xi + r[v] * ci[v];
      er[v] += power[v] * xr;
      ei[v] += power[v] * xi;
      power[v] *= r[v];
    }
  }
  for (int v = 0; v < kVectors; ++v) {
    cr[v] /= oneMinusPower[v];
    ci[v] /= oneMinusPower[v];
    er[v] /= oneMinusPower[v];
    ei[v] /= oneMinusPower[v];
  }
  const size_t stride = static_cast<size_t>(t.stride);
  for (int y = 0; y < h2; ++y) {
    double *rowRe = &t.re[y * stride + u0];
    double *rowIm = &t.im[y * stride + u0];
    for (int v = 0; v < kVectors; ++v) {
      Doubles xr, xi;
      input(y, v, xr, xi);
      cr[v] = xr + r[v] * cr[v];
      ci[v] = xi + r[v] * ci[v];
      storeDoubles(rowRe + v * kLanes, cr[v]);
      storeDoubles(rowIm + v * kLanes, ci[v]);
    }
  }
  // T = -(causal + anticausal - x) / sqrt(t^2 - 4).
  for (int y = h2 - 1; y >= 0; --y) {
    double *rowRe = &t.re[y * stride + u0];
    double *rowIm = &t.im[y * stride + u0];
    for (int v = 0; v < kVectors; ++v) {
      Doubles xr, xi;
      input(y, v, xr, xi);
      er[v] = xr + r[v] * er[v];
      ei[v] = xi + r[v] * ei[v];
      const Doubles sr = loadDoubles(rowRe + v * kLanes) + er[v] - xr;
      const Doubles si = loadDoubles(rowIm + v * kLanes) + ei[v] - xi;
      storeDoubles(rowRe + v * kLanes, sr * factor[v]);
      storeDoubles(rowIm + v * kLanes, si * factor[v]);
    }
  }
}

// Rows y0 .. y0 + 2 kLanes - 1 (those below h2) of the smooth component, subtracted from grey:
// rows y0 + 2 lane and y0 + 2 lane + 1 as the real and imaginary parts of lane `lane`.
void subtractRows(const SmoothComponent &t, const InverseTransform &inverse, float *const *grey,
                  int y0) {
  const int w2 = t.w2;
  const int h2 = t.h2;
  const double *firstRe[kLanes], *firstIm[kLanes], *secondRe[kLanes], *secondIm[kLanes];
  for (int lane = 0; lane < kLanes; ++lane) {
    const int y = y0 + 2 * lane;
    const size_t first = static_cast<size_t>(y) * t.stride;
    firstRe[lane] = y < h2 ? &t.re[first] : t.rowZero.data();
    firstIm[lane] = y < h2 ? &t.im[first] : t.rowZero.data();
    secondRe[lane] = y + 1 < h2 ? &t.re[first + t.stride] : t.rowZero.data();
    secondIm[lane] = y + 1 < h2 ? &t.im[first + t.stride] : t.rowZero.data();
  }
  Doubles re[kPlaneCapacity], im[kPlaneCapacity];
  // first + i second; past w2 / 2 both are the conjugates of their mirror columns.
  for (int u = 0; u <= w2 / 2; ++u) {
    for (int lane = 0; lane < kLanes; ++lane) {
      re[u][lane] = firstRe[lane][u] - secondIm[lane][u];
      im[u][lane] = firstIm[lane][u] + secondRe[lane][u];
    }
  }
  for (int u = w2 / 2 + 1; u < w2; ++u) {
    for (int lane = 0; lane < kLanes; ++lane) {
      re[u][lane] = firstRe[lane][w2 - u] + secondIm[lane][w2 - u];
      im[u][lane] = secondRe[lane][w2 - u] - firstIm[lane][w2 - u];
    }
  }
  inverse.run(re, im);
  const double scale = 1.0 / w2;
  for (int lane = 0; lane < kLanes; ++lane) {
    const int y = y0 + 2 * lane;
    for (int part = 0; part < 2 && y + part < h2; ++part) {
      const Doubles *values = part == 0 ? re : im;
      float *row = grey[y + part];
      for (int x = 0; x < w2; ++x) {
        row[x] = static_cast<float>(row[x] - values[inverse.reversed[x]][lane] * scale);
      }
    }
  }
}

// grey minus its smooth component, on up to `threads` threads: the columns of T shared out, then
// the rows. One call at a time: T's planes are kept from call to call.
void subtractSmoothComponent(float *const *grey, int w2, int h2, int threads) {
  static std::mutex lock;
  static SmoothComponent t;
  std::lock_guard<std::mutex> hold(lock);
  t.w2 = w2;
  t.h2 = h2;
  t.stride = 1 + (w2 / 2 + kColumnGroup - 1) / kColumnGroup * kColumnGroup;
  t.re.resize(static_cast<size_t>(t.stride) * h2);
  t.im.resize(static_cast<size_t>(t.stride) * h2);
  t.rowZero.assign(static_cast<size_t>(t.stride), 0.0);

  std::vector<double> b(static_cast<size_t>(h2));
  for (int y = 0; y < h2; ++y) b[y] = static_cast<double>(grey[y][w2 - 1]) - grey[y][0];
  // A, the transform of a, as the conjugate of a's inverse transform; at u = 0 and w2 / 2 it
  // is real.
  const InverseTransform inverse(w2);
  std::vector<UnitRoot> across(static_cast<size_t>(w2));
  {
    std::vector<Doubles> re(static_cast<size_t>(w2)), im(static_cast<size_t>(w2));
    for (int x = 0; x < w2; ++x) re[x][0] = static_cast<double>(grey[h2 - 1][x]) - grey[0][x];
    inverse.run(re.data(), im.data());
    for (int u = 0; u < w2; ++u) {
      const bool real = u == 0 || 2 * u == w2;
      across[u] = {re[inverse.reversed[u]][0], real ? 0.0 : -im[inverse.reversed[u]][0]};
    }
  }
  // Column 0: V(0, v) / (2 cos(2 pi v / h2) - 2) = -A(0) / (1 - e^(-2 pi i v / h2)), v > 0,
  // whose inverse transform is the line -A(0) (h2 - 1 - 2 y) / (2 h2).
  for (int y = 0; y < h2; ++y) {
    t.re[static_cast<size_t>(y) * t.stride] = -across[0].re * (h2 - 1 - 2 * y) / (2.0 * h2);
    t.im[static_cast<size_t>(y) * t.stride] = 0;
  }
  const int columnGroups = (w2 / 2 + kColumnGroup - 1) / kColumnGroup;
  std::atomic<int> next{0};
  runOnWorkers(threads, [&](int) {
    for (int g = next++; g < columnGroups; g = next++)
      solveColumns(t, 1 + g * kColumnGroup, b, across);
  });
  const int rowGroups = (h2 + 2 * kLanes - 1) / (2 * kLanes);
  next = 0;
  runOnWorkers(threads, [&](int) {
    for (int g = next++; g < rowGroups; g = next++) subtractRows(t, inverse, grey, 2 * kLanes * g);
  });
}

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
