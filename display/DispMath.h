#pragma once
// Arithmetic behind the display widgets, kept free of widgets so renderers
// and tests use it directly.
#include <QRect>
#include <QRectF>
#include <QtGlobal>

#include <cmath>

// Truncation toward zero that is defined for every double: NaN gives 0 and
// values beyond the int range stick to its ends.
inline int truncToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return 2147483647;
    if (v <= -2147483648.0)
        return -2147483647 - 1;
    return int(v);
}

// 8-bit grey level of a ramp position t (0..256 spans the levels).
// NaN is tested first; the cast happens only on a value already in 0..255.
inline int levelOfT(double t)
{
    if (std::isnan(t) || t < 0)
        return 0;
    if (t > 255)
        return 255;
    return int(t);
}

// Ramp position of a value for the limits [vMin, vMax] and the window
// [cMin, cMax]; the order of operations is part of the result.
inline double scaleT(double v, double vMin, double vMax, double cMin, double cMax)
{
    return ((v - vMin) / (vMax - vMin) - cMin) * 256 / (cMax - cMin);
}

inline int greyLevel(double v, double vMin, double vMax, double cMin, double cMax)
{
    return levelOfT(scaleT(v, vMin, vMax, cMin, cMax));
}

// Grey levels of n values with the constants taken once.
void greyLevelRow(const double* v, uchar* out, int n,
                  double vMin, double vMax, double cMin, double cMax);

// Grey of row i (counted from the bottom) of a bar h pixels high.
int barRowLevel(int i, int h, double cMin, double cMax);

// View after a wheel step scaled by f about the real point (rx, ry) under
// the mouse, which therefore stays there; f > 1 widens the view.
QRectF zoomView(const QRectF& view, double f, double rx, double ry);

// The real rectangle a w x h area shows for a view: the view widened about
// its centre along one axis so that image pixels stay square.  The view
// itself when either side is empty or not a number.
QRectF fittedView(const QRectF& view, int w, int h);

// View after a drag from real point (rPrevX, rPrevY) to (rx, ry): the
// picture follows the mouse.
QRectF panView(const QRectF& view, double rx, double ry, double rPrevX, double rPrevY);

// Rectangle with positive extents from a corner and signed extents.
QRectF normalisedSel(double x, double y, double w, double h);

// Integer rectangle of a view, each member truncated toward zero.
QRect truncatedRect(const QRectF& view);

// Point size that fits a text measured as b at 10 points into a box
// l long and t high; maxPointSize <= 0 means no limit.
double fitPointSize(double l, double t, const QRectF& b, double maxPointSize);
