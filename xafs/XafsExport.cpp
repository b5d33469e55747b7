#include "XafsExport.h"

#include "SafeWrite.h"
#include "TiffWriter.h"

#include "CtRunReport.h"
#include <QFileInfo>

namespace {
QByteArray num(double v)
{
    return QByteArray::number(v, 'g', 10);
}
} // namespace

bool XafsExport::isTiffPath(const QString& path)
{
    const QString s = QFileInfo(path).suffix().toLower();
    return s == QLatin1String("tif") || s == QLatin1String("tiff");
}

QByteArray XafsExport::csv(const XafsSpectrum& s, const std::vector<double>& norm)
{
    QByteArray out = "energy_eV,mu,sigma,norm\n";
    for (size_t i = 0; i < s.energy.size(); ++i)
        out += num(s.energy[i]) + ',' + num(s.mu[i]) + ',' + num(s.sigma[i]) + ',' + num(norm.at(i)) + '\n';
    return out;
}

QByteArray XafsExport::xdi(const XafsSpectrum& s, const XafsNormalize& fit, const std::vector<double>& norm,
                           const QString& unit, const QStringList& extra)
{
    const XafsRanges& r = fit.ranges();
    QByteArray out = "# XDI/1.0 Zuvo2/" + CtRunReport::programVersion().toUtf8() + "\n";
    out += "# Column.1: energy eV\n# Column.2: mutrans\n# Column.3: mutrans_sigma\n# Column.4: normtrans\n";
    out += "# Scan.edge_energy: " + num(fit.e0) + " eV\n";
    out += "# Zuvo2.edge_jump: " + num(fit.jump) + "\n";
    out += "# Zuvo2.mu_unit: " + unit.toUtf8() + "\n";
    out += "# Zuvo2.pre_edge_range: " + num(r.pre1) + " " + num(r.pre2) + " eV from E0\n";
    out += "# Zuvo2.post_edge_range: " + num(r.post1) + " " + num(r.post2) + " eV from E0, order "
        + QByteArray::number(r.postOrder) + "\n";
    out += "# Zuvo2.pixels: " + QByteArray::number(s.pixels) + "\n";
    for (const QString& e : extra)
        out += "# " + e.toUtf8() + "\n";
    out += "# ///\n# Mean absorption of a region of a reconstructed CT-XAFS slice.\n#----\n";
    out += "# energy mutrans mutrans_sigma normtrans\n";
    for (size_t i = 0; i < s.energy.size(); ++i)
        out += num(s.energy[i]) + ' ' + num(s.mu[i]) + ' ' + num(s.sigma[i]) + ' ' + num(norm.at(i)) + '\n';
    return out;
}

bool XafsExport::writeSpectrum(const QString& path, const XafsSpectrum& s, const XafsNormalize& fit,
                               const QString& unit, const QStringList& extra, QString* error)
{
    const std::vector<double> norm = fit.normalised(s.energy.data(), s.mu.data(), int(s.energy.size()));
    const bool asXdi = QFileInfo(path).suffix().toLower() == QLatin1String("xdi");
    const QByteArray text = asXdi ? xdi(s, fit, norm, unit, extra) : csv(s, norm);
    return SafeWrite::write(
        path,
        [&](QIODevice* d, QString& why) {
            if (d->write(text) == text.size())
                return true;
            why = d->errorString();
            return false;
        },
        error, QIODevice::WriteOnly);
}

bool XafsExport::writeMap(const QString& path, const XafsMaps& m, XafsMaps::Kind k, QString* error)
{
    if (m.isEmpty()) {
        if (error)
            *error = QStringLiteral("no map to write to ") + path;
        return false;
    }
    if (isTiffPath(path)) {
        const std::vector<float> v = m.values(k);
        const QString desc = QStringLiteral("Zuvo2 XAFS %1 map x0=%2 z0=%3 width=%4 height=%5 threshold=%6")
                                 .arg(XafsMaps::kindName(k)).arg(m.x0).arg(m.z0).arg(m.width).arg(m.height)
                                 .arg(m.threshold);
        QString why;
        if (writeFloatTiff(path, v.data(), m.width, m.height, desc, &why))
            return true;
        if (error)
            *error = QStringLiteral("Can't write %1: %2").arg(path, why);
        return false;
    }
    double lo = 0, hi = 1;
    if (!m.range(k, lo, hi)) {
        if (error)
            *error = QStringLiteral("the %1 map has no value to show, %2 not written").arg(XafsMaps::kindName(k), path);
        return false;
    }
    return SafeWrite::writeImage(path, m.picture(k, lo, hi), error);
}
