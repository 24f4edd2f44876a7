// The two-dimensional magnitude spectrum of the analysed rectangle, rendered as a grey image.
#pragma once

// Recomputes spectrumView's pixels from sourceView in the given mode, printing the row maximum,
// the column counter and the range; with showOriginal set, writes the grey picture instead.
void computeSpectrum(int logScale, int dcCut, int zoom4, int showOriginal);

// The largest power of two not above n (n >= 1).
int powerOfTwoFloor(int n);

// What memory could not give when the spectrum's storage was set up.
enum class SpectrumStorage { ready, noPixels, noRealOrImagPlane, noMagnitudePlane };

// Sizes spectrumView to the analysed rectangle of sourceView (its largest top-left power-of-two
// rectangle, at most kPlaneCapacity a side) and gives it zero-filled pixels, then gives the three
// planes their rows; stops at the first that memory cannot give.
SpectrumStorage setUpSpectrumStorage();
