// The whole program under a private Xvfb server: the file picked in the desktop dialog, both
// windows showing their images, a mode key repainting the spectrum, and `q` ending it all.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/dib_row.h"
#include "common/dib_view.h"
#include "spectrum/spectrum.h"
#include "tests/display/x_server.h"
#include "tests/support/bmp_fixture.h"
#include "tests/support/expected_texts.h"
#include "tests/support/program_session.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr int kWidth = 6, kHeight = 5;  // a padded picture row; a 4 x 4 spectrum

std::uint32_t pictureColour(int x, int row) {
  return static_cast<std::uint32_t>((x * 40 + row * 7) & 0xFF) |
         static_cast<std::uint32_t>((200 - x * 13 + row * 31) & 0xFF) << 8 |
         static_cast<std::uint32_t>((row * 50 + x * 3) & 0xFF) << 16;
}

// The spectrum buffers the engine gives for the file, first with every switch off and then
// after the key `2`, computed here the way the program sets them up.
std::vector<std::vector<std::uint8_t>> expectedSpectra(const std::string &file) {
  std::memcpy(&sourceView.header, file.data() + 14, sizeof sourceView.header);
  sourceView.pixels = reinterpret_cast<std::uint8_t *>(const_cast<char *>(file.data() + 54));
  if (setUpSpectrumStorage() != SpectrumStorage::ready) return {};
  const auto shown = [] {
    return std::vector<std::uint8_t>(spectrumView.pixels,
                                     spectrumView.pixels + spectrumView.header.biSizeImage);
  };
  std::vector<std::vector<std::uint8_t>> spectra;
  computeSpectrum(0, 0, 0, 0);
  spectra.push_back(shown());
  computeSpectrum(1, 0, 0, 0);
  spectra.push_back(shown());
  releasePlanes();
  releasePixels(spectrumView);
  sourceView.pixels = nullptr;
  return spectra;
}

class ProgramUnderX : public ::testing::Test {
 protected:
  void SetUp() override {
    startWatchdog(std::chrono::seconds(120));
    folder = std::filesystem::path(testFolder()) / "pictures";
    std::filesystem::create_directories(folder);
    picture = bmpPicture(kWidth, kHeight, pictureColour);
    writeFile((folder / "picture.bmp").string(), picture);
    ASSERT_TRUE(startXvfb(server));
    setenv("DISPLAY", server.name.c_str(), 1);  // for xdotool
    probe = openProbe(server.name);
    ASSERT_TRUE(probe);
    // Away from where the windows appear: a window under the pointer reads out in its title.
    warpPointer(*probe, 1023, 767);
  }

  void TearDown() override {
    if (session.pid > 0 && session.status == -1) {
      kill(session.pid, SIGKILL);
      waitpid(session.pid, nullptr, 0);
    }
    closeSession(session);
    freezeXvfb(server, false);  // a stopped server would hold the probe's goodbye and its own end
    probe.reset();
    stopXvfb(server);
    std::filesystem::remove_all(folder);
  }

  std::vector<TopWindow> programWindows() {
    std::vector<TopWindow> found;
    for (const TopWindow &window : topWindows(*probe)) {
      if (window.viewable && window.resClass == "GRC0") found.push_back(window);
    }
    return found;
  }

  // Starts the program, picks the picture in its dialog and waits for the first prompt and both
  // windows, placed side by side.
  void startAndPick(bool errorsToPipe = false) {
    SessionOptions options;
    options.folder = folder.string();
    options.errorsToPipe = errorsToPipe;
    // What GTK keeps between runs (recent files, settings) stays in this process's folder.
    options.environment = {"DISPLAY=" + server.name,
                           "NO_AT_BRIDGE=1",
                           "GSETTINGS_BACKEND=memory",
                           "XDG_DATA_HOME=" + testPath("data"),
                           "XDG_CONFIG_HOME=" + testPath("config"),
                           "XDG_CACHE_HOME=" + testPath("cache")};
    session = startProgram(options);
    ASSERT_GT(session.pid, 0);
    const pid_t typist = runBeside(typePaths(session.pid, {(folder / "picture.bmp").string()}));
    ASSERT_GT(typist, 0);
    // A program that dies before its dialog shows ends the typist at once.
    EXPECT_EQ(waitExit(typist, session.pid), 0);
    ASSERT_TRUE(waitForStdout(session, "org-0", 1, 30000)) << session.stdoutText;
    std::vector<TopWindow> windows;
    ASSERT_TRUE(waitFor([&] { return (windows = programWindows()).size() == 2; }));
    pictureWindow = windows[0].width == kWidth ? windows[0] : windows[1];
    spectrumWindow = windows[0].width == kWidth ? windows[1] : windows[0];
    EXPECT_EQ(pictureWindow.netWmName, "BMPファイルの表示");
    EXPECT_EQ(spectrumWindow.netWmName, "空間周波数スペクトル");
    moveWindow(*probe, pictureWindow.id, 0, 0);
    moveWindow(*probe, spectrumWindow.id, 40, 0);
  }

