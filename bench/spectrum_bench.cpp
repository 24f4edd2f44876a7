// Times computeSpectrum and the same job done with FFTW on the same pictures and cores, and on one.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_picture.h"
#include "bench/side_by_side.h"
#include "common/dib_view.h"
#include "spectrum/grey_levels.h"
#include "spectrum/spectrum.h"
#include "spectrum/workers.h"

namespace {

struct Mode {
  const char *name;
  int logScale, dcCut, zoom4;
};

const Mode kModes[] = {{"linear", 0, 0, 0}, {"log", 1, 0, 0}, {"log+dcCut+zoom4", 1, 1, 1}};
const int kSizes[] = {256, 512, 1024};

// ours on `threads` threads in `mode`, one call.
void oursOnce(const Mode &mode, int threads) {
  const int taken = spectrumThreads;
  spectrumThreads = threads;
  computeSpectrum(mode.logScale, mode.dcCut, mode.zoom4, 0);
  spectrumThreads = taken;
}

// computeSpectrum on `threads` threads.
void ours(benchmark::State &state, Mode mode, int threads) {
  loadBenchPicture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    oursOnce(mode, threads);
    benchmark::DoNotOptimize(spectrumView.pixels[0]);
  }
}

// ours in linear mode with an edge taper, on `threads` threads, one call.
void taperedOnce(Taper taper, int threads) {
  spectrumOptions.taper = taper;
  oursOnce(kModes[0], threads);
  spectrumOptions.taper = Taper::none;
}

// computeSpectrum in linear mode with an edge taper, on `threads` threads.
void oursTapered(benchmark::State &state, Taper taper, int threads) {
  loadBenchPicture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    taperedOnce(taper, threads);
    benchmark::DoNotOptimize(spectrumView.pixels[0]);
  }
}

// The same job with FFTW's single-precision 2-D transform: grey levels in, grey bytes out, on
// `threads` threads: FFTW's own for the transform, our pool for the loops around it, each
// thread taking a band of rows.
struct FftwJob {
  int size;
  int threads;
  Mode mode;
  fftwf_complex *data;
  fftwf_plan plan;
  std::vector<float> magnitude;
  std::vector<float> bandHigh;
  std::vector<float> bandLow;
  float grey[kByteSums];
};

void startFftwJob(FftwJob &job, int size, Mode mode, int threads) {
  loadBenchPicture(size);
  job.size = size;
  job.threads = threads;
  job.mode = mode;
  const size_t count = static_cast<size_t>(size) * size;
  job.data = fftwf_alloc_complex(count);
  job.magnitude.assign(count, 0);
  job.bandHigh.assign(threads, 0);
  job.bandLow.assign(threads, 0);
  fftwf_plan_with_nthreads(threads);
  job.plan = fftwf_plan_dft_2d(size, size, job.data, job.data, FFTW_FORWARD, FFTW_MEASURE);
  for (int sum = 0; sum < kByteSums; ++sum) job.grey[sum] = greyOfByteSum(sum);
}

void endFftwJob(FftwJob &job) {
  fftwf_destroy_plan(job.plan);
  fftwf_free(job.data);
}

void runFftwJob(FftwJob &job) {
  const int size = job.size;
  const int threads = job.threads;
  const Mode mode = job.mode;
  fftwf_complex *const data = job.data;
  const float scale = 1.0f / static_cast<float>(size);
  // Rows first .. last - 1 of the band that worker takes.
  auto band = [size, threads](int worker, int limit, size_t &first, size_t &last) {
    first = static_cast<size_t>(limit) * worker / threads * size;
    last = static_cast<size_t>(limit) * (worker + 1) / threads * size;
  };
  runOnWorkers(threads, [&](int worker) {
    size_t first, last;
    band(worker, size, first, last);
    for (size_t i = first; i < last; ++i) {
      const std::uint8_t *p = benchPicture.data() + i * 3;
      data[i][0] = job.grey[byteSum(p)];
      data[i][1] = 0;
    }
  });
  fftwf_execute(job.plan);
  runOnWorkers(threads, [&](int worker) {
    size_t first, last;
    band(worker, size, first, last);
    float high = 0;
    float low = std::numeric_limits<float>::max();
    for (size_t i = first; i < last; ++i) {
      float v = std::sqrt(data[i][0] * data[i][0] + data[i][1] * data[i][1]) * scale;
      if (mode.logScale && v > 0) v = std::log(v);
      if (mode.dcCut && i == 0) v = 0;
      job.magnitude[i] = v;
      if (v > high) high = v;
      if (v < low) low = v;
    }
    job.bandHigh[worker] = high;
    job.bandLow[worker] = low;
  });
  float high = 0;
  float low = job.magnitude[0];
  for (int worker = 0; worker < threads; ++worker) {
    if (job.bandHigh[worker] > high) high = job.bandHigh[worker];
    if (job.bandLow[worker] < low) low = job.bandLow[worker];
  }
  const float factor = high > low ? 255.0f / (high - low) : 0;
  std::uint8_t *out = spectrumView.pixels;
  runOnWorkers(threads, [&](int worker) {
    size_t first, last;
    band(worker, size, first, last);
    if (!mode.zoom4) {
      for (size_t i = first; i < last; ++i) {
        out[3 * i] = out[3 * i + 1] = out[3 * i + 2] =
            static_cast<std::uint8_t>((job.magnitude[i] - low) * factor);
      }
      return;
    }
    for (size_t y = first / size; y < last / size; ++y) {
      for (int x = 0; x < size; ++x) {
        const size_t from = y / 4 * size + x / 4;
        const size_t to = (y * size + x) * 3;
        out[to] = out[to + 1] = out[to + 2] =
            static_cast<std::uint8_t>((job.magnitude[from] - low) * factor);
      }
    }
  });
  if (mode.dcCut) out[0] = out[1] = out[2] = 0;
  benchmark::DoNotOptimize(out[0]);
}

