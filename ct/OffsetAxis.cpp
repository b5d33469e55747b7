#include "OffsetAxis.h"

#include <algorithm>
#include <cmath>

namespace {
// Line v of n values, linearly interpolated at x; NaN outside.
double at(const double* v, int n, double x)
{
    if (!(x >= 0) || x > n - 1)
        return std::nan("");
    const int i = std::min(int(x), n - 2);
    const double f = x - i;
    return n == 1 ? v[0] : v[i] + f * (v[i + 1] - v[i]);
}
} // namespace

OffsetJoin OffsetJoin::make(int width, double cor, QString* why)
{
    OffsetJoin j;
    j.width = width;
    j.cor = cor;
    if (width < 4 || !std::isfinite(cor) || cor < 1 || cor > width - 2) {
        if (why)
            *why = QStringLiteral("centre of rotation %1 is outside the %2-pixel detector line for an offset axis")
                       .arg(cor).arg(width);
        return j;
    }
    const double last = width - 1;
    j.axisLeft = cor < last / 2;
    // The mirrored line reaches 2 cor - last (axis left) or 2 cor (right).
    j.added = int(std::floor(j.axisLeft ? last - 2 * cor : 2 * cor - last));
    if (j.added < std::max(2, width / 10)) {
        if (why)
            *why = QStringLiteral("centre of rotation %1 is near the middle of the %2-pixel detector line: an offset-axis "
                                  "scan needs the axis near one edge (a centred full turn is 'full')")
                       .arg(cor).arg(width);
        return j;
    }
    j.joinedWidth = width + j.added;
    j.joinedCor = j.joinedCentre(cor);
    j.overlapLo = j.axisLeft ? 0.0 : 2 * cor - last;
    j.overlapHi = j.axisLeft ? 2 * cor : last;
    return j;
}

void OffsetJoin::join(const double* a, const double* b, double* out) const
{
    const double span = overlapHi - overlapLo;
    for (int k = 0; k < joinedWidth; ++k) {
        const double x = axisLeft ? k - added : k;
        const double va = at(a, width, x);
        const double vb = at(b, width, 2 * cor - x);
        if (std::isnan(va))
            out[k] = std::isnan(vb) ? 0.0 : vb;
        else if (std::isnan(vb))
            out[k] = va;
        else {
            // Weight of a: 0 at the edge of its line inside the overlap, 1 at the far end.
            const double t = span > 0 ? std::clamp((x - overlapLo) / span, 0.0, 1.0) : 0.5;
            const double wa = axisLeft ? t : 1.0 - t;
            out[k] = wa * va + (1.0 - wa) * vb;
        }
    }
}
