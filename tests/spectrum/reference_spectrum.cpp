// The spectrum computed the plain way: grey rows, fft1d per row and column, range, grey bytes.
#include "tests/spectrum/reference_spectrum.h"

#include <cmath>
#include <cstdint>

#include "common/dib_row.h"
#include "common/dib_view.h"
#include "platform/console.h"
#include "spectrum/fft1d.h"

namespace {

float greyLevel(int x, int y) {
  const auto stride = static_cast<int>(dibRowBytes(sourceView.header.biWidth));
  const int r = y + sourceView.header.biHeight - spectrumView.header.biHeight;
  const std::uint8_t *pixel = sourceView.pixels + r * stride + 3 * x;
  return static_cast<float>((pixel[0] + pixel[1] + pixel[2]) / 3.0);
}

void setPixel(int x, int y, int value) {
  std::uint8_t *pixel = spectrumView.pixels + (y * spectrumView.header.biWidth + x) * 3;
  pixel[0] = pixel[1] = pixel[2] = static_cast<std::uint8_t>(value);
}

int greyOf(float v, float high, float low) {
  if (high == low) return 0;
  const double g = ((static_cast<double>(v) - low) * 255) / (static_cast<double>(high) - low);
  return static_cast<int>(g) & 0xff;
}

}  // namespace

void referenceComputeSpectrum(int logScale, int dcCut, int zoom4, int showOriginal) {
  const int w2 = spectrumView.header.biWidth;
  const int h2 = spectrumView.header.biHeight;
  float re[1024];
  float im[1024];

  float rowMax = 0;
  int maxX = 0;
  int maxY = 0;
  for (int y = h2 - 1; y >= 0; --y) {
    for (int x = 0; x < w2; ++x) {
      re[x] = greyLevel(x, y);
      im[x] = 0;
      if (showOriginal) setPixel(x, y, static_cast<int>(re[x]));
    }
    if (!showOriginal) {
      fft1d(re, im, w2);
      for (int x = 0; x < w2; ++x) {
        const float m = static_cast<float>(
            std::sqrt(static_cast<double>(re[x]) * re[x] + static_cast<double>(im[x]) * im[x]));
        realPlane[y][x] = re[x];
        imagPlane[y][x] = im[x];
        if (rowMax < m) {
          rowMax = m;
          maxX = x;
          maxY = y;
        }
      }
    }
  }
  if (showOriginal) return;
  consolePrintf(" 横FFT後　max = %f x %d y %d \n", rowMax, maxX, maxY);

  for (int x = 0; x < w2; ++x) {
    consolePrintf("\r%d    \r", x);
    for (int y = 0; y < h2; ++y) {
      re[y] = realPlane[y][x];
      im[y] = imagPlane[y][x];
    }
    fft1d(re, im, h2);
    for (int y = 0; y < h2; ++y) {
      float v = static_cast<float>(
          std::sqrt(static_cast<double>(re[y]) * re[y] + static_cast<double>(im[y]) * im[y]));
      if (logScale == 1 && v > 0) v = static_cast<float>(std::log(static_cast<double>(v)));
      magnitudePlane[y][x] = v;
    }
  }

  if (dcCut) magnitudePlane[0][0] = 0;
  float high = 0;
  float low = magnitudePlane[0][0];
  for (int y = 0; y < h2; ++y) {
    for (int x = 0; x < w2; ++x) {
      if (magnitudePlane[y][x] > high) high = magnitudePlane[y][x];
      if (magnitudePlane[y][x] < low) low = magnitudePlane[y][x];
    }
  }
  consolePrintf(" 縦横FFT後　max %f min %f \n", high, low);

  if (!zoom4) {
    for (int y = 0; y < h2; ++y) {
      for (int x = 0; x < w2; ++x) setPixel(x, y, greyOf(magnitudePlane[y][x], high, low));
    }
    if (dcCut) setPixel(0, 0, 0);
  } else {
    for (int y = 0; y < h2 / 4; ++y) {
      for (int x = 0; x < w2 / 4; ++x) {
        int g = greyOf(magnitudePlane[y][x], high, low);
        if (dcCut && x == 0 && y == 0) g = 0;
        for (int dy = 0; dy < 4; ++dy) {
          for (int dx = 0; dx < 4; ++dx) setPixel(4 * x + dx, 4 * y + dy, g);
        }
      }
    }
  }
}
