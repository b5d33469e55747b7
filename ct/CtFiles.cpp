#include "CtFiles.h"

#include "CtResult.h"
#include "CtRunReport.h"
#include "DataText.h"
#include "Failures.h"
#include "Logging.h"
#include "DispMath.h"
#include "ReconSettings.h"
#include "SafeWrite.h"
#include "Sha256.h"
#include "TiffWriter.h"

#include <QDebug>
#include <QImage>
#include <QDir>
#include <QRectF>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

QString CtFiles::insertTag(const QString& name, const QString& tag)
{
    const QFileInfo fi(name);
    return fi.completeBaseName() + QLatin1Char('-') + tag + QLatin1Char('.') + fi.suffix();
}

QString CtFiles::replaceSuffix(const QString& name, const QString& suffix)
{
    return QFileInfo(name).completeBaseName() + QLatin1Char('.') + suffix;
}

QString CtFiles::sliceName(const QString& name, const QString& tag, int slice, const QString& suffix)
{
    QString r = name;
    if (!tag.isEmpty())
        r = insertTag(r, tag);
    r = insertTag(r, QString::asprintf("%05d", slice));
    return replaceSuffix(r, suffix);
}

ReconOutput CtFiles::tiffOutput(const ReconSettings& s)
{
    ReconOutput t = s.tiff;
    if (t.path.isEmpty())
        t.path = s.data.path;
    if (t.name.isEmpty())
        t.name = s.data.name;
    t.tag = s.data.tag;
    return t;
}

void CtFiles::nameOutputs(CtJob& j, const ReconSettings& s, int slice)
{
    const auto path = [slice](const ReconOutput& o, const char* suffix) {
        return o.on ? QDir(o.path).absoluteFilePath(sliceName(o.name, o.tag, slice, QLatin1String(suffix))) : QString();
    };
    j.imageFile = path(s.image, "png");
    j.dataFile = path(s.data, "dat");
    j.tiffFile = path(tiffOutput(s), "tif");
}

QString CtFiles::sweepPath(const ReconSettings& s, int slice)
{
    const ReconOutput& o = s.image.on ? s.image : s.data;
    if (!o.on)
        return {};
    const QString name = sliceName(o.name, o.tag, slice, QStringLiteral("png"));
    return QDir(o.path).absoluteFilePath(insertTag(name, QStringLiteral("sweep")));
}

void CtFiles::writeResult(CtResult& r)
{
    if (!r.data)
        return;
    const CtJob& job = r.job;
    const CtSlice& s = *r.data;
    // hash: the digest taken while writing; without it the file is read back.
    const auto done = [&r](bool ok, const QString& path, const QString& error, Sha256* hash = nullptr) {
        if (ok) {
            r.written << path;
            r.fileRecords << (hash ? CtRunReport::fileRecord(path, hash->size(), hash->hex())
                                   : CtRunReport::fileRecord(path));
        } else {
            r.failures << error;
            Failures::record(Failures::Write, error);
        }
    };
    QString error;
    if (!job.imageFile.isEmpty())
        done(savePicture(job.imageFile, r.picture, job.view.pictureRect, &error), job.imageFile, error);
    if (!job.dataFile.isEmpty()) {
        Sha256 hash;
        done(saveData(job.dataFile, s.image.data(), s.n, s.region.x0, s.region.z0, s.region.x1, s.region.z1, &error,
                      &hash),
             job.dataFile, error, &hash);
    }
    if (!job.tiffFile.isEmpty())
        done(saveFloatTiff(job.tiffFile, s, &error, job.valueToPerCm), job.tiffFile, error);
}

namespace {
// The first and one past the last index of a loop "from trunc(a0) while < a1".
bool loopRange(double a0, double a1, double& first, double& end)
{
    if (std::isnan(a0) || std::isnan(a1))
        return false;
    first = std::trunc(a0);
    end = std::ceil(a1);
    return end > first;
}
} // namespace

double CtFiles::lineCount(double x0, double z0, double x1, double z1)
{
    double xa, xb, za, zb;
    if (!loopRange(x0, x1, xa, xb) || !loopRange(z0, z1, za, zb))
        return 0;
    return (xb - xa) * (zb - za);
}

double CtFiles::maxLines(int n)
{
    // Generous margins around the image, but never a file of many gigabytes.
    return std::max(4.0 * double(n) * double(n), double(1 << 24));
}

