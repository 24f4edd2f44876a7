// How the program leaves the terminal: the shell's prompt on a line of its own, and one line on
// standard error when no window can be shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/bmp_fixture.h"
#include "tests/support/expected_texts.h"
#include "tests/support/program_session.h"
#include "tests/support/session_folder.h"

namespace {

class TerminalManners : public SessionInFolder {
 protected:
  void SetUp() override {
    SessionInFolder::SetUp();
    if (HasFatalFailure()) return;
    writeFile(folder_ + "/picture.bmp", bmpPicture(5, 4, [](int x, int) { return 0x030201u * x; }));
    writeFile(folder_ + "/notes.txt", "These notes are not a picture at all.");
  }
};

TEST_F(TerminalManners, AnUnfinishedLineIsEndedOnlyOnATerminal) {
  struct Case {
    const char *name;
    std::vector<std::string> arguments;
    const char *keys;       // typed at the prompt; nullptr: none
    bool outputToTerminal;  // standard output on the terminal rather than a pipe
    std::string ending;     // how what standard output shows ends
    int status;
  };
  const std::string prompt = kPrompt;
  const Case cases[] = {
      {"q at the prompt", {"picture.bmp"}, "q", true, prompt + "\r\n", 0},
      {"batch keys", {"--keys", "4", "picture.bmp"}, nullptr, true, prompt + "\r\n", 0},
      {"a refused file", {"notes.txt"}, nullptr, true, "ではありません\r\n", 1},
      {"help ends its own line", {"--help"}, nullptr, true, "usage error.\r\n", 0},
      {"a pipe keeps the prompt", {"picture.bmp"}, "q", false, prompt, 0},
      {"a pipe keeps the message", {"notes.txt"}, nullptr, false, "ではありません", 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    closeSession(session_);
    SessionOptions options;
    options.folder = folder_;
    options.arguments = c.arguments;
    options.outputToTerminal = c.outputToTerminal;
    options.errorsToPipe = true;  // keeps the no-window line off the terminal here
    session_ = startProgram(options);
    std::string &shown = c.outputToTerminal ? session_.terminalText : session_.stdoutText;
    if (c.keys) {
      ASSERT_TRUE(pumpUntil(session_, [&] { return shown.find(prompt) != std::string::npos; }));
      // The prompt is out just before the key read switches the terminal: a key typed earlier
      // would be echoed onto what the terminal shows.
      ASSERT_TRUE(pumpUntil(session_, [&] {
        termios now{};
        return tcgetattr(session_.slave, &now) == 0 && (now.c_lflag & ICANON) == 0;
      }));
      typeKeys(session_, c.keys);
    }
    EXPECT_EQ(waitForExit(session_), c.status);
    // What is still on its way through the terminal.
    pumpUntil(
        session_, [&] { return shown.size() >= c.ending.size() && shown.ends_with(c.ending); },
        2000);
    ASSERT_GE(shown.size(), c.ending.size()) << shown;
    EXPECT_EQ(shown.substr(shown.size() - c.ending.size()), c.ending);
    // Exactly one line end: none doubled after text that ended its own line.
    EXPECT_FALSE(shown.ends_with("\n\r\n") || shown.ends_with("\n\n")) << shown;
  }
}

TEST_F(TerminalManners, WithoutWindowsItSaysSoOnceOnStandardError) {
  struct Case {
    const char *name;
    std::vector<std::string> environment;
    std::vector<std::string> arguments;
    std::string errors;  // all of standard error
  };
  const Case cases[] = {
      {"no DISPLAY",
       {},
       {"--keys", "2", "picture.bmp"},
       "bmpspectrum: no windows: DISPLAY is not set\n"},
      // A display name whose socket cannot exist: the path is longer than a socket's.
      {"a display that cannot be opened",
       {"DISPLAY=" + std::string(200, 'x') + ":0"},
       {"--keys", "2", "picture.bmp"},
       "bmpspectrum: no windows: cannot open display " + std::string(200, 'x') + ":0\n"},
      {"no windows asked for", {}, {"--keys", "2", "--output", "out.bmp", "picture.bmp"}, ""},
  };
  std::string transcript;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    closeSession(session_);
    SessionOptions options;
    options.folder = folder_;
    options.withTerminal = false;
    options.errorsToPipe = true;
    options.environment = c.environment;
    options.arguments = c.arguments;
    session_ = startProgram(options);
    EXPECT_EQ(waitForExit(session_), 0);
    EXPECT_EQ(session_.stderrText, c.errors);
    // The console goes on as ever: standard output is the same in every case.
    if (transcript.empty()) transcript = session_.stdoutText;
    EXPECT_EQ(session_.stdoutText, transcript);
    EXPECT_TRUE(session_.stdoutText.ends_with(kPrompt));
  }
}

}  // namespace
