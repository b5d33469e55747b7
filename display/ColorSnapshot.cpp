#include "ColorSnapshot.h"

#include "DispMath.h"

ColorSnapshot::ColorSnapshot(double vMin_, double vMax_, double cMin_, double cMax_, bool fixed_)
    : vMin(vMin_), vMax(vMax_), cMin(cMin_), cMax(cMax_), fixed(fixed_)
{
}

int ColorSnapshot::level(double v) const
{
    return greyLevel(v, vMin, vMax, cMin, cMax);
}

void ColorSnapshot::levelRow(const double* v, uchar* out, int n) const
{
    greyLevelRow(v, out, n, vMin, vMax, cMin, cMax);
}

void ColorSnapshot::autoMinMax(double min, double max)
{
    if (fixed)
        return;
    vMin = min;
    vMax = max;
}
