#include "XafsSession.h"

#include "CtRunReport.h"
#include "ConfigStore.h"
#include "CtFileSet.h"
#include "ImgData.h"
#include "OutputGuard.h"
#include "Logging.h"
#include "TiffWriter.h"
#include "SafeWrite.h"
#include "XafsExport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <memory>


bool XafsSession::loadStack(const QString& dir, const QString& pattern, QString* why)
{
    XafsStack loadedStack;
    const bool ok = loadedStack.load(dir, pattern, why);
    takeStack(std::move(loadedStack));
    return ok;
}

void XafsSession::takeStack(XafsStack loadedStack)
{
    cacheValid = false;
    ++gen;
    written.clear();
    failures.clear();
    loaded = QDateTime::currentDateTime();
    st = std::move(loadedStack);
}

void XafsSession::takeMaps(XafsMaps made, int forGeneration)
{
    if (forGeneration != gen)
        return;
    cache = std::move(made);
    cacheValid = true;
    warnAboutMaps();
}

bool XafsSession::setRanges(const XafsRanges& r, QString* why)
{
    const QString p = r.problem();
    if (!p.isEmpty()) {
        if (why)
            *why = p;
        return false;
    }
    rng = r;
    cacheValid = false;
    ++gen;
    return true;
}

void XafsSession::setThreshold(double t)
{
    thr = t;
    cacheValid = false;
    ++gen;
}

bool XafsSession::noStack(QString* why) const
{
    if (!st.isEmpty())
        return false;
    if (why)
        *why = QStringLiteral("no energy stack loaded (xafs_stack_load DIR PATTERN)");
    return true;
}

bool XafsSession::spectrum(const XafsRoi& roi, XafsSpectrum& s, XafsNormalize& fit, QString* why) const
{
    if (noStack(why))
        return false;
    s = st.spectrum(roi);
    if (s.pixels == 0) {
        if (why)
            *why = QStringLiteral("the region holds no pixel of the slice's reconstruction circle");
        return false;
    }
    fit = XafsNormalize(rng);
    if (!fit.fit(s.energy.data(), s.mu.data(), int(s.energy.size()))) {
        if (why)
            *why = QStringLiteral("no normalisation: ") + fit.why();
        return false;
    }
    if (!fit.warning.isEmpty())
        qCWarning(lcXafs).noquote() << QStringLiteral("Region spectrum: ") + fit.warning;
    if (fit.questionable)
        qCWarning(lcXafs).noquote() << QStringLiteral("Region spectrum: E0 %1 eV is questionable, the derivative has a second peak within 10 % of it")
                                           .arg(fit.e0, 0, 'f', 2);
    return true;
}

QString XafsSession::clash(const QStringList& outputs, const QStringList& more) const
{
    QStringList inputs = more;
    for (const QString& f : st.files)
        inputs << QDir(st.dir).filePath(f);
    for (const XafsReference& r : refs)
        inputs << r.path;
    const QString c = OutputGuard::collision(outputs, inputs);
    return c.isEmpty() ? c : QStringLiteral("not written: ") + c;
}

bool XafsSession::exportSpectrum(const XafsRoi& roi, const QString& path, QString* why)
{
    XafsSpectrum s;
    XafsNormalize fit;
    QString err = clash({path});
    if (!err.isEmpty() || !spectrum(roi, s, fit, &err))
        return recorded(path, false, err, why);
    const QStringList extra = {
        QStringLiteral("Zuvo2.region: %1 %2 %3 %4").arg(roi.x0).arg(roi.z0).arg(roi.x1).arg(roi.z1),
        QStringLiteral("Zuvo2.stack: %1").arg(QDir(st.dir).filePath(st.pattern)),
    };
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool ok = XafsExport::writeSpectrum(path, s, fit, st.unit, md, extra, &err);
    return recorded(path, ok, err, why);
}

const XafsMaps& XafsSession::maps()
{
    if (!cacheValid) {
        cache = XafsMaps::compute(st, rng, thr);
        cacheValid = true;
        warnAboutMaps();
    }
    return cache;
}

void XafsSession::warnAboutMaps() const
{
    if (cache.thin > 0)
        qCWarning(lcXafs).noquote() << QStringLiteral("%1 pixels have a fit range of fewer than 3 energies, e.g. %2")
                                           .arg(cache.thin).arg(cache.thinExample);
    if (cache.questionable > 0)
        qCWarning(lcXafs).noquote()
            << QStringLiteral("%1 of the masked pixels have a questionable E0 (a second derivative peak within 10 % of the first; 2 in the mask)")
                   .arg(cache.questionable);
}

