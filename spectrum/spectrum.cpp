// computeSpectrum: grey levels, row and column transforms, magnitudes, range and grey mapping.
#include "spectrum/spectrum.h"

#include <cmath>
#include <cstdint>

#include "common/dib_view.h"
#include "platform/console.h"
#include "spectrum/fft1d.h"

namespace {

bool isPowerOfTwoUpTo1024(long n) {
  return n >= 1 && n <= kPlaneCapacity && (n & (n - 1)) == 0;
}

// A state the main flow never produces (extents beyond the planes, missing rows or a picture
// smaller than the analysed rectangle) would write out of bounds: such a call does nothing.
bool usableState() {
  const long w2 = spectrumView.header.biWidth;
  const long h2 = spectrumView.header.biHeight;
  if (!isPowerOfTwoUpTo1024(w2) || !isPowerOfTwoUpTo1024(h2)) return false;
  if (sourceView.header.biWidth < w2 || sourceView.header.biHeight < h2) return false;
  if (sourceView.pixels == nullptr || spectrumView.pixels == nullptr) return false;
  for (long y = 0; y < h2; ++y) {
    if (realPlane[y] == nullptr || imagPlane[y] == nullptr || magnitudePlane[y] == nullptr) {
      return false;
    }
  }
  return true;
}

float greyLevel(const std::uint8_t *pixel) {
  return static_cast<float>((pixel[0] + pixel[1] + pixel[2]) / 3.0);
}

const std::uint8_t *sourceRow(int y, int h2) {
  const long width = sourceView.header.biWidth;
  const long remainder = (3 * width) % 4;
  const long stride = 3 * width + (remainder == 0 ? 0 : 4 - remainder);
  const long r = y + sourceView.header.biHeight - h2;
  return sourceView.pixels + r * stride;
}

void setPixel(int x, int y, int w2, std::uint8_t value) {
  std::uint8_t *pixel = spectrumView.pixels + (static_cast<long>(y) * w2 + x) * 3;
  pixel[0] = value;
  pixel[1] = value;
  pixel[2] = value;
}

std::uint8_t greyOf(float v, float low, float high) {
  if (high == low) return 0;
  const double g = ((static_cast<double>(v) - low) * 255) / (static_cast<double>(high) - low);
  return static_cast<std::uint8_t>(static_cast<int>(g) & 0xff);
}

// The only writer of the spectrum pixels; painting holds the same lock while it copies them.
void renderSpectrumPixels(int showOriginal, int dcCut, int zoom4, float high, float low) {
  const int w2 = spectrumView.header.biWidth;
  const int h2 = spectrumView.header.biHeight;
  std::lock_guard<std::mutex> hold(spectrumPixelsLock);
  if (showOriginal) {
    for (int y = 0; y < h2; ++y) {
      const std::uint8_t *row = sourceRow(y, h2);
      for (int x = 0; x < w2; ++x) {
        setPixel(x, y, w2, static_cast<std::uint8_t>(static_cast<int>(greyLevel(row + 3 * x))));
      }
    }
    return;
  }
  if (!zoom4) {
    for (int y = 0; y < h2; ++y) {
      for (int x = 0; x < w2; ++x) setPixel(x, y, w2, greyOf(magnitudePlane[y][x], low, high));
    }
    if (dcCut) setPixel(0, 0, w2, 0);
    return;
  }
  for (int y = 0; y < h2 / 4; ++y) {
    for (int x = 0; x < w2 / 4; ++x) {
      const std::uint8_t g =
          (dcCut && x == 0 && y == 0) ? 0 : greyOf(magnitudePlane[y][x], low, high);
      for (int dy = 0; dy < 4; ++dy) {
        for (int dx = 0; dx < 4; ++dx) setPixel(4 * x + dx, 4 * y + dy, w2, g);
      }
    }
  }
}

float magnitudeOf(float re, float im) {
  return static_cast<float>(std::sqrt(static_cast<double>(re) * re + static_cast<double>(im) * im));
}

}  // namespace

void computeSpectrum(int logScale, int dcCut, int zoom4, int showOriginal) {
  if (!usableState()) return;
  const int w2 = spectrumView.header.biWidth;
  const int h2 = spectrumView.header.biHeight;

  if (showOriginal) {
    renderSpectrumPixels(showOriginal, dcCut, zoom4, 0, 0);
    return;
  }

  float re[kPlaneCapacity];
  float im[kPlaneCapacity];
  float rowMax = 0;
  int maxX = 0;  // stays 0 when no magnitude exceeds 0, as for an all-black picture
  int maxY = 0;
  for (int y = h2 - 1; y >= 0; --y) {
    const std::uint8_t *row = sourceRow(y, h2);
    for (int x = 0; x < w2; ++x) {
      re[x] = greyLevel(row + 3 * x);
      im[x] = 0;
    }
    fft1d(re, im, w2);
    for (int x = 0; x < w2; ++x) {
      const float m = magnitudeOf(re[x], im[x]);
      realPlane[y][x] = re[x];
      imagPlane[y][x] = im[x];
      if (rowMax < m) {
        rowMax = m;
        maxX = x;
        maxY = y;
      }
    }
  }
  consolePrintf(" 横FFT後　max = %f x %d y %d \n", rowMax, maxX, maxY);

  for (int x = 0; x < w2; ++x) {
    consolePrintf("\r%d    \r", x);
    for (int y = 0; y < h2; ++y) {
      re[y] = realPlane[y][x];
      im[y] = imagPlane[y][x];
    }
    fft1d(re, im, h2);
    for (int y = 0; y < h2; ++y) {
      float v = magnitudeOf(re[y], im[y]);
      if (logScale == 1 && v > 0) v = static_cast<float>(std::log(static_cast<double>(v)));
      magnitudePlane[y][x] = v;
    }
  }

  if (dcCut) magnitudePlane[0][0] = 0;
  float high = 0;
  float low = magnitudePlane[0][0];
  for (int y = 0; y < h2; ++y) {
    for (int x = 0; x < w2; ++x) {
      const float v = magnitudePlane[y][x];
      if (v > high) high = v;
      if (v < low) low = v;
    }
  }
  consolePrintf(" 縦横FFT後　max %f min %f \n", high, low);

  renderSpectrumPixels(showOriginal, dcCut, zoom4, high, low);
}
