#pragma once
// One trial slice of a centre sweep, as a value handed from a worker thread.
#include <QImage>
#include <QMetaType>

struct CorTrial
{
    int index = -1;         // position in the sweep, in centre order
    double cor = 0;         // the centre tried, detector pixels
    bool ok = false;        // the slice gave an image
    double measure = 0;     // sharpness measure in mu per pixel (lower is sharper)
    QImage tile;            // the slice drawn, scaled down to a tile
};

Q_DECLARE_METATYPE(CorTrial)
