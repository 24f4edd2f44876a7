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
// Fused where the butterflies need only one rounding, which takes the adding pipes off them.
#define nativeFloatMulAdd(a, b, c) _mm256_maskz_fmadd_ps(0xff, a, b, c)
#define nativeFloatMulAddFused true
#define nativeSplat(x) _mm512_set1_pd(x)
#define nativeStream(to, v) _mm256_stream_ps(to, reinterpret_cast<__m256>(v))
#define nativeStreamFence() _mm_sfence()
// One two-register permutation picks each lane's entry of the whole table.
#define nativeLookup(table, index)                                                            \
  _mm512_permutex2var_pd(_mm512_load_pd(table),                                               \
                         _mm512_maskz_cvtepi32_epi64(0xff, reinterpret_cast<__m256i>(index)), \
                         _mm512_load_pd((table) + 8))
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

// Transposes the 8 x 8 floats held as eight rows, by pairs of rows in 512-bit registers: eight
// two-register permutations where rows of 256 bits take twenty-four.
static inline void transposeEight(__m256 *rows) {
  __m512 pairs[4];
  for (int p = 0; p < 4; ++p) {
    pairs[p] = _mm512_insertf32x8(_mm512_castps256_ps512(rows[2 * p]), rows[2 * p + 1], 1);
  }
  // Four rows by four columns each, row after row: the left and the right half of rows 0 to 3,
  // then of rows 4 to 7.
  const __m512i left = _mm512_setr_epi32(0, 1, 2, 3, 8, 9, 10, 11, 16, 17, 18, 19, 24, 25, 26, 27);
  const __m512i right =
      _mm512_setr_epi32(4, 5, 6, 7, 12, 13, 14, 15, 20, 21, 22, 23, 28, 29, 30, 31);
  const __m512 quarters[4] = {_mm512_permutex2var_ps(pairs[0], left, pairs[1]),
                              _mm512_permutex2var_ps(pairs[0], right, pairs[1]),
                              _mm512_permutex2var_ps(pairs[2], left, pairs[3]),
                              _mm512_permutex2var_ps(pairs[2], right, pairs[3])};
  // Two columns of all eight rows from the upper and the lower quarter of the same side.
  const __m512i even = _mm512_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28, 1, 5, 9, 13, 17, 21, 25, 29);
  const __m512i odd = _mm512_setr_epi32(2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15, 19, 23, 27, 31);
  for (int side = 0; side < 2; ++side) {
    const __m512 first = _mm512_permutex2var_ps(quarters[side], even, quarters[side + 2]);
    const __m512 second = _mm512_permutex2var_ps(quarters[side], odd, quarters[side + 2]);
    rows[4 * side] = _mm512_extractf32x8_ps(first, 0);
    rows[4 * side + 1] = _mm512_extractf32x8_ps(first, 1);
    rows[4 * side + 2] = _mm512_extractf32x8_ps(second, 0);
    rows[4 * side + 3] = _mm512_extractf32x8_ps(second, 1);
  }
}
#define nativeTransposeTile(tile) transposeEight(reinterpret_cast<__m256 *>(tile))
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
