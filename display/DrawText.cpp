#include "DrawText.h"

#include "DispMath.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// Beyond this the font engine spends long on glyphs nobody can read.
constexpr double largestPointSize = 4096;
} // namespace

QRectF DrawText::drawRotatedText(QPainter* painter, double angle, QRectF rect, QFont font,
                                 int flags, int fitMode, QString text, double maxPointSize,
                                 bool fill, QColor fillColor)
{
    if (!painter || !painter->isActive())
        return QRectF();

    const double x0 = std::min(rect.x(), rect.x() + rect.width());
    const double x1 = std::max(rect.x(), rect.x() + rect.width());
    const double y0 = std::min(rect.y(), rect.y() + rect.height());
    const double y1 = std::max(rect.y(), rect.y() + rect.height());
    const double l = x1 - x0;
    const double t = y1 - y0;

    const double a = angle / 180 * 3.141592653;
    const double c = std::cos(a);
    const double s = std::sin(a);
    const QRectF target(c * x0 + s * y0 - l / 2, -s * x0 + c * y0 - t / 2, l, t);

    // save/restore returns font and transform exactly; rotating back by
    // -angle would leave rounding in the matrix.
    painter->save();
    painter->rotate(angle);

    QRectF result;
    bool drawable = true;
    if (fitMode == 1) {
        QFont f(font);
        f.setPointSizeF(10);
        painter->setFont(f);
        result = painter->boundingRect(QRectF(0, 0, 5000, 5000), flags, text);
        const double size = std::min(fitPointSize(l, t, result, maxPointSize), largestPointSize);
        // A box without room (or a NaN measure) has no size to draw at.
        if (size > 0)
            f.setPointSizeF(size);
        else
            drawable = false;
        painter->setFont(f);
    } else {
        painter->setFont(font);
    }

    if (fill)
        painter->fillRect(target, fillColor);
    if (drawable)
        painter->drawText(target, flags, text);

    painter->restore();
    return result;
}
