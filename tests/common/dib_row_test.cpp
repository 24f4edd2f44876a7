// The stored row length of a 24-bit picture, against rows counted by hand.
#include "common/dib_row.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(DibRow, ThreeBytesAPixelPaddedToFour) {
  const std::uint64_t cases[][2] = {{0, 0},
                                    {1, 4},
                                    {2, 8},
                                    {3, 12},
                                    {4, 12},
                                    {5, 16},
                                    {6, 20},
                                    {7, 24},
                                    {8, 24},
                                    {9, 28},
                                    {1023, 3072},
                                    {1024, 3072},
                                    // The widest a header can claim: no overflow.
                                    {2147483647, 6442450944}};
  for (const auto &c : cases) EXPECT_EQ(dibRowBytes(c[0]), c[1]) << "width " << c[0];
}

}  // namespace
