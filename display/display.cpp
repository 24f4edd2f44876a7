// The two windows' titles and images, handed to the window system, and what the windows report:
// keys passed on to the console, window commands, and the readout of what is under the pointer.
#include "display/display.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "bitmap/bitmap_reader.h"
#include "common/dib_row.h"
#include "common/dib_view.h"
#include "common/output_file.h"
#include "common/utf8_path.h"
#include "platform/console.h"
#include "platform/format_text.h"
#include "platform/png_file.h"
#include "platform/translate.h"
#include "platform/window_system.h"
#include "spectrum/spectrum.h"

namespace {

constexpr char kPictureTitle[] = "BMPファイルの表示";
constexpr char kSpectrumTitle[] = "空間周波数スペクトル";

// The spectrum window's title: its own, then a note of the window options that are on.
std::string spectrumTitle() {
  SpectrumOptions options;
  {
    std::lock_guard<std::mutex> hold(spectrumComputeLock);
    options = spectrumOptions;
  }
  std::string note;
  if (options.centred) note = "centred";
  if (options.taper != Taper::none)
    note += (note.empty() ? "" : ", ") + std::string(taperName(options.taper));
  return note.empty() ? std::string(kSpectrumTitle)
                      : std::string(kSpectrumTitle) + " [" + note + "]";
}

std::string titleOf(ShownWindow window) {
  return window == ShownWindow::picture ? std::string(kPictureTitle) : spectrumTitle();
}

// The signed frequency of bin k of n, in cycles per pixel: bins past the middle are negative.
double signedFrequency(int k, int n) {
  return (k <= n / 2 ? k : k - n) / static_cast<double>(n);
}

}  // namespace

std::string spectrumReadout(int x, int y) {
  std::lock_guard<std::mutex> hold(spectrumComputeLock);
  const int w2 = spectrumView.header.biWidth;
  const int h2 = spectrumView.header.biHeight;
  if (x < 0 || y < 0 || x >= w2 || y >= h2 || spectrumView.pixels == nullptr) return "";
  const int row = h2 - 1 - y;  // rows are stored bottom-up
  if (spectrumSwitches.showOriginal) {
    const std::uint8_t grey = spectrumView.pixels[(static_cast<size_t>(row) * w2 + x) * 3];
    return formatText("x=%d y=%d  grey=%d", x, y, grey);
  }
  // The bin whose grey this pixel shows, as the view placed it.
  const bool fourFold = spectrumSwitches.zoom4 != 0;
  const int u = binShownAt(x, w2, fourFold, spectrumOptions.centred);
  const int v = binShownAt(row, h2, fourFold, spectrumOptions.centred);
  if (magnitudePlane[v] == nullptr) return "";
  const double fx = signedFrequency(u, w2);
  const double fy = signedFrequency(v, h2);
  const double value = magnitudePlane[v][u];
  std::string text = formatText("fx=%+.4f fy=%+.4f c/px", fx, fy);
  if (fx != 0 || fy != 0) {
    const double pi = std::acos(-1.0);
    text += formatText("  period %.2f px  angle %.1f°", 1 / std::sqrt(fx * fx + fy * fy),
                       std::atan2(fy, fx) * 180 / pi);
  }
  return text + formatText("  value %.4f", value);
}

std::string pictureReadout(int x, int y) {
  const int width = sourceView.header.biWidth;
  const int height = sourceView.header.biHeight;
  if (x < 0 || y < 0 || x >= width || y >= height || sourceView.pixels == nullptr) return "";
  const std::uint8_t *pixel =
      sourceView.pixels +
      static_cast<size_t>(height - 1 - y) * dibRowBytes(static_cast<std::uint64_t>(width)) +
      static_cast<size_t>(x) * 3;
  return formatText("x=%d y=%d  R=%d G=%d B=%d", x, y, pixel[2], pixel[1], pixel[0]);
}

