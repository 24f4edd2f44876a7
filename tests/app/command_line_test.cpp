// The command line through the real program: help, version and usage errors, a picture named on
// the command line, and batch runs whose transcript and written pictures are checked exactly.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "bitmap/bitmap_reader.h"
#include "common/dib_row.h"
#include "common/dib_view.h"
#include "spectrum/spectrum.h"
#include "tests/scripted/scripted_platform.h"
#include "tests/support/bmp_fixture.h"
#include "tests/support/expected_texts.h"
#include "tests/support/program_session.h"
#include "tests/support/session_folder.h"

namespace {

std::uint32_t pictureColour(int x, int row) {
  return static_cast<std::uint32_t>((x * 37 + row * 11) & 0xFF) |
         static_cast<std::uint32_t>((250 - x * 13 + row * 29) & 0xFF) << 8 |
         static_cast<std::uint32_t>((row * 53 + x * 7) & 0xFF) << 16;
}

std::string readWholeFile(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The spectrum buffer (bottom-up rows of 3 * W2 bytes) that the engine gives for a picture file
// and the switches, set up as the program sets it up.
std::vector<std::uint8_t> expectedSpectrum(const std::string &file, int w2, int h2,
                                           const int switches[4]) {
  std::memcpy(&sourceView.header, file.data() + 14, sizeof sourceView.header);
  sourceView.pixels = reinterpret_cast<std::uint8_t *>(const_cast<char *>(file.data() + 54));
  if (setUpSpectrumStorage() != SpectrumStorage::ready) return {};
  EXPECT_EQ(spectrumView.header.biWidth, w2);
  EXPECT_EQ(spectrumView.header.biHeight, h2);
  computeSpectrum(switches[0], switches[1], switches[2], switches[3]);
  std::vector<std::uint8_t> buffer(spectrumView.pixels,
                                   spectrumView.pixels + spectrumView.header.biSizeImage);
  releasePlanes();
  releasePixels(spectrumView);
  sourceView.pixels = nullptr;
  return buffer;
}

// The pixels of a written BMP as bottom-up rows of 3 * width bytes, read by this program's own
// reader; the headers are checked on the way.
std::vector<std::uint8_t> bmpPixelsOf(const std::string &path, int width, int height) {
  const std::string bytes = readWholeFile(path);
  const auto stride = static_cast<size_t>(dibRowBytes(static_cast<std::uint64_t>(width)));
  EXPECT_EQ(bytes.size(), 54 + stride * static_cast<size_t>(height));
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {};
  resetScriptedPlatform();
  const bool read = readBitmapStream(file, path.c_str());
  std::fclose(file);
  EXPECT_TRUE(read) << scriptedOutput;
  if (!read) return {};
  const BmpInfoHeader &header = sourceView.header;
  EXPECT_EQ(header.biWidth, width);
  EXPECT_EQ(header.biHeight, height);
  EXPECT_EQ(header.biBitCount, 24);
  EXPECT_EQ(header.biSizeImage, stride * static_cast<size_t>(height));
  const std::string fileHeader = "DWORD \t bfSize      \t " + std::to_string(bytes.size()) +
                                 "(byte) \n" + "WORD  \t bfReserved1 \t 0 \n" +
                                 "WORD  \t bfReserved2 \t 0 \n" + "DWORD \t bfOffBits   \t 54 \n";
  EXPECT_NE(scriptedOutput.find(fileHeader), std::string::npos) << scriptedOutput;
  std::vector<std::uint8_t> pixels;
  for (int row = 0; row < height; ++row) {
    const std::uint8_t *start = sourceView.pixels + stride * static_cast<size_t>(row);
    pixels.insert(pixels.end(), start, start + 3 * width);
    // The padding is zero.
    for (size_t pad = 3 * static_cast<size_t>(width); pad < stride; ++pad) {
      EXPECT_EQ(sourceView.pixels[stride * static_cast<size_t>(row) + pad], 0);
    }
  }
  releasePixels(sourceView);
  sourceView = DibView{};
  return pixels;
}

// The pixels of a written PNG, read with libpng, as bottom-up rows of blue, green, red. The
// program's spectra are grey, so the file holds one grey byte a pixel.
std::vector<std::uint8_t> pngPixelsOf(const std::string &path, int width, int height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    ADD_FAILURE() << "libpng cannot read " << path << ": " << image.message;
    return {};
  }
  EXPECT_EQ(image.width, static_cast<png_uint_32>(width));
  EXPECT_EQ(image.height, static_cast<png_uint_32>(height));
  EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_GRAY));  // 8-bit grey, no alpha
  image.format = PNG_FORMAT_BGR;
  std::vector<std::uint8_t> pixels(3 * static_cast<size_t>(width) * static_cast<size_t>(height));
  EXPECT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), -3 * width, nullptr))
      << image.message;
  png_image_free(&image);
  return pixels;
}

