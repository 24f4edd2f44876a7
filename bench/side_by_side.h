// Two jobs timed in turn, round after round, so that the machine's changing speed touches both.
#pragma once

#include <functional>

// Each job's time per call in ms (its fastest round and its median one) and the ratio of the
// first's to the second's within a round (quartiles and median).
struct SideBySide {
  double firstFastest;
  double first;
  double secondFastest;
  double second;
  double ratioLow;
  double ratio;
  double ratioHigh;
};

// How sideBySide runs its rounds.
struct Rounds {
  int count;    // rounds timed
  int burst;    // calls of a job timed together
  int pauseMs;  // before each burst, so that neither job meets the other's threads at work
  bool cpu;     // the process's CPU time (every thread's), else wall-clock time
};

// Each round times a burst of calls of one job, then of the other (which goes first alternates),
// each burst after the pause and one untimed call of its job. Call from one thread.
SideBySide sideBySide(const std::function<void()> &first, const std::function<void()> &second,
                      Rounds rounds);
