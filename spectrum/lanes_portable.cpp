// The kernels for any processor: 2 lanes in the compiler's vector types, no intrinsics.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "spectrum/lanes.h"
#include "spectrum/unit_root.h"
#include "spectrum/workers.h"

// The vector types stay inside this file, so their argument passing concerns no caller.
#pragma GCC diagnostic ignored "-Wpsabi"

#define LANES 2
#define KERNEL_NAMESPACE portable
// Square roots one lane at a time: the library's, correctly rounded like any hardware one.
#define NativeDoubles double
#define nativeSqrt(v) std::sqrt(v)
#define nativeWiden(v) __builtin_convertvector(v, Doubles)
#define nativeNarrow(v) __builtin_convertvector(v, Floats)
#define nativeAnyLane(mask) (((mask)[0] | (mask)[1]) != 0)
#define nativeFloatSum(a, b) ((a) + (b))
#define nativeFloatMulAdd(a, b, c) ((a) * (b) + (c))
#define nativeFloatMulAddFused false
#define nativeSplat(x) (Doubles{x, x})
// Plain stores: ordered already.
#define nativeStream(to, v) __builtin_memcpy(to, &(v), sizeof(v))
#define nativeStreamFence() static_cast<void>(0)
#define nativeLookup(table, index) (Doubles{(table)[(index)[0]], (table)[(index)[1]]})
// Unfused: the same sum, without needing a fused instruction.
#define nativeMulAdd(a, b, c) ((a) * (b) + (c))
#define nativeGreyLevels(pass, pixel, rowEnd) greyLevelsByTable(pass, pixel)
#define nativeTransposeTile(tile) transposeLanes<Floats, Ints>(tile)
#include "spectrum/lanes_body.inc"
#include "spectrum/taper_body.inc"

namespace {
bool everywhere() {
  return true;
}
}  // namespace

const LaneKernels portableKernels = {"portable",
                                     LANES,
                                     everywhere,
                                     portable::greyRow,
                                     portable::transformRows,
                                     portable::transformColumns,
                                     portable::logarithms,
                                     portable::renderRows,
                                     portable::subtractSmoothComponent};
