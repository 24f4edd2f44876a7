// The terminal chooser through a pseudo-terminal: numbers, paths, folders, the home folder,
// columns and pages, and files and names that are not what they seem.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/bmp_fixture.h"
#include "tests/support/expected_texts.h"
#include "tests/support/program_session.h"
#include "tests/support/session_folder.h"

namespace {

constexpr char kAsk[] = "Enter to cancel: ";
const std::string kOddName = "odd\x1b\xff.bmp";  // an escape and a byte that is no UTF-8

std::string picture() {
  return bmpPicture(2, 2, [](int x, int row) { return 0x102030u * (x + row); });
}

// Waits until the text appears on the terminal after the given offset, or on standard output.
bool waitForTextAfter(ProgramSession &session, size_t offset, const std::string &text) {
  const std::string shown = onTerminal(text);
  return pumpUntil(session, [&] {
    return (session.terminalText.size() > offset &&
            session.terminalText.find(shown, offset) != std::string::npos) ||
           session.stdoutText.find(text) != std::string::npos;
  });
}

class Chooser : public SessionInFolder {
 protected:
  void start() {
    closeSession(session_);
    SessionOptions options;
    options.folder = folder_;
    options.environment = {"HOME=" + folder_ + "/home"};
    session_ = startProgram(options);
  }

