// The chooser and the run's own messages in the user's language: English without a locale,
// Japanese from the catalog in a Japanese one, in that locale's character set; the seed's
// console texts stay as they are.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/bmp_fixture.h"
#include "tests/support/converted_text.h"
#include "tests/support/expected_texts.h"
#include "tests/support/program_session.h"
#include "tests/support/session_folder.h"

namespace {

class Translation : public SessionInFolder {
 protected:
  void SetUp() override {
    SessionInFolder::SetUp();
    if (HasFatalFailure()) return;
    writeFile(folder_ + "/picture.bmp", bmpPicture(4, 4, [](int x, int) { return 0x050505u * x; }));
    locales_ = folder_ + "/locales";
    std::filesystem::create_directory(locales_);
  }

  // Makes the locale in the test's folder; false when the system cannot. Shift_JIS is not
  // ASCII-compatible, which localedef warns of (and says in its status) but builds all the same.
  bool makeLocale(const std::string &name, const char *codeset) {
    const std::string make = "localedef --no-warnings=ascii -i ja_JP -f " + std::string(codeset) +
                             " " + locales_ + "/" + name + " 2>/dev/null";
    std::system(make.c_str());
    return std::filesystem::exists(locales_ + "/" + name + "/LC_CTYPE");
  }

  void start(const std::vector<std::string> &environment,
             const std::vector<std::string> &arguments = {}) {
    closeSession(session_);
    SessionOptions options;
    options.folder = folder_;
    options.environment = environment;
    options.environment.push_back("LOCPATH=" + locales_);
    options.arguments = arguments;
    options.errorsToPipe = true;
    session_ = startProgram(options);
  }

  // Picks the picture in the chooser after a number that is not in the list, then ends with q
  // once the prompt (as the terminal's character set writes it) is shown.
  void pickAfterAMistake(const std::string &ask, const std::string &noNumber,
                         const std::string &prompt = kPrompt) {
    ASSERT_TRUE(waitForTerminal(session_, ask)) << session_.terminalText;
    typeKeys(session_, "7\n");
    ASSERT_TRUE(waitForTerminal(session_, noNumber)) << session_.terminalText;
    typeKeys(session_, "1\n");
    ASSERT_TRUE(waitForStdout(session_, prompt)) << session_.stdoutText;
    typeKeys(session_, "q");
    EXPECT_EQ(waitForExit(session_), 0);
  }

  std::string locales_;
};

TEST_F(Translation, TheChooserAndMessagesSpeakTheLocalesLanguage) {
  if (!makeLocale("ja_JP.UTF-8", "UTF-8")) GTEST_SKIP() << "localedef cannot make ja_JP.UTF-8";

  start({"LC_ALL=C"});
  ASSERT_NO_FATAL_FAILURE(pickAfterAMistake("Number or path, *.bmp, *.* to list, Enter to cancel: ",
                                            "there is no number 7 in the list"));
  const std::string english = session_.stdoutText;
  EXPECT_NE(session_.terminalText.find(onTerminal("\nOpen a file\n  in " + folder_ + "\n")),
            std::string::npos);
  EXPECT_EQ(session_.stderrText, "bmpspectrum: no windows: DISPLAY is not set\n");

  start({"LC_ALL=ja_JP.UTF-8"});
  ASSERT_NO_FATAL_FAILURE(pickAfterAMistake(
      "番号かパスを入力 (*.bmp, *.* で一覧、Enter で取り消し): ", "一覧に 7 番はありません"));
  EXPECT_NE(session_.terminalText.find(onTerminal("\nファイルを開く\n  場所: " + folder_ + "\n")),
            std::string::npos);
  EXPECT_EQ(session_.stderrText, "bmpspectrum: ウィンドウなし: DISPLAY が設定されていません\n");
  // The console's transcript is the same in every language.
  EXPECT_EQ(session_.stdoutText, english);

  start({"LC_ALL=ja_JP.UTF-8"}, {"--help"});
  EXPECT_EQ(waitForExit(session_), 0);
  EXPECT_EQ(session_.stdoutText.rfind("使い方: bmpspectrum [オプション]... [画像]\n", 0), 0u)
      << session_.stdoutText;
  EXPECT_NE(session_.stdoutText.find("  q  終了\n"), std::string::npos);
}

// Every line, the prompt and the picture's header listing among them, comes in the locale's
// character set.
TEST_F(Translation, ALegacyLocaleGetsEveryTextInItsCharacterSet) {
  struct Case {
    const char *locale, *codeset;
  };
  for (const Case &c : {Case{"ja_JP.EUC-JP", "EUC-JP"}, Case{"ja_JP.SJIS", "SHIFT_JIS"}}) {
    SCOPED_TRACE(c.locale);
    if (!makeLocale(c.locale, c.codeset)) {
      ADD_FAILURE() << "localedef cannot make " << c.locale;
      continue;
    }
    start({std::string("LC_ALL=") + c.locale});
    ASSERT_NO_FATAL_FAILURE(pickAfterAMistake(
        converted("(*.bmp, *.* で一覧、Enter で取り消し): ", c.codeset),
        converted("一覧に 7 番はありません", c.codeset), converted(kPrompt, c.codeset)));
    EXPECT_NE(session_.terminalText.find(converted("ファイルを開く", c.codeset)),
              std::string::npos);
    EXPECT_EQ(session_.stderrText,
              converted("bmpspectrum: ウィンドウなし: DISPLAY が設定されていません\n", c.codeset));
    // Not a byte of UTF-8's Japanese is left on standard output.
    EXPECT_EQ(session_.stdoutText.find("\xe5\x86\x8d"), std::string::npos);  // 再
    EXPECT_NE(session_.stdoutText.find(converted(kPrompt, c.codeset)), std::string::npos);
  }
}

}  // namespace
