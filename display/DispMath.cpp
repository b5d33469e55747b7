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

QRectF zoomView(const QRectF& view, double f, double rx, double ry)
{
    return QRectF(rx - (rx - view.x()) * f, ry - (ry - view.y()) * f, view.width() * f, f * view.height());
}

QRectF fittedView(const QRectF& view, int w, int h)
{
    const double vw = view.width(), vh = view.height();
    if (w <= 0 || h <= 0 || !(vw > 0) || !(vh > 0) || !std::isfinite(vw) || !std::isfinite(vh))
        return view;
    const double area = double(w) / h;
    if (vw / vh < area) {
        const double nw = vh * area;
        return QRectF(view.x() - (nw - vw) / 2, view.y(), nw, vh);
    }
    const double nh = vw / area;
    return QRectF(view.x(), view.y() - (nh - vh) / 2, vw, nh);
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
