// The two windows under a real X server: properties, pixels, repaints, closing and server loss.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/main_flow.h"
#include "common/dib_row.h"
#include "common/dib_view.h"
#include "display/display.h"
#include "spectrum/spectrum.h"
#include "tests/display/x_server.h"

namespace {

const std::string kPictureTitle = "BMPファイルの表示";
const std::string kSpectrumTitle = "空間周波数スペクトル";
// WM_NORMAL_HINTS flags (ICCCM): a user-specified position, program-specified minimum and
// maximum size.
constexpr long kUserPosition = 1L << 0;
constexpr long kMinSizeGiven = 1L << 4;
constexpr long kMaxSizeGiven = 1L << 5;

BmpInfoHeader headerFor(int width, int height, size_t imageBytes) {
  BmpInfoHeader header{};
  header.biSize = 40;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biSizeImage = static_cast<std::uint32_t>(imageBytes);
  return header;
}

// The buffers live until the process ends, as the program's do: the display thread is never
// stopped and may paint until then.
void makePicture(int width, int height) {
  const size_t stride = paddedStride(width);
  auto *pixels = new std::uint8_t[stride * static_cast<size_t>(height)];
  for (int y = 0; y < height; ++y) {
    std::uint8_t *row = pixels + stride * static_cast<size_t>(y);
    for (size_t pad = static_cast<size_t>(width) * 3; pad < stride; ++pad) row[pad] = 0xEE;
    for (int x = 0; x < width; ++x) colourAt(x, y, 0, row + 3 * x);
  }
  sourceView.header = headerFor(width, height, stride * static_cast<size_t>(height));
  sourceView.pixels = pixels;
}

// Exactly 3 * width bytes a row, with nothing behind the last row, so an over-read shows under
// AddressSanitizer.
void makeSpectrum(int width, int height) {
  const size_t bytes = static_cast<size_t>(width) * 3 * static_cast<size_t>(height);
  spectrumView.header = headerFor(width, height, bytes);
  spectrumView.pixels = new std::uint8_t[bytes];
}

void fillSpectrum(int seed) {
  const int width = spectrumView.header.biWidth;
  std::lock_guard<std::mutex> guard(spectrumPixelsLock);
  for (int y = 0; y < spectrumView.header.biHeight; ++y) {
    for (int x = 0; x < width; ++x) {
      colourAt(x, y, seed, spectrumView.pixels + (static_cast<size_t>(y) * width + x) * 3);
    }
  }
}

// The pixel values the window should show, top row first.
std::vector<std::uint32_t> expectedPixels(Probe &probe, const DibView &view, size_t stride) {
  std::vector<std::uint32_t> pixels;
  const int height = view.header.biHeight;
  for (int top = 0; top < height; ++top) {
    const std::uint8_t *row = view.pixels + stride * static_cast<size_t>(height - 1 - top);
    for (int x = 0; x < view.header.biWidth; ++x) {
      pixels.push_back(pixelOf(probe, row[3 * x + 2], row[3 * x + 1], row[3 * x]));
    }
  }
  return pixels;
}

std::vector<std::uint32_t> expectedSpectrum(Probe &probe) {
  std::lock_guard<std::mutex> guard(spectrumPixelsLock);
  return expectedPixels(probe, spectrumView, static_cast<size_t>(spectrumView.header.biWidth) * 3);
}

class DisplayWindows : public ::testing::Test {
 protected:
  void TearDown() override {
    closeDisplay();
    probe.reset();
    stopXvfb(server);
  }

  // Starts a server, shows a picture of the given size and its spectrum, and waits until both
  // windows are on screen side by side.
  void show(int width, int height, int depth = 24, bool sharedMemory = true) {
    startWatchdog(std::chrono::seconds(90));
    ASSERT_TRUE(startXvfb(server, depth, sharedMemory));
    setenv("DISPLAY", server.name.c_str(), 1);
    makePicture(width, height);
    makeSpectrum(powerOfTwoFloor(width), powerOfTwoFloor(height));
    fillSpectrum(1);
    startDisplay(width, height);
    probe = openProbe(server.name);
    ASSERT_TRUE(probe);
    ASSERT_TRUE(waitFor([&] {
      windows = topWindows(*probe);
      int viewable = 0;
      for (const TopWindow &window : windows) viewable += window.viewable;
      return viewable == 2;
    }));
    for (const TopWindow &window : windows) {
      if (window.netWmName == kPictureTitle) picture = window;
      if (window.netWmName == kSpectrumTitle) spectrum = window;
    }
    ASSERT_NE(picture.id, 0u);
    ASSERT_NE(spectrum.id, 0u);
    moveWindow(*probe, picture.id, 0, 0);
    moveWindow(*probe, spectrum.id, picture.width + 16, 0);
  }