void fftw(benchmark::State &state, Mode mode, int threads) {
  FftwJob job;
  startFftwJob(job, static_cast<int>(state.range(0)), mode, threads);
  for (auto _ : state) runFftwJob(job);
  endFftwJob(job);
}

// FFTW's transform alone on one thread: how much of the job is the transform.
struct BareTransform {
  fftwf_complex *data;
  fftwf_plan plan;
};

void startBareTransform(BareTransform &bare, int size) {
  const size_t count = static_cast<size_t>(size) * size;
  bare.data = fftwf_alloc_complex(count);
  fftwf_plan_with_nthreads(1);
  bare.plan = fftwf_plan_dft_2d(size, size, bare.data, bare.data, FFTW_FORWARD, FFTW_MEASURE);
  for (size_t i = 0; i < count; ++i) {
    bare.data[i][0] = static_cast<float>(i % 255);
    bare.data[i][1] = 0;
  }
}

void endBareTransform(BareTransform &bare) {
  fftwf_destroy_plan(bare.plan);
  fftwf_free(bare.data);
}

void fftwTransformOnly(benchmark::State &state) {
  BareTransform bare;
  startBareTransform(bare, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    fftwf_execute(bare.plan);
    benchmark::DoNotOptimize(bare.data[0][0]);
  }
  endBareTransform(bare);
}

// Keeps every run's time per iteration so that main can print ours beside FFTW's.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> milliseconds;
  std::map<std::string, double> cpuMilliseconds;
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      milliseconds[run.benchmark_name()] =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
      cpuMilliseconds[run.benchmark_name()] =
          run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

std::string benchmarkName(const std::string &who, const Mode &mode, int size) {
  return who + "/" + mode.name + "/" + std::to_string(size) + "/process_time/real_time";
}

}  // namespace

