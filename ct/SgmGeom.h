#pragma once
// Where the samples of a sinogram line lie: symmetric about the centre of
// rotation, as far as the nearer edge of the detector line allows.

struct SgmGeom
{
    bool rotAxIsV = false;
    int half = 0;      // whole pixels from the CoR to the nearer edge; 0 means no samples
    int nx = 0;        // 2 * half - 1, or 0 when half is 0
    int corInt = 0;
    double cor = 0.0;
    double corFrac = 0.0;
    int dim = 0;       // length of the detector line
};

SgmGeom makeSgmGeom(bool rotAxIsV, int dim, double cor);

// Pixel of the reconstructed slice (x, and z at a right angle) at detector
// position d: the slice is centred on the CoR, which lands on pixel half - 1,
// so an off-centre axis shifts the whole field.
inline double slicePosition(const SgmGeom& g, double d)
{
    return d - g.cor + (g.half - 1);
}

// out[0 .. nx-1] from the detector line v[0 .. dim-1], linearly interpolated
// at cor + j - (half - 1).
void sampleLine(const double* v, double* out, const SgmGeom& geom);
// out[0 .. nx-1]: whether sample j takes a part of a pixel marked in
// pixelBad[0 .. dim-1] (either pixel it lies between, or the one it lies on).
// Interpolation would hide a dead pixel: taken at half weight beside a live
// one it gives a plausible, wrong value.
void sampleMask(const unsigned char* pixelBad, unsigned char* out, const SgmGeom& geom);

// Absorbance ln((I0 - BG) / (I - BG)) of n samples; a difference <= 0 becomes 1
// so dead and dark pixels stay finite.  Without an I0 line (null) I0 is 1,
// without a BG line BG is 0.
void absorbanceRow(const double* i0, const double* bg, const double* intensity,
                   double* out, int n);
double absorbance(double i0, double bg, double intensity);

// What a sinogram row's logarithms were like.
struct SampleCheck
{
    int invalid = 0;       // samples with no logarithm (repaired ones included)
    int repaired = 0;      // of them, isolated ones replaced from their neighbours
    bool noCount = false;  // no sample of the row above BG
};

// absorbanceRow that says what it could not take: a sample is invalid when
// I0 - BG <= 0 (only with an I0 line: without one I0 is 1 by choice),
// I - BG <= 0, a value is not finite, or sampleBad (when given) marks it
// (it takes a part of a detector pixel that is one of these). A run of at
// most longestRepair invalid samples between valid ones (one dead pixel, one
// bad I0 pixel: one sample, or two when the samples lie between pixels) is
// interpolated from its neighbours (at an end of the row: the neighbour's
// value); the others keep the clamped value of absorbance() (0 when not
// finite).
SampleCheck absorbanceRowChecked(const double* i0, const double* bg, const double* intensity, double* out, int n,
                                 const unsigned char* sampleBad = nullptr, int longestRepair = 1);
