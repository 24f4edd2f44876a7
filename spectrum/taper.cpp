// The Hann window and the periodic-plus-smooth decomposition (Moisan, J. Math. Imaging Vis. 2011)
// of the grey levels, the latter solved in closed form down the columns and by an accurate
// transform of its own along the rows.
#include "spectrum/taper.h"

#include <algorithm>
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
// sequences at once (one in each lane), n a power of two up to kPlaneCapacity: decimation in
// frequency, radix 4 (one radix-2 stage first when n is an odd power of two), with a table of
// twiddles per stage; the last stage needs no multiplication. Element x of the result stands at
// reversed[x].
struct InverseTransform {
  int n;
  bool radix2First;
  // The radix-2 stage's e^(2 pi i k / n), k < n / 2, as (re, im); then for each radix-4 stage on
  // blocks of 4q, W^k, W^2k and W^3k with W = e^(2 pi i / 4q), k < q, as three (re, im).
  std::vector<double> twiddles;
  std::vector<int> reversed;

  explicit InverseTransform(int size) : n(size), reversed(size) {
    int stages = 0;
    while ((1 << stages) < n) ++stages;
    radix2First = stages % 2 == 1;
    int block = n;
    if (radix2First) {
      for (int k = 0; k < n / 2; ++k) {
        const UnitRoot w = unitRoot(k, n);
        twiddles.insert(twiddles.end(), {w.re, w.im});
      }
      block /= 2;
    }
    for (; block > 4; block /= 4) {
      for (int k = 0; k < block / 4; ++k) {
        for (int power = 1; power <= 3; ++power) {
          const UnitRoot w = unitRoot(static_cast<long>(power) * k, block);
          twiddles.insert(twiddles.end(), {w.re, w.im});
        }
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
    const double *w = twiddles.data();
    int block = n;
    if (radix2First) {
      const int m = n / 2;
      for (int k = 0; k < m; ++k, w += 2) {
        const Doubles ar = re[k], ai = im[k], br = re[k + m], bi = im[k + m];
        re[k] = ar + br;
        im[k] = ai + bi;
        const Doubles dr = ar - br, di = ai - bi;
        re[k + m] = dr * w[0] - di * w[1];
        im[k + m] = dr * w[1] + di * w[0];
      }
      block = m;
    }
    for (; block >= 4; block /= 4) {
      const int q = block / 4;
      const bool twiddled = block > 4;
      for (int start = 0; start < n; start += block) {
        for (int k = 0; k < q; ++k) {
          const int i0 = start + k, i1 = i0 + q, i2 = i1 + q, i3 = i2 + q;
          const Doubles t0r = re[i0] + re[i2], t0i = im[i0] + im[i2];
          const Doubles t1r = re[i0] - re[i2], t1i = im[i0] - im[i2];
          const Doubles t2r = re[i1] + re[i3], t2i = im[i1] + im[i3];
          // i (x1 - x3)
          const Doubles t3r = im[i3] - im[i1], t3i = re[i1] - re[i3];
          re[i0] = t0r + t2r;
          im[i0] = t0i + t2i;
          const Doubles y1r = t0r - t2r, y1i = t0i - t2i;
          const Doubles y2r = t1r + t3r, y2i = t1i + t3i;
          const Doubles y3r = t1r - t3r, y3i = t1i - t3i;
          if (twiddled) {
            const double *wk = w + 6 * k;  // W^k, W^2k, W^3k
            re[i1] = y1r * wk[2] - y1i * wk[3];
            im[i1] = y1r * wk[3] + y1i * wk[2];
            re[i2] = y2r * wk[0] - y2i * wk[1];
            im[i2] = y2r * wk[1] + y2i * wk[0];
            re[i3] = y3r * wk[4] - y3i * wk[5];
            im[i3] = y3r * wk[5] + y3i * wk[4];
          } else {
            re[i1] = y1r;
            im[i1] = y1i;
            re[i2] = y2r;
            im[i2] = y2i;
            re[i3] = y3r;
            im[i3] = y3i;
          }
        }
      }
      if (twiddled) w += 6 * q;
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

// The columns solveColumns takes at once: eight registers of independent recursions, so that
// each step waits on no other, and two cache lines of every row of T.
constexpr int kColumnGroup = 8 * kLanes;

struct SmoothComponent {
  int w2 = 0;
  int h2 = 0;
  // Columns u = 1 .. w2 / 2 of T in groups of kColumnGroup (the last one padded), each group
  // stored whole, row after row: a group's recursions run through memory in order.
  std::vector<double> re;
  std::vector<double> im;
  std::vector<double> line;  // column u = 0, which is real
  std::vector<double> zero;  // a group's row of zeros, for rows past h2

  double *at(std::vector<double> &plane, int group, int y) {
    return &plane[(static_cast<size_t>(group) * h2 + y) * kColumnGroup];
  }
  const double *row(const std::vector<double> &plane, int group, int y) const {
    return y < h2 ? &plane[(static_cast<size_t>(group) * h2 + y) * kColumnGroup] : zero.data();
  }
};

// T for the columns of one group (those past w2 / 2 are padding).
void solveColumns(SmoothComponent &t, int group, const std::vector<double> &b,
                  const std::vector<UnitRoot> &across) {
  constexpr int kVectors = kColumnGroup / kLanes;
  const int u0 = 1 + group * kColumnGroup;
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
    factor[v][lane] = -1 / root / w2;  // with the inverse transform's scale, a power of two
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
  // period divided by 1 - r^h2. Of the input, only the column jumps b need summing: the row
  // jumps are two impulses, A at 0 and -A at h2 - 1.
  Doubles pb[kVectors] = {}, qb[kVectors] = {}, power[kVectors], last[kVectors];
  for (int v = 0; v < kVectors; ++v) power[v] = Doubles{} + 1;
  for (int y = 0; y < h2; ++y) {
    for (int v = 0; v < kVectors; ++v) {
      pb[v] = b[y] + r[v] * pb[v];  // sum of r^j b(h2 - 1 - j)
      qb[v] += power[v] * b[y];     // sum of r^j b(j)
      last[v] = power[v];           // r^(h2 - 1) at the end
      power[v] *= r[v];
    }
  }
  Doubles cr[kVectors], ci[kVectors], er[kVectors], ei[kVectors];
  for (int v = 0; v < kVectors; ++v) {
    const Doubles fromLast = last[v] - 1, toLast = 1 - last[v];
    cr[v] = (edgeRe[v] * pb[v] + jumpRe[v] * fromLast) / oneMinusPower[v];
    ci[v] = (edgeIm[v] * pb[v] + jumpIm[v] * fromLast) / oneMinusPower[v];
    er[v] = (edgeRe[v] * qb[v] + jumpRe[v] * toLast) / oneMinusPower[v];
    ei[v] = (edgeIm[v] * qb[v] + jumpIm[v] * toLast) / oneMinusPower[v];
  }
  for (int y = 0; y < h2; ++y) {
    double *rowRe = t.at(t.re, group, y);
    double *rowIm = t.at(t.im, group, y);
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
    double *rowRe = t.at(t.re, group, y);
    double *rowIm = t.at(t.im, group, y);
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
  Doubles re[kPlaneCapacity], im[kPlaneCapacity];
  // first + i second, the first and second rows of each lane; past w2 / 2 both are the
  // conjugates of their mirror columns.
  for (int lane = 0; lane < kLanes; ++lane) {
    const int y = y0 + 2 * lane;
    re[0][lane] = y < h2 ? t.line[y] : 0;
    im[0][lane] = y + 1 < h2 ? t.line[y + 1] : 0;
  }
  for (int group = 0; group * kColumnGroup < w2 / 2; ++group) {
    const double *firstRe[kLanes], *firstIm[kLanes], *secondRe[kLanes], *secondIm[kLanes];
    for (int lane = 0; lane < kLanes; ++lane) {
      const int y = y0 + 2 * lane;
      firstRe[lane] = t.row(t.re, group, y);
      firstIm[lane] = t.row(t.im, group, y);
      secondRe[lane] = t.row(t.re, group, y + 1);
      secondIm[lane] = t.row(t.im, group, y + 1);
    }
    const int u0 = 1 + group * kColumnGroup;
    const int count = std::min(kColumnGroup, w2 / 2 + 1 - u0);
    for (int j = 0; j < count; ++j) {
      Doubles a, b, c, d;
      for (int lane = 0; lane < kLanes; ++lane) {
        a[lane] = firstRe[lane][j];
        b[lane] = firstIm[lane][j];
        c[lane] = secondRe[lane][j];
        d[lane] = secondIm[lane][j];
      }
      const int u = u0 + j;
      re[u] = a - d;
      im[u] = b + c;
      if (u < w2 - u) {
        re[w2 - u] = a + d;
        im[w2 - u] = c - b;
      }
    }
  }
  inverse.run(re, im);
  float unused[kPlaneCapacity];  // stands for the rows past h2
  if (y0 + 2 * kLanes > h2) std::fill(unused, unused + w2, 0.0f);
  float *first[kLanes], *second[kLanes];
  for (int lane = 0; lane < kLanes; ++lane) {
    const int y = y0 + 2 * lane;
    first[lane] = y < h2 ? grey[y] : unused;
    second[lane] = y + 1 < h2 ? grey[y + 1] : unused;
  }
  for (int x = 0; x < w2; ++x) {
    const Doubles r = re[inverse.reversed[x]], i = im[inverse.reversed[x]];
    for (int lane = 0; lane < kLanes; ++lane) {
      first[lane][x] = static_cast<float>(first[lane][x] - r[lane]);
      second[lane][x] = static_cast<float>(second[lane][x] - i[lane]);
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
  const int columnGroups = (w2 / 2 + kColumnGroup - 1) / kColumnGroup;
  t.re.resize(static_cast<size_t>(columnGroups) * h2 * kColumnGroup);
  t.im.resize(static_cast<size_t>(columnGroups) * h2 * kColumnGroup);
  t.line.resize(static_cast<size_t>(h2));
  t.zero.assign(kColumnGroup, 0.0);

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
  for (int y = 0; y < h2; ++y) t.line[y] = -across[0].re * (h2 - 1 - 2 * y) / (2.0 * h2) / w2;
  std::atomic<int> next{0};
  runOnWorkers(threads, [&](int) {
    for (int g = next++; g < columnGroups; g = next++) solveColumns(t, g, b, across);
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
