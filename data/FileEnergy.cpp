#include "FileEnergy.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {
int lastDigit(const QString& s)
{
    for (int i = s.size() - 1; i >= 0; --i)
        if (s.at(i).isDigit())
            return i;
    return -1;
}
} // namespace

double energyNumber(const QString& text)
{
    const int d = lastDigit(text);
    QString num = text.left(d + 1);
    num.replace(QLatin1Char('_'), QLatin1Char('.'));
    return num.toDouble();
}

QString energyField(const QString& path)
{
    const int last = path.lastIndexOf(QLatin1Char('-'));
    if (last < 0)
        return path;
    const int prev = path.lastIndexOf(QLatin1Char('-'), last - 1 < 0 ? 0 : last - 1);
    if (prev < 0 || prev == last)
        return path.left(last);
    return path.mid(prev + 1, last - prev - 1);
}

double fileEnergy(const QString& path)
{
    return fieldEnergy(energyField(path));
}

double fieldEnergy(const QString& field)
{
    const QString unit = field.mid(lastDigit(field) + 1).toUpper();
    const double number = energyNumber(field);
    return unit == QLatin1String("KEV") ? number * 1000 : number;
}

int nearestEnergyIndex(const QList<double>& energies, double e)
{
    if (energies.isEmpty())
        return -1;
    double best = std::numeric_limits<double>::max();
    int bestIndex = 0;
    for (int k = 0; k < energies.size(); ++k) {
        const double d = std::fabs(energies.at(k) - e);
        if (d < best) {
            best = d;
            bestIndex = k;
        }
    }
    return bestIndex;
}

QString energyGap(const QList<double>& energies, double e)
{
    std::vector<double> sorted;
    for (double v : energies)
        if (std::isfinite(v))
            sorted.push_back(v);
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    const int k = nearestEnergyIndex(energies, e);
    if (sorted.size() < 2 || k < 0)
        return {};
    std::vector<double> steps;
    for (size_t i = 1; i < sorted.size(); ++i)
        steps.push_back(sorted[i] - sorted[i - 1]);
    // The lower middle: one step doubled by a missing file never sets it.
    const size_t mid = (steps.size() - 1) / 2;
    std::nth_element(steps.begin(), steps.begin() + ptrdiff_t(mid), steps.end());
    const double step = steps[mid];
    const double d = std::fabs(energies.at(k) - e);
    // Names round energies alike; a hair over half a step is still half.
    if (!(d > 0.5 * step * (1 + 1e-9) + 1e-9))
        return {};
    return QStringLiteral("the nearest is %1 eV, %2 eV from %3 eV, more than half the step of %4 eV between "
                          "the energies")
        .arg(energies.at(k), 0, 'g', 10)
        .arg(d, 0, 'g', 6)
        .arg(e, 0, 'g', 10)
        .arg(step, 0, 'g', 6);
}
