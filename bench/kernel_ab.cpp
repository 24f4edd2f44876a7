// Times computeSpectrum with the tree's AVX-512 kernels against another revision's, call by call.
// scripts/kernel-ab.sh builds it with that revision's kernels compiled in as baseKernels.
#include <cstdio>
#include <cstdlib>

#include "bench/bench_picture.h"
#include "bench/side_by_side.h"
#include "spectrum/lanes.h"
#include "spectrum/spectrum.h"
#include "spectrum/workers.h"

extern const LaneKernels baseKernels;

int main(int argc, char **argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
  const int logScale = argc > 2 ? std::atoi(argv[2]) : 0;
  const int threads = argc > 3 ? std::atoi(argv[3]) : 1;
  const int size = argc > 4 ? std::atoi(argv[4]) : 1024;
  if (rounds < 1 || threads < 1 || size < 1 || size > kPlaneCapacity ||
      !avx512Kernels.supported()) {
    std::fprintf(stderr, "usage: kernel_ab [rounds] [log 0|1] [threads] [size] (needs AVX-512)\n");
    return 2;
  }
  loadBenchPicture(size);
  spectrumThreads = threads;
  auto with = [logScale](const LaneKernels &kernels) {
    return [&kernels, logScale] {
      spectrumKernels = &kernels;
      computeSpectrum(logScale, 0, 0, 0);
    };
  };
  // One call a burst, no pause: the closest pairing, with the same threads warm for both.
  const SideBySide figures =
      sideBySide(with(avx512Kernels), with(baseKernels), Rounds{rounds, 1, 0, false});
  std::printf("%d^2 %s, %d thread%s, %d rounds, wall-clock ms per call\n", size,
              logScale ? "log" : "linear", threads, threads == 1 ? "" : "s", rounds);
  std::printf("  base: fastest %.3f  median %.3f\n", figures.secondFastest, figures.second);
  std::printf("  tree: fastest %.3f  median %.3f\n", figures.firstFastest, figures.first);
  std::printf("  tree / base within a round: p25 %.3f  median %.3f  p75 %.3f\n", figures.ratioLow,
              figures.ratio, figures.ratioHigh);
}
