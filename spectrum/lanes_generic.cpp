// The kernels for any x86-64: 2 lanes, the doubles of an SSE2 register.
#include <immintrin.h>

#include <cmath>
#include <cstdint>

#include "common/dib_view.h"
#include "spectrum/lanes.h"

// The vector types stay inside this file, so their argument passing concerns no caller.
#pragma GCC diagnostic ignored "-Wpsabi"

#define LANES 2
#define KERNEL_NAMESPACE generic
#define NativeDoubles __m128d
#define nativeSqrt _mm_sqrt_pd
// One conversion instruction each way, where the compiler would otherwise split the register.
#define nativeWiden(v) __builtin_convertvector(v, Doubles)
#define nativeNarrow(v) __builtin_convertvector(v, Floats)
#include "spectrum/lanes_body.inc"

const LaneKernels genericKernels = {LANES, generic::transformRows, generic::transformColumns,
                                    generic::logarithms, generic::renderRows};
