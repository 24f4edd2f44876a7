// The main flow: start-up, the console command loop and the orderly end.
#include "app/main_flow.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "bitmap/bitmap_reader.h"
#include "common/dib_view.h"
#include "common/texts.h"
#include "display/display.h"
#include "platform/console.h"
#include "spectrum/spectrum.h"

namespace {

constexpr char kPrompt[] = "再計算？(org-0,lin-1,log-2,DC有-3,DC無-4,標準表示-5,４倍表示-6,終了-q)";

void releasePlanes() {
  for (int y = 0; y < kPlaneCapacity; ++y) {
    std::free(realPlane[y]);
    realPlane[y] = nullptr;
    std::free(imagPlane[y]);
    imagPlane[y] = nullptr;
    std::free(magnitudePlane[y]);
    magnitudePlane[y] = nullptr;
  }
}

bool allocatePlane(float *(&plane)[kPlaneCapacity], int rows) {
  for (int y = 0; y < rows; ++y) {
    plane[y] = static_cast<float *>(std::calloc(kPlaneCapacity, sizeof(float)));
    if (plane[y] == nullptr) return false;
  }
  return true;
}

void listSpectrumHeader() {
  const BITMAPINFOHEADER &header = spectrumView.header;
  consolePrintf(kInfoHeaderTitle);
  consolePrintf(kBiSizeLine, static_cast<int>(header.biSize));
  consolePrintf(kBiWidthLine, static_cast<int>(header.biWidth));
  consolePrintf(kBiHeightLine, static_cast<int>(header.biHeight));
  consolePrintf(kBiPlanesLine, header.biPlanes);
  consolePrintf(kBiBitCountLine, header.biBitCount);
}

// Prepares spectrumView and the planes; false after printing why it could not.
bool prepareSpectrum() {
  spectrumView.header = sourceView.header;
  // Pictures beyond the planes' capacity are analysed in their top-left corner.
  const int width = std::min(powerOfTwoFloor(sourceView.header.biWidth), kPlaneCapacity);
  const int height = std::min(powerOfTwoFloor(sourceView.header.biHeight), kPlaneCapacity);
  spectrumView.header.biWidth = width;
  spectrumView.header.biHeight = height;
  spectrumView.header.biSizeImage = static_cast<DWORD>(width * height * 3);

  spectrumView.pixels =
      static_cast<std::uint8_t *>(std::calloc(spectrumView.header.biSizeImage, 1));
  if (spectrumView.pixels == nullptr) {
    consolePrintf("メモリが足りません\n");
    return false;
  }
  listSpectrumHeader();

  if (!allocatePlane(realPlane, height) || !allocatePlane(imagPlane, height)) {
    consolePuts("めもりたらんっちゅーねん！！！ コンパクトで生成してけろ 1");
    releasePlanes();
    return false;
  }
  if (!allocatePlane(magnitudePlane, height)) {
    consolePuts("めもりたらんっちゅーねん！！！2");
    releasePlanes();
    return false;
  }
  return true;
}

void runCommandLoop() {
  int logScale = 0, dcCut = 0, zoom4 = 0, showOriginal = 0;
  for (;;) {
    consolePrintf("%s", kPrompt);
    const int key = _getch();
    // No key can be read any more: end as after q instead of prompting forever.
    if (key == 'q' || key < 0) return;
    if (key < '0' || key > '6') continue;

    showOriginal = 0;
    switch (key) {
      case '0':
        showOriginal = 1;
        break;
      case '1':
        logScale = 0;
        break;
      case '2':
        logScale = 1;
        break;
      case '3':
        dcCut = 0;
        break;
      case '4':
        dcCut = 1;
        break;
      case '5':
        zoom4 = 0;
        break;
      case '6':
        zoom4 = 1;
        break;
    }
    consolePrintf("\n log表示=%d DCcut=%d 拡大=%d\n", logScale, dcCut, zoom4);
    computeSpectrum(logScale, dcCut, zoom4, showOriginal);
    InvalidateRect(spectrumView.window, nullptr, 0);
  }
}

}  // namespace

int powerOfTwoFloor(int n) {
  const int k = static_cast<int>(std::log(n + 0.5) / std::log(2.0));
  return static_cast<int>(std::pow(2.0, k));
}

int runMainFlow() {
  if (!readBitmapFile()) return bitmapFilePath[0] == '\0' ? 0 : 1;
  if (!prepareSpectrum()) return 1;

  computeSpectrum(0, 0, 0, 0);
  startDisplay(sourceView.header.biWidth, sourceView.header.biHeight);
  runCommandLoop();

  SendMessageA(pictureWindow, WM_CLOSE, 0, 0);
  SendMessageA(spectrumView.window, WM_CLOSE, 0, 0);
  releasePlanes();
  return 0;
}
