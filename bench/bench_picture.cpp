// The benchmarks' picture and the spectrum storage it is analysed in.
#include "bench/bench_picture.h"

#include <cstdio>
#include <cstdlib>

#include "common/dib_view.h"
#include "spectrum/spectrum.h"

std::vector<std::uint8_t> benchPicture;

void loadBenchPicture(int size) {
  benchPicture.assign(static_cast<size_t>(size) * size * 3, 0);
  std::uint32_t state = 12345;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      state = state * 1664525u + 1013904223u;
      const int base = ((x / 16 + y / 16) % 2) * 100 + (x * y) % 50;
      for (int c = 0; c < 3; ++c) {
        benchPicture[(static_cast<size_t>(y) * size + x) * 3 + c] =
            static_cast<std::uint8_t>(base + ((state >> (8 + 8 * c)) & 0x3f));
      }
    }
  }
  sourceView.header = BmpInfoHeader{40, size, size, 1, 24, 0, 0, 0, 0, 0, 0};
  sourceView.pixels = benchPicture.data();
  releasePlanes();
  if (setUpSpectrumStorage() != SpectrumStorage::ready) {
    std::fprintf(stderr, "no memory for a %d x %d spectrum\n", size, size);
    std::exit(1);
  }
}
