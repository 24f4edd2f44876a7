// The picture both benchmarks time: loaded into sourceView with the spectrum's storage set up.
#pragma once

#include <cstdint>
#include <vector>

// The loaded picture's bytes: bottom-up rows of size * 3 bytes (a multiple of four).
extern std::vector<std::uint8_t> benchPicture;

// A size x size picture with structure and noise, so that magnitudes spread over the whole
// range, as sourceView; spectrumView and the planes set up as the program sets them up.
void loadBenchPicture(int size);
