#include "SeriesFit.h"

#include "SgmGeom.h"

namespace {
QString num(double v)
{
    return QString::number(v, 'g', 6);
}
} // namespace

SeriesFit::SeriesFit(bool rotAxIsV, int width, int height)
    : nLines(rotAxIsV ? height : width), nAcross(rotAxIsV ? width : height)
{
}

bool SeriesFit::fitSlice(int& slice)
{
    if (nLines <= 0 || inLines(slice))
        return false;
    const int was = slice;
    slice = nLines / 2;
    messages << QStringLiteral("Slice %1 lies outside the series (0 to %2): slice %3, the middle line")
                    .arg(was).arg(nLines - 1).arg(slice);
    return true;
}

int SeriesFit::fieldSize(double cor) const
{
    // The kernel takes the even part of the 2 half - 1 samples.
    const SgmGeom g = makeSgmGeom(true, nAcross, cor);
    return g.half >= 2 ? 2 * g.half - 2 : 0;
}

bool SeriesFit::fitCor(double& cor)
{
    if (nAcross < 4 || fieldSize(cor) > 0)
        return false;
    const double was = cor;
    cor = nAcross / 2;
    messages << QStringLiteral("Centre of rotation %1 leaves no slice on a detector %2 wide: centre %3, the middle")
                    .arg(num(was)).arg(nAcross).arg(num(cor));
    return true;
}

bool SeriesFit::fitRange(int& from, int& to)
{
    if (nLines <= 0)
        return false;
    const int wasFrom = from, wasTo = to;
    if (!inLines(from))
        from = 0;
    if (!inLines(to))
        to = nLines - 1;
    if (from == wasFrom && to == wasTo)
        return false;
    messages << QStringLiteral("Slice range %1 to %2 reaches outside the series (0 to %3): %4 to %5")
                    .arg(wasFrom).arg(wasTo).arg(nLines - 1).arg(from).arg(to);
    return true;
}

bool SeriesFit::fitRegion(CtRegion& r, double cor)
{
    const int n = fieldSize(cor);
    if (n <= 0)
        return false;
    // Negated tests so that NaN counts as outside.
    const auto inside = [n](double lo, double hi) { return lo >= 0 && lo < hi && hi <= n; };
    if (inside(r.x0, r.x1) && inside(r.z0, r.z1))
        return false;
    const CtRegion was = r;
    r = CtRegion{0, 0, double(n), double(n)};
    messages << QStringLiteral("CT region (%1, %2)-(%3, %4) lies outside the slice field 0 to %5: the whole field")
                    .arg(num(was.x0), num(was.z0), num(was.x1), num(was.z1)).arg(n);
    return true;
}
