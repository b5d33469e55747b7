#pragma once
// Zinger removal: scattered X-rays leave single bright pixels on the
// detector, in projections and in I0 and BG images alike, and each draws a
// streak through a slice. A pixel that exceeds the median of its 3 x 3
// neighbourhood by more than threshold times the local noise is replaced
// by that median.
//
// The local noise is the larger of the neighbourhood's spread (1.4826 times
// the median absolute deviation of its 9 values from their median) and the
// image's own (the same measure of every pixel's difference from its
// neighbourhood median, over the whole image), so a flat patch of a smooth
// image does not make every small step look like a zinger. threshold is in
// those noise units (5 .. 10 suits counting noise); 0 (default) is off.
//
// img: w x h values, row-major; changed in place. Returns the pixels
// replaced. Border pixels use the neighbours that exist (edge values
// repeated). Re-entrant.
int removeZingers(float* img, int w, int h, double threshold);

// Largest threshold accepted (beyond it nothing is ever a zinger).
constexpr double maxZingerThreshold = 1000.0;
