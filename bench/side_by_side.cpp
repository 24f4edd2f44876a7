// Two jobs timed in turn, round after round: medians and quartiles of their times and ratios.
#include "bench/side_by_side.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

namespace {

// Seconds on the process's CPU clock or on the wall clock.
double clockSeconds(bool cpu) {
  timespec now;
  clock_gettime(cpu ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The value at `share` of the way up the sorted values.
double at(std::vector<double> &values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1))];
}

}  // namespace

SideBySide sideBySide(const std::function<void()> &first, const std::function<void()> &second,
                      Rounds rounds) {
  std::vector<double> times[2];
  std::vector<double> ratios;
  for (int round = 0; round < rounds.count; ++round) {
    double perCall[2];
    for (int turn = 0; turn < 2; ++turn) {
      const int which = (round + turn) % 2;
      const std::function<void()> &job = which == 0 ? first : second;
      if (rounds.pauseMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(rounds.pauseMs));
      job();
      const double start = clockSeconds(rounds.cpu);
      for (int call = 0; call < rounds.burst; ++call) job();
      perCall[which] = (clockSeconds(rounds.cpu) - start) / rounds.burst * 1e3;
    }
    times[0].push_back(perCall[0]);
    times[1].push_back(perCall[1]);
    ratios.push_back(perCall[0] / perCall[1]);
  }
  return {at(times[0], 0),  at(times[0], 0.5), at(times[1], 0), at(times[1], 0.5),
          at(ratios, 0.25), at(ratios, 0.5),   at(ratios, 0.75)};
}
