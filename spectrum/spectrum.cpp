// computeSpectrum: grey levels, row and column transforms in SIMD lanes on every core, range, grey.
#include "spectrum/spectrum.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/dib_row.h"
#include "common/dib_view.h"
#include "platform/console.h"
#include "spectrum/fft1d.h"
#include "spectrum/grey_levels.h"
#include "spectrum/lanes.h"
#include "spectrum/workers.h"

namespace {

bool isPowerOfTwoWithinPlanes(long n) {
  return n >= 1 && n <= kPlaneCapacity && (n & (n - 1)) == 0;
}

// A state the main flow never produces (extents beyond the planes, missing rows or a picture
// smaller than the analysed rectangle) would write out of bounds: such a call does nothing.
bool usableState() {
  const long w2 = spectrumView.header.biWidth;
  const long h2 = spectrumView.header.biHeight;
  if (!isPowerOfTwoWithinPlanes(w2) || !isPowerOfTwoWithinPlanes(h2)) return false;
  if (sourceView.header.biWidth < w2 || sourceView.header.biHeight < h2) return false;
  if (sourceView.pixels == nullptr || spectrumView.pixels == nullptr) return false;
  for (long y = 0; y < h2; ++y) {
    if (realPlane[y] == nullptr || imagPlane[y] == nullptr || magnitudePlane[y] == nullptr) {
      return false;
    }
  }
  return true;
}

const std::uint8_t *sourceRow(int y, int h2) {
  const auto stride = static_cast<std::ptrdiff_t>(
      dibRowBytes(static_cast<std::uint64_t>(sourceView.header.biWidth)));
  const std::ptrdiff_t r = y + sourceView.header.biHeight - h2;
  return sourceView.pixels + r * stride;
}

void setPixel(int x, int y, int w2, std::uint8_t value) {
  std::uint8_t *pixel = spectrumView.pixels + (static_cast<long>(y) * w2 + x) * 3;
  pixel[0] = value;
  pixel[1] = value;
  pixel[2] = value;
}

SpectrumPass pass;

// Runs work(item) for items 0 .. count - 1 on up to `threads` threads; before it takes any, the
// calling thread runs first() (which may be empty). Each worker owns an equal run of items and
// takes them in order, so that call after call the same thread touches the same rows and columns
// and finds them in its own cache; a worker done with its run takes the next items of the others.
template <class Work>
void shareItems(int count, int threads, const std::function<void()> &first, const Work &work) {
  const int workers = threads < count ? threads : count;
  struct alignas(64) Run {
    std::atomic<int> next;
    int end;
  };
  std::unique_ptr<Run[]> runs(new Run[workers]);
  for (int w = 0; w < workers; ++w) {
    runs[w].next = static_cast<int>(static_cast<long>(count) * w / workers);
    runs[w].end = static_cast<int>(static_cast<long>(count) * (w + 1) / workers);
  }
  runOnWorkers(workers, [&](int worker) {
    if (worker == 0 && first) first();
    for (int step = 0; step < workers; ++step) {
      Run &run = runs[(worker + step) % workers];
      for (int item = run.next++; item < run.end; item = run.next++) work(item);
    }
  });
}

// The grey levels of the analysed rectangle after the chosen taper, by spectrum row; null when
// no taper is chosen, and the kernels read the picture itself. Takes the picture rows from
// pass.sourceRows, which must be filled.
const float *const *taperedGrey(const LaneKernels &kernels, int threads) {
  static std::vector<float> levels;
  static const float *rows[kPlaneCapacity];
  if (spectrumOptions.taper == Taper::none) return nullptr;
  const int w2 = spectrumView.header.biWidth;
  const int h2 = spectrumView.header.biHeight;
  levels.resize(static_cast<size_t>(w2) * h2);
  float *writable[kPlaneCapacity];
  for (int y = 0; y < h2; ++y) {
    writable[y] = &levels[static_cast<size_t>(y) * w2];
    rows[y] = writable[y];
  }
  // Rows a block at a time on every thread, as the taper works after them.
  constexpr int kGreyRows = 16;
  shareItems((h2 + kGreyRows - 1) / kGreyRows, threads, nullptr, [&](int block) {
    for (int y = block * kGreyRows; y < (block + 1) * kGreyRows && y < h2; ++y) {
      kernels.greyRow(pass, y, writable[y]);
    }
  });
  applyTaper(spectrumOptions.taper, writable, w2, h2, threads);
  return rows;
}
// Set while a window's recomputation runs: its lines stay off the console.
bool quiet = false;

// Below this many pixels a second thread costs more than it saves.
constexpr long kThreadedPixels = 64 * 64;

// Rows of the grey mapping that one worker takes at a time.
constexpr int kRenderRows = 16;

// 1 / root if root is a power of two, whose reciprocal multiplies exactly like the division.
float exactReciprocal(float root) {
  int exponent;
  return std::frexp(root, &exponent) == 0.5f ? 1.0f / root : 0.0f;
}

// The index that element k of an n-point transform comes from before the reordering, taken from
// the reordering itself applied to the indexes.
void reorderedIndexes(int n, int *order) {
  float indexes[kPlaneCapacity];
  float unused[kPlaneCapacity] = {};
  for (int k = 0; k < n; ++k) indexes[k] = static_cast<float>(k);
  bitPairReorder(indexes, unused, n);
  for (int k = 0; k < n; ++k) order[k] = static_cast<int>(indexes[k]);
}

// Whether the first `rows` rows of a plane start on a cache line, as the passes' streamed stores
// need (tests may point rows elsewhere).
bool rowsAligned(float *const *plane, int rows) {
  for (int y = 0; y < rows; ++y) {
    if (reinterpret_cast<std::uintptr_t>(plane[y]) % 64 != 0) return false;
  }
  return true;
}

void preparePass(const LaneKernels &kernels, int logScale, int dcCut, int threads) {
  const int w2 = spectrumView.header.biWidth;
  const int h2 = spectrumView.header.biHeight;
  pass.w2 = w2;
  pass.h2 = h2;
  pass.realRows = realPlane;
  pass.imagRows = imagPlane;
  pass.magnitudeRows = magnitudePlane;
  pass.pixels = spectrumView.pixels;
  pass.logScale = logScale;
  pass.dcCut = dcCut;
  pass.streamPlanes = static_cast<long>(w2) * h2 >= kStreamedPlaneElements &&
                      rowsAligned(realPlane, h2) && rowsAligned(imagPlane, h2) &&
                      rowsAligned(magnitudePlane, h2);
  for (int y = 0; y < h2; ++y) pass.sourceRows[y] = sourceRow(y, h2);
  pass.greyRows = taperedGrey(kernels, threads);
  // The tables that depend on the sizes alone are made again only when a size changes: on two
  // threads they took about 1 % of a 1024 x 1024 computation, all on one thread.
  static int tabledWidth = 0;
  static int tabledHeight = 0;
  if (tabledWidth == 0) {
    for (int sum = 0; sum < kByteSums; ++sum) pass.greyOfSum[sum] = greyOfByteSum(sum);
  }
  if (w2 != tabledWidth) {
    planTwiddles(w2, pass.rowTwiddles);
    reorderedIndexes(w2, pass.rowOrder);
    tabledWidth = w2;
  }
  if (h2 != tabledHeight) {
    planTwiddles(h2, pass.columnTwiddles);
    reorderedIndexes(h2, pass.columnOrder);
    tabledHeight = h2;
  }
  pass.rowRoot = static_cast<float>(std::sqrt(static_cast<double>(w2)));
  pass.columnRoot = static_cast<float>(std::sqrt(static_cast<double>(h2)));
  pass.rowScale = exactReciprocal(pass.rowRoot);
  pass.columnScale = exactReciprocal(pass.columnRoot);
}

// The grey picture: each spectrum pixel the truncated grey level of its picture pixel.
void renderOriginal() {
  const int w2 = spectrumView.header.biWidth;
  const int h2 = spectrumView.header.biHeight;
  std::uint8_t byteOfSum[kByteSums];
  for (int sum = 0; sum < kByteSums; ++sum) {
    byteOfSum[sum] = static_cast<std::uint8_t>(static_cast<int>(greyOfByteSum(sum)));
  }
  for (int y = 0; y < h2; ++y) {
    const std::uint8_t *from = sourceRow(y, h2);
    std::uint8_t *to = spectrumView.pixels + static_cast<long>(y) * w2 * 3;
    for (int x = 0; x < 3 * w2; x += 3) {
      to[x] = to[x + 1] = to[x + 2] = byteOfSum[byteSum(from + x)];
    }
  }
}

// The four-fold view: each grey value of the lowest quarter fills a 4 x 4 block; one row of
// blocks is built once and copied to its four rows. Centred, the quarter is the block around the
// DC term, the bins from -W2/8 to W2/8 - 1 (and H2 likewise).
void renderFourFold(int dcCut, bool centred) {
  const int w2 = spectrumView.header.biWidth;
  const int h2 = spectrumView.header.biHeight;
  const size_t rowBytes = static_cast<size_t>(w2) * 3;
  const double span = static_cast<double>(pass.high) - pass.low;
  std::uint8_t blocks[3 * kPlaneCapacity];
  for (int row = 0; row < h2 / 4; ++row) {
    const int y = binShownAt(4 * row, h2, true, centred);
    for (int column = 0; column < w2 / 4; ++column) {
      const int x = binShownAt(4 * column, w2, true, centred);
      const bool black = (dcCut && x == 0 && y == 0) || pass.high == pass.low;
      const std::uint8_t g = black ? 0 : greyByte(magnitudePlane[y][x], pass.low, span);
      std::memset(blocks + 12 * column, g, 12);
    }
    for (int dy = 0; dy < 4; ++dy) {
      std::memcpy(spectrumView.pixels + (static_cast<size_t>(4 * row + dy)) * rowBytes, blocks,
                  static_cast<size_t>(w2 / 4) * 12);
    }
  }
}

// Moves the normal view cyclically by half its width and height, so that the DC term is at the
// centre: each pixel changes place with the one half a width and half a height away.
void centreSpectrumPixels() {
  const int w2 = spectrumView.header.biWidth;
  const int h2 = spectrumView.header.biHeight;
  const size_t rowBytes = static_cast<size_t>(w2) * 3;
  const size_t half = static_cast<size_t>(w2 / 2) * 3;
  std::uint8_t row[3 * kPlaneCapacity];
  for (int y = 0; y < h2; ++y) {
    std::uint8_t *line = spectrumView.pixels + static_cast<size_t>(y) * rowBytes;
    std::memcpy(row, line + half, rowBytes - half);
    std::memcpy(row + rowBytes - half, line, half);
    std::memcpy(line, row, rowBytes);
  }
  for (int y = 0; y < h2 / 2; ++y) {
    std::uint8_t *a = spectrumView.pixels + static_cast<size_t>(y) * rowBytes;
    std::uint8_t *b = spectrumView.pixels + static_cast<size_t>(y + h2 / 2) * rowBytes;
    std::memcpy(row, a, rowBytes);
    std::memcpy(a, b, rowBytes);
    std::memcpy(b, row, rowBytes);
  }
}

// The only writer of the spectrum pixels; painting holds the same lock while it copies them.
void renderSpectrumPixels(const LaneKernels &kernels, int threads, int showOriginal, int dcCut,
                          int zoom4) {
  const int w2 = spectrumView.header.biWidth;
  const int h2 = spectrumView.header.biHeight;
  std::lock_guard<std::mutex> hold(spectrumPixelsLock);
  if (showOriginal) {
    renderOriginal();
  } else if (zoom4) {
    renderFourFold(dcCut, spectrumOptions.centred);
  } else {
    if (pass.high == pass.low) {
      std::memset(spectrumView.pixels, 0, static_cast<size_t>(w2) * h2 * 3);
    } else {
      shareItems((h2 + kRenderRows - 1) / kRenderRows, threads, nullptr, [&](int block) {
        const int y0 = block * kRenderRows;
        kernels.renderRows(pass, y0, y0 + kRenderRows < h2 ? y0 + kRenderRows : h2);
      });
    }
    if (dcCut) setPixel(0, 0, w2, 0);
    if (spectrumOptions.centred) centreSpectrumPixels();
  }
}

// The row pass and its console line: the first strictly largest row magnitude, rows from the
// top, each row from the left.
void transformAllRows(const LaneKernels &kernels, int threads) {
  const int h2 = pass.h2;
  const int lanes = kernels.lanes;
  shareItems((h2 + lanes - 1) / lanes, threads, nullptr,
             [&](int block) { kernels.transformRows(pass, block * lanes); });
  float rowMax = 0;
  int maxX = 0;  // stays 0 when no magnitude exceeds 0, as for an all-black picture
  int maxY = 0;
  for (int y = h2 - 1; y >= 0; --y) {
    if (rowMax < pass.rowBest[y]) {
      rowMax = pass.rowBest[y];
      maxX = pass.rowBestX[y];
      maxY = y;
    }
  }
  if (!quiet) consolePrintf(" 横FFT後　max = %f x %d y %d \n", rowMax, maxX, maxY);
}

// The column pass with its counter, the range of the whole spectrum and its console line. The
// calling thread writes the counter (slow on a terminal) while the helpers already transform;
// each panel's result is the same whoever computes it.
void transformAllColumns(const LaneKernels &kernels, int threads) {
  const int w2 = pass.w2;
  const int panels = (w2 + kPanelColumns - 1) / kPanelColumns;
  shareItems(
      panels, threads,
      [w2] {
        // The whole counter in one write: the same bytes, without a system call per column. Its
        // text depends on w2 alone, so it is formatted once per width (under the compute lock).
        static std::string counter;
        static int counterWidth = -1;
        if (counterWidth != w2) {
          counter.clear();
          char text[32];
          for (int x = 0; x < w2; ++x) {
            counter.append(text,
                           static_cast<size_t>(std::snprintf(text, sizeof text, "\r%d    \r", x)));
          }
          counterWidth = w2;
        }
        if (!quiet) consolePrintf("%s", counter.c_str());
      },
      [&](int panel) { kernels.transformColumns(pass, panel * kPanelColumns); });
  // max starts at 0; min, started at the (possibly cleared) DC value, is simply the smallest
  // value, the DC value being one of those the panels looked at.
  pass.high = 0;
  pass.low = pass.blockLow[0];
  for (int panel = 0; panel < panels; ++panel) {
    if (pass.blockHigh[panel] > pass.high) pass.high = pass.blockHigh[panel];
    if (pass.blockLow[panel] < pass.low) pass.low = pass.blockLow[panel];
  }
  if (!quiet) consolePrintf(" 縦横FFT後　max %f min %f \n", pass.high, pass.low);
}

}  // namespace

