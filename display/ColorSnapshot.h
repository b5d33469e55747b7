#pragma once
// A colour scale as a value: the limits and window of a colour bar taken at
// one moment, so a picture can be drawn in any thread with the same grey
// levels the bar would give, while the bar itself goes on changing.
#include "ColorScale.h"

#include <QMetaType>

class ColorSnapshot : public ColorScale
{
public:
    ColorSnapshot() = default;
    ColorSnapshot(double vMin, double vMax, double cMin, double cMax, bool fixed);

    int level(double v) const override;
    void levelRow(const double* v, uchar* out, int n) const override;
    bool isFixed() const override { return fixed; }
    // Takes the data range unless fixed, as the bar does.
    void autoMinMax(double min, double max) override;

    // Value limits stretched over the bar (default 0 .. 1) and the window of
    // the bar spread over the 256 greys (default 0 .. 1, the whole bar).
    double vMin = 0, vMax = 1;
    double cMin = 0, cMax = 1;
    // Keeps vMin and vMax when new data arrive (default off).
    bool fixed = false;
};

Q_DECLARE_METATYPE(ColorSnapshot)
