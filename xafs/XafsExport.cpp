#include "XafsExport.h"

#include "SafeWrite.h"
#include "TiffWriter.h"

#include "CtRunReport.h"
#include <QFile>
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

QString XafsExport::elementProblem(const QString& symbol, const QString& edge)
{
    static const QStringList elements = QStringLiteral(
        "H He Li Be B C N O F Ne Na Mg Al Si P S Cl Ar K Ca Sc Ti V Cr Mn Fe Co Ni Cu Zn Ga Ge As Se Br Kr Rb Sr Y Zr "
        "Nb Mo Tc Ru Rh Pd Ag Cd In Sn Sb Te I Xe Cs Ba La Ce Pr Nd Pm Sm Eu Gd Tb Dy Ho Er Tm Yb Lu Hf Ta W Re Os Ir "
        "Pt Au Hg Tl Pb Bi Po At Rn Fr Ra Ac Th Pa U Np Pu Am Cm Bk Cf Es Fm Md No Lr Rf Db Sg Bh Hs Mt Ds Rg Cn Nh "
        "Fl Mc Lv Ts Og").split(' ');
    static const QStringList edges = {"K", "L1", "L2", "L3", "M1", "M2", "M3", "M4", "M5"};
    if (!elements.contains(symbol))
        return QStringLiteral("\"%1\" is not the symbol of an element (Fe, Cu, ...)").arg(symbol);
    if (!edges.contains(edge))
        return QStringLiteral("\"%1\" is not an absorption edge (K, L1, L2, L3, M1 ... M5)").arg(edge);
    return QString();
}

QByteArray XafsExport::xdi(const XafsSpectrum& s, const XafsNormalize& fit, const std::vector<double>& norm,
                           const QString& unit, const XafsMeta& meta, const QStringList& extra)
{
    const XafsRanges& r = fit.ranges();
    // A column's unit is the word after its name; a unit of two words
    // ("slice value") would read as a name and a unit, so it is joined.
    QByteArray u = unit.simplified().toUtf8();
    u.replace(' ', '_');
    QByteArray out = "# XDI/1.0 Zuvo2/" + CtRunReport::programVersion().toUtf8() + "\n";
    out += "# Column.1: energy eV\n# Column.2: mutrans " + u + "\n# Column.3: mutrans_sigma " + u
        + "\n# Column.4: normtrans\n";
    if (!meta.element.isEmpty())
        out += "# Element.symbol: " + meta.element.toUtf8() + "\n";
    if (!meta.edge.isEmpty())
        out += "# Element.edge: " + meta.edge.toUtf8() + "\n";
    if (meta.monoD > 0)
        out += "# Mono.d_spacing: " + num(meta.monoD) + "\n";
    if (!meta.facility.isEmpty())
        out += "# Facility.name: " + meta.facility.toUtf8() + "\n";
    if (!meta.beamline.isEmpty())
        out += "# Beamline.name: " + meta.beamline.toUtf8() + "\n";
    if (meta.start.isValid())
        out += "# Scan.start_time: " + meta.start.toString(Qt::ISODate).toUtf8() + "\n";
    out += "# Scan.edge_energy: " + num(fit.e0) + " eV\n";
    out += "# Zuvo2.edge_jump: " + num(fit.jump) + "\n";
    out += "# Zuvo2.e0_method: " + XafsRanges::methodName(r.e0Method).toUtf8() + "\n";
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
                               const QString& unit, const XafsMeta& meta, const QStringList& extra, QString* error)
{
    const std::vector<double> norm = fit.normalised(s.energy.data(), s.mu.data(), int(s.energy.size()));
    const bool asXdi = QFileInfo(path).suffix().toLower() == QLatin1String("xdi");
    const QByteArray text = asXdi ? xdi(s, fit, norm, unit, meta, extra) : csv(s, norm);
    return SafeWrite::writeBytes(path, text, error);
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

bool XafsExport::writeFloatMaps(const QStringList& paths, const std::vector<const std::vector<float>*>& maps, int width,
                                int height, const QString& description, QString* error)
{
    for (int i = 0; i < paths.size(); ++i) {
        QString why;
        if (size_t(i) < maps.size() && writeFloatTiff(paths[i], maps[size_t(i)]->data(), width, height, description, &why))
            continue;
        for (int j = 0; j < i; ++j)
            QFile::remove(paths[j]);
        if (error)
            *error = QStringLiteral("Can't write %1: %2").arg(paths[i], why);
        return false;
    }
    return true;
}
