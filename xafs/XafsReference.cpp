#include "XafsReference.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

bool isNormName(const QString& n)
{
    return n.startsWith(QLatin1String("norm"));
}

bool isMuName(const QString& n)
{
    static const QStringList names = {"mu", "mutrans", "mufluor", "xmu", "absorption", "mu_trans", "mu_fluor"};
    return names.contains(n);
}

QStringList splitRow(const QString& line)
{
    static const QRegularExpression sep(QStringLiteral("[\\s,;]+"));
    return line.trimmed().split(sep, Qt::SkipEmptyParts);
}

} // namespace

bool XafsReference::set(const QString& n, std::vector<double> e, std::vector<double> v, bool norm, QString* why)
{
    auto fail = [&](const QString& text) {
        if (why)
            *why = QStringLiteral("reference %1: %2").arg(n, text);
        return false;
    };
    if (e.size() != v.size())
        return fail(QStringLiteral("energies and values differ in number"));
    if (int(e.size()) < minPoints)
        return fail(QStringLiteral("%1 points are too few (at least %2)").arg(e.size()).arg(minPoints));
    for (size_t i = 0; i < e.size(); ++i) {
        if (!std::isfinite(e[i]) || !std::isfinite(v[i]))
            return fail(QStringLiteral("point %1 is not a finite number").arg(i + 1));
        if (i > 0 && !(e[i] > e[i - 1]))
            return fail(QStringLiteral("energies must rise, %1 eV follows %2 eV").arg(e[i]).arg(e[i - 1]));
    }
    name = n;
    energy = std::move(e);
    value = std::move(v);
    normalised = norm;
    return true;
}

bool XafsReference::load(const QString& p, QString* why)
{
    const QString n = QFileInfo(p).completeBaseName();
    auto fail = [&](const QString& text) {
        if (why)
            *why = QStringLiteral("reference %1: %2").arg(p, text);
        return false;
    };
    QFile f(p);
    if (!QFileInfo(p).isFile())
        return fail(QStringLiteral("no such file"));
    if (f.size() > maxBytes)
        return fail(QStringLiteral("%1 bytes is too large for a spectrum").arg(f.size()));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(f.errorString());
    QStringList columns;            // lower-case names, by position
    QString lastComment;
    bool xdi = false;
    std::vector<std::vector<double>> rows;
    int width = 0;
    static const QRegularExpression xdiColumn(QStringLiteral("^#\\s*Column\\.(\\d+)\\s*:\\s*(\\S+)"),
                                              QRegularExpression::CaseInsensitiveOption);
    int lineNo = 0;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine(1 << 16)).trimmed();
        ++lineNo;
        if (line.isEmpty())
            continue;
        if (line.startsWith('#')) {
            if (lineNo == 1 && line.startsWith(QLatin1String("# XDI/")))
                xdi = true;
            const QRegularExpressionMatch m = xdiColumn.match(line);
            if (m.hasMatch()) {
                const int k = m.captured(1).toInt();
                if (k >= 1 && k <= 64) {
                    while (columns.size() < k)
                        columns << QString();
                    columns[k - 1] = m.captured(2).toLower();
                }
            } else if (!line.startsWith(QLatin1String("#-")) && !line.startsWith(QLatin1String("# ///")))
                lastComment = line.mid(1);
            continue;
        }
        const QStringList parts = splitRow(line);
        std::vector<double> row;
        row.reserve(size_t(parts.size()));
        bool numbers = true;
        for (const QString& s : parts) {
            bool ok = false;
            row.push_back(s.toDouble(&ok));
            numbers = numbers && ok;
        }
        if (!numbers) {
            if (rows.empty() && columns.isEmpty()) {
                // A header row of names.
                for (const QString& s : parts)
                    columns << s.toLower();
                continue;
            }
            return fail(QStringLiteral("line %1 is not a row of numbers").arg(lineNo));
        }
        if (rows.empty())
            width = int(row.size());
        if (int(row.size()) != width || width < 2)
            return fail(QStringLiteral("line %1 has %2 columns, not %3").arg(lineNo).arg(row.size()).arg(std::max(width, 2)));
        rows.push_back(std::move(row));
    }
    // Without named columns, the last comment line may name them (".xmu").
    if (columns.isEmpty() && !xdi) {
        const QStringList parts = splitRow(lastComment);
        if (parts.size() == width)
            for (const QString& s : parts)
                columns << s.toLower();
    }
    int eCol = 0, vCol = 1;
    bool norm = false;
    for (int k = 0; k < columns.size() && k < width; ++k)
        if (columns[k] == QLatin1String("energy") || columns[k] == QLatin1String("e")
            || columns[k].startsWith(QLatin1String("energy_"))) {
            eCol = k;
            break;
        }
    int muCol = -1, normCol = -1;
    for (int k = 0; k < columns.size() && k < width; ++k) {
        if (normCol < 0 && isNormName(columns[k]))
            normCol = k;
        if (muCol < 0 && isMuName(columns[k]))
            muCol = k;
    }
    if (normCol >= 0) {
        vCol = normCol;
        norm = true;
    } else if (muCol >= 0) {
        vCol = muCol;
    } else if (eCol == 1) {
        vCol = 0;
    }
    std::vector<double> e, v;
    e.reserve(rows.size());
    v.reserve(rows.size());
    for (const std::vector<double>& r : rows) {
        e.push_back(r[size_t(eCol)]);
        v.push_back(r[size_t(vCol)]);
    }
    // A scan written in keV (every energy below 200) is taken in eV.
    if (!e.empty() && e.back() < 200)
        for (double& x : e)
            x *= 1000.0;
    path = p;
    return set(n, std::move(e), std::move(v), norm, why);
}

