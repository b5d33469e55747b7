#pragma once
// The run conditions copied from the process control panel when a run starts.
#include "FbpFilter.h"
#include "PaganinFilter.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

// How the projections of a series cover the turn.
enum class AngularRange {
    Half,          // n images over a half turn, angles pi p / n (default)
    HalfInclusive, // n + 1 images ending at 180 degrees: the last is dropped
    Full,          // n images over a full turn, angles 2 pi p / n
    FullOffset,    // n images over a full turn with the axis near one edge:
                   // p and p + n/2 joined, then a half turn of n/2
};

struct CtCond
{
    bool ct1 = false;
    bool ct2 = false;
    bool rotAxIsV = false;
    int sliceNo = 0;
    double cor = 0.0;
    bool autoExec = false;
    int from = 0;
    int to = 0;
    int step = 0;  // always points from `from` toward `to`
    int threads = 0;
    // The back-projection's filter and cutoff.
    FbpFilter filter;
    // Detector pixel size in micrometres; 0 (default): not given.
    double pixelSizeUm = 0.0;
    // Ring removal window in detector columns; 0 (default): off.
    int ringSize = 0;
    AngularRange angles = AngularRange::Half;
    // Zinger removal threshold in noise units (removeZingers); 0 (default): off.
    double zingerThreshold = 0.0;
    // Phase retrieval (PaganinFilter); all 0 (default): off.
    PaganinParams paganin;
    // Detector binning 1 (default), 2 or 4: centre, slices and pixel size
    // are given unbinned and divided at the start of the run.
    int binning = 1;
    // Fraction of a slice's sinogram samples that may lack a logarithm
    // (I0 - BG <= 0, I - BG <= 0, not finite) once isolated ones are
    // repaired; more refuses the slice. Default 0.001 (0.1 %).
    double maxInvalid = 0.001;
    // A tilted axis: slice s is reconstructed about corAt0 + corSlope * s.
    bool corFit = false;
    double corAt0 = 0.0;
    double corSlope = 0.0;

    // The centre slice s is reconstructed about.
    double corOf(long long slice) const { return corFit ? corAt0 + corSlope * double(slice) : cor; }

    // Zinger removal, phase retrieval, binning or an offset-axis join: the
    // projections are corrected before their sinograms are made.
    bool correctsImages() const
    {
        return zingerThreshold > 0 || paganin.on() || binning > 1 || angles == AngularRange::FullOffset;
    }

    // The conditions on detector images binned by b: centre (and its
    // line), slices and series divided, pixel size multiplied.
    CtCond binnedBy(int b) const;

    // from, to and step out of the texts of the series fields.
    void setSeries(const QString& fromText, const QString& toText, const QString& stepText);
    // True when slice lies in the closed range between from and to (either direction).
    bool inSeries(long long slice) const;

    // A decimal integer, 0 when the text is not one or does not fit an int.
    static int sliceNumber(const QString& text);
    // |step|, made negative when to < from, so a series always runs toward to.
    static int seriesStep(int from, int to, int step);
    // Projections a run reconstructs from `images` images.
    static int projectionsUsed(AngularRange range, int images);
    // "half", "half-inclusive", "full"; false for another name.
    static bool angularRange(const QString& name, AngularRange& out);
    static QString angularRangeName(AngularRange range);
    static QStringList angularRangeNames();
};

Q_DECLARE_METATYPE(CtCond)
