// The two windows as the program uses them: the picture and its spectrum, from their records.
#pragma once

// Shows the picture window (sourceView, width x height pixels) and the spectrum window
// (spectrumView) beside it, and returns once both are on the screen or could not be; a picture
// too large for a window is said on standard error, and only the spectrum is shown. Main thread.
void startDisplay(int width, int height);

// The spectrum window shows spectrumView's pixels again. Any thread; returns at once.
void repaintSpectrum();

// Both windows close; returns once they are gone, or after about a second. Any thread.
void closeDisplay();
