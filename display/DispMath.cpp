#include "DispMath.h"

#include <algorithm>

void greyLevelRow(const double* v, uchar* out, int n,
                  double vMin, double vMax, double cMin, double cMax)
{
    const double dv = vMax - vMin;
    const double dc = cMax - cMin;
    for (int i = 0; i < n; ++i) {
        const double t = ((v[i] - vMin) / dv - cMin) * 256 / dc;
        out[i] = uchar(levelOfT(t));
    }
}

int barRowLevel(int i, int h, double cMin, double cMax)
{
    return levelOfT((double(i) / h - cMin) * 256 / (cMax - cMin));
}

QRectF zoomView(const QRectF& view, double f, double rx, double ry, int x, int y, int w, int h)
{
    const double nw = view.width() * f;
    const double nh = f * view.height();
    return QRectF(rx - (double(x) / w) * nw, ry - (double(y) / h) * nh, nw, nh);
}

QRectF panView(const QRectF& view, double rx, double ry, double rPrevX, double rPrevY)
{
    return QRectF((view.x() - rx) + rPrevX, (view.y() - ry) + rPrevY, view.width(), view.height());
}

QRectF normalisedSel(double x, double y, double w, double h)
{
    const double x0 = std::min(x, x + w);
    const double y0 = std::min(y, y + h);
    return QRectF(x0, y0, std::max(x, x + w) - x0, std::max(y, y + h) - y0);
}

QRect truncatedRect(const QRectF& view)
{
    return QRect(truncToInt(view.x()), truncToInt(view.y()),
                 truncToInt(view.width()), truncToInt(view.height()));
}

double fitPointSize(double l, double t, const QRectF& b, double maxPointSize)
{
    double size = 10;
    if (b.width() != 0 || b.height() != 0) {
        const double rW = b.width() != 0 ? l / b.width() : 1;
        const double rH = b.height() != 0 ? t / b.height() : 1;
        size = 10 * std::min(rW, rH);
    }
    if (maxPointSize > 0)
        size = std::min(maxPointSize, size);
    return size;
}
