// The threads a spectrum computation shares its work with: the calling thread and helpers.
#pragma once

#include <functional>

// How many threads (the calling one included) computeSpectrum works on: on first use the
// processor count, or BMPSPECTRUM_THREADS when that holds a count; tests set it directly.
extern int spectrumThreads;

// The thread count that the setting (BMPSPECTRUM_THREADS's text, or null when it is not set)
// asks for: a whole number from 1 to kMaxSpectrumThreads; anything else leaves the processor
// count, itself taken as 1 when unknown (0) and bounded by kMaxSpectrumThreads.
constexpr int kMaxSpectrumThreads = 256;
int threadCountFrom(const char *setting, unsigned processors);
// Whether the setting is one that threadCountFrom takes: unset, empty, or a whole number from 1
// to kMaxSpectrumThreads.
bool threadSettingUsable(const char *setting);

// Runs job(worker) once on each of `threads` threads, the calling thread as worker 0, and returns
// when every call has returned. Helpers are started on first need and kept for the life of the
// process; when fewer can be started, the job runs on those there are.
void runOnWorkers(int threads, const std::function<void(int)> &job);