class CommandLine : public SessionInFolder {
 protected:
  void SetUp() override {
    SessionInFolder::SetUp();
    if (HasFatalFailure()) return;
    picture_ = folder_ + "/picture.bmp";
    writeFile(picture_, bmpPicture(12, 9, pictureColour));
    writeFile(folder_ + "/notes.txt", "These notes are not a picture at all.");
  }

  // Runs the program with these arguments (and environment entries), no terminal and standard
  // error on a pipe; returns its exit status.
  int run(const std::vector<std::string> &arguments,
          const std::vector<std::string> &environment = {}) {
    closeSession(session_);
    SessionOptions options;
    options.folder = folder_;
    options.withTerminal = false;
    options.errorsToPipe = true;
    options.arguments = arguments;
    options.environment = environment;
    session_ = startProgram(options);
    return waitForExit(session_, 20000);
  }

  // The transcript of the keys typed by hand at the program started on the picture, each key as
  // a terminal sends it: a cursor or function key's sequence brings two prompts, as two codes.
  std::string typedTranscript(const std::vector<std::string> &keys) {
    closeSession(session_);
    SessionOptions options;
    options.folder = folder_;
    options.arguments = {"picture.bmp"};
    session_ = startProgram(options);
    size_t prompts = 1;
    EXPECT_TRUE(waitForStdout(session_, kPrompt, prompts)) << session_.stdoutText;
    for (const std::string &key : keys) {
      typeKeys(session_, key);
      if (key == "q") break;
      prompts += key.size() > 1 ? 2 : 1;
      EXPECT_TRUE(waitForStdout(session_, kPrompt, prompts)) << session_.stdoutText;
    }
    EXPECT_EQ(waitForExit(session_), 0);
    // The chooser never showed: the picture came from the command line.
    EXPECT_EQ(session_.terminalText.find("Enter to cancel"), std::string::npos);
    return session_.stdoutText;
  }

  std::string typedTranscript(const std::string &keys) {
    std::vector<std::string> each;
    for (char key : keys) each.emplace_back(1, key);
    return typedTranscript(each);
  }

  std::string picture_;
};

TEST_F(CommandLine, HelpVersionAndUsageErrors) {
  const std::string tryHelp = "Try 'bmpspectrum --help' for more information.\n";
  struct Case {
    std::vector<std::string> arguments;
    int status;
    bool usageOnStdout;
    std::string stdoutText;  // checked when the usage is not on it
    std::string stderrText;  // one line naming the problem, then where to read more
  };
  const Case cases[] = {
      {{"--help"}, 0, true, "", ""},
      {{"-h"}, 0, true, "", ""},
      {{"--version"}, 0, false, "bmpspectrum " BMPSPECTRUM_VERSION "\n", ""},
      {{"--bogus"}, 2, false, "", "bmpspectrum: unrecognized option '--bogus'\n" + tryHelp},
      {{"-x", "picture.bmp"}, 2, false, "", "bmpspectrum: invalid option -- 'x'\n" + tryHelp},
      {{"--keys"}, 2, false, "", "bmpspectrum: option '--keys' requires an argument\n" + tryHelp},
      {{"-o"}, 2, false, "", "bmpspectrum: option '-o' requires an argument\n" + tryHelp},
      {{"--taper", "round", "picture.bmp"},
       2,
       false,
       "",
       "bmpspectrum: invalid taper 'round' (none, periodic or hann)\n" + tryHelp},
      {{"picture.bmp", "notes.txt"},
       2,
       false,
       "",
       "bmpspectrum: only one picture at a time\n" + tryHelp},
      // A batch run never opens a dialog or a chooser.
      {{"--keys", "2"},
       2,
       false,
       "",
       "bmpspectrum: --keys and --output need a picture on the command line\n" + tryHelp},
      {{"--output", "x.png"},
       2,
       false,
       "",
       "bmpspectrum: --keys and --output need a picture on the command line\n" + tryHelp},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    EXPECT_EQ(run(c.arguments), c.status);
    const std::string usage = "Usage: bmpspectrum [OPTION]... [PICTURE]\n";
    if (c.usageOnStdout) {
      EXPECT_EQ(session_.stdoutText.rfind(usage, 0), 0u) << session_.stdoutText;
      for (const char *part : {"--keys=KEYS", "--output=FILE", "--help", "--version", "q  quit",
                               "6  low frequencies magnified four times", "BMPSPECTRUM_THREADS",
                               "Exit status: 0", "2 on a usage error"}) {
        EXPECT_NE(session_.stdoutText.find(part), std::string::npos) << part;
      }
    } else {
      EXPECT_EQ(session_.stdoutText, c.stdoutText);
    }
    EXPECT_EQ(session_.stderrText, c.stderrText);
  }
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/x.png"));
}