int main(int argc, char **argv) {
  // Ours on the threads it takes by itself; FFTW on as many, and on one.
  spectrumThreads =
      threadCountFrom(std::getenv("BMPSPECTRUM_THREADS"), std::thread::hardware_concurrency());
  const int threads = spectrumThreads;
  fftwf_init_threads();
  const std::string fftwSame = "fftw-" + std::to_string(threads) + "-threads";
  for (const Mode &mode : kModes) {
    for (int size : kSizes) {
      // Process CPU time: every thread's work, what the job costs when the cores are busy.
      benchmark::RegisterBenchmark((std::string("ours/") + mode.name).c_str(), ours, mode, threads)
          ->Arg(size)
          ->Unit(benchmark::kMillisecond)
          ->MeasureProcessCPUTime()
          ->UseRealTime();
      // Ours on one thread: the work itself, without what two busy cores cost each other.
      benchmark::RegisterBenchmark((std::string("ours-1-thread/") + mode.name).c_str(), ours, mode,
                                   1)
          ->Arg(size)
          ->Unit(benchmark::kMillisecond)
          ->MeasureProcessCPUTime()
          ->UseRealTime();
      benchmark::RegisterBenchmark((fftwSame + "/" + mode.name).c_str(), fftw, mode, threads)
          ->Arg(size)
          ->Unit(benchmark::kMillisecond)
          ->MeasureProcessCPUTime()
          ->UseRealTime();
      benchmark::RegisterBenchmark((std::string("fftw-1-thread/") + mode.name).c_str(), fftw, mode,
                                   1)
          ->Arg(size)
          ->Unit(benchmark::kMillisecond)
          ->MeasureProcessCPUTime()
          ->UseRealTime();
    }
  }
  for (int size : kSizes) {
    benchmark::RegisterBenchmark("fftw-transform-only", fftwTransformOnly)
        ->Arg(size)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  for (Taper taper : {Taper::periodic, Taper::hann}) {
    benchmark::RegisterBenchmark((std::string("ours-taper/") + taperName(taper)).c_str(),
                                 oursTapered, taper, threads)
        ->Arg(1024)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
  }
  bool whole = true;
  for (int i = 1; i < argc; ++i) whole &= std::strncmp(argv[i], "--benchmark_filter", 18) != 0;
  benchmark::Initialize(&argc, argv);
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf(
      "\n%d threads. Wall-clock ms; cpu: ms of CPU time over all threads (ours1: ours on "
      "one thread).\n",
      threads);
  std::printf("%-16s %5s %8s %8s %8s %8s %8s %8s %8s %8s %8s %8s\n", "mode", "size", "ours",
              "fftw-N", "ratio-N", "fftw-1", "ratio-1", "ours cpu", "ours1 cpu", "fftwN cpu",
              "fftw1 cpu", "fft-only");
  for (const Mode &mode : kModes) {
    for (int size : kSizes) {
      const std::string names[] = {
          benchmarkName("ours", mode, size), benchmarkName(fftwSame, mode, size),
          benchmarkName("fftw-1-thread", mode, size), benchmarkName("ours-1-thread", mode, size)};
      bool complete = true;
      for (const std::string &name : names) complete &= reporter.milliseconds.count(name) > 0;
      if (!complete) continue;
      const double ours = reporter.milliseconds[names[0]];
      const double same = reporter.milliseconds[names[1]];
      const double single = reporter.milliseconds[names[2]];
      const auto transformTime =
          reporter.milliseconds.find("fftw-transform-only/" + std::to_string(size) + "/real_time");
      std::printf("%-16s %5d %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f\n",
                  mode.name, size, ours, same, ours / same, single, ours / single,
                  reporter.cpuMilliseconds[names[0]], reporter.cpuMilliseconds[names[3]],
                  reporter.cpuMilliseconds[names[1]], reporter.cpuMilliseconds[names[2]],
                  transformTime == reporter.milliseconds.end() ? 0.0 : transformTime->second);
    }
  }
  // The figures that have targets, at 1024 x 1024, each pair timed side by side: ours on one
  // thread against FFTW's bare transform on one thread (both CPU time), and ours on every thread
  // against FFTW's whole job on as many (wall-clock time). Only in a whole run: a filtered one
  // is someone looking at a part.
  if (whole) {
    std::printf(
        "\ntargets, 1024 x 1024, each pair side by side (medians of rounds that take both in "
        "turn):\n");
    // Bursts of eight calls after a pause of 2 ms: our threads watch for work for 200 us.
    constexpr Rounds kPairs{41, 8, 2, true};
    BareTransform bare;
    startBareTransform(bare, 1024);
    loadBenchPicture(1024);
    for (const Mode &mode : {kModes[0], kModes[1]}) {
      const SideBySide figures =
          sideBySide([&] { oursOnce(mode, 1); }, [&] { fftwf_execute(bare.plan); }, kPairs);
      std::printf(
          "  one thread, %-6s ours %5.2f ms CPU, FFTW's bare transform %5.2f ms CPU: %.2fx "
          "(target <= %.2fx)\n",
          mode.name, figures.first, figures.second, figures.ratio, mode.logScale ? 1.3 : 1.0);
    }
    endBareTransform(bare);
    for (const Mode &mode : kModes) {
      FftwJob job;
      startFftwJob(job, 1024, mode, threads);
      const SideBySide figures =
          sideBySide([&] { oursOnce(mode, threads); }, [&] { runFftwJob(job); },
                     Rounds{kPairs.count, kPairs.burst, kPairs.pauseMs, false});
      endFftwJob(job);
      std::printf(
          "  %d threads, %-15s ours %5.2f ms, FFTW's job %5.2f ms: %.2fx (target <= 0.50x)\n",
          threads, mode.name, figures.first, figures.second, figures.ratio);
    }
    // The tapers against the plain recompute they come with, on every thread (target:
    // periodic-plus-smooth at most twice the plain one).
    for (Taper taper : {Taper::periodic, Taper::hann}) {
      const SideBySide figures =
          sideBySide([&] { taperedOnce(taper, threads); }, [&] { oursOnce(kModes[0], threads); },
                     Rounds{kPairs.count, kPairs.burst, kPairs.pauseMs, false});
      std::printf(
          "  taper %-8s 1024: %5.2f ms, plain %5.2f ms: %.2fx (target for periodic <= 2.00x)\n",
          taperName(taper), figures.first, figures.second, figures.ratio);
    }
  }
  benchmark::Shutdown();
  return 0;
}