void planTwiddles(int n, TwiddlePlan &plan) {
  float twiddleRe[kPlaneCapacity];
  float twiddleIm[kPlaneCapacity];
  fft1dTwiddles(n, twiddleRe, twiddleIm);
  for (int k = 0; k + 1 < n; ++k) {
    plan.re[k] = twiddleRe[k];
    plan.im[k] = twiddleIm[k];
  }
  int next = 0;
  for (int half = n / 2, offset = 0; half >= 4; offset += half + half / 2 + half / 4, half /= 8) {
    const int eighth = half / 4;
    const int pairs[] = {0, eighth, 2 * eighth, 3 * eighth, half, half + eighth, half + half / 2};
    for (int k = 0; k < eighth; ++k) {
      for (const int pair : pairs) {
        const float wr = twiddleRe[offset + pair + k];
        const float wi = twiddleIm[offset + pair + k];
        plan.realTriples[2 * next] = wr;
        plan.realTriples[2 * next + 1] = -wi;
        plan.realTriples[2 * next + 2] = 0.0f * wi;
        plan.realTriples[2 * next + 3] = 0.0f * wr;
        plan.triples[next++] = wr;
        plan.triples[next++] = wi;
      }
    }
  }
}

std::vector<const LaneKernels *> runnableKernels() {
  std::vector<const LaneKernels *> sets;
  for (const LaneKernels *kernels : {&avx512Kernels, &avx2Kernels, &portableKernels}) {
    if (kernels->supported()) sets.push_back(kernels);
  }
  return sets;
}

