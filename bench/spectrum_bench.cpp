// Times computeSpectrum and the same job done with FFTW on the same pictures, and prints the ratio.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "common/dib_view.h"
#include "spectrum/spectrum.h"

namespace {

struct Mode {
  const char *name;
  int logScale, dcCut, zoom4;
};

const Mode kModes[] = {{"linear", 0, 0, 0}, {"log", 1, 0, 0}, {"log+dcCut+zoom4", 1, 1, 1}};
const int kSizes[] = {256, 512, 1024};

std::vector<std::uint8_t> picture;
std::vector<std::uint8_t> spectrumPixels;

// A picture with structure and noise, so that magnitudes spread over the whole range.
void loadPicture(int size) {
  picture.assign(static_cast<size_t>(size) * size * 3, 0);
  std::uint32_t state = 12345;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      state = state * 1664525u + 1013904223u;
      const int base = ((x / 16 + y / 16) % 2) * 100 + (x * y) % 50;
      for (int c = 0; c < 3; ++c) {
        picture[(static_cast<size_t>(y) * size + x) * 3 + c] =
            static_cast<std::uint8_t>(base + ((state >> (8 + 8 * c)) & 0x3f));
      }
    }
  }
  sourceView.header = BITMAPINFOHEADER{40, size, size, 1, 24, 0, 0, 0, 0, 0, 0};
  sourceView.pixels = picture.data();
  spectrumView.header = sourceView.header;
  spectrumView.header.biSizeImage = static_cast<DWORD>(size * size * 3);
  spectrumPixels.assign(spectrumView.header.biSizeImage, 0);
  spectrumView.pixels = spectrumPixels.data();
  for (int y = 0; y < kPlaneCapacity; ++y) {
    float **planes[] = {&realPlane[y], &imagPlane[y], &magnitudePlane[y]};
    for (float **row : planes) {
      std::free(*row);
      *row = y < size ? static_cast<float *>(std::calloc(kPlaneCapacity, sizeof(float))) : nullptr;
    }
  }
}

void ours(benchmark::State &state, Mode mode) {
  loadPicture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    computeSpectrum(mode.logScale, mode.dcCut, mode.zoom4, 0);
    benchmark::DoNotOptimize(spectrumView.pixels[0]);
  }
}

// The same job with FFTW's single-precision 2-D transform: grey levels in, grey bytes out.
void fftw(benchmark::State &state, Mode mode) {
  const int size = static_cast<int>(state.range(0));
  loadPicture(size);
  const size_t count = static_cast<size_t>(size) * size;
  fftwf_complex *data = fftwf_alloc_complex(count);
  std::vector<float> magnitude(count);
  fftwf_plan plan = fftwf_plan_dft_2d(size, size, data, data, FFTW_FORWARD, FFTW_MEASURE);
  const float scale = 1.0f / static_cast<float>(size);
  float grey[766];
  for (int sum = 0; sum < 766; ++sum) grey[sum] = static_cast<float>(sum / 3.0);
  for (auto _ : state) {
    for (size_t i = 0; i < count; ++i) {
      const std::uint8_t *p = picture.data() + i * 3;
      data[i][0] = grey[p[0] + p[1] + p[2]];
      data[i][1] = 0;
    }
    fftwf_execute(plan);
    for (size_t i = 0; i < count; ++i) {
      float v = std::sqrt(data[i][0] * data[i][0] + data[i][1] * data[i][1]) * scale;
      if (mode.logScale && v > 0) v = std::log(v);
      magnitude[i] = v;
    }
    if (mode.dcCut) magnitude[0] = 0;
    float high = 0;
    float low = magnitude[0];
    for (float v : magnitude) {
      if (v > high) high = v;
      if (v < low) low = v;
    }
    const float factor = high > low ? 255.0f / (high - low) : 0;
    std::uint8_t *out = spectrumView.pixels;
    if (!mode.zoom4) {
      for (size_t i = 0; i < count; ++i) {
        out[3 * i] = out[3 * i + 1] = out[3 * i + 2] =
            static_cast<std::uint8_t>((magnitude[i] - low) * factor);
      }
    } else {
      for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
          const size_t from = static_cast<size_t>(y / 4) * size + x / 4;
          const size_t to = (static_cast<size_t>(y) * size + x) * 3;
          out[to] = out[to + 1] = out[to + 2] =
              static_cast<std::uint8_t>((magnitude[from] - low) * factor);
        }
      }
    }
    if (mode.dcCut) out[0] = out[1] = out[2] = 0;
    benchmark::DoNotOptimize(out[0]);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(data);
}

// FFTW's transform alone, for reading the table: how much of the job is the transform.
void fftwTransformOnly(benchmark::State &state) {
  const int size = static_cast<int>(state.range(0));
  const size_t count = static_cast<size_t>(size) * size;
  fftwf_complex *data = fftwf_alloc_complex(count);
  fftwf_plan plan = fftwf_plan_dft_2d(size, size, data, data, FFTW_FORWARD, FFTW_MEASURE);
  for (size_t i = 0; i < count; ++i) {
    data[i][0] = static_cast<float>(i % 255);
    data[i][1] = 0;
  }
  for (auto _ : state) {
    fftwf_execute(plan);
    benchmark::DoNotOptimize(data[0][0]);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(data);
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

std::string benchmarkName(const char *who, const Mode &mode, int size) {
  // Ours measures the process's CPU time, which shows in its name.
  const char *clock = std::string(who) == "ours" ? "/process_time" : "";
  return std::string(who) + "/" + mode.name + "/" + std::to_string(size) + clock + "/real_time";
}

}  // namespace

int main(int argc, char **argv) {
  for (const Mode &mode : kModes) {
    for (int size : kSizes) {
      // Process CPU time: both threads' work, what the job costs when the cores are busy.
      benchmark::RegisterBenchmark((std::string("ours/") + mode.name).c_str(), ours, mode)
          ->Arg(size)
          ->Unit(benchmark::kMillisecond)
          ->MeasureProcessCPUTime()
          ->UseRealTime();
      benchmark::RegisterBenchmark((std::string("fftw/") + mode.name).c_str(), fftw, mode)
          ->Arg(size)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  for (int size : kSizes) {
    benchmark::RegisterBenchmark("fftw-transform-only", fftwTransformOnly)
        ->Arg(size)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\n%-16s %6s %9s %9s %6s %13s %13s %15s\n", "mode", "size", "ours ms", "fftw ms",
              "ratio", "ours cpu ms", "fftw cpu ms", "fftw fft-only ms");
  for (const Mode &mode : kModes) {
    for (int size : kSizes) {
      const auto ourTime = reporter.milliseconds.find(benchmarkName("ours", mode, size));
      const auto fftwTime = reporter.milliseconds.find(benchmarkName("fftw", mode, size));
      if (ourTime == reporter.milliseconds.end() || fftwTime == reporter.milliseconds.end()) {
        continue;
      }
      const auto transformTime =
          reporter.milliseconds.find("fftw-transform-only/" + std::to_string(size) + "/real_time");
      std::printf("%-16s %6d %9.2f %9.2f %6.2f %13.2f %13.2f %15.2f\n", mode.name, size,
                  ourTime->second, fftwTime->second, ourTime->second / fftwTime->second,
                  reporter.cpuMilliseconds[ourTime->first],
                  reporter.cpuMilliseconds[fftwTime->first],
                  transformTime == reporter.milliseconds.end() ? 0.0 : transformTime->second);
    }
  }
  benchmark::Shutdown();
  return 0;
}
