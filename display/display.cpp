// The two windows' titles and images, handed to the window system.
#include "display/display.h"

#include <cstdint>

#include "common/dib_row.h"
#include "common/dib_view.h"
#include "platform/console.h"
#include "platform/translate.h"
#include "platform/window_system.h"

void startDisplay(int width, int height) {
  const WindowImage picture{
      "BMPファイルの表示",
      width,
      height,
      static_cast<std::size_t>(dibRowBytes(static_cast<std::uint64_t>(width))),
      &sourceView.pixels,
      nullptr};
  const int spectrumWidth = spectrumView.header.biWidth;
  const WindowImage spectrum{
      "空間周波数スペクトル",       spectrumWidth,
      spectrumView.header.biHeight, static_cast<std::size_t>(spectrumWidth) * 3,
      &spectrumView.pixels,         &spectrumPixelsLock};
  const bool pictureFits = width <= kLargestWindowSide && height <= kLargestWindowSide;
  if (!pictureFits) {
    consoleErrorf(translate("bmpspectrum: the picture is %d x %d pixels, more than a window can "
                            "show (%d); only its spectrum is shown\n"),
                  width, height, kLargestWindowSide);
  }
  openWindows(pictureFits ? &picture : nullptr, spectrum, nullptr);
}

void repaintSpectrum() {
  repaintWindow(ShownWindow::spectrum);
}

void closeDisplay() {
  closeWindows();
}
