// A window of the Xlib subset keeps its contents in the server: uncovering shows them again
// without a paint, and paints still come for a window never painted and when asked for.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "common/dib_row.h"
#include "tests/display/x_server.h"
#include "win32.h"

namespace {

// What the window shows, shared by the test and the window's thread.
struct Shown {
  std::mutex lock;
  BITMAPINFOHEADER header{};
  std::vector<std::uint8_t> pixels;  // bottom-up, rows padded to 4 bytes
  std::atomic<int> paints{0};
  bool ignoreFirstPaint = false;  // the first WM_PAINT draws nothing
};
Shown &shown = *new Shown;  // never destroyed: the window's thread runs until the process ends

size_t strideOf(int width) {
  return static_cast<size_t>(dibRowBytes(static_cast<std::uint64_t>(width)));
}

void drawPattern(int seed) {
  std::lock_guard<std::mutex> guard(shown.lock);
  const int width = shown.header.biWidth;
  const size_t stride = strideOf(width);
  for (int y = 0; y < shown.header.biHeight; ++y) {
    for (int x = 0; x < width; ++x) colourAt(x, y, seed, &shown.pixels[stride * y + 3 * x]);
  }
}

LRESULT countingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
  const int paints = ++shown.paints;
  if (paints == 1 && shown.ignoreFirstPaint) return DefWindowProcA(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  {
    std::lock_guard<std::mutex> guard(shown.lock);
    SetDIBitsToDevice(dc, 0, 0, shown.header.biWidth, shown.header.biHeight, 0, 0, 0,
                      shown.header.biHeight, shown.pixels.data(),
                      reinterpret_cast<const BITMAPINFO *>(&shown.header), DIB_RGB_COLORS);
  }
  EndPaint(window, &paint);
  return 0;
}

std::atomic<HWND> shownWindow{nullptr};
std::atomic<bool> windowTried{false};

// The window's thread: creates it, then runs the message loop until the process ends.
void runWindow(int width, int height) {
  shownWindow = CreateWindowExA(0, "PixmapTest", "pixmap test", WS_VISIBLE, 0, 0, width, height,
                                nullptr, nullptr, nullptr, nullptr);
  windowTried = true;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) != 0) DispatchMessageA(&message);
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

// RegisterClassExA works once a process; ctest runs every test in a process of its own.
bool windowMadeInThisProcess = false;

class WindowContents : public ::testing::Test {
 protected:
  void TearDown() override {
    probe.reset();
    stopXvfb(server);
  }

  // A server, and the window showing pattern 1, painted once.
  void show(const Case &shape, bool ignoreFirstPaint = false) {
    if (windowMadeInThisProcess) GTEST_SKIP() << "needs a process of its own (as ctest runs it)";
    windowMadeInThisProcess = true;
    startWatchdog(std::chrono::seconds(90));
    ASSERT_TRUE(startXvfb(server, shape.depth, shape.sharedMemory));
    setenv("DISPLAY", server.name.c_str(), 1);
    shown.header = BITMAPINFOHEADER{40, shape.width, shape.height, 1, 24, 0, 0, 0, 0, 0, 0};
    shown.pixels.assign(strideOf(shape.width) * static_cast<size_t>(shape.height), 0xEE);
    shown.ignoreFirstPaint = ignoreFirstPaint;
    drawPattern(1);

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = countingProcedure;
    windowClass.lpszClassName = "PixmapTest";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
    std::thread(runWindow, shape.width, shape.height).detach();
    ASSERT_TRUE(waitFor([] { return windowTried.load(); }));
    ASSERT_NE(shownWindow.load(), nullptr);

    probe = openProbe(server.name);
    ASSERT_TRUE(probe);
    ASSERT_TRUE(waitFor([&] {
      const std::vector<TopWindow> windows = topWindows(*probe);
      if (windows.size() != 1 || !windows[0].viewable) return false;
      id = windows[0].id;
      return true;
    }));
    ASSERT_TRUE(waitFor([&] { return shown.paints.load() >= 1; }));
  }

  bool patternShown() {
    std::vector<std::uint32_t> expected;
    {
      std::lock_guard<std::mutex> guard(shown.lock);
      expected = imagePixels(*probe, shown.pixels.data(), shown.header.biWidth,
                             shown.header.biHeight, strideOf(shown.header.biWidth));
    }
    return readPixels(*probe, id, shown.header.biWidth, shown.header.biHeight) == expected;
  }

  XvfbServer server;
  ProbeHandle probe;
  unsigned long id = 0;
};

class WindowShapes : public WindowContents, public ::testing::WithParamInterface<Case> {};

// Several strips of rows a paint (1024 and 300 columns), a strip's worth or less, one pixel; the
// general pixel path at depths 16 and 8; shared memory and plain puts.
INSTANTIATE_TEST_SUITE_P(Shapes, WindowShapes,
                         ::testing::Values(Case{1024, 300, 24, true}, Case{1024, 300, 24, false},
                                           Case{300, 250, 24, true}, Case{300, 250, 16, true},
                                           Case{300, 250, 16, false}, Case{70, 40, 8, false},
                                           Case{1, 1, 24, true}),
                         [](const auto &info) { return caseName(info.param); });

// The pixel values only show that uncovering restored the window; the paint count shows that
// the program was not asked for it. A paint asked for still comes, with the new contents.
TEST_P(WindowShapes, UncoveringShowsThePaintedPictureWithoutAPaint) {
  show(GetParam());
  if (IsSkipped() || HasFatalFailure()) return;
  ASSERT_TRUE(waitFor([&] { return patternShown(); }));
  ASSERT_EQ(shown.paints.load(), 1);

  scribbleAndExpose(*probe, id, shown.header.biWidth, shown.header.biHeight);
  EXPECT_TRUE(waitFor([&] { return patternShown(); }));
  coverAndUncover(*probe, id);
  EXPECT_TRUE(waitFor([&] { return patternShown(); }));
  EXPECT_EQ(shown.paints.load(), 1);

  drawPattern(2);
  InvalidateRect(shownWindow.load(), nullptr, 0);
  EXPECT_TRUE(waitFor([&] { return patternShown(); }));
  EXPECT_EQ(shown.paints.load(), 2);
  scribbleAndExpose(*probe, id, shown.header.biWidth, shown.header.biHeight);
  EXPECT_TRUE(waitFor([&] { return patternShown(); }));
  EXPECT_EQ(shown.paints.load(), 2);
}

// A window whose first paint drew nothing has no picture to show from: uncovering asks again
// (mapping the window may already have done so).
TEST_F(WindowContents, NeverPaintedWindowIsAskedToPaintWhenUncovered) {
  show(Case{200, 120, 24, true}, true);
  if (IsSkipped() || HasFatalFailure()) return;
  scribbleAndExpose(*probe, id, 200, 120);
  EXPECT_TRUE(waitFor([&] { return shown.paints.load() >= 2 && patternShown(); }));
}

}  // namespace
