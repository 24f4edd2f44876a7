// The two-dimensional magnitude spectrum of the analysed rectangle, rendered as a grey image.
#pragma once

// Recomputes spectrumView's pixels from sourceView in the given mode, printing the row maximum,
// the column counter and the range; with showOriginal set, writes the grey picture instead.
void computeSpectrum(int logScale, int dcCut, int zoom4, int showOriginal);
