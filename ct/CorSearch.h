#pragma once
// Automatic centre of rotation for one slice.
//
// Coarse: the slopes of the first projection, mirrored, against those of
// the last one (exact when the series ends at 180 degrees; otherwise the
// first extrapolated one step back matches better, and the better match is
// taken), cross-correlated over every centre of the search range; the peak
// is read to 1/32 pixel from the band-limited correlation.
// Fine: trial slices reconstructed within a pixel of the coarse value from
// ramp-filtered detector lines (binned on wide detectors); a centre error
// blurs the slice without changing its energy, so the measure is the
// slice's L1 norm (its negative lobes grow with the error), minimised to
// `precision` pixels. Its result is taken only within a quarter pixel of
// the coarse value (large smooth objects pull it further where the 0/180
// value is exact); otherwise, or when the best trial lies at the window's
// edge, the coarse value stands.
// Questionable: no match at all (flat measure), a rival peak of the 0/180
// comparison nearly as high, or a centre at the edge of the search range.
//
// Makes FFTW plans: call it only in the main (GUI) thread.
#include <QString>

#include <memory>
#include <vector>

class ImgDatas;

struct CorSearchOptions
{
    // Lowest and highest centre tried, in detector pixels; below 0 (default):
    // the whole line.
    double from = -1;
    double to = -1;
    // Resolution of the last stage, pixels (default 0.1).
    double precision = 0.1;
    // Fraction of the line's samples that may lack a logarithm, as a run's
    // ct_max_invalid (default 0.001); more refuses the search.
    double maxInvalid = 0.001;
};

struct CorResult
{
    bool valid = false;     // false: nothing to search (too few samples or projections)
    double cor = 0;         // the centre, detector pixels, in hundredths
    double coarse = 0;      // the estimate of the 0/180 comparison
    bool refined = false;   // the sharpness search moved it to cor
    double match = 0;       // how well the 0/180 pair matched (correlation, 0 .. 1)
    bool sound = false;
    QString reason;         // why questionable; empty when sound or invalid
    // The fine stage's trials: centre and measure (lower is sharper).
    std::vector<double> trialCor;
    std::vector<double> trialMeasure;

    // "1013.72 (sound)" or "1013.72 (questionable: flat measure)".
    QString text() const;
};

// lines: nth projections of dim absorbance values each (row = projection,
// projection p at angle pi * p / nth).
CorResult findCor(const double* lines, int dim, int nth, const CorSearchOptions& options = {});

// Trial slices of one slice about any centre of a range lo .. hi (detector
// pixels), as the fine search makes them: ramp-filtered lines (binned on
// wide detectors, at most 1000 projections) and a disk about the axis that
// every centre of the range reconstructs in full, so no trial loses a part
// of the object that another one sees.
class CorTrialSet;

// Null when the range leaves a disk under 8 pixels in radius (or the lines
// are too few). angles: radians of each of the nth projections; empty:
// pi p / nth. wholeObject: the lines are taken as zero beyond the detector
// (an object inside the field of view), so the disk reaches past its edges
// and holds the whole object for every centre of a wide range; off
// (default), the disk stays on the line and each line's mean is removed.
// Makes FFTW plans: call it only in the main (GUI) thread.
std::shared_ptr<const CorTrialSet> makeCorTrialSet(const double* lines, int dim, int nth, double lo, double hi,
                                                   const std::vector<double>& angles = {},
                                                   bool wholeObject = false);
// The sharpness measure of the trial slice about centre c (lo <= c <= hi):
// its L1 norm per pixel, lower is sharper. picture, when given, receives the
// slice, side x side values (row = z, 0 outside the disk). Reads the set
// only: any thread.
double corTrial(const CorTrialSet& set, double c, std::vector<double>* picture = nullptr, int* side = nullptr);

// Absorbance of the whole detector line `slice` of every projection (a row
// for a vertical axis, else a column), I0 and BG applied as for a sinogram,
// isolated invalid samples repaired. False with why set when the set has no
// such line, unusable references, or logarithms a run would refuse (a
// projection with no count above BG, more than maxInvalid of the samples
// invalid): a centre found on clamped values would be a wrong one.
bool absorbanceLines(ImgDatas& set, bool rotAxIsV, int slice, std::vector<double>& out, int& dim,
                     QString* why = nullptr, double maxInvalid = CorSearchOptions().maxInvalid);

// Both of the above; an invalid result carries the reason in `reason`.
CorResult findCor(ImgDatas& set, bool rotAxIsV, int slice, const CorSearchOptions& options = {});
// The centre of an offset-axis full turn (n even, projection n/2 at 180
// degrees from projection 0), on the detector line: the 0/180 comparison
// alone, which finds an axis near an edge as well as one in the middle.
CorResult findOffsetCor(ImgDatas& set, bool rotAxIsV, int slice, const CorSearchOptions& options = {});

// A centre that moves along the axis (a tilted axis): cor(slice) = at0 + slope * slice,
// fitted through the sound centres of several slices.
struct CorLine
{
    bool valid = false;
    double at0 = 0;
    double slope = 0;       // pixels per slice
    double residual = 0;    // rms distance of the centres used from the line, pixels
    std::vector<int> slices;        // the slices searched
    std::vector<CorResult> results; // their centres
    int used = 0;           // how many were sound and went into the fit
    QString reason;         // why there is no line

    double at(int slice) const { return at0 + slope * slice; }
    // "Centre of rotation 126.00 + 0.0635 per slice (residual 0.04 px, 8 slices)".
    QString text() const;
};

// Least-squares line through the sound results; needs two of them.
CorLine fitCorLine(const std::vector<int>& slices, const std::vector<CorResult>& results);
// The centre of `count` slices spread evenly over from .. to, and their line.
CorLine findCorLine(ImgDatas& set, bool rotAxIsV, int from, int to, int count = 8,
                    const CorSearchOptions& options = {});