bool CtFiles::writeData(QIODevice* out, const double* image, int n, double x0, double z0, double x1,
                        double z1, Sha256* hash)
{
    const double lines = lineCount(x0, z0, x1, z1);
    if (lines > maxLines(n))
        return false;
    // Lines are made in a buffer and written in large pieces.
    constexpr size_t chunk = size_t(1) << 20;
    // Up to a group of lines is added between checks.
    constexpr size_t longestLine = std::max<size_t>(4 * DataText::maxChars, DataText::lineRoom);
    std::vector<char> buf(chunk + DataText::lineGroup * longestLine);
    char* p = buf.data();
    bool ok = true;
    auto flush = [&] {
        const qint64 size = p - buf.data();
        // Hashed while the bytes are in the cache, not read back later.
        if (hash && ok)
            hash->add(buf.data(), size_t(size));
        ok = ok && out->write(buf.data(), size) == size;
        p = buf.data();
    };
    auto text = [&](const char* t) {
        const size_t len = std::strlen(t);
        std::memcpy(p, t, len);
        p += len;
    };
    text("#ZUVO-CTImg\n");
    const char* labels[] = {"# Range_X0       : ", "# Range_Y0       : ", "# Range_X1       : ", "# Range_Y1       : "};
    const double corners[] = {x0, z0, x1, z1};
    for (int i = 0; i < 4; ++i) {
        text(labels[i]);
        p = DataText::appendNumber(p, corners[i]);
        *p++ = '\n';
    }
    text("# sx,sy, ex,ey   : ");
    for (int i = 0; i < 4; ++i) {
        p = DataText::appendNumber(p, corners[i]);
        *p++ = i < 3 ? '\t' : '\n';
    }
    double xa, xb, za, zb;
    if (lines > 0 && loopRange(x0, x1, xa, xb) && loopRange(z0, z1, za, zb)) {
        const long long xFirst = (long long)xa, xEnd = (long long)xb;
        const long long zFirst = (long long)za, zEnd = (long long)zb;
        // "x\t" of every column, made once for regions of sensible width.
        const size_t width = size_t(xEnd - xFirst);
        const bool cached = width <= 65536;
        std::vector<char> columns(cached ? width * 24 : 0);
        std::vector<unsigned char> columnLength(cached ? width : 0);
        for (size_t i = 0; cached && i < width; ++i) {
            char* c = columns.data() + i * 24;
            char* e = DataText::appendInteger(c, xFirst + (long long)i);
            *e++ = '\t';
            columnLength[i] = static_cast<unsigned char>(e - c);
        }
        for (long long z = zFirst; z < zEnd && ok; ++z) {
            const bool rowIn = image && z >= 0 && z < n;
            const double* row = rowIn ? image + size_t(z) * size_t(n) : nullptr;
            char zText[DataText::maxChars];
            char* ze = DataText::appendInteger(zText, z);
            *ze++ = '\t';
            const size_t zLen = size_t(ze - zText);
            DataText::Group group;
            // Cached columns go a whole group of lines at a time, the others eight.
            const int step = cached ? DataText::lineGroup : 8;
            for (long long x8 = xFirst; x8 < xEnd; x8 += step) {
                const int count = int(std::min<long long>(step, xEnd - x8));
                double values[DataText::lineGroup];
                const double* v = values;
                if (row && x8 >= 0 && x8 + count <= n) {
                    v = row + x8;
                } else {
                    for (int k = 0; k < count; ++k) {
                        const long long x = x8 + k;
                        values[k] = (row && x >= 0 && x < n) ? row[x] : 0.0;
                    }
                }
                if (cached) {
                    const size_t i = size_t(x8 - xFirst);
                    p = DataText::appendLines(p, v, count, columns.data() + i * 24, columnLength.data() + i, zText,
                                              int(zLen));
                } else {
                    group.prepare(v, count);
                    for (int k = 0; k < count; ++k) {
                        p = DataText::appendInteger(p, x8 + k);
                        *p++ = '\t';
                        std::memcpy(p, zText, 24);
                        p += zLen;
                        p = group.append(p, k);
                        *p++ = '\n';
                    }
                }
                if (size_t(p - buf.data()) >= chunk)
                    flush();
            }
        }
    }
    flush();
    return ok;
}

namespace {
bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    else
        qCDebug(lcCt).noquote() << message;
    return false;
}

// Largest picture written (far zoomed-out views are mostly margin).
constexpr qint64 maxPicturePixels = qint64(1) << 28;
} // namespace

