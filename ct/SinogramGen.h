#pragma once
// Builds the sinogram of one slice from a projection set with its I0 and BG.
// Re-entrant: several threads may build records from one (unchanging) set at
// once, each into its own HSgm.
class HSgm;
class ImgDatas;

// A CoR with floor <= 0 or ceil >= the line length leaves the record as it was;
// a CoR within one pixel of the far edge gives an empty record (no samples);
// an I0 or BG image of another size than the projections leaves it too.
// lineShift (pixels, default 0) reads every image at line slice + lineShift,
// linearly between its two neighbouring lines (a drift along the axis); a
// position outside the image leaves the record too.
void genSinogram(ImgDatas& set, HSgm* hSgm, bool rotAxIsV, double cor, int slice, double lineShift = 0);
