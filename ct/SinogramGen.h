#pragma once
// Builds the sinogram of one slice from a projection set with its I0 and BG.
// Re-entrant: several threads may build records from one (unchanging) set at
// once, each into its own HSgm.
#include <QString>

class HSgm;
class ImgDatas;

// A CoR with floor <= 0 or ceil >= the line length leaves the record as it was;
// a CoR within one pixel of the far edge gives an empty record (no samples);
// an I0 or BG image of another size than the projections leaves it too.
// lineShift (pixels, default 0) reads every image at line slice + lineShift,
// linearly between its two neighbouring lines (a drift along the axis); a
// position outside the image leaves the record too.
void genSinogram(ImgDatas& set, HSgm* hSgm, bool rotAxIsV, double cor, int slice, double lineShift = 0);

// Why the logarithms of one slice's samples refuse it: a projection with no
// count above BG (blankRow >= 0), or more invalid samples left unrepaired
// than the fraction maxInvalid of total (ct_max_invalid); empty when they do
// not. CT1, CT2 and the centre search take this one rule, so a slice
// reconstructed from clamped values is never taken for a result.
QString logarithmRefusal(const ImgDatas& set, long long invalid, long long repaired, long long total, int blankRow,
                         double maxInvalid);