// Standard output that cannot take the text (a full device, a closed descriptor) fails the run,
// with the reason on standard error.
TEST_F(CommandLine, AnOutputThatCannotTakeTheTranscriptFailsTheRun) {
  struct Case {
    const char *arguments, *redirection, *reason;
  };
  const Case cases[] = {
      {"--help", ">/dev/full", "No space left on device"},
      {"--keys 2 picture.bmp", ">/dev/full", "No space left on device"},
      {"--keys 2 picture.bmp", ">&-", "Bad file descriptor"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.arguments) + " " + c.redirection);
    const std::string command = "cd '" + folder_ + "' && " BMPSPECTRUM_BINARY " " + c.arguments +
                                " " + c.redirection + " 2>errors.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string errors = readWholeFile(folder_ + "/errors.txt");
    EXPECT_TRUE(errors.ends_with(std::string("bmpspectrum: write error: ") + c.reason + "\n"))
        << errors;
  }
}

TEST_F(CommandLine, AnUnusableThreadCountIsNamedOnceAndTheDefaultTaken) {
  ASSERT_EQ(run({"--keys", "2", "--output", "out.bmp", "picture.bmp"}), 0);
  const std::string transcript = session_.stdoutText;
  const std::string cores = std::to_string(std::min(std::thread::hardware_concurrency(), 256u));
  struct Case {
    const char *setting;
    bool warned;
  };
  for (const Case &c : {Case{"abc", true}, Case{"0", true}, Case{"257", true}, Case{"2x", true},
                        Case{"2", false}, Case{"", false}}) {
    SCOPED_TRACE(c.setting);
    EXPECT_EQ(run({"--keys", "2", "--output", "out.bmp", "picture.bmp"},
                  {std::string("BMPSPECTRUM_THREADS=") + c.setting}),
              0);
    EXPECT_EQ(session_.stdoutText, transcript);
    EXPECT_EQ(session_.stderrText,
              c.warned ? "bmpspectrum: BMPSPECTRUM_THREADS=" + std::string(c.setting) +
                             " is not a number from 1 to 256; using " + cores + "\n"
                       : "");
  }
}

// A file name cannot drive the terminal: its control characters show as '?' there, while a file
// or a pipe gets the name's own bytes.
TEST_F(CommandLine, AFileNameShowsNoControlCharactersOnATerminal) {
  const std::string name = "esc\x1b[2Jname.bmp";
  writeFile(folder_ + "/" + name, readWholeFile(picture_));
  const std::string raw = "file name [" + folder_ + "/" + name + "]\n";
  const std::string shown = "file name [" + folder_ + "/esc?[2Jname.bmp]\r\n";

  ASSERT_EQ(run({"--keys", "", name}), 0);
  EXPECT_EQ(session_.stdoutText.rfind(raw, 0), 0u) << session_.stdoutText;

  closeSession(session_);
  SessionOptions options;
  options.folder = folder_;
  options.arguments = {"--keys", "", name};
  options.outputToTerminal = true;
  options.errorsToPipe = true;
  session_ = startProgram(options);
  EXPECT_EQ(waitForExit(session_), 0);
  pumpUntil(session_, [&] { return session_.terminalText.find(kPrompt) != std::string::npos; });
  EXPECT_NE(session_.terminalText.find(shown), std::string::npos) << session_.terminalText;
  EXPECT_EQ(session_.terminalText.find("\x1b[2J"), std::string::npos);
}

