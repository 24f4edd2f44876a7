// Checks that the fuzz targets and the corpus replay run on one input: empty when it held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Everything the program printed through the console during the current check.
extern std::string fuzzConsoleOutput;

// Reads the bytes as a BMP file and compares the outcome with what the file's headers call for:
// the one right message or the right pixels, no more memory than the file justifies.
std::string checkBitmapInput(const std::uint8_t *data, std::size_t size);

// Feeds the bytes to the key decoder as pairs (timing, byte) and checks every code it yields
// against the escape-sequence grammar.
std::string checkKeyInput(const std::uint8_t *data, std::size_t size);
