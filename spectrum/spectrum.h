// The two-dimensional magnitude spectrum of the analysed rectangle, rendered as a grey image.
#pragma once

#include <mutex>

#include "spectrum/taper.h"

// Recomputes spectrumView's pixels from sourceView in the given mode, printing the row maximum,
// the column counter and the range; with showOriginal set, writes the grey picture instead.
// Holds spectrumComputeLock throughout.
void computeSpectrum(int logScale, int dcCut, int zoom4, int showOriginal);

// How the windows show the spectrum beyond the console's four switches. Read and written under
// spectrumComputeLock.
struct SpectrumOptions {
  // The DC term at the centre: the normal view shifted by half its width and height, and the
  // four-fold view magnifying the block around the DC term.
  bool centred = false;
  // What the grey levels go through before the transform.
  Taper taper = Taper::none;
};
extern SpectrumOptions spectrumOptions;

// The bin that column or row `shown` of an n-wide view holds (rows counted from the bottom): the
// pixel itself, a 4 x 4 block of the lowest bins four-fold, moved cyclically when centred (by
// half the view, or four-fold to start at bin -n/8).
inline int binShownAt(int shown, int n, bool fourFold, bool centred) {
  const int shift = !centred ? 0 : fourFold ? n - n / 8 : n / 2;
  return ((fourFold ? shown / 4 : shown) + shift) % n;
}

// The four switches of the last computation, under spectrumComputeLock.
struct SpectrumSwitches {
  int logScale = 0, dcCut = 0, zoom4 = 0, showOriginal = 0;
};
extern SpectrumSwitches spectrumSwitches;

// Held while the spectrum, its planes and the two records above change: by computeSpectrum, and
// by whoever reads the planes from another thread.
extern std::mutex spectrumComputeLock;

// Computes the spectrum again in the last switches and the current options, printing nothing.
// Any thread.
void recomputeSpectrumQuietly();

// The largest power of two not above n (n >= 1).
int powerOfTwoFloor(int n);

// What memory could not give when the spectrum's storage was set up.
enum class SpectrumStorage { ready, noPixels, noRealOrImagPlane, noMagnitudePlane };

// Sizes spectrumView to the analysed rectangle of sourceView (its largest top-left power-of-two
// rectangle, at most kPlaneCapacity a side) and gives it zero-filled pixels, then gives the three
// planes their rows; stops at the first that memory cannot give.
SpectrumStorage setUpSpectrumStorage();
