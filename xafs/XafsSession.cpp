#include "XafsSession.h"

#include "CtRunReport.h"
#include "SafeWrite.h"
#include "XafsExport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

bool XafsSession::loadStack(const QString& dir, const QString& pattern, QString* why)
{
    cacheValid = false;
    ++gen;
    written.clear();
    failures.clear();
    loaded = QDateTime::currentDateTime();
    return st.load(dir, pattern, why);
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
    return true;
}

bool XafsSession::exportSpectrum(const XafsRoi& roi, const QString& path, QString* why)
{
    XafsSpectrum s;
    XafsNormalize fit;
    QString err;
    if (!spectrum(roi, s, fit, &err))
        return recorded(path, false, err, why);
    const QStringList extra = {
        QStringLiteral("Zuvo2.region: %1 %2 %3 %4").arg(roi.x0).arg(roi.z0).arg(roi.x1).arg(roi.z1),
        QStringLiteral("Zuvo2.stack: %1").arg(QDir(st.dir).filePath(st.pattern)),
    };
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool ok = XafsExport::writeSpectrum(path, s, fit, st.unit, extra, &err);
    return recorded(path, ok, err, why);
}

const XafsMaps& XafsSession::maps()
{
    if (!cacheValid) {
        cache = XafsMaps::compute(st, rng, thr);
        cacheValid = true;
    }
    return cache;
}

bool XafsSession::exportMap(XafsMaps::Kind k, const QString& path, QString* why)
{
    QString err;
    if (noStack(&err))
        return recorded(path, false, err, why);
    const XafsMaps& m = maps();
    if (m.fitted == 0)
        return recorded(path, false, QStringLiteral("no pixel's spectrum could be normalised, %1 not written").arg(path), why);
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool ok = XafsExport::writeMap(path, m, k, &err);
    return recorded(path, ok, err, why);
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
    // Without a stack there is nothing to record.
    if (st.isEmpty() || !QFileInfo(dir).isDir())
        return ok;
    QString err;
    const QByteArray text = QJsonDocument(reportJson()).toJson();
    const bool saved = SafeWrite::write(
        QDir(dir).filePath(reportName()),
        [&](QIODevice* d, QString& w) {
            if (d->write(text) == text.size())
                return true;
            w = d->errorString();
            return false;
        },
        &err);
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
    o["jumpThreshold"] = thr;
    o["written"] = QJsonArray::fromStringList(written);
    o["failures"] = QJsonArray::fromStringList(failures);
    return o;
}
