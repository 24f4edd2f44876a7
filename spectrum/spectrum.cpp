// Placeholder until the spectrum engine lands: computes nothing.
#include "spectrum/spectrum.h"

void computeSpectrum(int, int, int, int) {}
