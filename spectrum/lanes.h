// The lane kernels of computeSpectrum: several rows or columns transformed at once in SIMD lanes.
#pragma once

#include <cstdint>
#include <vector>

#include "common/dib_view.h"
#include "spectrum/grey_levels.h"

// The columns one call of transformColumns takes: four cache lines of every plane row, so that a
// panel of real and imaginary values (512 KB) stays in a core's second-level cache, and the
// logarithms of a magnitude row's share run eight vectors abreast.
constexpr int kPanelColumns = 64;

// The smallest planes (in elements, real and imaginary each) that the passes stream.
constexpr long kStreamedPlaneElements = 1L << 20;

// The doubles of one step of three stages: the (re, im) twiddle pairs of its twelve butterflies.
constexpr int kTripleTwiddles = 14;
// The floats of one step of three stages for a real signal: four for each twiddle pair.
constexpr int kRealTripleTwiddles = 2 * kTripleTwiddles;
// The steps of every transform length up to kPlaneCapacity.
constexpr int kTripleSteps = kPlaneCapacity / 8 + kPlaneCapacity / 64 + kPlaneCapacity / 512;
constexpr int kTripleCapacity = kTripleTwiddles * kTripleSteps;

// The twiddles of one transform length, widened to double once rather than in every butterfly.
struct TwiddlePlan {
  // fft1dTwiddles, stage after stage: what a stage done on its own reads.
  double re[kPlaneCapacity];
  double im[kPlaneCapacity];
  // The same pairs in the order that three stages done at once (half, half / 2 and half / 4
  // apart) take them, so that one pointer follows them: for every such group and every k below
  // half / 4, the first stage's pairs k, k + half / 4, k + half / 2 and k + 3 * half / 4, the
  // second stage's pairs k and k + half / 4, and the third stage's pair k.
  double triples[kTripleCapacity];
  // For each pair (wr, wi) of triples, what a butterfly of a real signal multiplies by, as floats:
  // wr, -wi, and the zeros +0 * wi and +0 * wr, with their signs.
  float realTriples[kRealTripleTwiddles * kTripleSteps];
};

// Fills plan for transforms of length n (a power of two up to kPlaneCapacity).
void planTwiddles(int n, TwiddlePlan &plan);

// Everything one computeSpectrum call hands its kernels; filled by the caller before a pass.
struct SpectrumPass {
  int w2;
  int h2;
  // The working planes' rows and the spectrum buffer (rows of 3 * w2 bytes) that a pass fills.
  float *const *realRows;
  float *const *imagRows;
  float *const *magnitudeRows;
  std::uint8_t *pixels;
  int logScale;
  int dcCut;
  // Whether the passes store the planes and the magnitudes past the caches: with planes larger
  // than the caches, reading each line before writing it over costs more than reading it back
  // from memory later (1024^2: 2 % faster on one thread, 16 % on two).
  bool streamPlanes;
  float greyOfSum[kByteSums];                      // greyOfByteSum of every byte sum
  const std::uint8_t *sourceRows[kPlaneCapacity];  // the picture row that spectrum row y reads
  // The grey levels of spectrum row y after an edge taper; null to take them from sourceRows.
  const float *const *greyRows;
  TwiddlePlan rowTwiddles;       // for w2
  TwiddlePlan columnTwiddles;    // for h2
  int rowOrder[kPlaneCapacity];  // bit-reversed index for w2
  int columnOrder[kPlaneCapacity];
  float rowRoot;  // sqrt(w2) as a float
  float columnRoot;
  float rowScale;  // 1 / rowRoot when that is exact (w2 a power of four), else 0
  float columnScale;
  // Row pass results: each row's first strictly largest magnitude (0 if none) and its column.
  float rowBest[kPlaneCapacity];
  int rowBestX[kPlaneCapacity];
  // Column pass results: the largest and smallest value each panel of columns stored.
  float blockHigh[kPlaneCapacity / kPanelColumns];
  float blockLow[kPlaneCapacity / kPanelColumns];
  // Grey mapping: the range of the whole spectrum.
  float high;
  float low;
};

// One instruction set's kernels; `lanes` rows make one block of the row pass.
struct LaneKernels {
  const char *name;
  int lanes;
  // Whether this processor runs the set.
  bool (*supported)();
  // The grey levels of spectrum row y, from its picture row in sourceRows.
  void (*greyRow)(const SpectrumPass &pass, int y, float *levels);
  // Rows y0 .. y0 + lanes - 1 (those below h2): grey levels, fft1d, real and imaginary rows,
  // rowBest.
  void (*transformRows)(SpectrumPass &pass, int y0);
  // Columns x0 .. x0 + kPanelColumns - 1 (those below w2): fft1d, magnitudes or their logarithms
  // into the magnitude rows (0 at (0, 0) with dcCut), blockHigh and blockLow of x0 / kPanelColumns.
  void (*transformColumns)(SpectrumPass &pass, int x0);
  // out[i] = (float)log((double)in[i]) where in[i] > 0, else in[i]; for checking the fast log.
  void (*logarithms)(const float *in, float *out, int count);
  // Grey bytes of spectrum rows y0 .. y1 - 1 in the normal view, from the magnitude rows.
  void (*renderRows)(const SpectrumPass &pass, int y0, int y1);
  // applyTaper's periodic-plus-smooth decomposition of grey (h2 rows of w2 levels) in place, on
  // up to `threads` threads; the same bits in every set. One call at a time.
  void (*subtractSmoothComponent)(float *const *grey, int w2, int h2, int threads);
};

extern const LaneKernels avx512Kernels;
extern const LaneKernels avx2Kernels;
extern const LaneKernels portableKernels;  // needs no particular instruction set

// The sets this processor runs, widest first; the portable set is always among them.
std::vector<const LaneKernels *> runnableKernels();
// The set computeSpectrum uses: on first use the widest this processor runs. Tests point it at
// each set in turn.
extern const LaneKernels *spectrumKernels;
// spectrumKernels, set first if it is not.
const LaneKernels &chosenKernels();