// With no picture, no display and no terminal there is nobody to ask: said, not silent.
TEST_F(CommandLine, NoPictureAndNoWayToChooseOneIsAUsageError) {
  EXPECT_EQ(run({}, {"DISPLAY="}), 2);
  EXPECT_EQ(session_.stdoutText, "");
  EXPECT_EQ(session_.stderrText,
            "bmpspectrum: no picture given, and no display or terminal to choose one on\n");
}

TEST_F(CommandLine, APictureNamedThereOpensWithoutTheChooser) {
  // The same transcript as the chooser gives, with the full path in the file-name line.
  const std::string typed = typedTranscript("2q");
  EXPECT_EQ(typed.rfind("file name [" + picture_ + "]\n" + kFileTitle, 0), 0u) << typed;
  EXPECT_EQ(countOf(typed, "\n log表示=1 DCcut=0 拡大=0\n"), 1u);

  closeSession(session_);
  SessionOptions options;
  options.folder = folder_;
  session_ = startProgram(options);
  ASSERT_TRUE(waitForTerminal(session_, "Enter to cancel: "));
  typeKeys(session_, "picture.bmp\n");
  ASSERT_TRUE(waitForStdout(session_, kPrompt));
  typeKeys(session_, "2");
  ASSERT_TRUE(waitForStdout(session_, kPrompt, 2));
  typeKeys(session_, "q");
  EXPECT_EQ(waitForExit(session_), 0);
  EXPECT_EQ(session_.stdoutText, typed);
}

