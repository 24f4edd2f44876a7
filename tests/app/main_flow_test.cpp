// The main flow with a scripted console: sizing, the spectrum record, the key table and the end.
#include "app/main_flow.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/dib_view.h"
#include "spectrum/spectrum.h"
#include "tests/scripted/scripted_platform.h"
#include "tests/support/bmp_fixture.h"
#include "tests/support/expected_texts.h"
#include "tests/support/temp_folder.h"

namespace {

// The definition, a power of two p with p <= n < 2p, over every size up to 2^20 and around every
// power of two a header's width or height can reach.
TEST(MainFlow, PowerOfTwoFloorIsTheLargestPowerOfTwoNotAbove) {
  const auto holds = [](long n) {
    const long p = powerOfTwoFloor(static_cast<int>(n));
    return p > 0 && (p & (p - 1)) == 0 && p <= n && n < 2 * p;
  };
  for (long n = 1; n <= (1L << 20); ++n) ASSERT_TRUE(holds(n)) << n;
  for (int k = 20; k <= 31; ++k) {
    for (long n : {(1L << k) - 1, 1L << k, (1L << k) + 1}) {
      if (n <= 2147483647L) {
        EXPECT_TRUE(holds(n)) << n;
      }
    }
  }
}

// Runs the whole flow on a picture made by the test with the given keys.
std::string runWith(int width, int height, const std::string &keys, int *status = nullptr) {
  const std::string path = testPath("main_flow.bmp");
  writeFile(path,
            bmpPicture(width, height, [](int x, int row) { return 0x010101u * ((x + row) % 5); }));
  // The program keeps both pixel buffers until it ends; running it again here releases them.
  releasePixels(sourceView);
  releasePixels(spectrumView);
  sourceView = DibView{};
  spectrumView = DibView{};
  resetScriptedPlatform();
  scriptedChosenPath = path;
  for (char key : keys) scriptedKeys.push_back(static_cast<unsigned char>(key));
  const int result = runMainFlow();
  if (status != nullptr) *status = result;
  return scriptedOutput;
}

TEST(MainFlow, SizesTheSpectrumRecordToPowersOfTwoWithinThePlanes) {
  struct Case {
    int width, height, w2, h2;
  };
  // Beyond 1024 the top-left 1024 x 1024 corner is analysed.
  const Case cases[] = {{1, 1, 1, 1}, {3, 5, 2, 4}, {12, 7, 8, 4}, {2050, 3, 1024, 2}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    int status = -1;
    const std::string output = runWith(c.width, c.height, "q", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(output.find("DWORD \t biClrImportant  \t 0 \n" + expectedSpectrumRecord(c.w2, c.h2)),
              std::string::npos);
    EXPECT_EQ(spectrumView.header.biWidth, c.w2);
    EXPECT_EQ(spectrumView.header.biHeight, c.h2);
    EXPECT_EQ(spectrumView.header.biSizeImage, static_cast<std::uint32_t>(c.w2 * c.h2 * 3));
    EXPECT_EQ(spectrumView.header.biBitCount, 24);
    // The end releases every plane row.
    for (int y = 0; y < kPlaneCapacity; ++y) ASSERT_EQ(realPlane[y], nullptr);
  }
}

std::string modeLines(const std::string &output) {
  std::string lines;
  for (size_t at = output.find("\n log表示="); at != std::string::npos;
       at = output.find("\n log表示=", at + 1)) {
    lines += output.substr(at + 1, output.find('\n', at + 1) - at - 1) + "|";
  }
  return lines;
}

TEST(MainFlow, KeysSetTheSwitchesAndPrintTheModeLine) {
  struct Case {
    const char *keys;
    const char *lines;
  };
  const Case cases[] = {
      {"x", ""},
      {"Q", ""},
      {"\x03", ""},
      {"0", " log表示=0 DCcut=0 拡大=0|"},
      {"04", " log表示=0 DCcut=0 拡大=0| log表示=0 DCcut=1 拡大=0|"},
      {"62", " log表示=0 DCcut=0 拡大=1| log表示=1 DCcut=0 拡大=1|"},
      {"2413",
       " log表示=1 DCcut=0 拡大=0| log表示=1 DCcut=1 拡大=0| log表示=0 DCcut=1 拡大=0|"
       " log表示=0 DCcut=0 拡大=0|"},
      {"65", " log表示=0 DCcut=0 拡大=1| log表示=0 DCcut=0 拡大=0|"},
      {"\xe0q", ""},  // Alt+F10's second code is q
      {"q2", ""},     // nothing after q is read
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.keys);
    const std::string output = runWith(4, 4, std::string(c.keys) + "q");
    EXPECT_EQ(modeLines(output), c.lines);
  }
}

TEST(MainFlow, PromptsAgainForEveryKeyOutsideTheTable) {
  const std::string prompt = kPrompt;
  const std::string output = runWith(2, 2, "x7Q");
  // The first prompt and one more for each of the three keys.
  const std::string tail = prompt + prompt + prompt + prompt;
  EXPECT_EQ(output.substr(output.size() - tail.size()), tail);
  EXPECT_EQ(output.find(tail + prompt), std::string::npos);
}

TEST(MainFlow, EndsWhenNoKeyCanBeRead) {
  int status = -1;
  runWith(2, 2, "", &status);  // the scripted console answers -1 at once
  EXPECT_EQ(status, 0);
}

TEST(MainFlow, FailuresEndWithStatusOneAndCancelWithZero) {
  resetScriptedPlatform();
  EXPECT_EQ(runMainFlow(), 0);
  EXPECT_EQ(scriptedOutput, "");

  const std::string path = testPath("main_flow_8bit.bmp");
  BmpFields fields;
  fields.biBitCount = 8;
  writeFile(path, bmpFile(fields, std::string(4, '\0')));
  resetScriptedPlatform();
  scriptedChosenPath = path;
  EXPECT_EQ(runMainFlow(), 1);
  const std::string message = kNot24Bit;
  ASSERT_GT(scriptedOutput.size(), message.size());
  EXPECT_EQ(scriptedOutput.substr(scriptedOutput.size() - message.size()), message);
}

}  // namespace