bool XafsReference::normalise(const XafsRanges& ranges, const std::vector<double>& e, const std::vector<double>& v,
                              std::vector<double>& out, double* e0, QString* why) const
{
    if (normalised) {
        out = v;
        if (e0) {
            *e0 = std::numeric_limits<double>::quiet_NaN();
            for (size_t i = 1; i < v.size(); ++i)
                if (v[i - 1] < 0.5 && v[i] >= 0.5) {
                    *e0 = e[i - 1] + (0.5 - v[i - 1]) / (v[i] - v[i - 1]) * (e[i] - e[i - 1]);
                    break;
                }
        }
        return true;
    }
    XafsNormalize fit(ranges);
    if (!fit.fit(e.data(), v.data(), int(e.size()))) {
        if (why)
            *why = QStringLiteral("reference %1 cannot be normalised: %2").arg(name, fit.why());
        return false;
    }
    out = fit.normalised(e.data(), v.data(), int(e.size()));
    if (e0)
        *e0 = fit.e0;
    return true;
}

double XafsReference::valueAt(double x) const
{
    // The interval [energy[j], energy[j + 1]] that holds x.
    const size_t hi = size_t(std::upper_bound(energy.begin(), energy.end(), x) - energy.begin());
    const size_t j = std::min(hi, energy.size() - 1) - 1;
    const double t = (x - energy[j]) / (energy[j + 1] - energy[j]);
    return value[j] + std::clamp(t, 0.0, 1.0) * (value[j + 1] - value[j]);
}

double XafsReference::edge(const XafsRanges& ranges, QString* why) const
{
    std::vector<double> n;
    double e0 = std::numeric_limits<double>::quiet_NaN();
    if (!normalise(ranges, energy, value, n, &e0, why))
        return std::numeric_limits<double>::quiet_NaN();
    if (!std::isfinite(e0) && why)
        *why = QStringLiteral("reference %1 never rises through 0.5").arg(name);
    return e0;
}

bool XafsReference::onGrid(const XafsRanges& ranges, const std::vector<double>& stackEnergies, std::vector<double>& e,
                           std::vector<double>& norm, double* e0, QString* why) const
{
    e.clear();
    std::vector<double> v;
    for (double x : stackEnergies)
        if (x >= energy.front() && x <= energy.back()) {
            e.push_back(x);
            v.push_back(valueAt(x));
        }
    if (int(e.size()) < minPoints) {
        if (why)
            *why = QStringLiteral("reference %1 covers %2 .. %3 eV, which holds %4 of the stack's energies (at least %5 needed)")
                       .arg(name).arg(energy.front(), 0, 'f', 1).arg(energy.back(), 0, 'f', 1).arg(e.size()).arg(minPoints);
        return false;
    }
    return normalise(ranges, e, v, norm, e0, why);
}
