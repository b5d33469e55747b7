#include "EnergyShifts.h"

#include "SgmGeom.h"

#include <QFile>

#include <algorithm>

#include <cmath>
#include <limits>

namespace {
bool refuse(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return false;
}
} // namespace

bool EnergyShifts::load(const QString& file, QString* why)
{
    table.clear();
    path = file;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return refuse(why, QStringLiteral("shifts %1: %2").arg(file, f.errorString()));
    int lineNo = 0;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine(4096)).trimmed();
        ++lineNo;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1String("energy")))
            continue;
        const QStringList c = line.split(QLatin1Char(','));
        EnergyShift s;
        bool ok = c.size() >= 3;
        if (ok)
            s.energy = c[0].toDouble(&ok);
        if (ok)
            s.dx = c[1].toDouble(&ok);
        if (ok)
            s.dz = c[2].toDouble(&ok);
        if (!ok || !std::isfinite(s.energy) || !std::isfinite(s.dx) || !std::isfinite(s.dz))
            return refuse(why, QStringLiteral("shifts %1, line %2: \"%3\" is not energy,dx,dz").arg(file).arg(lineNo).arg(line.left(80)));
        if (std::fabs(s.dx) > maxShift || std::fabs(s.dz) > maxShift)
            return refuse(why, QStringLiteral("shifts %1, line %2: a shift of %3, %4 pixels is not a drift")
                                   .arg(file).arg(lineNo).arg(s.dx).arg(s.dz));
        s.questionable = c.size() >= 8 && c[7].trimmed() == QLatin1String("1");
        table.push_back(s);
    }
    if (table.empty())
        return refuse(why, QStringLiteral("shifts %1: no shift in it").arg(file));
    return true;
}

bool EnergyShifts::find(double energy, EnergyShift& out, QString* why) const
{
    for (const EnergyShift& s : table)
        if (std::fabs(s.energy - energy) <= tolerance) {
            out = s;
            return true;
        }
    return refuse(why, QStringLiteral("no shift for %1 eV in %2").arg(energy, 0, 'g', 10).arg(path));
}

bool EnergyShifts::plan(const QString& file, double energy, bool rotAxIsV, int dim, int lines, double corLo,
                        double corHi, long long sliceLo, long long sliceHi, AppliedShift& out, QString* why)
{
    out = AppliedShift();
    EnergyShifts t;
    if (!t.load(file, why))
        return false;
    if (!(energy > 0))
        return refuse(why, QStringLiteral("shifts %1: the projections' names give no energy").arg(file));
    if (!t.find(energy, out.row, why))
        return false;
    out.across = out.row.across(rotAxIsV);
    out.along = out.row.along(rotAxIsV);
    // The narrowest slice over every energy and both ends of the centres.
    int side = std::numeric_limits<int>::max();
    for (const EnergyShift& r : t.rows())
        for (const double c : {corLo, corHi}) {
            const double at = c + r.across(rotAxIsV);
            const SgmGeom g = std::floor(at) > 0 && std::ceil(at) < dim ? makeSgmGeom(rotAxIsV, dim, at) : SgmGeom();
            const int n = g.nx > 0 ? g.nx - g.nx % 2 : 0;
            if (n < 2)
                return refuse(why, QStringLiteral("centre %1 shifted by %2 for %3 eV (%4) is outside the image of %5 pixels")
                                       .arg(c, 0, 'g', 6).arg(r.across(rotAxIsV), 0, 'g', 4).arg(r.energy, 0, 'g', 10)
                                       .arg(file).arg(dim));
            side = std::min(side, n);
        }
    out.side = side;
    const double lo = double(std::min(sliceLo, sliceHi)) + out.along, hi = double(std::max(sliceLo, sliceHi)) + out.along;
    if (std::floor(lo) < 0 || std::ceil(hi) > lines - 1)
        return refuse(why, QStringLiteral("slices %1 to %2 shifted by %3 for %4 eV (%5) leave the image (lines 0 to %6)")
                               .arg(sliceLo).arg(sliceHi).arg(out.along, 0, 'g', 4).arg(energy, 0, 'g', 10).arg(file)
                               .arg(lines - 1));
    out.on = true;
    return true;
}
