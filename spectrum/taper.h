// Edge tapers: the grey levels of the analysed rectangle changed before the transform, so that
// the jumps between opposite edges do not draw a bright cross on the spectrum's axes.
#pragma once

enum class Taper {
  none,
  // Periodic-plus-smooth decomposition: the smooth component, which carries the edge jumps, is
  // subtracted, leaving a picture whose opposite edges meet.
  periodic,
  // Hann window in both directions: the borders fade to black.
  hann
};

// "none", "periodic" or "hann".
const char *taperName(Taper taper);
// The taper of that name; false when the name is none of them.
bool taperNamed(const char *name, Taper *taper);

// Replaces grey[y][x] (h2 rows of w2 levels, w2 and h2 powers of two up to 1024) by its tapered
// level; nothing for Taper::none. Runs on up to `threads` threads.
void applyTaper(Taper taper, float *const *grey, int w2, int h2, int threads);
