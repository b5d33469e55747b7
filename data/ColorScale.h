#pragma once
// What a renderer needs of a colour scale; the colour bar widget implements it,
// so readers and calculations draw grey pictures without linking widgets.
#include <QtGlobal>

class ColorScale
{
public:
    virtual ~ColorScale() = default;
    // 8-bit grey level (0..255) of a value.
    virtual int level(double v) const = 0;
    // Grey levels of n values at once; renderers call this once per row.
    virtual void levelRow(const double* v, uchar* out, int n) const
    {
        for (int i = 0; i < n; ++i)
            out[i] = uchar(level(v[i]));
    }
    // True while the scale keeps its range when new data arrive.
    virtual bool isFixed() const = 0;
    // Takes the data range as limits unless the scale is fixed.
    virtual void autoMinMax(double min, double max) = 0;
};