  bool pictureShown() {
    return readPixels(*probe, picture.id, picture.width, picture.height) ==
           expectedPixels(*probe, sourceView, paddedStride(sourceView.header.biWidth));
  }

  bool spectrumShown() {
    return readPixels(*probe, spectrum.id, spectrum.width, spectrum.height) ==
           expectedSpectrum(*probe);
  }

  // Rewrites of the spectrum and uncovered windows, each shown from the records.
  void rewriteAndUncover() {
    for (int seed : {2, 3}) {
      fillSpectrum(seed);
      repaintSpectrum();
      EXPECT_TRUE(waitFor([&] { return spectrumShown(); })) << "seed " << seed;
    }
    scribbleAndExpose(*probe, picture.id, picture.width, picture.height);
    scribbleAndExpose(*probe, spectrum.id, spectrum.width, spectrum.height);
    EXPECT_TRUE(waitFor([&] { return pictureShown() && spectrumShown(); }));
  }

  XvfbServer server;
  ProbeHandle probe;
  std::vector<TopWindow> windows;
  TopWindow picture, spectrum;
};

struct PlacedCase {
  int width, height;         // the picture, on a screen of 1024 x 768
  int spectrumX, spectrumY;  // where the spectrum window is asked for
  bool bothFit;              // side by side or one above the other, without overlapping
};

class DisplayPlaces : public DisplayWindows, public ::testing::WithParamInterface<PlacedCase> {};

// Side by side when both fit across; below when only that fits; where neither does, as far right
// as keeps the spectrum whole on the screen, over the picture.
INSTANTIATE_TEST_SUITE_P(
    Sizes, DisplayPlaces,
    ::testing::Values(PlacedCase{300, 200, 300, 0, true}, PlacedCase{1024, 1024, 0, 0, false},
                      PlacedCase{600, 300, 0, 300, true}, PlacedCase{1000, 700, 512, 0, false}),
    [](const auto &info) {
      return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
    });

// No window manager runs: the windows stand where the program asked for them.
TEST_P(DisplayPlaces, TheSpectrumStandsBesideThePicture) {
  const PlacedCase placed = GetParam();
  show(placed.width, placed.height);
  if (IsSkipped() || HasFatalFailure()) return;
  EXPECT_EQ(picture.x, 0);
  EXPECT_EQ(picture.y, 0);
  EXPECT_EQ(spectrum.x, placed.spectrumX);
  EXPECT_EQ(spectrum.y, placed.spectrumY);
  // The position is the user's to keep: a window manager places it there too.
  EXPECT_NE(spectrum.sizeHintFlags & kUserPosition, 0);
  const bool apart =
      spectrum.x >= picture.x + picture.width || spectrum.y >= picture.y + picture.height;
  EXPECT_EQ(apart, placed.bothFit);
  // Whole on the screen whenever it is no larger than the screen.
  if (spectrum.width <= 1024 && spectrum.height <= 768) {
    EXPECT_LE(spectrum.x + spectrum.width, 1024);
    EXPECT_LE(spectrum.y + spectrum.height, 768);
  }
}

struct ShownCase {
  int width, height, depth;
};

class DisplayShows : public DisplayWindows, public ::testing::WithParamInterface<ShownCase> {};

// Widths 1 and 2 give spectrum rows that are not padded; 3 gives a padded picture row; depths 16
// and 8 take the general pixel path, 8 also a visual other than the server's default.
INSTANTIATE_TEST_SUITE_P(Sizes, DisplayShows,
                         ::testing::Values(ShownCase{3, 2, 24}, ShownCase{1, 1, 24},
                                           ShownCase{5, 3, 24}, ShownCase{70, 40, 24},
                                           ShownCase{3, 2, 16}, ShownCase{70, 40, 16},
                                           ShownCase{70, 40, 8}),
                         [](const auto &info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height) + "x" +
                                  std::to_string(info.param.depth);
                         });

