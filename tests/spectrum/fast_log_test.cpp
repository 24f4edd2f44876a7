// The lane kernels' logarithm against the C library's, rounded to float, for every float.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "spectrum/lanes.h"

namespace {

// Checks every stride-th bit pattern in [first, last); returns the mismatches found (at most 10).
std::vector<std::uint32_t> mismatches(const std::vector<const LaneKernels *> &sets,
                                      std::uint32_t first, std::uint32_t last,
                                      std::uint32_t stride) {
  constexpr int kChunk = 4096;
  std::vector<float> in(kChunk), expected(kChunk), out(kChunk);
  std::vector<std::uint32_t> found;
  for (std::uint64_t start = first; start < last && found.size() < 10;
       start += std::uint64_t{kChunk} * stride) {
    int count = 0;
    for (std::uint64_t bits = start; bits < last && count < kChunk; bits += stride, ++count) {
      const std::uint32_t pattern = static_cast<std::uint32_t>(bits);
      std::memcpy(&in[count], &pattern, sizeof pattern);
      expected[count] =
          in[count] > 0 ? static_cast<float>(std::log(static_cast<double>(in[count]))) : in[count];
    }
    for (const LaneKernels *kernels : sets) {
      kernels->logarithms(in.data(), out.data(), count);
      if (std::memcmp(out.data(), expected.data(), count * sizeof(float)) == 0) continue;
      for (int i = 0; i < count; ++i) {
        if (std::memcmp(&out[i], &expected[i], sizeof(float)) != 0) {
          std::uint32_t pattern;
          std::memcpy(&pattern, &in[i], sizeof pattern);
          found.push_back(pattern);
        }
      }
    }
  }
  return found;
}

// Every stride-th positive float up to infinity, split between two threads.
void checkPositiveFloats(std::uint32_t stride) {
  const std::vector<const LaneKernels *> sets = runnableKernels();
  const std::uint32_t end = 0x7f800001u;
  const std::uint32_t middle = 0x3f800000u;
  std::vector<std::uint32_t> upper;
  std::thread helper([&] { upper = mismatches(sets, middle, end, stride); });
  std::vector<std::uint32_t> lower = mismatches(sets, 0, middle, stride);
  helper.join();
  lower.insert(lower.end(), upper.begin(), upper.end());
  for (std::uint32_t pattern : lower) ADD_FAILURE() << "float bits " << std::hex << pattern;
}

// An odd stride reaches every exponent and every low mantissa pattern.
TEST(FastLog, EqualsTheLibraryLogOnASampleOfAllFloats) {
  checkPositiveFloats(1021);
}

// All 2^31 positive floats take about a minute: run it with --gtest_also_run_disabled_tests
// whenever the logarithm changes.
TEST(FastLog, DISABLED_EqualsTheLibraryLogForEveryPositiveFloat) {
  checkPositiveFloats(1);
}

TEST(FastLog, LeavesZeroAndNegativeValuesAsTheyAre) {
  const float values[] = {0.0f, -0.0f, -1.0f, -1e-40f, 1.0f, 2.0f, 0.5f, 1e-42f, 3.4e38f};
  for (const LaneKernels *kernels : runnableKernels()) {
    float out[9];
    kernels->logarithms(values, out, 9);
    for (int i = 0; i < 9; ++i) {
      const float expected =
          values[i] > 0 ? static_cast<float>(std::log(static_cast<double>(values[i]))) : values[i];
      EXPECT_EQ(std::memcmp(&out[i], &expected, sizeof(float)), 0)
          << kernels->name << ", " << values[i];
    }
  }
}

}  // namespace