std::string saveSpectrumWindow(const char *folder) {
  std::vector<std::uint8_t> pixels;
  int width, height;
  {
    std::lock_guard<std::mutex> hold(spectrumComputeLock);
    width = spectrumView.header.biWidth;
    height = spectrumView.header.biHeight;
    if (spectrumView.pixels == nullptr) return "";
    pixels.assign(spectrumView.pixels,
                  spectrumView.pixels + static_cast<size_t>(width) * height * 3);
  }
  const std::filesystem::path picture =
      pathFromUtf8(bitmapFilePath[0] ? bitmapFilePath : "picture");
  const std::string stem = utf8FromPath(picture.stem());
  for (int number = 1; number < 10000; ++number) {
    const std::string name = number == 1 ? stem + "-spectrum.png"
                                         : formatText("%s-spectrum-%d.png", stem.c_str(), number);
    const std::filesystem::path place = pathFromUtf8(folder) / pathFromUtf8(name.c_str());
    const std::string path = utf8FromPath(place);
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(place, error))) continue;
    const std::string temporary = temporaryOutputPath(path.c_str());
    if (!writePngFile(temporary.c_str(), width, height, pixels.data())) {
      const int reason = errno;
      std::filesystem::remove(pathFromUtf8(temporary.c_str()), error);
      errno = reason;
      return "";
    }
    if (publishNewFile(temporary, path)) return path;
    if (errno != EEXIST) return "";
  }
  errno = EEXIST;
  return "";
}

namespace {

// The keys of the console conversation go to it; the window's own keys act here.
void onWindowKey(int key) {
  if ((key >= '0' && key <= '6') || key == 'q') {
    queueWindowKey(key);
  } else if (key == 'c' || key == 't') {
    {
      std::lock_guard<std::mutex> hold(spectrumComputeLock);
      SpectrumOptions &options = spectrumOptions;
      if (key == 'c') options.centred = !options.centred;
      // none, then periodic-plus-smooth, then Hann, then none again
      if (key == 't') {
        options.taper = options.taper == Taper::none       ? Taper::periodic
                        : options.taper == Taper::periodic ? Taper::hann
                                                           : Taper::none;
      }
    }
    recomputeSpectrumQuietly();
    repaintSpectrum();
    setWindowTitle(ShownWindow::spectrum, spectrumTitle().c_str());
  } else if (key == 's') {
    const std::string path = saveSpectrumWindow(".");
    if (path.empty()) {
      consoleErrorf(translate("bmpspectrum: the spectrum could not be saved: %s\n"),
                    std::strerror(errno));
    } else {
      consoleErrorf(translate("bmpspectrum: the spectrum window saved as %s\n"), path.c_str());
    }
  }
}

void onWindowEvent(const WindowEvent &event) {
  switch (event.kind) {
    case WindowEvent::typed:
      onWindowKey(event.key);
      break;
    case WindowEvent::pointer: {
      const std::string readout = event.window == ShownWindow::picture
                                      ? pictureReadout(event.x, event.y)
                                      : spectrumReadout(event.x, event.y);
      const std::string title = titleOf(event.window);
      setWindowTitle(event.window,
                     readout.empty() ? title.c_str() : (title + " — " + readout).c_str());
      break;
    }
    case WindowEvent::pointerLeft:
      setWindowTitle(event.window, titleOf(event.window).c_str());
      break;
    case WindowEvent::closed:
      break;
  }
}

}  // namespace

void startDisplay(int width, int height) {
  const WindowImage picture{
      kPictureTitle,
      width,
      height,
      static_cast<std::size_t>(dibRowBytes(static_cast<std::uint64_t>(width))),
      &sourceView.pixels,
      nullptr};
  const int spectrumWidth = spectrumView.header.biWidth;
  const std::string title = spectrumTitle();
  const WindowImage spectrum{title.c_str(),
                             spectrumWidth,
                             spectrumView.header.biHeight,
                             static_cast<std::size_t>(spectrumWidth) * 3,
                             &spectrumView.pixels,
                             &spectrumPixelsLock};
  const bool pictureFits = width <= kLargestWindowSide && height <= kLargestWindowSide;
  if (!pictureFits) {
    consoleErrorf(translate("bmpspectrum: the picture is %d x %d pixels, more than a window can "
                            "show (%d); only its spectrum is shown\n"),
                  width, height, kLargestWindowSide);
  }
  openWindows(pictureFits ? &picture : nullptr, spectrum, onWindowEvent);
}

void repaintSpectrum() {
  repaintWindow(ShownWindow::spectrum);
}

void closeDisplay() {
  closeWindows();
}