TEST_P(DisplayShows, BothWindowsWithTheirTitlesHintsAndImages) {
  const ShownCase shown = GetParam();
  show(shown.width, shown.height, shown.depth);
  if (IsSkipped() || HasFatalFailure()) return;
  const int spectrumWidth = powerOfTwoFloor(shown.width);
  const int spectrumHeight = powerOfTwoFloor(shown.height);

  ASSERT_EQ(windows.size(), 2u);
  // Stacking order, bottom first: the picture window was created first.
  EXPECT_EQ(windows[0].id, picture.id);
  struct Expected {
    const TopWindow &window;
    const std::string &title;
    int width, height;
  };
  for (const Expected &expected :
       {Expected{picture, kPictureTitle, shown.width, shown.height},
        Expected{spectrum, kSpectrumTitle, spectrumWidth, spectrumHeight}}) {
    SCOPED_TRACE(expected.title);
    const TopWindow &window = expected.window;
    EXPECT_EQ(window.netWmName, expected.title);
    EXPECT_EQ(window.netWmNameType, "UTF8_STRING");
    EXPECT_EQ(window.wmName, expected.title);
    EXPECT_EQ(window.resClass, "GRC0");
    EXPECT_EQ(window.width, expected.width);
    EXPECT_EQ(window.height, expected.height);
    EXPECT_TRUE(window.sizeHintFlags & kMinSizeGiven);
    EXPECT_TRUE(window.sizeHintFlags & kMaxSizeGiven);
    EXPECT_EQ(window.minWidth, expected.width);
    EXPECT_EQ(window.maxWidth, expected.width);
    EXPECT_EQ(window.minHeight, expected.height);
    EXPECT_EQ(window.maxHeight, expected.height);
    // Functions and decorations given; move only; border and title only.
    EXPECT_EQ(window.motifHints, (std::vector<long>{3, 4, 2 | 8, 0, 0}));
    EXPECT_TRUE(window.acceptsDelete);
    // Keys typed into a window act as typed at the console.
    EXPECT_TRUE(window.takesKeyboard);
  }
  EXPECT_TRUE(waitFor([&] { return pictureShown(); }));
  EXPECT_TRUE(waitFor([&] { return spectrumShown(); }));
}

TEST_F(DisplayWindows, RepaintShowsTheRewrittenSpectrum) {
  show(3, 2);
  if (IsSkipped() || HasFatalFailure()) return;
  ASSERT_TRUE(waitFor([&] { return spectrumShown(); }));
  for (int seed : {2, 3, 4}) {
    fillSpectrum(seed);
    repaintSpectrum();
    EXPECT_TRUE(waitFor([&] { return spectrumShown(); })) << "seed " << seed;
  }
  // Rewrites while paints are under way: painting must never read a buffer being rewritten
  // (ThreadSanitizer reports it if it does), and the last contents are what stays.
  for (int seed = 5; seed < 200; ++seed) {
    fillSpectrum(seed);
    repaintSpectrum();
  }
  EXPECT_TRUE(waitFor([&] { return spectrumShown(); }));
  EXPECT_TRUE(pictureShown());
}

TEST_F(DisplayWindows, ExposedWindowIsRepaintedFromItsRecord) {
  show(5, 3);
  if (IsSkipped() || HasFatalFailure()) return;
  ASSERT_TRUE(waitFor([&] { return pictureShown() && spectrumShown(); }));
  scribbleAndExpose(*probe, picture.id, picture.width, picture.height);
  scribbleAndExpose(*probe, spectrum.id, spectrum.width, spectrum.height);
  EXPECT_TRUE(waitFor([&] { return pictureShown() && spectrumShown(); }));
}

// Whether this process has a System V shared memory segment mapped, as an image that the server
// reads from shared memory is.
bool mapsSharedSegment() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("/SYSV") != std::string::npos) return true;
  }
  return false;
}

TEST_F(DisplayWindows, ImagesComeFromSharedMemoryWhenTheServerOffersIt) {
  show(70, 40);
  if (IsSkipped() || HasFatalFailure()) return;
  ASSERT_TRUE(waitFor([&] { return pictureShown() && spectrumShown(); }));
  EXPECT_TRUE(mapsSharedSegment());
  rewriteAndUncover();
}

TEST_F(DisplayWindows, ImagesGoThroughTheConnectionWhenTheServerCannotShare) {
  show(70, 40, 24, false);
  if (IsSkipped() || HasFatalFailure()) return;
  ASSERT_TRUE(waitFor([&] { return pictureShown() && spectrumShown(); }));
  EXPECT_FALSE(mapsSharedSegment());
  rewriteAndUncover();
}

// Runs the call on a thread of its own and reports whether it returned within the limit; a call
// that hangs is left behind, blocked, and the process ends with the test.
template <typename Call>
bool returnsPromptly(Call call, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread([call, done] {
    call();
    done->store(true);
  }).detach();
  return waitFor([&] { return done->load(); }, limit);
}

TEST_F(DisplayWindows, CloseRequestDestroysBothWindowsBeforeReturning) {
  show(6, 4);
  if (IsSkipped() || HasFatalFailure()) return;
  ASSERT_TRUE(waitFor([&] { return pictureShown() && spectrumShown(); }));

  closeDisplay();
  // No waiting: the windows must already be gone on the server.
  EXPECT_FALSE(windowExists(*probe, picture.id));
  EXPECT_FALSE(windowExists(*probe, spectrum.id));
  // Requests once the windows are gone do nothing and return at once.
  EXPECT_TRUE(returnsPromptly(
      [] {
        repaintSpectrum();
        closeDisplay();
      },
      std::chrono::milliseconds(500)));
}

