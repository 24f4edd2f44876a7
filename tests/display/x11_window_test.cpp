// The Xlib window system on its own: a window keeps its contents in the server, so uncovering
// shows them again without a paint; paints come when asked for and for a window never painted;
// the pointer and a close from outside are reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "common/dib_row.h"
#include "platform/window_system.h"
#include "tests/display/x_server.h"

namespace {

// What the window shows, shared by the test and the display thread.
struct Shown {
  std::mutex lock;
  std::vector<std::uint8_t> buffer;  // bottom-up, rows padded to 4 bytes
  const std::uint8_t *pixels = nullptr;
  int width = 0, height = 0;
  std::vector<WindowEvent> events;  // guarded by lock
};
Shown &shown = *new Shown;  // never destroyed: the display thread may run until the process ends

void drawPattern(int seed) {
  std::lock_guard<std::mutex> guard(shown.lock);
  const size_t stride = paddedStride(shown.width);
  for (int y = 0; y < shown.height; ++y) {
    for (int x = 0; x < shown.width; ++x) colourAt(x, y, seed, &shown.buffer[stride * y + 3 * x]);
  }
}

void recordEvent(const WindowEvent &event) {
  std::lock_guard<std::mutex> guard(shown.lock);
  shown.events.push_back(event);
}

struct Case {
  int width, height, depth;
  bool sharedMemory;
};

std::string caseName(const Case &shape) {
  return std::to_string(shape.width) + "x" + std::to_string(shape.height) + "x" +
         std::to_string(shape.depth) + (shape.sharedMemory ? "Shared" : "Put");
}

void PrintTo(const Case &shape, std::ostream *out) {
  *out << caseName(shape);
}

class WindowContents : public ::testing::Test {
 protected:
  void TearDown() override {
    closeWindows();
    probe.reset();
    stopXvfb(server);
  }

  // A server, and one window showing pattern 1 (or nothing yet, when drawn is false).
  void show(const Case &shape, bool drawn = true) {
    startWatchdog(std::chrono::seconds(90));
    ASSERT_TRUE(startXvfb(server, shape.depth, shape.sharedMemory, std::max(1024, shape.width),
                          std::max(768, shape.height)));
    setenv("DISPLAY", server.name.c_str(), 1);
    shown.width = shape.width;
    shown.height = shape.height;
    shown.buffer.assign(paddedStride(shape.width) * static_cast<size_t>(shape.height), 0xEE);
    shown.pixels = drawn ? shown.buffer.data() : nullptr;
    shown.events.clear();
    drawPattern(1);
    const WindowImage image{"window test", shape.width, shape.height, paddedStride(shape.width),
                            &shown.pixels, &shown.lock};
    ASSERT_TRUE(openWindows(nullptr, image, recordEvent));

    probe = openProbe(server.name);
    ASSERT_TRUE(probe);
    ASSERT_TRUE(waitFor([&] {
      const std::vector<TopWindow> windows = topWindows(*probe);
      if (windows.size() != 1 || !windows[0].viewable) return false;
      window = windows[0];
      return true;
    }));
  }

  bool patternShown() {
    std::vector<std::uint32_t> expected;
    {
      std::lock_guard<std::mutex> guard(shown.lock);
      expected = imagePixels(*probe, shown.buffer.data(), shown.width, shown.height,
                             paddedStride(shown.width));
    }
    return readPixels(*probe, window.id, shown.width, shown.height) == expected;
  }

  std::vector<WindowEvent> events() {
    std::lock_guard<std::mutex> guard(shown.lock);
    return shown.events;
  }

