// The AVX-512 kernels: 8 lanes, so that the doubles of a lane group fill one zmm register.
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
#pragma GCC target("avx512f,avx512dq,avx512vl,avx512bw,avx2,avx,sse4.2")
#define LANES 8
#define KERNEL_NAMESPACE avx512
#define NativeDoubles __m512d
// Masked forms throughout: the plain ones trip a false uninitialised warning in GCC 12.
#define nativeSqrt(v) _mm512_maskz_sqrt_pd(0xff, v)
// One conversion instruction each way, where the compiler would otherwise split the register.
#define nativeWiden(v) _mm512_maskz_cvtps_pd(0xff, v)
#define nativeNarrow(v) _mm512_maskz_cvtpd_ps(0xff, v)
#define nativeAnyLane(mask) (_mm256_movemask_ps(reinterpret_cast<__m256>(mask)) != 0)
// A butterfly's float sums as b * 1 + a, which is exactly a + b: on processors with separate
// adding and multiplying pipes, the adding ones also carry every conversion, and this evens them.
#define nativeFloatSum(a, b) _mm256_maskz_fmadd_ps(0xff, b, _mm256_set1_ps(1.0f), a)
#define nativeSplat(x) _mm512_set1_pd(x)
#define nativeMulAdd(a, b, c) _mm512_maskz_fmadd_pd(0xff, a, b, c)
#include "spectrum/lanes_x86.inc"

// The byte sums of the eight pixels (24 bytes) at `pixel` of a row that ends at rowEnd, one per
// 32-bit lane, as byteSums gives them four at a time: the pixels' 12-byte halves go to the two
// 16-byte lanes, where one shuffle spreads them.
static inline __m256i byteSumsOfEight(const std::uint8_t *pixel, const std::uint8_t *rowEnd) {
  __m256i bytes = _mm256_setzero_si256();
  if (rowEnd - pixel >= 32) {
    bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(pixel));
  } else {
    __builtin_memcpy(&bytes, pixel, 24);
  }
  const __m256i halves =
      _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 1, 2, 2, 3, 4, 5, 5));
  return laneByteSums(_mm256_shuffle_epi8(halves, _mm256_broadcastsi128_si256(pixelsToLanes())));
}

// A third of each byte sum, rounded as the division rounds it: the product with the float nearest
// 1/3, corrected once by its exact residual, which a run over all 766 sums shows to agree.
static inline __m256 thirds(__m256 sums) {
  const __m256 third = _mm256_set1_ps(1.0f / 3.0f);
  const __m256 estimate = _mm256_mul_ps(sums, third);
  const __m256 residual = _mm256_maskz_fnmadd_ps(0xff, estimate, _mm256_set1_ps(3.0f), sums);
  return _mm256_maskz_fmadd_ps(0xff, residual, third, estimate);
}
#define nativeGreyLevels(pass, pixel, rowEnd) \
  thirds(_mm256_cvtepi32_ps(byteSumsOfEight(pixel, rowEnd)))
#include "spectrum/lanes_body.inc"
#include "spectrum/taper_body.inc"
#pragma GCC pop_options

namespace {
bool runsAvx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
}
}  // namespace

const LaneKernels avx512Kernels = {"avx512",
                                   LANES,
                                   runsAvx512,
                                   avx512::greyRow,
                                   avx512::transformRows,
                                   avx512::transformColumns,
                                   avx512::logarithms,
                                   avx512::renderRows,
                                   avx512::subtractSmoothComponent};