TEST_F(DisplayWindows, OutsideCloseDestroysOnlyThatWindow) {
  show(6, 4);
  if (IsSkipped() || HasFatalFailure()) return;
  ASSERT_TRUE(waitFor([&] { return pictureShown() && spectrumShown(); }));

  sendDeleteWindow(*probe, spectrum.id);
  ASSERT_TRUE(waitFor([&] { return !windowExists(*probe, spectrum.id); }));
  EXPECT_TRUE(windowExists(*probe, picture.id));
  EXPECT_TRUE(returnsPromptly([] {
    fillSpectrum(9);
    repaintSpectrum();
  }));
  // The loop goes on for the other window.
  scribbleAndExpose(*probe, picture.id, picture.width, picture.height);
  EXPECT_TRUE(waitFor([&] { return pictureShown(); }));
  EXPECT_TRUE(returnsPromptly([] { closeDisplay(); }, std::chrono::milliseconds(500)));
  EXPECT_FALSE(windowExists(*probe, picture.id));
}

TEST_F(DisplayWindows, LostServerLeavesTheProgramRunning) {
  show(6, 4);
  if (IsSkipped() || HasFatalFailure()) return;
  ASSERT_TRUE(waitFor([&] { return pictureShown() && spectrumShown(); }));
  probe.reset();
  stopXvfb(server, true);

  // Had Xlib's default handler run, the process would have exited by now.
  EXPECT_TRUE(returnsPromptly([] {
    for (int seed : {11, 12}) {
      fillSpectrum(seed);
      repaintSpectrum();
    }
    closeDisplay();
  }));
  EXPECT_TRUE(returnsPromptly([] { closeDisplay(); }, std::chrono::milliseconds(500)));
}

// A server that stops answering holds only the display thread: the spectrum can still be
// rewritten at once, and the close request gives up after about a second.
TEST_F(DisplayWindows, FrozenServerHoldsNeitherTheSpectrumNorTheEnd) {
  show(300, 300);
  if (IsSkipped() || HasFatalFailure()) return;
  ASSERT_TRUE(waitFor([&] { return pictureShown() && spectrumShown(); }));
  freezeXvfb(server, true);
  for (int seed : {31, 32, 33}) {
    EXPECT_TRUE(returnsPromptly(
        [seed] {
          fillSpectrum(seed);
          repaintSpectrum();
        },
        std::chrono::milliseconds(1000)))
        << "seed " << seed;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(returnsPromptly([] { closeDisplay(); }, std::chrono::milliseconds(2500)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  // Once the server answers again the request is carried out.
  freezeXvfb(server, false);
  EXPECT_TRUE(waitFor(
      [&] { return !windowExists(*probe, picture.id) && !windowExists(*probe, spectrum.id); }));
}

TEST_F(DisplayWindows, PictureTooLargeForAWindowLeavesTheSpectrumAlone) {
  ASSERT_TRUE(startXvfb(server));
  setenv("DISPLAY", server.name.c_str(), 1);
  // Wider than any X window can be: only the spectrum window is shown.
  sourceView.header = headerFor(70000, 1, 0);
  sourceView.pixels = nullptr;
  makeSpectrum(4, 4);
  fillSpectrum(1);
  EXPECT_TRUE(returnsPromptly([] { startDisplay(70000, 1); }));

  probe = openProbe(server.name);
  ASSERT_TRUE(probe);
  ASSERT_TRUE(waitFor([&] {
    windows = topWindows(*probe);
    return windows.size() == 1 && windows[0].viewable;
  }));
  spectrum = windows[0];
  EXPECT_EQ(spectrum.netWmName, kSpectrumTitle);
  EXPECT_TRUE(waitFor([&] { return spectrumShown(); }));
  EXPECT_TRUE(returnsPromptly([] { closeDisplay(); }));
  EXPECT_FALSE(windowExists(*probe, spectrum.id));
}

TEST(DisplayWithoutServer, NothingStartsAndRequestsReturn) {
  // A display that no server answers, with no authority file to find one through.
  setenv("DISPLAY", ":32767", 1);
  makePicture(3, 2);
  makeSpectrum(2, 2);
  EXPECT_TRUE(returnsPromptly([] { startDisplay(3, 2); }));
  EXPECT_TRUE(returnsPromptly(
      [] {
        repaintSpectrum();
        closeDisplay();
      },
      std::chrono::milliseconds(500)));
}

}  // namespace