bool XafsSession::exportMap(XafsMaps::Kind k, const QString& path, QString* why)
{
    QString err = clash({path});
    if (!err.isEmpty() || noStack(&err))
        return recorded(path, false, err, why);
    const XafsMaps& m = maps();
    if (m.fitted == 0)
        return recorded(path, false, QStringLiteral("no pixel's spectrum could be normalised, %1 not written").arg(path), why);
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool ok = XafsExport::writeMap(path, m, k, &err);
    return recorded(path, ok, err, why);
}

bool XafsSession::applyConfig(const ConfigStore& c, QString* why)
{
    QStringList problems;
    if (c.contains(QStringLiteral("XafsElement"))) {
        const QStringList p = c.fullValue(QStringLiteral("XafsElement")).simplified().split(' ');
        QString w;
        if (p.size() != 2 || !setElement(p[0], p[1], &w))
            problems << QStringLiteral("XafsElement: ") + (w.isEmpty() ? QStringLiteral("give SYMBOL EDGE, e.g. \"Fe K\"") : w);
    }
    if (c.contains(QStringLiteral("XafsMonoD"))) {
        bool ok = false;
        const double d = c.value(QStringLiteral("XafsMonoD"), QString()).toDouble(&ok);
        QString w;
        if (!ok || !setMonoD(d, &w))
            problems << QStringLiteral("XafsMonoD: ") + (w.isEmpty() ? QStringLiteral("not a number") : w);
    }
    md.facility = c.fullValue(QStringLiteral("XafsFacility")).trimmed();
    md.beamline = c.fullValue(QStringLiteral("XafsBeamline")).trimmed();
    if (c.contains(QStringLiteral("XafsScanStart"))) {
        const QString t = c.fullValue(QStringLiteral("XafsScanStart")).trimmed();
        md.start = QDateTime::fromString(t, Qt::ISODate);
        if (!md.start.isValid())
            problems << QStringLiteral("XafsScanStart: \"%1\" is not a date and time like 2026-03-01T14:05:00").arg(t);
    }
    if (why)
        *why = problems.join(QStringLiteral("; "));
    return problems.isEmpty();
}

bool XafsSession::setElement(const QString& symbol, const QString& edge, QString* why)
{
    const QString p = XafsExport::elementProblem(symbol, edge);
    if (!p.isEmpty()) {
        if (why)
            *why = p;
        return false;
    }
    md.element = symbol;
    md.edge = edge;
    return true;
}

bool XafsSession::setMonoD(double d, QString* why)
{
    // Crystal d-spacings lie between about 0.5 and 30 Angstrom.
    if (!(std::isfinite(d) && d > 0 && d < 1000)) {
        if (why)
            *why = QStringLiteral("a monochromator d-spacing is a positive number of Angstrom, not %1").arg(d);
        return false;
    }
    md.monoD = d;
    return true;
}

