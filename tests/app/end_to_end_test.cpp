// The whole program through a pseudo-terminal: the chooser, the keys, the exact standard output,
// the exit status, and the terminal's settings afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "common/dib_row.h"
#include "tests/support/bmp_fixture.h"
#include "tests/support/converted_text.h"
#include "tests/support/expected_texts.h"
#include "tests/support/program_session.h"
#include "tests/support/session_folder.h"

namespace {

// The listing of a w x h picture of rows padded to 4 bytes, and of its 8 x 8 spectrum record.
std::string listing(const std::string &path, int width, int height, int w2, int h2) {
  return "file name [" + path + "]\n" + expectedFileListing(width, height) +
         expectedSpectrumRecord(w2, h2);
}

// A folder per test: the chooser lists what each one puts there.
class EndToEnd : public SessionInFolder {
 protected:
  void SetUp() override {
    SessionInFolder::SetUp();
    if (HasFatalFailure()) return;
    // Every pixel's bytes sum to 21: grey level 7.
    picture_ = folder_ + "/grey7.bmp";
    writeFile(picture_, bmpPicture(9, 8, [](int, int) { return 0x070707u; }));
    writeFile(folder_ + "/notes.txt", "These notes are not a picture at all.");
  }
  void start(SessionOptions options = {}) {
    if (options.folder == ".") options.folder = folder_;
    session_ = startProgram(options);
  }

  // Picks the picture at the chooser and waits for the first prompt.
  void pickPicture() {
    ASSERT_TRUE(waitForTerminal(session_, "Enter to cancel: "));
    typeKeys(session_, picture_ + "\n");
    ASSERT_TRUE(waitForStdout(session_, kPrompt)) << session_.stdoutText;
  }