const LaneKernels *spectrumKernels = nullptr;

const LaneKernels &chosenKernels() {
  if (spectrumKernels == nullptr) spectrumKernels = runnableKernels().front();
  return *spectrumKernels;
}

SpectrumOptions spectrumOptions;
SpectrumSwitches spectrumSwitches;
std::mutex spectrumComputeLock;

namespace {

void computeLocked(int logScale, int dcCut, int zoom4, int showOriginal) {
  spectrumSwitches = SpectrumSwitches{logScale, dcCut, zoom4, showOriginal};
  if (!usableState()) return;
  const LaneKernels &kernels = chosenKernels();
  if (showOriginal) {
    renderSpectrumPixels(kernels, 1, showOriginal, dcCut, zoom4);
    return;
  }
  if (spectrumThreads < 1) {
    const char *setting = std::getenv("BMPSPECTRUM_THREADS");
    spectrumThreads = threadCountFrom(setting, std::thread::hardware_concurrency());
    if (!threadSettingUsable(setting)) {
      consoleErrorf("bmpspectrum: BMPSPECTRUM_THREADS=%s is not a number from 1 to %d; using %d\n",
                    setting, kMaxSpectrumThreads, spectrumThreads);
    }
  }
  const int threads =
      static_cast<long>(spectrumView.header.biWidth) * spectrumView.header.biHeight >=
              kThreadedPixels
          ? spectrumThreads
          : 1;
  preparePass(kernels, logScale, dcCut, threads);
  transformAllRows(kernels, threads);
  transformAllColumns(kernels, threads);
  renderSpectrumPixels(kernels, threads, showOriginal, dcCut, zoom4);
}

}  // namespace

void computeSpectrum(int logScale, int dcCut, int zoom4, int showOriginal) {
  std::lock_guard<std::mutex> hold(spectrumComputeLock);
  computeLocked(logScale, dcCut, zoom4, showOriginal);
}

void recomputeSpectrumQuietly() {
  std::lock_guard<std::mutex> hold(spectrumComputeLock);
  quiet = true;
  const SpectrumSwitches last = spectrumSwitches;
  computeLocked(last.logScale, last.dcCut, last.zoom4, last.showOriginal);
  quiet = false;
}