TEST_F(CommandLine, PicturesThatCannotBeReadEndWithTheUsualMessages) {
  // A path no system call takes: longer than the longest path, in folders of 250-byte names.
  std::string tooLong;
  while (tooLong.size() < 4100) tooLong += std::string(250, 'n') + "/";
  tooLong += "picture.bmp";
  struct Case {
    std::string argument;
    std::string stdoutText;  // for the OS/2 picture, its listing ends with the usual refusal
    std::string onStderr;
  };
  ASSERT_EQ(mkfifo((folder_ + "/fifo.bmp").c_str(), 0600), 0);  // opening it would block
  std::filesystem::create_directory(folder_ + "/folder.bmp");
  // An OS/2 picture: a 12-byte core header (size, 16-bit width and height, planes, bit count).
  std::string os2("BM\0\0\0\0\0\0\0\0\x1a\0\0\0", 14);
  os2 += std::string("\x0c\0\0\0\x08\0\x08\0\x01\0\x18\0", 12) + std::string(192, '\x40');
  writeFile(folder_ + "/os2.bmp", os2);
  const Case cases[] = {
      {"missing.bmp", "file name [" + folder_ + "/missing.bmp]\n" + kReadError,
       "bmpspectrum: " + folder_ + "/missing.bmp: " + std::strerror(ENOENT) + "\n"},
      {"fifo.bmp", "file name [" + folder_ + "/fifo.bmp]\n" + kReadError,
       "bmpspectrum: " + folder_ + "/fifo.bmp: not a regular file\n"},
      {"folder.bmp", "file name [" + folder_ + "/folder.bmp]\n" + kReadError,
       "bmpspectrum: " + folder_ + "/folder.bmp: not a regular file\n"},
      {"os2.bmp", kNot24Bit,
       "bmpspectrum: " + folder_ + "/os2.bmp: OS/2 bitmap header not supported\n"},
      {"notes.txt",
       "file name [" + folder_ + "/notes.txt]\n" + folder_ +
           "/notes.txt はDIBフォーマットではありません",
       ""},
      {"./sub/../" + tooLong, "", tooLong + ": the full path is longer than 4095 bytes\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.argument);
    EXPECT_EQ(run({c.argument}), 1);
    if (c.argument == "os2.bmp") {
      EXPECT_TRUE(session_.stdoutText.ends_with(c.stdoutText)) << session_.stdoutText;
    } else {
      EXPECT_EQ(session_.stdoutText, c.stdoutText);
    }
    EXPECT_NE(session_.stderrText.find(c.onStderr), std::string::npos) << session_.stderrText;
  }
}

TEST_F(CommandLine, ABatchRunPrintsTheTranscriptOfTheKeysTypedByHand) {
  const std::string keys =
      "24x6\x01"
      "051";
  const std::string typed = typedTranscript(keys + "q");
  struct Case {
    std::vector<std::string> arguments;
    std::string errors;  // without a display, a run that would show windows says so
  };
  const std::string noWindows = "bmpspectrum: no windows: DISPLAY is not set\n";
  const Case cases[] = {
      {{"--keys", keys, "picture.bmp"}, noWindows},
      {{"picture.bmp", "--keys=" + keys, "--output", "out.bmp"}, ""},
      {{"-k", keys + "q" + "246", "picture.bmp"}, noWindows},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    EXPECT_EQ(run(c.arguments), 0);
    EXPECT_EQ(session_.stdoutText, typed);
    EXPECT_EQ(session_.stderrText, c.errors);
  }
}

// Cursor and function keys among the given keys are read as a terminal sends them: one key of two
// codes each, as typed, not their bytes one by one.
TEST_F(CommandLine, EscapeSequencesAmongTheKeysAreKeysAsTyped) {
  const std::vector<std::string> keys = {"\x1b[A", "2", "\x1bOP", "\x1b", "q"};
  const std::string typed = typedTranscript(keys);
  std::string all;
  for (const std::string &key : keys) all += key;
  EXPECT_EQ(run({"--keys", all, "picture.bmp"}), 0);
  EXPECT_EQ(session_.stdoutText, typed);
  EXPECT_EQ(countOf(typed, kPrompt), 7u);
}

TEST_F(CommandLine, BatchOutputHoldsTheSpectrumWindowsPixels) {
  struct Case {
    int width, height;  // the picture
    int w2, h2;         // its spectrum
    const char *keys;   // nullptr: no --keys
    int switches[4];    // logScale, dcCut, zoom4, showOriginal after the keys
  };
  const Case cases[] = {
      {12, 9, 8, 8, nullptr, {0, 0, 0, 0}},  // the first computation
      {12, 9, 8, 8, "246", {1, 1, 1, 0}},   {12, 9, 8, 8, "20", {1, 0, 0, 1}},
      {17, 6, 16, 4, "4", {0, 1, 0, 0}},    {2, 3, 2, 2, "2", {1, 0, 0, 0}},  // padded rows
      {1, 1, 1, 1, "", {0, 0, 0, 0}},
  };
  for (const Case &c : cases) {
    for (const char *name : {"out.bmp", "out.png", "OUT.PNG"}) {
      SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " keys " +
                   (c.keys ? c.keys : "(none)") + " " + name);
      const std::string file = bmpPicture(c.width, c.height, pictureColour);
      writeFile(picture_, file);
      const std::string path = folder_ + "/" + name;
      std::filesystem::remove(path);
      std::vector<std::string> arguments{"--output", name, "picture.bmp"};
      if (c.keys) arguments.insert(arguments.end(), {"--keys", c.keys});
      ASSERT_EQ(run(arguments), 0) << session_.stderrText;
      const std::vector<std::uint8_t> expected = expectedSpectrum(file, c.w2, c.h2, c.switches);
      const bool png = std::string(name).find("png") != std::string::npos ||
                       std::string(name).find("PNG") != std::string::npos;
      const std::vector<std::uint8_t> written =
          png ? pngPixelsOf(path, c.w2, c.h2) : bmpPixelsOf(path, c.w2, c.h2);
      EXPECT_EQ(written, expected);
      if (png) {
        EXPECT_EQ(readWholeFile(path).substr(1, 3), "PNG");
      }
    }
  }
}

