// The AVX2 kernels: 4 lanes, so that the doubles of a lane group fill one ymm register.
#include <immintrin.h>

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

#pragma GCC push_options
#pragma GCC target("avx2,fma,avx,sse4.2")
#define LANES 4
#define KERNEL_NAMESPACE avx2
#define NativeDoubles __m256d
#define nativeSqrt _mm256_sqrt_pd
// One conversion instruction each way, where the compiler would otherwise split the register.
#define nativeWiden(v) _mm256_cvtps_pd(v)
#define nativeNarrow(v) _mm256_cvtpd_ps(v)
#define nativeAnyLane(mask) (_mm_movemask_ps(reinterpret_cast<__m128>(mask)) != 0)
#define nativeFloatSum(a, b) ((a) + (b))
#define nativeFloatMulAdd(a, b, c) ((a) * (b) + (c))
#define nativeFloatMulAddFused false
#define nativeSplat(x) _mm256_set1_pd(x)
#define nativeStream(to, v) _mm_stream_ps(to, reinterpret_cast<__m128>(v))
#define nativeStreamFence() _mm_sfence()
#define nativeLookup(table, index) \
  (Doubles{(table)[(index)[0]], (table)[(index)[1]], (table)[(index)[2]], (table)[(index)[3]]})
#define nativeMulAdd(a, b, c) _mm256_fmadd_pd(a, b, c)
#include "spectrum/lanes_x86.inc"
#define nativeGreyLevels(pass, pixel, rowEnd) (_mm_cvtepi32_ps(byteSums(pixel, rowEnd)) / 3.0f)
#define nativeTransposeTile(tile) transposeLanes<Floats, Ints>(tile)
#include "spectrum/lanes_body.inc"
#include "spectrum/taper_body.inc"
#pragma GCC pop_options

namespace {
bool runsAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
}  // namespace

const LaneKernels avx2Kernels = {"avx2",
                                 LANES,
                                 runsAvx2,
                                 avx2::greyRow,
                                 avx2::transformRows,
                                 avx2::transformColumns,
                                 avx2::logarithms,
                                 avx2::renderRows,
                                 avx2::subtractSmoothComponent};