bool XafsSession::loadReferences(const QStringList& files, QString* why)
{
    if (files.isEmpty()) {
        if (why)
            *why = QStringLiteral("no reference file given");
        return false;
    }
    std::vector<XafsReference> next(size_t(files.size()));
    for (int i = 0; i < files.size(); ++i) {
        if (!next[size_t(i)].load(files[i], why))
            return false;
        // A reference in mu must normalise with the current ranges.
        if (!std::isfinite(next[size_t(i)].edge(rng, why)))
            return false;
        for (int j = 0; j < i; ++j)
            if (next[size_t(j)].energy == next[size_t(i)].energy && next[size_t(j)].value == next[size_t(i)].value) {
                if (why)
                    *why = QStringLiteral("references %1 and %2 are identical").arg(files[j], files[i]);
                return false;
            }
    }
    if (int(next.size()) > XafsLcf::maxReferences) {
        if (why)
            *why = QStringLiteral("%1 references are more than the %2 a fit takes").arg(next.size()).arg(XafsLcf::maxReferences);
        return false;
    }
    // Names become file names: the same base name twice gets numbers.
    for (size_t i = 0; i < next.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (next[j].name == next[i].name)
                next[i].name += QStringLiteral("_%1").arg(i + 1);
    // With a stack loaded, a reference that misses the window fails here.
    if (!st.isEmpty()) {
        XafsLcf test;
        if (!test.prepare(next, rng, window, oneSum, st.energies, why))
            return false;
    }
    refs = std::move(next);
    ++gen;
    return true;
}

bool XafsSession::setLcfWindow(const XafsLcfWindow& w, QString* why)
{
    const QString p = w.problem();
    if (!p.isEmpty()) {
        if (why)
            *why = p;
        return false;
    }
    window = w;
    ++gen;
    return true;
}

void XafsSession::setSumToOne(bool on)
{
    oneSum = on;
    ++gen;
}

bool XafsSession::lcf(XafsLcf& out, QString* why) const
{
    if (noStack(why))
        return false;
    return out.prepare(refs, rng, window, oneSum, st.energies, why);
}

bool XafsSession::lcfRegion(const XafsRoi& roi, XafsLcfFit& fit, XafsLcf& l, XafsSpectrum& s, QString* why) const
{
    XafsNormalize unused;
    if (!spectrum(roi, s, unused, why) || !lcf(l, why))
        return false;
    XafsNormalize norm(l.fitRanges);
    if (!norm.fit(s.energy.data(), s.mu.data(), int(s.energy.size()))) {
        if (why)
            *why = QStringLiteral("no normalisation about the fit's E0: ") + norm.why();
        return false;
    }
    std::vector<double> data(size_t(l.w()));
    for (int i = 0; i < l.w(); ++i) {
        const int k = l.index[size_t(i)];
        data[size_t(i)] = (s.mu[size_t(k)] - norm.preAt(s.energy[size_t(k)])) / norm.jump;
    }
    if (!l.fit(data.data(), fit, true)) {
        if (why)
            *why = QStringLiteral("the fit's equations are singular");
        return false;
    }
    return true;
}

bool XafsSession::exportLcfRegion(const XafsRoi& roi, const QString& path, QString* why)
{
    XafsLcfFit fit;
    XafsLcf l;
    XafsSpectrum s;
    QString err = clash({path});
    if (!err.isEmpty() || !lcfRegion(roi, fit, l, s, &err))
        return recorded(path, false, err, why);
    // Fractions first, then the fit over the window; one header row each.
    QByteArray text = "reference,fraction,sigma\n";
    for (int a = 0; a < l.k(); ++a)
        text += l.names[a].toUtf8() + ',' + QByteArray::number(fit.fraction[size_t(a)], 'g', 8) + ','
            + QByteArray::number(fit.sigma[size_t(a)], 'g', 8) + '\n';
    text += "sum," + QByteArray::number(fit.sum, 'g', 8) + ",\n";
    text += "r_factor," + QByteArray::number(fit.rFactor, 'g', 8) + ",\n\n";
    text += "energy_eV,norm,fit";
    for (const QString& n : l.names)
        text += ',' + n.toUtf8();
    text += '\n';
    for (int i = 0; i < l.w(); ++i) {
        text += QByteArray::number(l.energies[size_t(i)], 'g', 10) + ',' + QByteArray::number(fit.data[size_t(i)], 'g', 8) + ','
            + QByteArray::number(fit.fit[size_t(i)], 'g', 8);
        for (int a = 0; a < l.k(); ++a)
            text += ',' + QByteArray::number(fit.fraction[size_t(a)] * l.refs[size_t(a)][size_t(i)], 'g', 8);
        text += '\n';
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool ok = SafeWrite::writeBytes(path, text, &err);
    return recorded(path, ok, err, why);
}

bool XafsSession::exportLcfMaps(const QString& dir, QString* why, XafsProgress* progress)
{
    XafsLcf l;
    QString err;
    const QString first = QDir(dir).filePath(QStringLiteral("lcf_sum.tif"));
    if (dir.isEmpty())
        return recorded(first, false, QStringLiteral("a directory is missing"), why);
    if (!lcf(l, &err))
        return recorded(first, false, err, why);
    QStringList paths;
    for (const QString& name : l.names)
        paths << QDir(dir).filePath(QStringLiteral("lcf_%1.tif").arg(name));
    paths << first << QDir(dir).filePath(QStringLiteral("lcf_rfactor.tif"));
    if (const QString c = clash(paths); !c.isEmpty())
        return recorded(first, false, c, why);
    if (!computeLcfMaps(&err, progress))
        return recorded(first, false, err, why);
    const XafsLcfMaps& m = lcfMaps;
    std::vector<const std::vector<float>*> maps;
    for (const std::vector<float>& f : m.fraction)
        maps.push_back(&f);
    maps.push_back(&m.sum);
    maps.push_back(&m.rFactor);
    QDir().mkpath(dir);
    const QString desc = QStringLiteral("Zuvo2 XAFS LCF map x0=%1 z0=%2 width=%3 height=%4 threshold=%5 window=%6,%7 eV from E0=%8 references=%9")
                             .arg(m.x0).arg(m.z0).arg(m.width).arg(m.height).arg(thr).arg(window.lo).arg(window.hi)
                             .arg(l.e0, 0, 'f', 2).arg(l.names.join(QLatin1Char(',')));
    const bool ok = XafsExport::writeFloatMaps(paths, maps, m.width, m.height, desc, &err);
    return recordedAll(paths, ok, err, why);
}

namespace {
// The middle (at most 512 x 512) of a projection as absorbance -ln(I).
bool middle(const QString& path, std::vector<float>& out, int& w, int& h, QString* why)
{
    QString err;
    std::unique_ptr<ImgData> img(loadImgData(path, true, &err));
    if (!img || !img->ready) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(path, img && !img->error.isEmpty() ? img->error : err);
        return false;
    }
    w = std::min<int>(img->width, 512);
    h = std::min<int>(img->height, 512);
    const int x0 = (img->width - w) / 2, z0 = (img->height - h) / 2;
    std::vector<double> row(static_cast<size_t>(img->width));
    out.resize(size_t(w) * size_t(h));
    for (int j = 0; j < h; ++j) {
        img->readRow(z0 + j, row.data());
        for (int i = 0; i < w; ++i)
            out[size_t(j) * size_t(w) + size_t(i)] = float(-std::log(std::max(row[size_t(x0 + i)], 1e-6)));
    }
    return true;
}
} // namespace

bool XafsSession::exportAlignment(const QString& dir, double refEnergy, const QString& path, QString* why,
                                  XafsProgress* progress)
{
    QString err;
    auto failed = [&](const QString& text) { return recorded(path, false, text, why); };
    if (!QFileInfo(dir).isDir())
        return failed(QStringLiteral("no directory %1").arg(dir));
    const QFileInfoList listing = QDir(dir).entryInfoList(QDir::Files, QDir::Name);
    QList<CtFileSet*> sets = CtFileSet::group(listing);
    struct Set { double energy; QStringList files; };
    std::vector<Set> all;
    for (CtFileSet* c : sets) {
        if (c->energy > 0 && c->files.size() >= 4) {
            Set x{c->energy * c->unitFactor, {}};
            for (const QFileInfo& f : c->files)
                x.files << f.filePath();
            all.push_back(x);
        }
        delete c;
    }
    std::sort(all.begin(), all.end(), [](const Set& a, const Set& b) { return a.energy < b.energy; });
    const auto ref = std::find_if(all.begin(), all.end(), [&](const Set& x) { return std::fabs(x.energy - refEnergy) < 0.005; });
    if (ref == all.end()) {
        QStringList have;
        for (const Set& x : all)
            have << QString::number(x.energy, 'g', 10);
        return failed(QStringLiteral("no energy set at %1 eV in %2 (sets at: %3)")
                          .arg(refEnergy, 0, 'g', 10).arg(dir, have.isEmpty() ? QStringLiteral("none") : have.join(QStringLiteral(", "))));
    }
    const int n = int(ref->files.size());
    // Projections over a half turn: 0, 45, 90, 135 degrees and each one's neighbours.
    std::vector<int> picks;
    for (int a = 0; a < 4; ++a)
        for (int d = -1; d <= 1; ++d)
            picks.push_back(std::clamp(int(std::lround(a * n / 4.0)) + d, 0, n - 1));
    std::sort(picks.begin(), picks.end());
    picks.erase(std::unique(picks.begin(), picks.end()), picks.end());
    std::vector<std::vector<float>> refImg(picks.size());
    int w = 0, h = 0;
    for (size_t k = 0; k < picks.size(); ++k)
        if (!middle(ref->files[picks[k]], refImg[k], w, h, &err))
            return failed(err);
    XafsAlign align;
    std::vector<XafsEnergyShift> out;
    if (progress) {
        progress->total = int(all.size());
        progress->done = 0;
    }
    for (const Set& x : all) {
        if (progress && progress->cancelled())
            return failed(QStringLiteral("cancelled, nothing written"));
        if (x.files.size() != n)
            return failed(QStringLiteral("the set at %1 eV has %2 projections, the reference set %3").arg(x.energy, 0, 'g', 10).arg(x.files.size()).arg(n));
        std::vector<XafsShift> angles;
        for (size_t k = 0; k < picks.size(); ++k) {
            std::vector<float> img;
            int iw = 0, ih = 0;
            if (!middle(x.files[picks[k]], img, iw, ih, &err))
                return failed(err);
            if (iw != w || ih != h)
                return failed(QStringLiteral("%1 is %2 x %3 in the middle, the reference %4 x %5").arg(x.files[picks[k]]).arg(iw).arg(ih).arg(w).arg(h));
            XafsShift s;
            if (!align.measure(refImg[k].data(), img.data(), w, h, s, &err))
                return failed(err);
            angles.push_back(s);
        }
        out.push_back(align.combine(x.energy, angles));
        if (out.back().questionable)
            qCWarning(lcXafs).noquote() << QStringLiteral("Shift of the set at %1 eV is questionable: %2, %3 px (spread %4, %5 px, peak %6)")
                                               .arg(x.energy, 0, 'g', 10).arg(out.back().dx, 0, 'f', 2).arg(out.back().dz, 0, 'f', 2)
                                               .arg(out.back().spreadX, 0, 'f', 2).arg(out.back().spreadZ, 0, 'f', 2).arg(out.back().peak, 0, 'f', 3);
        if (progress)
            ++progress->done;
    }
    QStringList projections;
    for (const Set& x : all)
        projections += x.files;
    if (const QString c = clash({path}, projections); !c.isEmpty())
        return failed(c);
    const QByteArray text = XafsAlign::csv(out);
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool ok = SafeWrite::writeBytes(path, text, &err);
    if (ok)
        shifts = std::move(out);
    return recorded(path, ok, err, why);
}

bool XafsSession::computeLcfMaps(QString* why, XafsProgress* progress)
{
    XafsLcf l;
    if (!lcf(l, why))
        return false;
    XafsLcfMaps m = XafsLcfMaps::compute(st, thr, l, 0, progress);
    if (m.cancelled || m.fitted == 0) {
        if (why)
            *why = m.cancelled ? QStringLiteral("cancelled, nothing written")
                               : QStringLiteral("no pixel could be fitted (edge jump below %1 or no normalisation "
                                                "everywhere), nothing written").arg(thr);
        return false;
    }
    lcfMaps = std::move(m);
    lcfNames = l.names;
    return true;
}

bool XafsSession::computeClusters(int k, QString* why, XafsProgress* progress)
{
    XafsSpectraTable t;
    XafsPca p;
    XafsClusters c;
    if (!spectraTable(t, why, progress) || !p.compute(t, why) || !c.compute(t, p, k, st.width, st.height, why, progress)) {
        if (why && why->isEmpty())
            *why = QStringLiteral("cancelled, nothing written");
        return false;
    }
    pcaResult = std::move(p);
    clusters = std::move(c);
    return true;
}

bool XafsSession::spectraTable(XafsSpectraTable& t, QString* why, XafsProgress* progress)
{
    if (noStack(why))
        return false;
    if (!XafsSpectraTable::gather(st, rng, thr, t, why, 0, progress))
        return false;
    if (t.cancelled) {
        if (why)
            *why = QStringLiteral("cancelled, nothing written");
        return false;
    }
    return true;
}

bool XafsSession::exportPca(const QString& path, QString* why, XafsProgress* progress)
{
    XafsSpectraTable t;
    QString err = clash({path});
    XafsPca p;
    if (!err.isEmpty() || !spectraTable(t, &err, progress) || !p.compute(t, &err))
        return recorded(path, false, err, why);
    const QByteArray text = p.csv();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool ok = SafeWrite::writeBytes(path, text, &err);
    if (ok)
        pcaResult = std::move(p);
    return recorded(path, ok, err, why);
}

bool XafsSession::exportClusters(int k, const QString& dir, QString* why, XafsProgress* progress)
{
    const QString tif = QDir(dir).filePath(QStringLiteral("clusters.tif"));
    const QString csv = QDir(dir).filePath(QStringLiteral("clusters.csv"));
    QString err;
    if (dir.isEmpty())
        return recorded(tif, false, QStringLiteral("a directory is missing"), why);
    if (const QString c = clash({tif, csv}); !c.isEmpty())
        return recorded(tif, false, c, why);
    if (!computeClusters(k, &err, progress))
        return recorded(tif, false, err, why);
    const XafsClusters& c = clusters;
    QDir().mkpath(dir);
    const QString desc = QStringLiteral("Zuvo2 XAFS class map x0=%1 z0=%2 width=%3 height=%4 threshold=%5 classes=%6 components=%7")
                             .arg(st.x0).arg(st.z0).arg(st.width).arg(st.height).arg(thr).arg(k).arg(c.componentsUsed);
    bool ok = writeFloatTiff(tif, c.classMap.data(), st.width, st.height, desc, &err);
    if (ok) {
        const QByteArray text = c.csv(st.energies);
        ok = SafeWrite::writeBytes(csv, text, &err);
        if (!ok)
            QFile::remove(tif);
    } else {
        err = QStringLiteral("Can't write %1: %2").arg(tif, err);
    }
    return recordedAll({tif, csv}, ok, err, why);
}

bool XafsSession::recordedAll(const QStringList& paths, bool ok, const QString& failure, QString* why)
{
    if (ok)
        for (int i = 0; i + 1 < paths.size(); ++i)
            written << QFileInfo(paths[i]).absoluteFilePath();
    return recorded(paths.last(), ok, failure, why);
}

bool XafsSession::recorded(const QString& path, bool ok, const QString& failure, QString* why)
{
    if (ok)
        written << QFileInfo(path).absoluteFilePath();
    else
        failures << failure;
    if (why)
        *why = failure;
    const QString dir = QFileInfo(path).absolutePath();
    // Without a stack (or shifts) there is nothing to record.
    if ((st.isEmpty() && shifts.empty()) || !QFileInfo(dir).isDir())
        return ok;
    QString err;
    const QByteArray text = QJsonDocument(reportJson()).toJson();
    const bool saved = SafeWrite::writeBytes(QDir(dir).filePath(reportName()), text, &err);
    if (!saved && ok) {
        if (why)
            *why = err;
        return false;
    }
    return ok;
}

QJsonObject XafsSession::reportJson() const
{
    QJsonObject o;
    o["program"] = QStringLiteral("zuvo2");
    o["version"] = CtRunReport::programVersion();
    o["loaded"] = loaded.toString(Qt::ISODateWithMs);
    o["written_at"] = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    o["stackDir"] = st.dir;
    o["pattern"] = st.pattern;
    QJsonArray e;
    for (double v : st.energies)
        e.append(v);
    o["energies"] = e;
    o["files"] = QJsonArray::fromStringList(st.files);
    o["leftOut"] = QJsonArray::fromStringList(st.skipped);
    o["notes"] = QJsonArray::fromStringList(st.notes);
    o["size"] = QJsonArray{st.width, st.height};
    o["offset"] = QJsonArray{double(st.x0), double(st.z0)};
    o["unit"] = st.unit;
    o["preEdge"] = QJsonArray{rng.pre1, rng.pre2};
    o["postEdge"] = QJsonArray{rng.post1, rng.post2};
    o["postOrder"] = rng.postOrder;
    o["e0Method"] = XafsRanges::methodName(rng.e0Method);
    if (rng.e0Method == XafsE0Method::Fixed)
        o["fixedE0"] = rng.fixedE0;
    o["jumpThreshold"] = thr;
    if (!refs.empty()) {
        QJsonArray r;
        for (const XafsReference& x : refs)
            r.append(QJsonObject{{"name", x.name}, {"file", x.path}, {"normalised", x.normalised}});
        o["references"] = r;
        o["lcfWindow"] = QJsonArray{window.lo, window.hi};
        o["lcfSumToOne"] = oneSum;
    }
    if (!md.element.isEmpty())
        o["element"] = md.element + QLatin1Char(' ') + md.edge;
    if (md.monoD > 0)
        o["monoD"] = md.monoD;
    if (!shifts.empty()) {
        QJsonArray a;
        for (const XafsEnergyShift& x : shifts)
            a.append(QJsonObject{{"energy", x.energy}, {"dx", x.dx}, {"dz", x.dz}, {"spreadX", x.spreadX},
                                 {"spreadZ", x.spreadZ}, {"peak", x.peak}, {"questionable", x.questionable}});
        o["shifts"] = a;
    }
    o["written"] = QJsonArray::fromStringList(written);
    o["failures"] = QJsonArray::fromStringList(failures);
    return o;
}
