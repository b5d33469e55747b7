#pragma once
// One slice request as a value: everything a worker reads to reconstruct,
// draw and save a slice.  Built in the GUI thread when the slice is dealt and
// never changed afterwards, so the worker needs nothing from any panel.
#include "ColorSnapshot.h"
#include "CtCond.h"
#include "CtRegion.h"
#include "FbpFilter.h"

#include <QMetaType>
#include <QRectF>
#include <QString>

class ImgDatas;

// What a result panel publishes for the next slice it shows.
struct CtView
{
    // True until a calculation region is set: the slice's whole N x N image.
    bool wholeImage = true;
    CtRegion region;
    // The scale a picture is drawn with (its range follows the data unless fixed).
    ColorSnapshot colours;
    // The part of the image a saved picture holds, in image pixels; an empty
    // rectangle means the whole image.
    QRectF pictureRect;
};

struct CtJob
{
    // The projections with their I0 and BG: not owned, and not changed while
    // a run uses them.
    ImgDatas* images = nullptr;
    // The run that dealt the slice (its results are told apart by it).
    int run = 0;
    bool rotAxIsV = false;
    double cor = 0;
    int slice = 0;
    // The filter the worker's kernel was set up with for this run.
    FbpFilter filter;
    // Ring removal window (0: off).
    int ringSize = 0;
    AngularRange angles = AngularRange::Half;
    // Fraction of a slice's samples that may lack a logarithm (beyond the
    // repaired ones) before the slice is refused.
    double maxInvalid = 0.001;
    // Factor from slice values to mu in 1/cm; 0 without a pixel size.
    double valueToPerCm = 0;
    // Above 0: the sinogram is cut to side + 1 samples about the centre, so
    // slices with different centres (a tilted axis) share one kernel size.
    int side = 0;
    // Drift of this energy along the axis: the slice is read this many
    // lines further on, between two lines (0: none).
    double lineShift = 0;
    CtView view;
    // Draw the picture for display (a picture is drawn anyway when saved).
    bool showImage = true;
    // Absolute paths of the files to write; empty: not written.
    QString imageFile;
    QString dataFile;
    // The calculation region's values as a 32-bit float TIFF.
    QString tiffFile;
};

Q_DECLARE_METATYPE(CtJob)