  XvfbServer server;
  ProbeHandle probe;
  TopWindow window;
};

class WindowShapes : public WindowContents, public ::testing::WithParamInterface<Case> {};

// Several bands of rows a paint (1024 and 300 columns), a band's worth or less, one pixel; more
// than is kept whole (1100 x 1000 at 32 bits a pixel), whose rows go through a ring; the general
// pixel path at depths 16 and 8; shared memory and plain puts.
INSTANTIATE_TEST_SUITE_P(Shapes, WindowShapes,
                         ::testing::Values(Case{1024, 300, 24, true}, Case{1024, 300, 24, false},
                                           Case{1100, 1000, 24, true}, Case{1100, 1000, 24, false},
                                           Case{300, 250, 24, true}, Case{300, 250, 16, true},
                                           Case{300, 250, 16, false}, Case{70, 40, 8, false},
                                           Case{1, 1, 24, true}),
                         [](const auto &info) { return caseName(info.param); });

// Pattern 2 is written without a repaint request: an uncovered window that still shows pattern 1
// was restored by the server, not painted again. A repaint asked for shows pattern 2.
TEST_P(WindowShapes, UncoveringShowsThePaintedPictureWithoutAPaint) {
  show(GetParam());
  if (HasFatalFailure()) return;
  ASSERT_TRUE(waitFor([&] { return patternShown(); }));
  std::vector<std::uint8_t> first;
  {
    std::lock_guard<std::mutex> guard(shown.lock);
    first = shown.buffer;
  }
  drawPattern(2);
  const auto firstShown = [&] {
    return readPixels(*probe, window.id, shown.width, shown.height) ==
           imagePixels(*probe, first.data(), shown.width, shown.height, paddedStride(shown.width));
  };
  scribbleAndExpose(*probe, window.id, shown.width, shown.height);
  EXPECT_TRUE(waitFor(firstShown));
  coverAndUncover(*probe, window.id);
  EXPECT_TRUE(waitFor(firstShown));

  repaintWindow(ShownWindow::spectrum);
  EXPECT_TRUE(waitFor([&] { return patternShown(); }));
  scribbleAndExpose(*probe, window.id, shown.width, shown.height);
  EXPECT_TRUE(waitFor([&] { return patternShown(); }));
}

// A paint sends only the rows that changed since the last: after each change the window, read
// back whole, shows every pixel as the rows now are (a row left stale would show its old
// colour), and so does the kept copy that an uncovered window is restored from.
TEST_P(WindowShapes, RepaintsShowEveryChangedRowAndNoStaleOne) {
  show(GetParam());
  if (HasFatalFailure()) return;
  ASSERT_TRUE(waitFor([&] { return patternShown(); }));
  const int width = shown.width, height = shown.height;
  // Flips the top bit of each channel of a pixel (x, row from the top): a change at any depth.
  const auto flip = [&](int px, int top) {
    std::lock_guard<std::mutex> guard(shown.lock);
    std::uint8_t *pixel =
        &shown.buffer[paddedStride(width) * static_cast<size_t>(height - 1 - top) + 3 * px];
    for (int channel = 0; channel < 3; ++channel) pixel[channel] ^= 0x80;
  };
  const std::vector<std::vector<std::array<int, 2>>> steps = {
      {{width / 2, height / 2}},                   // one pixel of a middle row
      {{width - 1, 0}, {0, height - 1}},           // the top row's last, the bottom row's first
      {{width / 2, height / 2}},                   // that middle row back as it was two paints ago
      {{0, height / 3}, {width - 1, height / 3}},  // both ends of one row
      {{0, std::max(0, height / 2 - 2)}, {0, std::min(height - 1, height / 2 + 1)}},  // rows apart
  };
  for (size_t step = 0; step < steps.size(); ++step) {
    for (const auto &[px, top] : steps[step]) flip(px, top);
    repaintWindow(ShownWindow::spectrum);
    EXPECT_TRUE(waitFor([&] { return patternShown(); })) << "after change " << step;
  }
  drawPattern(2);
  repaintWindow(ShownWindow::spectrum);
  EXPECT_TRUE(waitFor([&] { return patternShown(); })) << "after a new pattern";
  flip(width - 1, height - 1);
  repaintWindow(ShownWindow::spectrum);
  EXPECT_TRUE(waitFor([&] { return patternShown(); })) << "after a change to the new pattern";
  scribbleAndExpose(*probe, window.id, width, height);
  EXPECT_TRUE(waitFor([&] { return patternShown(); })) << "uncovered";
}

// A window with nothing to show yet has no picture to restore: uncovering asks for a paint.
TEST_F(WindowContents, NeverPaintedWindowIsPaintedWhenUncovered) {
  show(Case{200, 120, 24, true}, false);
  if (HasFatalFailure()) return;
  {
    std::lock_guard<std::mutex> guard(shown.lock);
    shown.pixels = shown.buffer.data();
  }
  scribbleAndExpose(*probe, window.id, 200, 120);
  EXPECT_TRUE(waitFor([&] { return patternShown(); }));
}

// The pointer's position over the window counts from its top-left pixel; leaving and a close
// from outside are reported too, each naming the window.
TEST_F(WindowContents, PointerAndOutsideCloseAreReported) {
  show(Case{200, 120, 24, true});
  if (HasFatalFailure()) return;
  moveWindow(*probe, window.id, 100, 50);
  ASSERT_TRUE(waitFor([&] { return patternShown(); }));
  const auto hasEvent = [&](WindowEvent::Kind kind, int x, int y) {
    for (const WindowEvent &event : events()) {
      if (event.kind == kind && event.window == ShownWindow::spectrum &&
          (kind != WindowEvent::pointer || (event.x == x && event.y == y))) {
        return true;
      }
    }
    return false;
  };
  ASSERT_TRUE(waitFor([&] {
    warpPointer(*probe, 100 + 17, 50 + 23);
    return hasEvent(WindowEvent::pointer, 17, 23);
  }));
  warpPointer(*probe, 100 + 199, 50 + 0);
  EXPECT_TRUE(waitFor([&] { return hasEvent(WindowEvent::pointer, 199, 0); }));
  warpPointer(*probe, 5, 5);
  EXPECT_TRUE(waitFor([&] { return hasEvent(WindowEvent::pointerLeft, 0, 0); }));
  EXPECT_FALSE(hasEvent(WindowEvent::closed, 0, 0));
  sendDeleteWindow(*probe, window.id);
  EXPECT_TRUE(waitFor([&] { return hasEvent(WindowEvent::closed, 0, 0); }));
  EXPECT_TRUE(waitFor([&] { return !windowExists(*probe, window.id); }));
}

}  // namespace