  std::string picture_;
};

TEST_F(EndToEnd, RunsTheCommandLoopAsAPersonUsesIt) {
  start();
  ASSERT_NO_FATAL_FAILURE(pickPicture());
  const std::string first = listing(picture_, 9, 8, 8, 8) + " 横FFT後　max = 19.798990 x 0 y 7 \n" +
                            expectedCounter(8) + " 縦横FFT後　max 56.000004 min 0.000000 \n" +
                            kPrompt;
  EXPECT_EQ(session_.stdoutText, first);

  // x, Ctrl+A and Q only prompt again; a cursor key prompts twice; 2 switches to log scale.
  const struct {
    const char *keys;
    size_t prompts;  // prompts on standard output once the keys are taken
  } steps[] = {{"x", 2}, {"\x01", 3}, {"Q", 4}, {"\x1b[A", 6}, {"2", 7}, {"0", 8}};
  for (const auto &step : steps) {
    typeKeys(session_, step.keys);
    ASSERT_TRUE(waitForStdout(session_, kPrompt, step.prompts))
        << "after " << testing::PrintToString(std::string(step.keys));
  }
  typeKeys(session_, "q");
  EXPECT_EQ(waitForExit(session_), 0);

  const std::string prompt = kPrompt;
  EXPECT_EQ(session_.stdoutText, first + prompt + prompt + prompt + prompt + prompt +
                                     "\n log表示=1 DCcut=0 拡大=0\n" +
                                     " 横FFT後　max = 19.798990 x 0 y 7 \n" + expectedCounter(8) +
                                     " 縦横FFT後　max 4.025352 min 0.000000 \n" + prompt +
                                     "\n log表示=1 DCcut=0 拡大=0\n" + prompt);
}

TEST_F(EndToEnd, ChooserPicksByNumberAndRelativePathAndExplainsRefusals) {
  start();
  ASSERT_TRUE(waitForTerminal(session_, "Enter to cancel: "));
  // The text file is not listed under the BMP filter, but is under all files.
  EXPECT_NE(session_.terminalText.find("1) grey7.bmp"), std::string::npos);
  EXPECT_EQ(session_.terminalText.find("notes.txt"), std::string::npos);
  EXPECT_NE(session_.terminalText.find("[x] BMPファイル(*.bmp)"), std::string::npos);
  typeKeys(session_, "*.*\n");
  ASSERT_TRUE(waitForTerminal(session_, "[x] すべてのファイル(*.*)"));
  ASSERT_TRUE(waitForTerminal(session_, "2) notes.txt"));
  typeKeys(session_, "missing.bmp\n");
  ASSERT_TRUE(waitForTerminal(session_, "no such file: " + folder_ + "/missing.bmp"));
  typeKeys(session_, "/tmp\n");
  ASSERT_TRUE(waitForTerminal(session_, "not a regular file: /tmp"));
  EXPECT_EQ(session_.stdoutText, "");  // the chooser never writes to standard output

  typeKeys(session_, "./sub/../grey7.bmp\n");
  ASSERT_TRUE(waitForStdout(session_, kPrompt));
  EXPECT_EQ(session_.stdoutText.rfind("file name [" + picture_ + "]\n", 0), 0u);
  typeKeys(session_, "q");
  EXPECT_EQ(waitForExit(session_), 0);

  // An existing file whose full path is longer than 255 bytes (some 85 Japanese characters) is
  // taken like any other.
  closeSession(session_);
  start();
  ASSERT_TRUE(waitForTerminal(session_, "Enter to cancel: "));
  std::string longPath = std::string(120, 'd') + "/" + std::string(120, 'e');
  mkdir((folder_ + "/" + longPath.substr(0, 120)).c_str(), 0755);
  mkdir((folder_ + "/" + longPath).c_str(), 0755);
  longPath += "/grey7.bmp";
  writeFile(folder_ + "/" + longPath, bmpPicture(1, 1, [](int, int) { return 0u; }));
  ASSERT_GT((folder_ + "/" + longPath).size(), 255u);
  typeKeys(session_, longPath + "\n");
  ASSERT_TRUE(waitForStdout(session_, kPrompt));
  EXPECT_EQ(session_.stdoutText.rfind("file name [" + folder_ + "/" + longPath + "]\n", 0), 0u);
  typeKeys(session_, "q");
  EXPECT_EQ(waitForExit(session_), 0);

  closeSession(session_);
  start();
  ASSERT_TRUE(waitForTerminal(session_, "Enter to cancel: "));
  typeKeys(session_, "1\n");
  ASSERT_TRUE(waitForStdout(session_, kPrompt));
  EXPECT_EQ(session_.stdoutText.rfind("file name [" + picture_ + "]\n", 0), 0u);
  typeKeys(session_, "q");
  EXPECT_EQ(waitForExit(session_), 0);
}

TEST_F(EndToEnd, CancellingPrintsNothingAndSucceeds) {
  for (const char *answer : {"\n", "\x04"}) {  // an empty line, end of input
    SCOPED_TRACE(answer[0] == '\n' ? "empty line" : "end of input");
    closeSession(session_);
    start();
    ASSERT_TRUE(waitForTerminal(session_, "Enter to cancel: "));
    typeKeys(session_, answer);
    EXPECT_EQ(waitForExit(session_), 0);
    EXPECT_EQ(session_.stdoutText, "");
  }
  // Without a terminal (or a display) no file can be chosen: nothing was cancelled, so the run
  // says so on standard error and ends as a usage error, with nothing on standard output.
  closeSession(session_);
  SessionOptions options;
  options.withTerminal = false;
  options.errorsToPipe = true;
  start(options);
  EXPECT_EQ(waitForExit(session_), 2);
  EXPECT_EQ(session_.stdoutText, "");
  EXPECT_NE(session_.stderrText.find("no display or terminal to choose one on"), std::string::npos)
      << session_.stderrText;
}

TEST_F(EndToEnd, ARefusedFileEndsWithItsMessageAndStatusOne) {
  start();
  ASSERT_TRUE(waitForTerminal(session_, "Enter to cancel: "));
  typeKeys(session_, "notes.txt\n");
  EXPECT_EQ(waitForExit(session_), 1);
  EXPECT_EQ(session_.stdoutText, "file name [" + folder_ + "/notes.txt]\n" + folder_ +
                                     "/notes.txt はDIBフォーマットではありません");
}

TEST_F(EndToEnd, WritesInTheCharacterSetOfALegacyLocale) {
  const std::string locales = folder_ + "/locales";
  mkdir(locales.c_str(), 0755);
  const std::string make = "localedef -i ja_JP -f EUC-JP " + locales + "/ja_JP.EUC-JP 2>/dev/null";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "localedef cannot make ja_JP.EUC-JP";

  SessionOptions options;
  options.environment = {"LOCPATH=" + locales, "LC_ALL=ja_JP.EUC-JP"};
  start(options);
  // The chooser asks in Japanese here.
  ASSERT_TRUE(waitForTerminal(session_, converted("Enter で取り消し): ", "EUC-JP")));
  typeKeys(session_, "notes.txt\n");
  EXPECT_EQ(waitForExit(session_), 1);
  EXPECT_EQ(session_.stdoutText, "file name [" + folder_ + "/notes.txt]\n" + folder_ +
                                     "/notes.txt " +
                                     converted("はDIBフォーマットではありません", "EUC-JP"));
}

TEST_F(EndToEnd, KeysComeFromTheTerminalNotStandardInput) {
  start();
  ASSERT_TRUE(waitForTerminal(session_, "Enter to cancel: "));
  typeKeys(session_, picture_ + "\n");
  ASSERT_TRUE(write(session_.input, "2q", 2) == 2);
  ASSERT_TRUE(waitForStdout(session_, kPrompt));
  EXPECT_FALSE(waitForStdout(session_, "log表示", 1, 300));
  EXPECT_EQ(session_.status, -1);  // still waiting for a key
  typeKeys(session_, "q");
  EXPECT_EQ(waitForExit(session_), 0);
}

TEST_F(EndToEnd, KeysTypedAheadAreKept) {
  start();
  ASSERT_TRUE(waitForTerminal(session_, "Enter to cancel: "));
  typeKeys(session_, picture_ + "\n4q");
  EXPECT_EQ(waitForExit(session_), 0);
  EXPECT_EQ(countOf(session_.stdoutText, "\n log表示=0 DCcut=1 拡大=0\n"), 1u);
}

TEST_F(EndToEnd, ALostTerminalEndsTheLoop) {
  start();
  ASSERT_NO_FATAL_FAILURE(pickPicture());
  // The terminal hangs up.
  close(session_.master);
  close(session_.slave);
  session_.master = session_.slave = -1;
  EXPECT_NE(waitForExit(session_, 5000), -1);
}

// The session helpers notice a program that has ended at once instead of waiting out their time.
TEST(ProgramSession, AnEndedProgramIsNoticedAtOnce) {
  SessionOptions options;
  options.folder = testFolder();
  ProgramSession session = startProgram(options, "/bin/false");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(waitForStdout(session, "never written", 1, 20000));
  EXPECT_FALSE(waitForTerminal(session, "never written", 1, 20000));
  EXPECT_EQ(waitForExit(session, 20000), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  closeSession(session);
}

TEST_F(EndToEnd, TheTerminalIsRestoredOnEveryWayOut) {
  struct Case {
    const char *name;
    int signal;  // 0: end with q
  };
  const Case cases[] = {
      {"q", 0}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGINT", SIGINT}, {"SIGQUIT", SIGQUIT}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    closeSession(session_);
    start();
    termios before{};
    tcgetattr(session_.slave, &before);
    ASSERT_NO_FATAL_FAILURE(pickPicture());
    // The prompt is out just before the key read switches the terminal.
    termios during{};
    pumpUntil(
        session_,
        [&] {
          tcgetattr(session_.slave, &during);
          return (during.c_lflag & ICANON) == 0;
        },
        2000);
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(during.c_iflag & (IXON | ICRNL), 0u);
    EXPECT_NE(during.c_oflag & OPOST, 0u);  // output processing stays on
    if (c.signal == 0) {
      typeKeys(session_, "q");
      EXPECT_EQ(waitForExit(session_), 0);
    } else {
      kill(session_.pid, c.signal);
      EXPECT_EQ(waitForExit(session_), 128 + c.signal);
    }
    termios after{};
    tcgetattr(session_.slave, &after);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
    EXPECT_EQ(after.c_cc[VTIME], before.c_cc[VTIME]);
  }
}

}  // namespace
