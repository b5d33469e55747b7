#pragma once
// Ring removal on a sinogram: a detector column that reads too high or too
// low in every projection (a dead or miscalibrated pixel) draws a ring in
// the slice.  Each column's values are sorted over the projections; the
// sorted sinogram is smoothed across columns (median of `size` neighbouring
// columns, an even size widened by one), and the difference between sorted
// and smoothed, the stripe, is subtracted from each value at its rank.
// size 0 (default) or 1 leaves the sinogram as it is.
//
// absorb holds nth rows (projections) of nx samples.  Re-entrant.
void removeRings(double* absorb, int nx, int nth, int size);

// Largest window accepted; beyond it a stripe filter no longer tells a
// stripe from the object.
constexpr int maxRingSize = 1001;
