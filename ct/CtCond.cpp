#include "CtCond.h"

#include "ImageBinning.h"

#include <algorithm>
#include <cstdlib>

#include <climits>

int CtCond::sliceNumber(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    return ok ? v : 0;
}

int CtCond::seriesStep(int from, int to, int step)
{
    // |INT_MIN| does not fit an int; the largest step does the same job.
    const int mag = step == INT_MIN ? INT_MAX : (step < 0 ? -step : step);
    return to < from ? -mag : mag;
}

void CtCond::setSeries(const QString& fromText, const QString& toText, const QString& stepText)
{
    from = sliceNumber(fromText);
    to = sliceNumber(toText);
    step = seriesStep(from, to, sliceNumber(stepText));
}

bool CtCond::inSeries(long long slice) const
{
    const long long lo = from < to ? from : to;
    const long long hi = from < to ? to : from;
    return lo <= slice && slice <= hi;
}

CtCond CtCond::binnedBy(int b) const
{
    CtCond c = *this;
    if (b <= 1)
        return c;
    c.cor = binnedPosition(cor, b);
    c.corAt0 = binnedPosition(corAt0 + corSlope * (b - 1) / 2.0, b);
    c.from = from / b;
    c.to = to / b;
    c.step = step == 0 ? 0 : seriesStep(c.from, c.to, std::max(1, std::abs(step) / b));
    c.sliceNo = sliceNo / b;
    c.pixelSizeUm = pixelSizeUm * b;
    return c;
}

namespace {
struct RangeName
{
    AngularRange range;
    const char* name;
};
const RangeName rangeNames[] = {
    {AngularRange::Half, "half"},
    {AngularRange::HalfInclusive, "half-inclusive"},
    {AngularRange::Full, "full"},
    {AngularRange::FullOffset, "full-offset"},
};
} // namespace

int CtCond::projectionsUsed(AngularRange range, int images)
{
    if (range == AngularRange::HalfInclusive)
        return images > 1 ? images - 1 : 0;
    if (range == AngularRange::FullOffset)
        return images / 2;
    return images;
}

bool CtCond::angularRange(const QString& name, AngularRange& out)
{
    for (const RangeName& r : rangeNames)
        if (name == QLatin1String(r.name)) {
            out = r.range;
            return true;
        }
    return false;
}

QString CtCond::angularRangeName(AngularRange range)
{
    for (const RangeName& r : rangeNames)
        if (r.range == range)
            return QLatin1String(r.name);
    return {};
}

QStringList CtCond::angularRangeNames()
{
    QStringList l;
    for (const RangeName& r : rangeNames)
        l << QLatin1String(r.name);
    return l;
}
