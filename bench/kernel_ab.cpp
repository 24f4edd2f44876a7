// Times computeSpectrum with the tree's AVX-512 kernels against another revision's, call by call.
// scripts/kernel-ab.sh builds it with that revision's kernels compiled in as baseKernels.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_picture.h"
#include "spectrum/lanes.h"
#include "spectrum/spectrum.h"
#include "spectrum/workers.h"

extern const LaneKernels baseKernels;

int main(int argc, char **argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
  const int logScale = argc > 2 ? std::atoi(argv[2]) : 0;
  const int threads = argc > 3 ? std::atoi(argv[3]) : 1;
  if (rounds < 20 || threads < 1 || !avx512Kernels.supported()) {
    std::fprintf(stderr, "usage: kernel_ab [rounds >= 20] [log 0|1] [threads] (needs AVX-512)\n");
    return 2;
  }
  loadBenchPicture(1024);
  spectrumThreads = threads;
  const LaneKernels *sets[2] = {&baseKernels, &avx512Kernels};
  std::vector<double> times[2];
  std::vector<double> ratios;
  for (int round = 0; round < rounds; ++round) {
    double ms[2];
    // Which goes first alternates, so that neither always finds the other's state in the caches.
    for (int turn = 0; turn < 2; ++turn) {
      const int which = (round + turn) % 2;
      spectrumKernels = sets[which];
      const auto start = std::chrono::steady_clock::now();
      computeSpectrum(logScale, 0, 0, 0);
      ms[which] =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count();
    }
    if (round < 10) continue;  // warming up
    times[0].push_back(ms[0]);
    times[1].push_back(ms[1]);
    ratios.push_back(ms[1] / ms[0]);
  }
  for (std::vector<double> *values : {&times[0], &times[1], &ratios})
    std::sort(values->begin(), values->end());
  auto at = [](const std::vector<double> &values, double share) {
    return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1))];
  };
  std::printf("1024^2 %s, %d thread%s, %zu rounds\n", logScale ? "log" : "linear", threads,
              threads == 1 ? "" : "s", ratios.size());
  std::printf("  base: min %.3f  median %.3f ms\n", at(times[0], 0), at(times[0], 0.5));
  std::printf("  tree: min %.3f  median %.3f ms\n", at(times[1], 0), at(times[1], 0.5));
  std::printf("  tree / base within a round: p25 %.3f  median %.3f  p75 %.3f\n", at(ratios, 0.25),
              at(ratios, 0.5), at(ratios, 0.75));
}
