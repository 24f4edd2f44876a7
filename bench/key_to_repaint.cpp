// Times a mode key's work up to the repainted spectrum window, against a running X server.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_picture.h"
#include "common/dib_view.h"
#include "display/display.h"
#include "platform/console.h"
#include "spectrum/spectrum.h"
#include "spectrum/workers.h"

namespace {

// The spectrum window, found by its title on a connection of our own.
Window findWindow(Display *display, Window parent, const char *title) {
  Window root, parentOut, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, parent, &root, &parentOut, &children, &count)) return 0;
  const Atom utf8Name = XInternAtom(display, "_NET_WM_NAME", False);
  Window found = 0;
  for (unsigned i = 0; i < count && found == 0; ++i) {
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char *value = nullptr;
    if (XGetWindowProperty(display, children[i], utf8Name, 0, 256, False, AnyPropertyType, &type,
                           &format, &items, &after, &value) == Success &&
        value != nullptr) {
      if (std::strcmp(reinterpret_cast<char *>(value), title) == 0) found = children[i];
      XFree(value);
    }
    if (found == 0) found = findWindow(display, children[i], title);
  }
  if (children != nullptr) XFree(children);
  return found;
}

double milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

constexpr int kKeys = 240;

// The value below which the given share of the times lies (nearest rank).
double percentile(const std::vector<double> &sorted, double share) {
  const size_t rank = static_cast<size_t>(share * static_cast<double>(sorted.size()) + 0.999999);
  return sorted[rank == 0 ? 0 : rank - 1];
}

void printPercentiles(const char *what, std::vector<double> times, const char *note = "") {
  std::sort(times.begin(), times.end());
  std::fprintf(stderr, "%-17s p50 %6.2f  p99 %6.2f  max %6.2f ms%s\n", what, percentile(times, 0.5),
               percentile(times, 0.99), times.back(), note);
}

}  // namespace

int main() {
  const int size = 1024;
  loadBenchPicture(size);
  // Both modes' buffers, to find a pixel that tells them apart on the screen.
  computeSpectrum(1, 0, 0, 0);
  const std::vector<std::uint8_t> logBytes(spectrumView.pixels,
                                           spectrumView.pixels + size * size * 3);
  computeSpectrum(0, 0, 0, 0);
  const std::vector<std::uint8_t> linearBytes(spectrumView.pixels,
                                              spectrumView.pixels + size * size * 3);
  size_t probe = 0;
  while (probe < logBytes.size() && logBytes[probe] == linearBytes[probe]) probe += 3;
  if (probe >= logBytes.size()) return 1;
  const int probeX = static_cast<int>(probe / 3 % size);
  const int probeRow = size - 1 - static_cast<int>(probe / 3 / size);  // windows count from the top

  startDisplay(size, size);
  Display *display = XOpenDisplay(nullptr);
  if (display == nullptr) return 1;
  Window window = 0;
  for (int tries = 0; tries < 200 && window == 0; ++tries) {
    window = findWindow(display, DefaultRootWindow(display), "空間周波数スペクトル");
    if (window == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (window == 0) return 1;
  // The server tells of each change to the window: waiting for one takes no core, and sees the
  // change as soon as the server has made it.
  int damageEvents, damageErrors;
  if (!XDamageQueryExtension(display, &damageEvents, &damageErrors)) return 1;
  XDamageCreate(display, window, XDamageReportRawRectangles);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  std::vector<double> computed, repainted, sinceComputed;
  for (int round = 0; round < kKeys; ++round) {
    const int logScale = round % 2 == 0 ? 1 : 0;
    const std::uint8_t expected = (logScale ? logBytes : linearBytes)[probe];
    const auto start = std::chrono::steady_clock::now();
    consolePrintf("\n log表示=%d DCcut=%d 拡大=%d\n", logScale, 0, 0);
    computeSpectrum(logScale, 0, 0, 0);
    repaintSpectrum();
    const auto done = std::chrono::steady_clock::now();
    for (;;) {
      XImage *image = XGetImage(display, window, probeX, probeRow, 1, 1, AllPlanes, ZPixmap);
      const unsigned long pixel = image != nullptr ? XGetPixel(image, 0, 0) : 0;
      if (image != nullptr) XDestroyImage(image);
      if ((pixel & 0xff) == expected) break;
      // Not shown when the server answered: a later change, reported after the answer, shows it.
      for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != damageEvents + XDamageNotify) continue;
        const XRectangle &area = reinterpret_cast<const XDamageNotifyEvent &>(event).area;
        if (probeX >= area.x && probeX < area.x + area.width && probeRow >= area.y &&
            probeRow < area.y + area.height) {
          break;
        }
      }
    }
    const auto shown = std::chrono::steady_clock::now();
    computed.push_back(milliseconds(done - start));
    repainted.push_back(milliseconds(shown - start));
    sinceComputed.push_back(milliseconds(shown - done));
  }
  std::fprintf(stderr, "1024 x 1024, linear <-> log, %d keys, %d threads:\n", kKeys,
               spectrumThreads);
  printPercentiles("key to computed", computed);
  // Half a frame at 60 Hz.
  printPercentiles("key to repainted", repainted, " (target p99 <= 8.3 ms)");
  printPercentiles("computed to shown", sinceComputed);
  std::_Exit(0);
}
