// The plain, step-by-step spectrum computation that the fast one must match bit for bit.
#pragma once

// Same inputs, outputs and console text as computeSpectrum, one row and one column at a time.
void referenceComputeSpectrum(int logScale, int dcCut, int zoom4, int showOriginal);