bool CtFiles::saveData(const QString& path, const double* image, int n, double x0, double z0,
                       double x1, double z1, QString* error, Sha256* hash)
{
    if (lineCount(x0, z0, x1, z1) > maxLines(n))
        return fail(error, QStringLiteral("Region too large for a CT data file, not written : ") + path);
    SafeWrite file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return fail(error, QStringLiteral("Can't open ") + path + QStringLiteral(" to write CT data: ") + file.reason());
    if (!writeData(file.device(), image, n, x0, z0, x1, z1, hash)) {
        const QString reason = file.device()->errorString();
        file.cancel();
        return fail(error, QStringLiteral("Can't write ") + path + QStringLiteral(": ") + reason);
    }
    return file.commit() || fail(error, file.errorString());
}

bool CtFiles::savePicture(const QString& path, const QImage& picture, const QRectF& part,
                          QString* error)
{
    QRect r = picture.rect();
    if (!part.isEmpty())
        r = truncatedRect(part);
    if (r.isEmpty() || picture.isNull())
        return fail(error, QStringLiteral("Nothing visible to save : ") + path);
    if (qint64(r.width()) * r.height() > maxPicturePixels)
        r = r.intersected(picture.rect());
    QString why;
    return SafeWrite::writeImage(path, picture.copy(r), &why) || fail(error, why);
}

QString CtFiles::tiffDescription(const CtSlice& s, long long x0, long long z0, int w, int h, double valueToPerCm)
{
    // A mean of the back-projections (the single-slice calculator's) is a
    // sum divided by nProj.
    const int scale = s.mean ? 2 : 2 * s.nProj;
    QString d = QStringLiteral("ZUVO-CTImg slice=%1 x0=%2 z0=%3 width=%4 height=%5 image=%6 projections=%7 "
                               "mu_per_pixel=value/%8 scale_to_mu=%9")
                    .arg(s.slice).arg(x0).arg(z0).arg(w).arg(h).arg(s.n).arg(s.nProj).arg(scale)
                    .arg(scale > 0 ? QString::number(1.0 / scale, 'g', 17) : QStringLiteral("nan"));
    // The same factor as the run report's, so the file alone gives 1/cm.
    if (valueToPerCm > 0)
        d += QStringLiteral(" per_cm=value*") + QString::number(valueToPerCm, 'g', 17);
    return d;
}

bool CtFiles::regionValues(const CtSlice& s, std::vector<float>& v, int& w, int& h, long long& x0, long long& z0,
                           const QString& path, QString* error)
{
    const CtRegion& r = s.region;
    double xa, xb, za, zb;
    if (!loopRange(r.x0, r.x1, xa, xb) || !loopRange(r.z0, r.z1, za, zb))
        return fail(error, QStringLiteral("Empty region, no float TIFF written : ") + path);
    if ((xb - xa) * (zb - za) > maxLines(s.n) || xb - xa > 1 << 30 || zb - za > 1 << 30)
        return fail(error, QStringLiteral("Region too large for a float TIFF, not written : ") + path);
    x0 = (long long)xa;
    z0 = (long long)za;
    w = int(xb - xa);
    h = int(zb - za);
    try {
        v.assign(size_t(w) * size_t(h), 0.0f);
    } catch (const std::bad_alloc&) {
        return fail(error, QStringLiteral("Out of memory for the float TIFF ") + path);
    }
    // The same pixels, in the same order, as the data file's lines.
    for (int j = 0; j < h; ++j) {
        const long long z = z0 + j;
        if (z < 0 || z >= s.n)
            continue;
        const double* row = s.image.data() + size_t(z) * size_t(s.n);
        for (int i = 0; i < w; ++i) {
            const long long x = x0 + i;
            if (x >= 0 && x < s.n)
                v[size_t(j) * size_t(w) + size_t(i)] = float(row[x]);
        }
    }
    return true;
}

bool CtFiles::saveFloatTiff(const QString& path, const CtSlice& s, QString* error, double valueToPerCm)
{
    std::vector<float> v;
    int w = 0, h = 0;
    long long x0 = 0, z0 = 0;
    if (!regionValues(s, v, w, h, x0, z0, path, error))
        return false;
    QString why;
    if (!writeFloatTiff(path, v.data(), w, h, tiffDescription(s, x0, z0, w, h, valueToPerCm), &why))
        return fail(error, QStringLiteral("Can't write float TIFF %1: %2").arg(path, why));
    return true;
}
