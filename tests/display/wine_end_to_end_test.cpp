// The Windows build under Wine and a private Xvfb: the file picked in the real open dialog, the
// same transcript as the Linux build, both windows showing the same pixels after every key.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/main_flow.h"
#include "bitmap/bitmap_reader.h"
#include "common/dib_row.h"
#include "common/dib_view.h"
#include "spectrum/spectrum.h"
#include "tests/display/x_server.h"
#include "tests/support/bmp_fixture.h"
#include "tests/support/program_session.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr char kPrompt[] = "org-0";
// Client areas at least this wide are exactly as wide as their image.
constexpr int kNarrowestClient = 128;

// The keys of a session: each mode key with its switches, an arrow key (two codes: no
// command), and q. The arrow is one escape sequence, written in one piece.
struct Key {
  const char *bytes;
  int prompts;  // prompts it adds
  bool mode;
  int logScale, dcCut, zoom4, showOriginal;
};
constexpr Key kKeys[] = {{"2", 1, true, 1, 0, 0, 0},      {"4", 1, true, 1, 1, 0, 0},
                         {"6", 1, true, 1, 1, 1, 0},      {"0", 1, true, 1, 1, 1, 1},
                         {"5", 1, true, 1, 1, 0, 0},      {"1", 1, true, 0, 1, 0, 0},
                         {"\x1b[A", 2, false, 0, 0, 0, 0}};

std::string readWhole(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string withoutFirstLine(const std::string &text) {
  const size_t end = text.find('\n');
  return end == std::string::npos ? std::string() : text.substr(end + 1);
}

std::string lfLineEnds(const std::string &text) {
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i];
  }
  return lines;
}

// The picture and the spectrum buffers after the start and after each mode key, from the engine
// the Linux build runs, set up as the program sets it up.
struct Expected {
  int width = 0, height = 0, w2 = 0, h2 = 0;
  std::vector<std::uint8_t> picture;  // the file's padded rows
  std::vector<std::vector<std::uint8_t>> spectra;
};

Expected expectedBuffers(const std::filesystem::path &file) {
  Expected expected;
  std::FILE *stream = std::fopen(file.c_str(), "rb");
  if (stream == nullptr || !readBitmapStream(stream, file.c_str())) return expected;
  std::fclose(stream);
  expected.width = sourceView.header.biWidth;
  expected.height = sourceView.header.biHeight;
  const size_t stride = static_cast<size_t>(dibRowBytes(expected.width));
  expected.picture.assign(sourceView.pixels, sourceView.pixels + stride * expected.height);

  if (setUpSpectrumStorage() != SpectrumStorage::ready) return expected;
  expected.w2 = spectrumView.header.biWidth;
  expected.h2 = spectrumView.header.biHeight;
  const auto shown = [] {
    return std::vector<std::uint8_t>(spectrumView.pixels,
                                     spectrumView.pixels + spectrumView.header.biSizeImage);
  };
  computeSpectrum(0, 0, 0, 0);
  expected.spectra.push_back(shown());
  for (const Key &key : kKeys) {
    if (!key.mode) continue;
    computeSpectrum(key.logScale, key.dcCut, key.zoom4, key.showOriginal);
    expected.spectra.push_back(shown());
  }
  releasePlanes();
  releasePixels(spectrumView);
  releasePixels(sourceView);
  sourceView.pixels = nullptr;
  return expected;
}

// The Linux build's transcript for the same file and keys, its chooser answered on the terminal.
std::string linuxTranscript(const std::filesystem::path &folder, const std::string &name) {
  SessionOptions options;
  options.folder = folder.string();
  ProgramSession session = startProgram(options);
  std::string transcript;
  if (waitForTerminal(session, "Enter to cancel")) {
    typeKeys(session, name + "\n");
    size_t prompts = 1;
    bool ok = waitForStdout(session, kPrompt, prompts);
    for (const Key &key : kKeys) {
      if (!ok) break;
      typeKeys(session, key.bytes);
      prompts += static_cast<size_t>(key.prompts);
      ok = waitForStdout(session, kPrompt, prompts);
    }
    if (ok) {
      typeKeys(session, "q");
      if (waitForExit(session) == 0) transcript = session.stdoutText;
    }
  }
  if (session.status == -1) {
    kill(session.pid, SIGKILL);
    waitpid(session.pid, nullptr, 0);
  }
  closeSession(session);
  return transcript;
}

class WindowsBuildUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    startWatchdog(std::chrono::seconds(240));
    const char *prefix = std::getenv("WINEPREFIX");
    ASSERT_TRUE(prefix != nullptr && std::filesystem::exists(prefix))
        << "the tests run with WINEPREFIX set to the run's prefix";
    folder = testPath(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(startXvfb(server));
    probe = openProbe(server.name);
    // The pointer starts at the screen's centre, where a window would read out what lies under it
    // in its title; the titles are checked as they are with the pointer elsewhere.
    if (probe) warpPointer(*probe, 1023, 767);
    ASSERT_TRUE(probe);
    environment = {"WINEPREFIX=" + std::string(prefix), "WINEDEBUG=-all", "DISPLAY=" + server.name,
                   "LANG=C.UTF-8", "LC_ALL=C.UTF-8"};
  }

  void TearDown() override {
    if (pid > 0 && status == -1) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    for (int fd : {master, slave}) {
      if (fd >= 0) close(fd);
    }
    // Every Wine process of this test ends with its server, so that the next test's windows
    // start afresh on the next test's display.
    runWithEnvironment("wineserver -k; wineserver -w");
    probe.reset();
    stopXvfb(server);
  }

  int runWithEnvironment(const std::string &command) {
    std::string line;
    for (const std::string &entry : environment) line += entry + " ";
    return std::system(("env " + line + command + " >/dev/null 2>&1").c_str());
  }

  // Starts the exe in the folder: standard input on a fresh pseudo-terminal (the console's
  // keys), standard output to a file.
  void startExe() {
    winsize size{40, 120, 0, 0};
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    outputPath = folder / "stdout.txt";
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      setsid();
      ioctl(slave, TIOCSCTTY, 0);
      const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int log = open((folder / "wine.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || log < 0 || chdir(folder.c_str()) != 0) _exit(126);
      dup2(slave, 0);
      dup2(out, 1);
      dup2(log, 2);
      for (const std::string &entry : environment) putenv(const_cast<char *>(entry.c_str()));
      execlp("wine", "wine", BMPSPECTRUM_WINDOWS_EXE, static_cast<char *>(nullptr));
      _exit(127);
    }
  }

  // Reads what the console side writes to the terminal, so that it never blocks, and notes
  // the end of the program.
  void pump() {
    char buffer[4096];
    pollfd fd{master, POLLIN, 0};
    while (poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN)) {
      if (read(master, buffer, sizeof buffer) <= 0) break;
    }
    if (status == -1) {
      int got;
      if (waitpid(pid, &got, WNOHANG) == pid) status = got;
    }
  }

  // Waits for the condition, looking after the terminal meanwhile; gives up at once when the
  // program has ended and the condition cannot hold any more.
  bool waitWhileRunning(const std::function<bool()> &condition, int seconds = 30) {
    return waitFor(
               [&] {
                 pump();
                 return condition() || (status != -1 && !condition());
               },
               std::chrono::seconds(seconds)) &&
           condition();
  }

  std::string output() { return readWhole(outputPath); }

  bool promptsShown(size_t count) {
    return waitWhileRunning([&] { return countOf(output(), kPrompt) >= count; });
  }

  // Script steps: the open dialog, found by its title, waited for up to 30 s or looked for once;
  // $id is its window, and `dialog_gone` is true once it is no longer shown.
  std::string findOpenDialog(bool waitForIt) {
    return "export DISPLAY=" + server.name + "; " + pollingSteps() +
           "dialog_gone() { ! xdotool search --onlyvisible --name '^Open$' | grep -qx \"$id\"; }; "
           "id=$(" +
           (waitForIt ? "timeout 30 xdotool search --sync" : "xdotool search") +
           " --onlyvisible --name '^Open$' | head -n 1) && [ -n \"$id\" ]";
  }

  // The open dialog takes the file name typed into it. Wine hands the text copied from its
  // file-name box to the X clipboard: what the box holds is checked there before Return, and
  // the name typed again when a key was lost.
  void pickInDialog(const std::string &name) {
    const std::string script =
        findOpenDialog(true) +
        " && typed= && for attempt in 1 2 3; do xsel --clipboard --clear; "
        "focus \"$id\" && xdotool key End shift+Home && "
        "xdotool type --delay 20 '" +
        name + "' && xdotool key End shift+Home ctrl+c && within 10 selection_holds clipboard '" +
        name + "' && typed=1 && break; echo \"typist: the box holds $(xsel --clipboard --output " +
        "-t 2000); typing again\" >&2; done && [ -n \"$typed\" ] && xdotool key Return && " +
        "within 20 dialog_gone";
    const pid_t typist = runBeside(script);
    ASSERT_GT(typist, 0);
    ASSERT_EQ(waitExit(typist, pid), 0) << "no open dialog took the name";
  }

  // The open dialog is cancelled with Escape; again only when it is still shown long after.
  void cancelDialog() {
    const pid_t finder = runBeside(findOpenDialog(true));
    ASSERT_GT(finder, 0);
    ASSERT_EQ(waitExit(finder, pid), 0) << "no open dialog appeared";
    // The program ends as soon as its dialog is cancelled, so the script is not ended with the
    // program; a program that ends takes its dialog along, which ends the script as well.
    const pid_t typist = runBeside(findOpenDialog(false) +
                                   " && for attempt in 1 2 3; do focus \"$id\"; "
                                   "xdotool key Escape && within 8 dialog_gone && "
                                   "exit 0; done; exit 1");
    ASSERT_GT(typist, 0);
    ASSERT_EQ(waitExit(typist), 0) << "the open dialog was not cancelled";
  }

  TopWindow windowTitled(const std::string &title) {
    for (const TopWindow &window : topWindows(*probe)) {
      if (window.viewable && window.netWmName == title) return window;
    }
    return TopWindow{};
  }

  void runSession(const std::string &name) {
    const Expected expected = expectedBuffers(folder / name);
    ASSERT_FALSE(expected.spectra.empty());
    const std::string linuxText = linuxTranscript(folder, name);
    ASSERT_FALSE(linuxText.empty()) << "the Linux build gave no transcript";

    ASSERT_NO_FATAL_FAILURE(startExe());
    ASSERT_NO_FATAL_FAILURE(pickInDialog(name));
    ASSERT_TRUE(promptsShown(1)) << output();

    // Titles and fixed sizes: each window's client area is its image, and cannot be resized.
    TopWindow picture, spectrum;
    ASSERT_TRUE(waitWhileRunning([&] {
      picture = windowTitled("BMPファイルの表示");
      spectrum = windowTitled("空間周波数スペクトル");
      return picture.id != 0 && spectrum.id != 0;
    }));
    // The system widens a captioned window below its smallest width; the image stays at the
    // top left of the client area.
    const auto expectWidth = [](int shown, int image) {
      if (image >= kNarrowestClient) {
        EXPECT_EQ(shown, image);
      } else {
        EXPECT_GE(shown, image);
      }
    };
    expectWidth(picture.width, expected.width);
    EXPECT_EQ(picture.height, expected.height);
    expectWidth(spectrum.width, expected.w2);
    EXPECT_EQ(spectrum.height, expected.h2);
    for (const TopWindow &window : {picture, spectrum}) {
      EXPECT_EQ(window.minWidth, window.maxWidth);
      EXPECT_EQ(window.minHeight, window.maxHeight);
      EXPECT_EQ(window.minWidth, window.width);
      EXPECT_EQ(window.minHeight, window.height);
    }
    // Both side by side, or one above the other, so that each is wholly visible.
    moveWindow(*probe, picture.id, 0, 0);
    if (picture.width + 10 + spectrum.width <= 1024) {
      moveWindow(*probe, spectrum.id, picture.width + 10, 0);
    } else {
      moveWindow(*probe, spectrum.id, 0, picture.height + 10);
    }

    const size_t stride = static_cast<size_t>(dibRowBytes(expected.width));
    const std::vector<std::uint32_t> pictureShown =
        imagePixels(*probe, expected.picture.data(), expected.width, expected.height, stride);
    EXPECT_TRUE(waitWhileRunning([&] {
      return readPixels(*probe, picture.id, expected.width, expected.height) == pictureShown;
    })) << "the picture window does not show the picture";

    size_t spectrumIndex = 0;
    auto spectrumShown = [&] {
      const std::vector<std::uint32_t> want =
          imagePixels(*probe, expected.spectra[spectrumIndex].data(), expected.w2, expected.h2,
                      3 * static_cast<size_t>(expected.w2));
      return waitWhileRunning(
          [&] { return readPixels(*probe, spectrum.id, expected.w2, expected.h2) == want; });
    };
    EXPECT_TRUE(spectrumShown()) << "first spectrum";

    size_t prompts = 1;
    for (const Key &key : kKeys) {
      ASSERT_EQ(write(master, key.bytes, std::strlen(key.bytes)),
                static_cast<ssize_t>(std::strlen(key.bytes)));
      prompts += static_cast<size_t>(key.prompts);
      ASSERT_TRUE(promptsShown(prompts)) << "after key " << key.bytes << ": " << output();
      if (key.mode) ++spectrumIndex;
      EXPECT_TRUE(spectrumShown()) << "after key " << key.bytes;
    }

    ASSERT_EQ(write(master, "q", 1), 1);
    ASSERT_TRUE(waitWhileRunning([&] { return status != -1; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(windowExists(*probe, picture.id));
    EXPECT_FALSE(windowExists(*probe, spectrum.id));

    const std::string windows = output();
    EXPECT_EQ(windows.rfind("file name [", 0), 0u) << windows;
    EXPECT_NE(windows.find(" \r\n"), std::string::npos) << "no CRLF line ends";
    EXPECT_EQ(withoutFirstLine(lfLineEnds(windows)), withoutFirstLine(linuxText));
  }

  std::filesystem::path folder, outputPath;
  XvfbServer server;
  ProbeHandle probe;
  std::vector<std::string> environment;
  int master = -1, slave = -1;
  pid_t pid = -1;
  int status = -1;
};

TEST_F(WindowsBuildUnderWine, CancellingTheDialogEndsWithNothingPrinted) {
  ASSERT_NO_FATAL_FAILURE(startExe());
  ASSERT_NO_FATAL_FAILURE(cancelDialog());
  ASSERT_TRUE(waitWhileRunning([&] { return status != -1; }));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(output(), "");
}

void copySample(const char *name, const std::filesystem::path &folder) {
  std::filesystem::copy_file(std::filesystem::path(BMPSPECTRUM_SOURCE_DIR) / "samples" / name,
                             folder / name);
}

// The windows as an instrument under Wine: a key typed into the spectrum window reaches the
// console as the same key typed there, c centres the spectrum with a note in its title, and the
// title reads out the bin under the pointer.
TEST_F(WindowsBuildUnderWine, WindowKeysCentredViewAndReadout) {
  copySample("square.bmp", folder);
  ASSERT_NO_FATAL_FAILURE(startExe());
  ASSERT_NO_FATAL_FAILURE(pickInDialog("square.bmp"));
  ASSERT_TRUE(promptsShown(1)) << output();
  TopWindow spectrum;
  ASSERT_TRUE(waitWhileRunning([&] {
    spectrum = windowTitled("空間周波数スペクトル");
    return spectrum.id != 0;
  }));
  moveWindow(*probe, windowTitled("BMPファイルの表示").id, 600, 0);
  moveWindow(*probe, spectrum.id, 0, 0);
  const auto typeInto = [&](const char *key) {
    return runWithEnvironment("xdotool windowfocus --sync " + std::to_string(spectrum.id) +
                              " key " + key) == 0;
  };

  ASSERT_TRUE(typeInto("2"));
  ASSERT_TRUE(promptsShown(2)) << output();
  EXPECT_NE(output().find(" log表示=1 DCcut=0 拡大=0"), std::string::npos) << output();

  const int w2 = spectrum.width, h2 = spectrum.height;
  std::vector<std::uint32_t> corner;
  ASSERT_TRUE(waitWhileRunning([&] {
    corner = readPixels(*probe, spectrum.id, w2, h2);
    return !corner.empty();
  }));
  std::vector<std::uint32_t> shifted(corner.size());
  for (int y = 0; y < h2; ++y) {
    for (int x = 0; x < w2; ++x) {
      shifted[static_cast<size_t>(y) * w2 + x] =
          corner[static_cast<size_t>((y + h2 / 2) % h2) * w2 + (x + w2 / 2) % w2];
    }
  }
  const size_t printed = output().size();
  ASSERT_TRUE(typeInto("c"));
  EXPECT_TRUE(waitWhileRunning(
      [&] { return windowTitled("空間周波数スペクトル [centred]").id == spectrum.id; }));
  EXPECT_TRUE(waitWhileRunning([&] { return readPixels(*probe, spectrum.id, w2, h2) == shifted; }));

  // The window stands at the screen's top left: its centre pixel shows the DC term.
  std::string title;
  EXPECT_TRUE(waitWhileRunning([&] {
    warpPointer(*probe, w2 / 2, h2 / 2 - 1);
    title = "";
    for (const TopWindow &window : topWindows(*probe)) {
      if (window.id == spectrum.id) title = window.netWmName;
    }
    return title.starts_with("空間周波数スペクトル [centred] — fx=+0.0000 fy=+0.0000 c/px  value ");
  })) << title;
  EXPECT_EQ(output().size(), printed) << output().substr(printed);

  ASSERT_EQ(write(master, "q", 1), 1);
  ASSERT_TRUE(waitWhileRunning([&] { return status != -1; }));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(WindowsBuildUnderWine, SquareSample) {
  copySample("square.bmp", folder);
  runSession("square.bmp");
}

TEST_F(WindowsBuildUnderWine, LandscapeSampleCroppedToItsTopLeft) {
  copySample("landscape.bmp", folder);
  runSession("landscape.bmp");
}

// Padded rows, and a spectrum of 32 x 16 from a 37 x 21 picture.
TEST_F(WindowsBuildUnderWine, OddSizedPicture) {
  BmpFields fields;
  fields.biWidth = 37;
  fields.biHeight = 21;
  writeFile((folder / "odd.bmp").string(),
            bmpFile(fields, bmpPixels(37, 21, [](int x, int row) {
                      return static_cast<std::uint32_t>((x * 37 + row * 11) & 0xFF) |
                             static_cast<std::uint32_t>((x * x + row) & 0xFF) << 8 |
                             static_cast<std::uint32_t>((255 - row * 9) & 0xFF) << 16;
                    })));
  runSession("odd.bmp");
}

// A PNG as libpng reads it: its own format, and its pixels as blue, green, red.
struct PngRead {
  png_uint_32 format = 0;
  std::vector<std::uint8_t> pixels;
};

PngRead readPng(const std::filesystem::path &path) {
  PngRead read;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return read;
  read.format = image.format;
  image.format = PNG_FORMAT_BGR;
  read.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, read.pixels.data(), 0, nullptr)) read.pixels.clear();
  png_image_free(&image);
  return read;
}

// A batch run writes the spectrum as a grey PNG, one byte a pixel, with the Linux build's pixels.
TEST_F(WindowsBuildUnderWine, BatchRunWritesTheLinuxBuildsGreyPng) {
  copySample("disk.bmp", folder);
  const std::string inFolder = "sh -c 'cd \"" + folder.string() + "\" && ";
  ASSERT_EQ(runWithEnvironment(inFolder + "wine " BMPSPECTRUM_WINDOWS_EXE
                                          " --keys 26 --output windows.png disk.bmp'"),
            0);
  ASSERT_EQ(
      runWithEnvironment(inFolder + BMPSPECTRUM_BINARY " --keys 26 --output linux.png disk.bmp'"),
      0);
  const PngRead windows = readPng(folder / "windows.png");
  const PngRead linux = readPng(folder / "linux.png");
  EXPECT_EQ(windows.format, static_cast<png_uint_32>(PNG_FORMAT_GRAY));
  EXPECT_EQ(linux.format, static_cast<png_uint_32>(PNG_FORMAT_GRAY));
  ASSERT_EQ(windows.pixels.size(), 256u * 256u * 3u);
  EXPECT_EQ(windows.pixels, linux.pixels);
}

// /? is the Windows way to ask for the help: the same text as --help.
TEST_F(WindowsBuildUnderWine, SlashQuestionMarkShowsTheHelp) {
  const std::string inFolder = "sh -c 'cd \"" + folder.string() + "\" && ";
  ASSERT_EQ(runWithEnvironment(inFolder + "wine " BMPSPECTRUM_WINDOWS_EXE " /? > slash.txt'"), 0);
  ASSERT_EQ(runWithEnvironment(inFolder + "wine " BMPSPECTRUM_WINDOWS_EXE " --help > help.txt'"),
            0);
  const std::string slash = readWhole(folder / "slash.txt");
  EXPECT_EQ(slash.rfind("Usage: bmpspectrum", 0), 0u) << slash;
  EXPECT_EQ(slash, readWhole(folder / "help.txt"));
}

// The Japanese messages come from the same catalog as on Linux, compiled into the exe.
TEST_F(WindowsBuildUnderWine, MessagesSpeakJapaneseInAJapaneseLocale) {
  const std::string inFolder = "sh -c 'cd \"" + folder.string() + "\" && ";
  EXPECT_EQ(runWithEnvironment(inFolder + "LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 wine " +
                               BMPSPECTRUM_WINDOWS_EXE + " --bogus 2> japanese.txt'"),
            2 << 8);
  EXPECT_EQ(
      runWithEnvironment(inFolder + "wine " BMPSPECTRUM_WINDOWS_EXE " --bogus 2> english.txt'"),
      2 << 8);
  const std::string japanese = readWhole(folder / "japanese.txt");
  EXPECT_NE(japanese.find("bmpspectrum: 認識できないオプション '--bogus'"), std::string::npos)
      << japanese;
  EXPECT_NE(readWhole(folder / "english.txt").find("bmpspectrum: unrecognized option '--bogus'"),
            std::string::npos);
}

// A picture whose name the ANSI code page cannot hold is read from the command line as from
// the dialog: the arguments come from the wide command line.
TEST_F(WindowsBuildUnderWine, PictureNamedBeyondTheCodePageIsRead) {
  copySample("disk.bmp", folder);
  const std::string name = "写真 café.bmp";
  std::filesystem::rename(folder / "disk.bmp", folder / name);
  const std::string inFolder = "sh -c 'cd \"" + folder.string() + "\" && ";
  ASSERT_EQ(runWithEnvironment(inFolder +
                               "wine " BMPSPECTRUM_WINDOWS_EXE " --keys 2 --output photo.png \"" +
                               name + "\"'"),
            0);
  EXPECT_EQ(readPng(folder / "photo.png").pixels.size(), 256u * 256u * 3u);
}

}  // namespace
