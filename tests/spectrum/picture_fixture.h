// Small pictures made by the tests, loaded into sourceView with spectrumView and planes ready.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// Loads a black width x height picture (rows padded to 4 bytes) into sourceView, sizes
// spectrumView to the largest powers of two that fit, fills its pixels with kUntouched and
// allocates zeroed plane rows below H2, as the main flow does.
void setUpPicture(int width, int height);
// Releases what setUpPicture obtained and empties the records.
void tearDownPicture();

// The byte the spectrum buffer starts with, so a test can tell which pixels were written.
constexpr std::uint8_t kUntouched = 0xA5;

// The three bytes (blue, green, red) of the picture's pixel at column x, counted from the top row.
std::uint8_t *pictureBytes(int x, int rowFromTop);
void setPictureGrey(int x, int rowFromTop, std::uint8_t b, std::uint8_t g, std::uint8_t r);
// Every pixel of the picture gets the same three bytes.
void fillPicture(std::uint8_t b, std::uint8_t g, std::uint8_t r);

// Spectrum pixel (x, y), y counted from the bottom; fails the test if its three bytes differ.
int spectrumPixel(int x, int y);
// The whole spectrum buffer, for comparisons.
std::vector<std::uint8_t> spectrumBytes();
// Bit patterns of the used rows of a plane, so that -0 and +0 count as different: columns 0 to
// W2 - 1 and the 16 beyond (an overrun shows there). bits keeps its storage between calls.
void planeBits(float *const *plane, std::vector<std::uint32_t> &bits);

// Clears the scripted console and tears the picture down after each test.
class PictureTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// A setting of computeSpectrum (its kernel set, its thread count) changed for one test and set
// back however the test ends, a failed assertion included.
template <typename T>
class SettingRestored {
 public:
  explicit SettingRestored(T &setting) : setting_(setting), saved_(setting) {}
  SettingRestored(T &setting, T value) : SettingRestored(setting) { setting_ = value; }
  ~SettingRestored() { setting_ = saved_; }
  SettingRestored(const SettingRestored &) = delete;
  SettingRestored &operator=(const SettingRestored &) = delete;

 private:
  T &setting_;
  T saved_;
};
