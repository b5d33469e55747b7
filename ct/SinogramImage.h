#pragma once
// Pictures of a sinogram record and of slices, kept free of widgets so that
// panels and tests share them.
#include "HSgm.h"

#include <QImage>

#include <vector>

class ColorScale;

// Range of the intensities with strict comparisons, starting from the largest
// finite double and its negative.  False when nothing compared (no data, or
// every value NaN); minV and maxV then keep those start values.
bool sinogramRange(const HSgm& sgm, double& minV, double& maxV);

// nx x 2*nth grey picture: row p holds projection p, row nth + p the same
// projection mirrored left to right (the second half-turn).  Null without data.
// A record with its own angles is drawn over the full turn by angle: row y
// (at 180 y / nth degrees) holds the projection nearest that angle, mirrored
// when it is the projection taken half a turn earlier.
QImage sinogramImage(const HSgm& sgm, const ColorScale& scale);

// The projection shown in each row of that picture: p, or -1 - p when row y
// shows projection p mirrored.  2*nth entries; empty without data.
std::vector<int> sinogramRows(const HSgm& sgm);

// Intensity shown at pixel (x, y) of sinogramImage, following the mirroring
// in the lower half.  False outside the picture or without data.
bool sinogramValueAt(const HSgm& sgm, double x, double y, double& value);

// Magnitudes of the 2-D Fourier transform of the shown (mirrored) sinogram
// scaled by 1 / (2 nx nth): 2*nth rows of nx values, centred: frequency
// (0, 0) at row nth, column nx / 2; angular frequency k at row nth + k.  Makes an FFTW plan, so the GUI thread only.  False (and mag
// empty) without data or when the transform would not fit in memory.
bool fourierSinogram(const HSgm& sgm, std::vector<double>& mag);

// The intensities with the ring-removal stripe filter of that window size
// applied (the filter the reconstruction applies to absorbances), so the
// pictures show what it takes away; no absorbances.  Empty without data.
HSgm stripeFiltered(const HSgm& sgm, int size);

// w x h grey picture of row-major values through a colour scale.
QImage greyImage(const double* values, int w, int h, const ColorScale& scale);