// The window options from the command line hold in a batch run too: the file holds what the
// spectrum window shows with them. Centring moves pixels only, so the transcript stays that of
// the keys alone; a taper changes the numbers the computation prints.
TEST_F(CommandLine, CentredAndTaperedBatchOutput) {
  const std::string file = bmpPicture(12, 9, pictureColour);
  writeFile(picture_, file);
  const int switches[4] = {1, 0, 0, 0};
  ASSERT_EQ(run({"--keys", "2", "--output", "plain.bmp", "picture.bmp"}), 0);
  const std::string transcript = session_.stdoutText;
  struct Case {
    std::vector<std::string> options;
    SpectrumOptions wanted;
  };
  const Case cases[] = {
      {{"--centred"}, {true, Taper::none}},
      {{"-t", "periodic"}, {false, Taper::periodic}},
      {{"--taper=hann", "-c"}, {true, Taper::hann}},
      {{"--taper", "none"}, {false, Taper::none}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.options[0]);
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.end(), {"--keys", "2", "--output", "out.bmp", "picture.bmp"});
    ASSERT_EQ(run(arguments), 0) << session_.stderrText;
    EXPECT_EQ(session_.stdoutText == transcript, c.wanted.taper == Taper::none);
    spectrumOptions = c.wanted;
    const std::vector<std::uint8_t> expected = expectedSpectrum(file, 8, 8, switches);
    spectrumOptions = SpectrumOptions{};
    const std::vector<std::uint8_t> written = bmpPixelsOf(folder_ + "/out.bmp", 8, 8);
    EXPECT_EQ(written, expected);
    const bool changed = c.wanted.centred || c.wanted.taper != Taper::none;
    EXPECT_EQ(written != bmpPixelsOf(folder_ + "/plain.bmp", 8, 8), changed);
  }
}

TEST_F(CommandLine, AnOutputThatCannotBeWrittenIsRefusedBeforeThePictureIsRead) {
  ASSERT_EQ(symlink("/dev/null", (folder_ + "/device.bmp").c_str()), 0);
  struct Case {
    const char *name;
    int status;  // 2: the name cannot be a picture file; 1: the place cannot take one
  };
  const Case cases[] = {
      {"no/such/folder/out.bmp", 1},
      {"no/such/folder/out.png", 1},
      {".", 1},
      {"device.bmp", 1},  // a character device behind a symlink is left alone
      {"out.jpg", 2},
      {"-", 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run({"--keys", "2", "--output", c.name, "picture.bmp"}), c.status);
    EXPECT_EQ(session_.stdoutText, "");
    EXPECT_EQ(session_.stderrText.rfind(std::string("bmpspectrum: ") + c.name + ": ", 0), 0u)
        << session_.stderrText;
  }
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/no"));
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/out.jpg"));
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/-"));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

// The names in the folder, but for those the test made itself.
std::vector<std::string> namesIn(const std::string &folder) {
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(CommandLine, AnOutputReplacesItsFileWholeOrNotAtAll) {
  writeFile(picture_, bmpPicture(64, 64, pictureColour));
  const int switches[4] = {1, 0, 0, 0};
  const std::vector<std::uint8_t> expected =
      expectedSpectrum(readWholeFile(picture_), 64, 64, switches);
  const std::string userData(60000, 'u');

  // Through a symlink: the target gets the picture, the link stays a link to it.
  writeFile(folder_ + "/target.bmp", userData);
  std::filesystem::permissions(folder_ + "/target.bmp", std::filesystem::perms(0640));
  ASSERT_EQ(symlink("target.bmp", (folder_ + "/link.bmp").c_str()), 0);
  ASSERT_EQ(run({"--keys", "2", "--output", "link.bmp", "picture.bmp"}), 0) << session_.stderrText;
  EXPECT_TRUE(std::filesystem::is_symlink(folder_ + "/link.bmp"));
  EXPECT_EQ(std::filesystem::read_symlink(folder_ + "/link.bmp"), "target.bmp");
  EXPECT_EQ(bmpPixelsOf(folder_ + "/target.bmp", 64, 64), expected);
  EXPECT_EQ(std::filesystem::status(folder_ + "/target.bmp").permissions(),
            std::filesystem::perms(0640));

  // A write that fails (here past a file size limit, which would otherwise end the program by
  // SIGXFSZ) leaves the previous file as it was, and no temporary file behind.
  writeFile(folder_ + "/kept.bmp", userData);
  const std::vector<std::string> before = namesIn(folder_);
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit saved = limit;
  limit.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  closeSession(session_);
  SessionOptions options;
  options.folder = folder_;
  options.withTerminal = false;
  options.errorsToPipe = true;
  options.arguments = {"--keys", "2", "--output", "kept.bmp", "picture.bmp"};
  session_ = startProgram(options);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  EXPECT_EQ(waitForExit(session_, 20000), 1);
  EXPECT_EQ(session_.stderrText,
            "bmpspectrum: kept.bmp: " + std::string(std::strerror(EFBIG)) + "\n");
  EXPECT_EQ(readWholeFile(folder_ + "/kept.bmp"), userData);
  EXPECT_EQ(namesIn(folder_), before);
}

}  // namespace
