#pragma once
// The projections of a run after the corrections that need whole images,
// made once at the start of the run and read by every slice in place of
// the loaded series:
//   binning      sums of factor x factor pixels of projections, I0 and BG
//   zingers      bright single pixels replaced (removeZingers), in
//                projections and in I0, BG and the I0 taken after the scan
//   phase        flat-corrected projections filtered (PaganinFilter)
//   offset axis  projections p and p + n/2 of a full turn joined (OffsetJoin)
// With binning and zingers only, the set holds corrected counts with their
// own I0 and BG, so the sinogram's arithmetic is the usual one; with phase
// retrieval or an offset axis it holds flat-corrected transmissions and no
// I0 or BG (the sinogram's -ln then gives the absorbance).
//
// build() makes FFTW plans: main thread. It spreads the images over
// `threads` threads of its own and waits for them. In two steps, so the
// work can go to another thread: prepare() (checks and plans, main thread),
// make() (any thread; the source must not change meanwhile), finish() (the
// plans go, main thread).
#include "LineBand.h"
#include "PaganinFilter.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <memory>

class HSgm;
class ImgData;
class ImgDatas;
struct CtCond;

struct Corrections
{
    // Zinger threshold in noise units; 0 (default): off.
    double zingerThreshold = 0;
    PaganinParams paganin;
    // 1 (default), 2 or 4.
    int binning = 1;
    // Offset-axis full turn: centre (on the binned detector line) of the
    // join; below 0 (default): no join.
    double offsetCor = -1;
    // Flat-corrected pixels without a logarithm (I0 - BG <= 0 or I - BG <= 0)
    // allowed, as a fraction of all (the run's ct_max_invalid); with more the
    // correction fails rather than filter clamped values into the slices.
    double maxInvalid = 0.001;
    // The detector lines corrected (whole, the default: every line loaded).
    LineBand lines;

    bool any() const { return zingerThreshold > 0 || paganin.on() || binning > 1 || offsetCor >= 0; }
    // The corrections conditions c ask for (c before binning).
    static Corrections of(const CtCond& c);
};

class CorrectedSeries
{
public:
    CorrectedSeries();
    ~CorrectedSeries();

    // Corrects `source` (with its I0, BG and I0 after) for a run whose axis
    // is vertical (rotAxIsV) or not, with pixels of pixelUm micrometres
    // (before binning). False with *why set when it cannot (settings a
    // correction refuses, a series too short or odd for an offset join).
    bool build(ImgDatas& source, bool rotAxIsV, double pixelUm, const Corrections& c, int threads, QString* why);
    bool prepare(ImgDatas& source, bool rotAxIsV, double pixelUm, const Corrections& c, int threads, QString* why);
    // Stops early (false) when *cancel turns true; counts the corrected
    // projections made in *done. Either may be null.
    bool make(const std::atomic<bool>* cancel, std::atomic<int>* done, QString* why);
    void finish();
    // Corrected projections a prepared make() makes.
    int total = 0;

    // Why the corrected copy of source, with the buffers of `threads`
    // threads, does not fit in the memory a run may take (memoryBudgetBytes;
    // a budget set by hand holds the series too); empty when it fits.
    static QString memoryProblem(const ImgDatas& source, bool rotAxIsV, double pixelUm, const Corrections& c,
                                 int threads);

    ImgDatas* set() const { return out.get(); }

    // The detector lines slices a to b (either order) need under c's
    // corrections: their own, the lines zinger removal and phase retrieval
    // reach beyond them (*margin, 0 without), whole binned lines. Without
    // corrections LineBand::ofSlices(a, b).
    static LineBand linesFor(const CtCond& c, int a, int b, int* margin = nullptr);

    // The sinogram of slice c.sliceNo (on the detector) after c's zinger
    // removal, phase retrieval, binning and offset-axis join, made from
    // the lines those reach around it (as a run loading only its slices'
    // lines makes it). False with *why when c's corrections cannot be
    // made; h is then untouched. Main thread (FFTW plans).
    static bool sinogramOf(ImgDatas& raw, const CtCond& c, HSgm* h, QString* why);
    // Pixels replaced in each projection, and in I0, BG and I0 after.
    QVector<int> zingersPerImage;
    int zingersI0 = 0, zingersBg = 0, zingersI0After = 0;
    // Centre on the joined lines (offset axis).
    double joinedCor = -1;

private:
    struct Plan;
    std::unique_ptr<Plan> plan;
    std::unique_ptr<ImgDatas> out;
    std::unique_ptr<ImgData> i0, bg, i0After;
    ImgData* i0Ptr = nullptr;
    ImgData* bgPtr = nullptr;
    ImgData* i0AfterPtr = nullptr;
};
