#include "FileEnergy.h"

#include <limits>
#include <cmath>

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
