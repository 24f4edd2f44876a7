// The two windows as the program uses them: the picture and its spectrum, from their records.
#pragma once

#include <string>

// Shows the picture window (sourceView, width x height pixels) and the spectrum window
// (spectrumView) beside it, and returns once both are on the screen or could not be; a picture
// too large for a window is said on standard error, and only the spectrum is shown. Main thread.
void startDisplay(int width, int height);

// The spectrum window shows spectrumView's pixels again. Any thread; returns at once.
void repaintSpectrum();

// Both windows close; returns once they are gone, or after about a second. Any thread.
void closeDisplay();

// What the title shows while the pointer is over pixel (x, y) of a window, y from the top; empty
// outside the image. The spectrum's: the signed frequency of the bin that pixel shows, in the
// current view, its period and angle and the value mapped to grey (the pixel and its grey level
// in the grey picture view). The picture's: the pixel and its colour. Any thread.
std::string spectrumReadout(int x, int y);
std::string pictureReadout(int x, int y);

// Writes the spectrum window's image as a PNG into the folder, named after the picture
// ("disk-spectrum.png", then "disk-spectrum-2.png" and on), never over an existing file; the
// path written, or empty with errno set. Any thread.
std::string saveSpectrumWindow(const char *folder);
