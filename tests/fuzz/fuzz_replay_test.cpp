// Replays the fuzz corpus and every crash reproducer found so far through the fuzz checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_checks.h"

namespace {

namespace fs = std::filesystem;

struct Target {
  const char *name;
  std::string (*check)(const std::uint8_t *, std::size_t);
};

std::vector<fs::path> filesIn(const fs::path &folder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto &entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
      files.push_back(entry.path());
    }
  }
  return files;
}

TEST(FuzzReplay, EveryStoredInputPassesItsCheck) {
  const Target targets[] = {{"bitmap_reader", checkBitmapInput}, {"key_decoder", checkKeyInput}};
  const fs::path root = FUZZ_DATA_DIR;
  for (const Target &target : targets) {
    SCOPED_TRACE(target.name);
    const std::vector<fs::path> seeds = filesIn(root / "corpus" / target.name);
    EXPECT_FALSE(seeds.empty()) << "no corpus for " << target.name;
    // Seeds, inputs the fuzzers found that reach further, and crash reproducers.
    std::vector<fs::path> inputs = seeds;
    for (const char *folder : {"found", "crashes"}) {
      const std::vector<fs::path> more = filesIn(root / folder / target.name);
      inputs.insert(inputs.end(), more.begin(), more.end());
    }
    for (const fs::path &input : inputs) {
      std::ifstream stream(input, std::ios::binary);
      const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(stream), {}};
      EXPECT_EQ(target.check(bytes.data(), bytes.size()), "") << input;
    }
  }
}

}  // namespace