  bool pictureShown() {
    const auto *filePixels = reinterpret_cast<const std::uint8_t *>(picture.data() + 54);
    return readPixels(*probe, pictureWindow.id, kWidth, kHeight) ==
           imagePixels(*probe, filePixels, kWidth, kHeight, dibRowBytes(kWidth));
  }

  // A mode key takes the console loop round once more: a mode line and the prompt again.
  void pressAndSeeThePrompt(const char *key, size_t prompts) {
    typeKeys(session, key);
    ASSERT_TRUE(waitForStdout(session, "org-0", prompts, 30000)) << session.stdoutText;
  }

  std::filesystem::path folder;
  std::string picture;
  TopWindow pictureWindow, spectrumWindow;
  XvfbServer server;
  ProbeHandle probe;
  ProgramSession session;
};

TEST_F(ProgramUnderX, ShowsBothWindowsRepaintsOnAModeKeyAndEndsOnQ) {
  const std::vector<std::vector<std::uint8_t>> spectra = expectedSpectra(picture);
  ASSERT_NE(spectra[0], spectra[1]);  // else the repaint would prove nothing
  startAndPick();
  if (HasFatalFailure()) return;
  EXPECT_TRUE(waitFor([&] { return pictureShown(); }));
  for (int key = 0; key < 2; ++key) {
    if (key == 1) pressAndSeeThePrompt("2", 2);
    const auto expected = imagePixels(*probe, spectra[key].data(), 4, 4, 12);
    EXPECT_TRUE(waitFor([&] { return readPixels(*probe, spectrumWindow.id, 4, 4) == expected; }))
        << "after " << (key == 0 ? "the start" : "the key 2");
  }
  typeKeys(session, "q");
  EXPECT_EQ(waitForExit(session, 20000), 0);
  EXPECT_TRUE(programWindows().empty());
}

// The dialog's process alone loads GTK: the program that it served carries none of GTK's
// libraries, whose loading would cost every run, a batch run too, its start-up time and memory.
TEST_F(ProgramUnderX, CarriesNoneOfTheDialogsLibraries) {
  startAndPick();
  if (HasFatalFailure()) return;
  std::ifstream maps("/proc/" + std::to_string(session.pid) + "/maps");
  const std::string mapped((std::istreambuf_iterator<char>(maps)),
                           std::istreambuf_iterator<char>());
  ASSERT_NE(mapped.find("libc.so"), std::string::npos) << mapped;
  for (const char *library : {"libgtk-3.so", "libgdk-3.so", "libglib-2.0.so", "libcairo.so"}) {
    EXPECT_EQ(mapped.find(library), std::string::npos) << library << " is mapped";
  }
  typeKeys(session, "q");
  EXPECT_EQ(waitForExit(session, 20000), 0);
}

TEST_F(ProgramUnderX, OutsideCloseLeavesTheOtherWindowAndTheLoop) {
  startAndPick();
  if (HasFatalFailure()) return;
  sendDeleteWindow(*probe, spectrumWindow.id);
  ASSERT_TRUE(waitFor([&] { return !windowExists(*probe, spectrumWindow.id); }));
  pressAndSeeThePrompt("2", 2);
  EXPECT_TRUE(windowExists(*probe, pictureWindow.id));
  scribbleAndExpose(*probe, pictureWindow.id, kWidth, kHeight);
  EXPECT_TRUE(waitFor([&] { return pictureShown(); }));
  typeKeys(session, "q");
  EXPECT_EQ(waitForExit(session, 20000), 0);
}

TEST_F(ProgramUnderX, LostServerLeavesTheConsoleLoopRunning) {
  startAndPick(true);
  if (HasFatalFailure()) return;
  probe.reset();
  stopXvfb(server, true);
  pressAndSeeThePrompt("2", 2);
  pressAndSeeThePrompt("0", 3);
  typeKeys(session, "q");
  EXPECT_EQ(waitForExit(session, 20000), 0);
  // Said once, on standard error; the transcript on standard output is untouched by it.
  const std::string said = "bmpspectrum: the display went away; the windows are gone\n";
  EXPECT_NE(session.stderrText.find(said), std::string::npos) << session.stderrText;
  EXPECT_EQ(session.stderrText.find(said), session.stderrText.rfind(said));
  EXPECT_EQ(session.stdoutText.find("display went away"), std::string::npos);
}

// A server that stops answering holds neither the console nor the end: the mode keys are still
// taken and computed, and q ends the program within a few seconds.
TEST_F(ProgramUnderX, FrozenServerHoldsNeitherTheKeysNorTheEnd) {
  startAndPick();
  if (HasFatalFailure()) return;
  freezeXvfb(server, true);
  for (size_t prompts = 2; prompts <= 4; ++prompts) {
    typeKeys(session, prompts % 2 == 0 ? "2" : "1");
    ASSERT_TRUE(waitForStdout(session, "org-0", prompts, 5000))
        << "after key " << prompts - 1 << ": " << session.stdoutText;
  }
  typeKeys(session, "q");
  EXPECT_EQ(waitForExit(session, 4000), 0);
}