  // Types one answer and waits for what it should show, behind what was shown before.
  void answer(const std::string &line, const std::string &shows) {
    const size_t before = session_.terminalText.size();
    typeKeys(session_, line + "\n");
    ASSERT_TRUE(waitForTextAfter(session_, before, shows)) << "after " << line << ":\n"
                                                           << session_.terminalText.substr(before);
  }
};

TEST_F(Chooser, AnswersAndWhereTheyLead) {
  const std::string f = folder_;
  for (const std::string name : {"a.bmp", "b.bmp", "sub/inner.bmp", "home/h.bmp", "gone/g.bmp"}) {
    std::filesystem::create_directories(std::filesystem::path(f + "/" + name).parent_path());
    writeFile(f + "/" + name, picture());
  }
  writeFile(f + "/" + kOddName, picture());
  writeFile(f + "/empty.bmp", "");
  writeFile(f + "/notes.txt", "These notes are not a picture at all.");
  std::filesystem::create_symlink("nowhere.bmp", f + "/dangling.bmp");
  // Listed as: 1) a.bmp 2) b.bmp 3) empty.bmp 4) odd??.bmp 5) ../ 6) gone/ 7) home/ 8) sub/

  struct Step {
    std::string line;
    std::string shows;
    std::function<void()> before = nullptr;  // done before the line is typed
  };
  struct Case {
    const char *name;
    std::vector<Step> steps;
    std::string chosen;  // the file read, relative to the folder; empty: cancelled
    int status;
  };
  const std::string listed = "\n  in " + f + "\n";
  const Case cases[] = {
      {"a number out of range asks again",
       {{"9", "there is no number 9 in the list\nNumber or path"},
        {"0", "there is no number 0 in the list\n"},
        {"12345678901234567890", "there is no number 12345678901234567890 in the list\n"},
        {"1", kPrompt}},
       "a.bmp",
       0},
      {"a folder by number, then up",
       {{"8", "\n  in " + f + "/sub\n"}, {"..", listed}, {"2", kPrompt}},
       "b.bmp",
       0},
      {"a folder by path, then .. by number",
       {{"sub/", "1) inner.bmp"}, {"2", listed}, {"sub/inner.bmp", kPrompt}},
       "sub/inner.bmp",
       0},
      {"a folder named without its slash is refused",
       {{"sub", "not a regular file: " + f + "/sub (a folder: end it with / to open it)\n"},
        {"./a.bmp", kPrompt}},
       "a.bmp",
       0},
      {"the home folder", {{"~", "\n  in " + f + "/home\n"}, {"1", kPrompt}}, "home/h.bmp", 0},
      {"a path in the home folder", {{"~/h.bmp", kPrompt}}, "home/h.bmp", 0},
      {"a dangling link is not listed and not taken",
       {{"dangling.bmp", "no such file: " + f + "/dangling.bmp\n"}, {"1", kPrompt}},
       "a.bmp",
       0},
      {"a name with odd bytes is shown safely and taken as it is", {{"4", kPrompt}}, kOddName, 0},
      {"an empty file gets the reader's message", {{"3", kReadError}}, "empty.bmp", 1},
      {"a folder that vanished",
       {{"gone/", "1) g.bmp"},
        {"*.*", "(cannot read this folder: ", [&] { std::filesystem::remove_all(f + "/gone"); }},
        {"..", listed},
        {"1", kPrompt}},
       "a.bmp",
       0},
      {"cancelled inside a folder", {{"sub/", "1) inner.bmp"}}, "", 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::create_directories(f + "/gone");
    writeFile(f + "/gone/g.bmp", picture());
    start();
    ASSERT_TRUE(waitForTerminal(session_, kAsk));
    const std::string first = session_.terminalText;
    EXPECT_NE(first.find(onTerminal(listed)), std::string::npos) << first;
    EXPECT_NE(first.find("4) odd??.bmp"), std::string::npos) << first;
    EXPECT_EQ(first.find("dangling"), std::string::npos);
    EXPECT_EQ(first.find("notes.txt"), std::string::npos);
    for (const char *entry : {"1) a.bmp", "5) ../", "6) gone/", "7) home/", "8) sub/"}) {
      EXPECT_NE(first.find(entry), std::string::npos) << entry;
    }
    for (const Step &step : c.steps) {
      if (step.before) step.before();
      ASSERT_NO_FATAL_FAILURE(answer(step.line, step.shows));
    }
    if (c.chosen.empty()) typeKeys(session_, "\n");
    if (c.status == 0 && !c.chosen.empty()) typeKeys(session_, "q");
    EXPECT_EQ(waitForExit(session_), c.status);
    if (c.chosen.empty()) {
      EXPECT_EQ(session_.stdoutText, "");
    } else {
      EXPECT_EQ(session_.stdoutText.rfind("file name [" + f + "/" + c.chosen + "]\n", 0), 0u)
          << session_.stdoutText;
    }
  }
}

TEST_F(Chooser, ALongFolderIsListedInColumnsAPageAtATime) {
  // 400 names in a terminal of 120 columns and 40 rows.
  for (int i = 0; i < 400; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "p%03d.bmp", i);
    writeFile(folder_ + "/" + name, picture());
  }
  start();
  ASSERT_TRUE(waitForTerminal(session_, kAsk));
  const std::string first = session_.terminalText;
  // One screen: the listing, its header and the prompt fit in the terminal's 40 rows.
  EXPECT_LE(countOf(first, "\r\n"), 40u) << first;
  EXPECT_NE(first.find("  1) p000.bmp"), std::string::npos);
  EXPECT_EQ(first.find(") p399.bmp"), std::string::npos);
  // Columns: the second entry of the first column's neighbour is on the first line.
  const size_t line = first.find("  1) p000.bmp");
  const std::string firstLine = first.substr(line, first.find('\r', line) - line);
  EXPECT_GE(countOf(firstLine, ".bmp"), 4u) << firstLine;
  EXPECT_LE(firstLine.size(), 120u);
  const size_t pages = first.find("page 1 of ") != std::string::npos
                           ? std::stoul(first.substr(first.find("page 1 of ") + 10))
                           : 0;
  ASSERT_GE(pages, 2u) << first;
  for (size_t page = 2; page <= pages; ++page) {
    ASSERT_NO_FATAL_FAILURE(
        answer(">", "page " + std::to_string(page) + " of " + std::to_string(pages)));
  }
  EXPECT_NE(session_.terminalText.find("400) p399.bmp"), std::string::npos);
  ASSERT_NO_FATAL_FAILURE(answer("<", "page " + std::to_string(pages - 1) + " of "));
  ASSERT_NO_FATAL_FAILURE(answer("400", kPrompt));
  typeKeys(session_, "q");
  EXPECT_EQ(waitForExit(session_), 0);
  EXPECT_EQ(session_.stdoutText.rfind("file name [" + folder_ + "/p399.bmp]\n", 0), 0u);
}

}  // namespace
