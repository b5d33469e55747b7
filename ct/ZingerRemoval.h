#pragma once
// Zinger removal: scattered X-rays leave single bright pixels on the
// detector, in projections and in I0 and BG images alike, and each draws a
// streak through a slice. A pixel that exceeds the median of its 3 x 3
// neighbourhood by more than threshold times the local noise is replaced
// by that median.
//
// The local noise is 1.4826 times the larger of two medians: of the 24
// neighbours' own differences from their 3 x 3 medians in the 5 x 5
// neighbourhood (noise, structure taken out), and of the 9 values'
// differences from the pixel's median (a corner or thin line of the object
// spreads them); and at least the first measure over the whole image, so a
// flat patch of a smooth image does not make every small step look like a
// zinger. A pixel above every one of its 8 neighbours by threshold times
// the first measure is replaced too: a zinger on an edge of the object.
// One on an edge that stays below the edge's bright side is left. threshold is in those noise
// units (5 .. 10 suits counting noise); 0 (default) is off.
//
// img: w x h values, row-major; changed in place. Returns the pixels
// replaced. Border pixels use the neighbours that exist (edge values
// repeated). Re-entrant.
int removeZingers(float* img, int w, int h, double threshold);

// Largest threshold accepted (beyond it nothing is ever a zinger).
constexpr double maxZingerThreshold = 1000.0;