// X windows are at most 32767 pixels a side: a wider picture gets no window, and says so, but
// its spectrum is shown.
TEST_F(ProgramUnderX, PictureWiderThanAnyWindowShowsItsSpectrumAlone) {
  const std::string wide =
      bmpPicture(32768, 1, [](int x, int) { return static_cast<std::uint32_t>(x * 2654435761u); });
  const std::string path = (folder / "wide.bmp").string();
  writeFile(path, wide);
  SessionOptions options;
  options.folder = folder.string();
  options.errorsToPipe = true;
  options.arguments = {path};
  options.environment = {"DISPLAY=" + server.name};
  session = startProgram(options);
  ASSERT_GT(session.pid, 0);
  ASSERT_TRUE(waitForStdout(session, "org-0", 1, 30000)) << session.stdoutText;
  std::vector<TopWindow> windows;
  ASSERT_TRUE(waitFor([&] { return (windows = programWindows()).size() == 1; }));
  EXPECT_EQ(windows[0].netWmName, "空間周波数スペクトル");
  EXPECT_EQ(windows[0].width, 1024);
  EXPECT_EQ(windows[0].height, 1);
  typeKeys(session, "q");
  EXPECT_EQ(waitForExit(session, 20000), 0);
  EXPECT_NE(session.stderrText.find("bmpspectrum: the picture is 32768 x 1 pixels, more than a "
                                    "window can show (32767); only its spectrum is shown\n"),
            std::string::npos)
      << session.stderrText;
}

// Presses a key in a window, as xdotool does for a window that has no focus: a key event sent to
// it. (Only the press: after q the window is gone before a release could reach it.)
bool typeIntoWindow(unsigned long window, const char *key) {
  const std::string command =
      "xdotool keydown --window " + std::to_string(window) + " " + key + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::string titleOf(Probe &probe, unsigned long id) {
  for (const TopWindow &window : topWindows(probe)) {
    if (window.id == id) return window.netWmName;
  }
  return "(no such window)";
}

TEST_F(ProgramUnderX, WindowKeysActAsAtTheConsoleAndTheTitleReadsOut) {
  startAndPick();
  if (HasFatalFailure()) return;
  // The same key twice gives the same bytes twice: once typed at the console, once into a window.
  pressAndSeeThePrompt("2", 2);
  const std::string atConsole = session.stdoutText;
  ASSERT_TRUE(typeIntoWindow(spectrumWindow.id, "2"));
  ASSERT_TRUE(waitForStdout(session, "org-0", 3, 30000)) << session.stdoutText;
  const std::string fromConsole = atConsole.substr(atConsole.find(kPrompt) + std::strlen(kPrompt));
  EXPECT_EQ(session.stdoutText.substr(atConsole.size()), fromConsole);

  // c centres: nothing on the console, a note in the title, the pixels shifted by half.
  const size_t printed = session.stdoutText.size();
  const std::vector<std::uint32_t> corner = readPixels(*probe, spectrumWindow.id, 4, 4);
  ASSERT_TRUE(typeIntoWindow(spectrumWindow.id, "c"));
  EXPECT_TRUE(waitFor(
      [&] { return titleOf(*probe, spectrumWindow.id) == "空間周波数スペクトル [centred]"; }));
  std::vector<std::uint32_t> shifted(16);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) shifted[y * 4 + x] = corner[((y + 2) % 4) * 4 + (x + 2) % 4];
  }
  EXPECT_TRUE(waitFor([&] { return readPixels(*probe, spectrumWindow.id, 4, 4) == shifted; }));

  // The pointer over the spectrum: the title reads out the bin; away from it, the title is back.
  warpPointer(*probe, 40 + 3, 0);
  EXPECT_TRUE(waitFor([&] {
    return titleOf(*probe, spectrumWindow.id)
        .starts_with("空間周波数スペクトル [centred] — fx=+0.2500 fy=+0.2500 c/px");
  })) << titleOf(*probe, spectrumWindow.id);
  warpPointer(*probe, 300, 300);
  EXPECT_TRUE(waitFor(
      [&] { return titleOf(*probe, spectrumWindow.id) == "空間周波数スペクトル [centred]"; }));
  warpPointer(*probe, 1, 1);
  EXPECT_TRUE(waitFor([&] {
    return titleOf(*probe, pictureWindow.id).starts_with("BMPファイルの表示 — x=1 y=1  R=");
  })) << titleOf(*probe, pictureWindow.id);
  warpPointer(*probe, 300, 300);
  EXPECT_TRUE(waitFor([&] { return titleOf(*probe, pictureWindow.id) == "BMPファイルの表示"; }));
  pumpUntil(
      session, [] { return false; }, 200);
  EXPECT_EQ(session.stdoutText.size(), printed) << session.stdoutText.substr(printed);

  ASSERT_TRUE(typeIntoWindow(pictureWindow.id, "q"));
  EXPECT_EQ(waitForExit(session, 20000), 0);
}

}  // namespace
