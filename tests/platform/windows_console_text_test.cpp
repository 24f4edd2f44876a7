// The Windows console text: UTF-8 to UTF-16 for a console, to text-mode bytes when redirected.
#include <gtest/gtest.h>

#include <string>

#include "platform/windows/console_text.h"

namespace {

constexpr unsigned kJapanese = 932;
constexpr unsigned kUtf8 = 65001;

TEST(WindowsConsoleText, RedirectedOutputIsJapaneseOnlyOnAJapaneseConsole) {
  const struct {
    unsigned console, redirected;
  } cases[] = {{932, kJapanese}, {65001, kUtf8}, {437, kUtf8}, {1252, kUtf8}, {0, kUtf8}};
  for (const auto &c : cases) EXPECT_EQ(redirectedCodePage(c.console), c.redirected) << c.console;
}

TEST(WindowsConsoleText, RedirectedBytesInEachCodePage) {
  const struct {
    const char *name;
    unsigned codePage;
    std::string utf8, bytes;
  } cases[] = {
      {"ASCII line", kUtf8, "file name [C:\\pictures\\a.bmp]\n",
       "file name [C:\\pictures\\a.bmp]\r\n"},
      {"counter keeps its lone returns", kUtf8, "\r12    \r", "\r12    \r"},
      {"counter in CP932", kJapanese, "\r1023    \r", "\r1023    \r"},
      {"mode line", kUtf8, "\n log表示=1 DCcut=0 拡大=0\n", "\r\n log表示=1 DCcut=0 拡大=0\r\n"},
      {"empty", kJapanese, "", ""},
      {"read error", kJapanese, "ファイル読み込みのエラー\n",
       "\x83\x74\x83\x40\x83\x43\x83\x8B\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xCC\x83\x47\x83\x89"
       "\x81\x5B\r\n"},
      {"full-width space", kJapanese,
       " 横FFT後　max = ", "\x20\x89\xA1\x46\x46\x54\x8C\xE3\x81\x40\x6D\x61\x78\x20\x3D\x20"},
      // 表 ends in 0x5C, the byte of a backslash: it must pass unchanged.
      {"prompt", kJapanese,
       "再計算？(org-0,lin-1,log-2,DC有-3,DC無-4,標準表示-5,４倍表示-6,終了-q)",
       "\x8D\xC4\x8C\x76\x8E\x5A\x81\x48(org-0,lin-1,log-2,DC\x97\x4C-3,DC\x96\xB3-4,"
       "\x95\x57\x8F\x80\x95\x5C\x8E\xA6-5,\x82\x53\x94\x7B\x95\x5C\x8E\xA6-6,\x8F\x49\x97\xB9-q)"},
      {"mode line in CP932", kJapanese, "\n log表示=0\n", "\r\n log\x95\x5C\x8E\xA6=0\r\n"},
      // A character CP932 lacks becomes its default character, not a look-alike.
      {"outside CP932", kJapanese, "café\n", "caf?\r\n"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(toRedirectedText(c.utf8, c.codePage), c.bytes) << c.name;
  }
}

TEST(WindowsConsoleText, ConsoleTextIsUtf16) {
  EXPECT_EQ(toConsoleText("再計算？(org-0)\n"), L"再計算？(org-0)\n");
  EXPECT_EQ(toConsoleText("\r5    \r"), L"\r5    \r");
  EXPECT_EQ(toConsoleText(""), L"");
}

}  // namespace
