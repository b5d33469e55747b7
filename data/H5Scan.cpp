#include "H5Scan.h"

#include "Failures.h"
#include "ImgData.h"
#include "ImgDataMem.h"
#include "ImgDatas.h"
#include "MemoryBudget.h"

#include <QFile>

#include <hdf5.h>

#include <climits>
#include <cmath>
#include <new>

static_assert(sizeof(hid_t) <= sizeof(qint64), "HDF5 ids are kept as qint64");

namespace {

// The innermost message of the library's error stack (the cause, e.g. a
// truncated file), or "" when it holds none.
QString lastH5Error()
{
    QString text;
    H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD,
             [](unsigned n, const H5E_error2_t* e, void* data) -> herr_t {
                 if (n == 0 && e && e->desc)
                     *static_cast<QString*>(data) = QString::fromLocal8Bit(e->desc);
                 return 0;
             },
             &text);
    H5Eclear2(H5E_DEFAULT);
    return text;
}

// An HDF5 id closed when it goes out of scope.
struct Id
{
    hid_t id;
    herr_t (*closer)(hid_t);
    ~Id()
    {
        if (id >= 0)
            closer(id);
    }
};

bool exists(hid_t file, const char* path)
{
    // Every link on the way must exist before the next is asked for.
    QByteArray p(path);
    for (qsizetype i = 1; i <= p.size(); ++i) {
        if (i == p.size() || p.at(i) == '/') {
            if (H5Lexists(file, p.left(i).constData(), H5P_DEFAULT) <= 0)
                return false;
        }
    }
    return true;
}

// Integers and floats of any width convert to double in the library.
bool isNumber(hid_t type)
{
    const H5T_class_t c = H5Tget_class(type);
    return c == H5T_INTEGER || c == H5T_FLOAT;
}

// Whether the dataset's storage is all there: frames never written would
// read as the fill value, a plausible but false image; and a file of a few
// bytes could otherwise promise any number of them. Chunks are counted, since
// compressed ones never fill the full size.
bool written(hid_t dataset)
{
    Id dcpl { H5Dget_create_plist(dataset), H5Pclose };
    if (dcpl.id >= 0 && H5Pget_layout(dcpl.id) == H5D_CHUNKED) {
        Id space { H5Dget_space(dataset), H5Sclose };
        const int rank = space.id >= 0 ? H5Sget_simple_extent_ndims(space.id) : -1;
        hsize_t dims[3] = { 0, 0, 0 }, chunk[3] = { 0, 0, 0 };
        if (rank < 1 || rank > 3 || H5Sget_simple_extent_dims(space.id, dims, nullptr) != rank
            || H5Pget_chunk(dcpl.id, rank, chunk) != rank)
            return false;
        // At most 2^31 x 2^20 x 2^20 chunks: no overflow.
        hsize_t expected = 1;
        for (int k = 0; k < rank; ++k) {
            if (chunk[k] == 0)
                return false;
            expected *= (dims[k] + chunk[k] - 1) / chunk[k];
        }
        hsize_t stored = 0;
        return H5Dget_num_chunks(dataset, space.id, &stored) >= 0 && stored == expected;
    }
    H5D_space_status_t status = H5D_SPACE_STATUS_ERROR;
    return H5Dget_space_status(dataset, &status) >= 0 && status == H5D_SPACE_STATUS_ALLOCATED;
}

// The text of a string attribute (fixed or variable length); empty when the
// object has none.
QString stringAttribute(hid_t object, const char* name)
{
    if (H5Aexists(object, name) <= 0)
        return {};
    Id attr { H5Aopen(object, name, H5P_DEFAULT), H5Aclose };
    Id type { attr.id >= 0 ? H5Aget_type(attr.id) : -1, H5Tclose };
    Id space { attr.id >= 0 ? H5Aget_space(attr.id) : -1, H5Sclose };
    if (type.id < 0 || space.id < 0 || H5Tget_class(type.id) != H5T_STRING
        || H5Sget_simple_extent_npoints(space.id) != 1)
        return QStringLiteral("(not a text)");
    if (H5Tis_variable_str(type.id) > 0) {
        Id mem { H5Tcopy(H5T_C_S1), H5Tclose };
        H5Tset_size(mem.id, H5T_VARIABLE);
        char* text = nullptr;
        if (H5Aread(attr.id, mem.id, &text) < 0 || !text)
            return QStringLiteral("(not a text)");
        const QString s = QString::fromUtf8(text);
        H5free_memory(text);
        return s;
    }
    const size_t size = H5Tget_size(type.id);
    if (size == 0 || size > 256)
        return QStringLiteral("(not a text)");
    QByteArray bytes(qsizetype(size), '\0');
    if (H5Aread(attr.id, type.id, bytes.data()) < 0)
        return QStringLiteral("(not a text)");
    return QString::fromUtf8(bytes.constData(), qsizetype(qstrnlen(bytes.constData(), size)));
}

} // namespace

H5Scan::~H5Scan()
{
    close();
}

void H5Scan::close()
{
    for (qint64* id : { &dataId, &whiteId, &darkId })
        if (*id >= 0) {
            H5Dclose(hid_t(*id));
            *id = -1;
        }
    if (fileId >= 0)
        H5Fclose(hid_t(fileId));
    fileId = -1;
    nProj = nRows = nCols = nWhite = nDark = 0;
    angles.clear();
}

bool H5Scan::failWith(const QString& text)
{
    err = text;
    const QString cause = lastH5Error();
    if (!cause.isEmpty())
        err += QStringLiteral(" (%1)").arg(cause);
    return false;
}

bool H5Scan::openFrames(const char* path, qint64& id, int& frames, bool projectionsItself)
{
    if (!exists(hid_t(fileId), path))
        return failWith(QStringLiteral("no dataset %1").arg(QLatin1String(path)));
    const hid_t d = H5Dopen2(hid_t(fileId), path, H5P_DEFAULT);
    if (d < 0)
        return failWith(QStringLiteral("%1 is not a readable dataset").arg(QLatin1String(path)));
    id = d;
    Id space { H5Dget_space(d), H5Sclose };
    Id type { H5Dget_type(d), H5Tclose };
    const int rank = space.id >= 0 ? H5Sget_simple_extent_ndims(space.id) : -1;
    if (rank != 3)
        return failWith(QStringLiteral("%1 has rank %2, not 3 (frames x rows x columns)").arg(QLatin1String(path)).arg(rank));
    hsize_t dims[3] = { 0, 0, 0 };
    H5Sget_simple_extent_dims(space.id, dims, nullptr);
    if (dims[0] < 1 || dims[1] < 1 || dims[2] < 1 || dims[0] > INT_MAX || dims[1] > (1u << 20) || dims[2] > (1u << 20))
        return failWith(QStringLiteral("%1 has an unusable size %2 x %3 x %4").arg(QLatin1String(path))
                            .arg(dims[0]).arg(dims[1]).arg(dims[2]));
    if (type.id < 0 || !isNumber(type.id))
        return failWith(QStringLiteral("%1 does not hold numbers").arg(QLatin1String(path)));
    if (!written(d))
        return failWith(QStringLiteral("%1 holds frames that were never written").arg(QLatin1String(path)));
    if (projectionsItself) {
        const H5T_class_t c = H5Tget_class(type.id);
        const size_t size = H5Tget_size(type.id);
        if (c == H5T_INTEGER && size == 2 && H5Tget_sign(type.id) == H5T_SGN_NONE)
            floatData = false;
        else if (c == H5T_FLOAT && size == 4)
            floatData = true;
        else
            return failWith(QStringLiteral("%1 is neither uint16 nor float32").arg(QLatin1String(path)));
        nProj = int(dims[0]);
        nRows = int(dims[1]);
        nCols = int(dims[2]);
    } else if (int(dims[1]) != nRows || int(dims[2]) != nCols) {
        return failWith(QStringLiteral("%1 frames are %2 x %3, the projections %4 x %5 (rows x columns)")
                            .arg(QLatin1String(path)).arg(dims[1]).arg(dims[2]).arg(nRows).arg(nCols));
    }
    frames = int(dims[0]);
    return true;
}

bool H5Scan::open(const QString& file)
{
    close();
    err.clear();
    name = file;
    // The library would print every failed call on stderr.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    const QString problem = fileTypeProblem(file);
    if (!problem.isEmpty())
        return failWith(problem);
    const QByteArray path = QFile::encodeName(file);
    if (H5Fis_hdf5(path.constData()) <= 0)
        return failWith(QStringLiteral("not an HDF5 file"));
    const hid_t f = H5Fopen(path.constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
    if (f < 0)
        return failWith(QStringLiteral("can not open the HDF5 file"));
    fileId = f;
    bool ok = openFrames("/exchange/data", dataId, nProj, true)
        && openFrames("/exchange/data_white", whiteId, nWhite, false)
        && openFrames("/exchange/data_dark", darkId, nDark, false);
    if (ok && exists(f, "/exchange/theta")) {
        Id d { H5Dopen2(f, "/exchange/theta", H5P_DEFAULT), H5Dclose };
        Id space { d.id >= 0 ? H5Dget_space(d.id) : -1, H5Sclose };
        Id type { d.id >= 0 ? H5Dget_type(d.id) : -1, H5Tclose };
        hsize_t n = 0;
        if (space.id < 0 || H5Sget_simple_extent_ndims(space.id) != 1 || type.id < 0 || !isNumber(type.id)) {
            ok = failWith(QStringLiteral("/exchange/theta is not a list of numbers"));
        } else if (H5Sget_simple_extent_dims(space.id, &n, nullptr) != 1 || n != hsize_t(nProj)) {
            ok = failWith(QStringLiteral("/exchange/theta has %1 angles for %2 projections").arg(n).arg(nProj));
        } else if (!written(d.id)) {
            ok = failWith(QStringLiteral("/exchange/theta holds angles that were never written"));
        } else if (const qint64 budget = memoryBudgetBytes(); budget > 0 && qint64(nProj) * qint64(sizeof(double)) > budget) {
            ok = failWith(QStringLiteral("%1 angles do not fit in %2 of memory").arg(nProj).arg(megabytes(budget)));
        } else {
            angles.resize(nProj);
            if (H5Dread(d.id, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, angles.data()) < 0)
                ok = failWith(QStringLiteral("can not read /exchange/theta"));
            for (int i = 0; ok && i < nProj; ++i)
                if (!std::isfinite(angles.at(i)))
                    ok = failWith(QStringLiteral("/exchange/theta holds an angle that is not a number"));
            QString why;
            if (ok && !ScanAngles::toDegrees(angles, angleUnit, stringAttribute(d.id, "units"), &why))
                ok = failWith(QStringLiteral("/exchange/theta: ") + why);
        }
    }
    if (!ok) {
        const QString why = err;
        close();
        err = why;
    }
    return ok;
}

bool H5Scan::readBlock(qint64 dataset, const char* path, qint64 memType, int first, int count, const QRect& rect,
                       void* out)
{
    if (dataset < 0)
        return failWith(QStringLiteral("no scan open"));
    if (rect.isEmpty() || !frameRect().contains(rect))
        return failWith(QStringLiteral("no such part of the frames of %1").arg(QLatin1String(path)));
    Id file { H5Dget_space(hid_t(dataset)), H5Sclose };
    const hsize_t start[3] = { hsize_t(first), hsize_t(rect.top()), hsize_t(rect.left()) };
    const hsize_t size[3] = { hsize_t(count), hsize_t(rect.height()), hsize_t(rect.width()) };
    Id mem { H5Screate_simple(3, size, nullptr), H5Sclose };
    if (file.id < 0 || mem.id < 0
        || H5Sselect_hyperslab(file.id, H5S_SELECT_SET, start, nullptr, size, nullptr) < 0
        || H5Dread(hid_t(dataset), hid_t(memType), mem.id, file.id, H5P_DEFAULT, out) < 0)
        return failWith(QStringLiteral("can not read frames %1 to %2 of %3").arg(first).arg(first + count - 1)
                            .arg(QLatin1String(path)));
    return true;
}

bool H5Scan::readProjection(int p, std::vector<double>& out)
{
    if (p < 0 || p >= nProj)
        return failWith(QStringLiteral("no projection %1 of %2").arg(p).arg(nProj));
    out.resize(size_t(nRows) * size_t(nCols));
    return readBlock(dataId, "/exchange/data", H5T_NATIVE_DOUBLE, p, 1, frameRect(), out.data());
}

bool H5Scan::readProjectionRaw(int p, QByteArray& out, const LineBand& band)
{
    if (p < 0 || p >= nProj)
        return failWith(QStringLiteral("no projection %1 of %2").arg(p).arg(nProj));
    const QRect r = band.rectIn(nCols, nRows);
    out.resize(qsizetype(r.width()) * r.height() * (floatData ? 4 : 2));
    return readBlock(dataId, "/exchange/data", floatData ? H5T_NATIVE_FLOAT : H5T_NATIVE_UINT16, p, 1, r,
                     out.data());
}

bool H5Scan::readRows(int row0, int n, std::vector<double>& out)
{
    if (row0 < 0 || n < 1 || row0 + qint64(n) > nRows)
        return failWith(QStringLiteral("no rows %1 to %2 of %3").arg(row0).arg(row0 + n - 1).arg(nRows));
    out.resize(size_t(nProj) * size_t(n) * size_t(nCols));
    return readBlock(dataId, "/exchange/data", H5T_NATIVE_DOUBLE, 0, nProj, QRect(0, row0, nCols, n), out.data());
}

bool H5Scan::meanOf(qint64 id, int frames, const char* path, std::vector<double>& out, const LineBand& band)
{
    const QRect r = band.rectIn(nCols, nRows);
    const size_t n = size_t(r.width()) * size_t(r.height());
    out.assign(n, 0.0);
    std::vector<double> frame(n);
    for (int k = 0; k < frames; ++k) {
        if (!readBlock(id, path, H5T_NATIVE_DOUBLE, k, 1, r, frame.data()))
            return false;
        for (size_t i = 0; i < n; ++i)
            out[i] += frame[i];
    }
    for (double& v : out)
        v /= frames;
    return true;
}

bool loadH5Scan(const QString& file, ImgDatas& set, QString* why, const std::atomic<bool>* cancel)
{
    QList<ImgData*> projs;
    std::unique_ptr<ImgData> i0, bg;
    QString reason;
    auto refuse = [&](const QString& text) {
        qDeleteAll(projs);
        set.clear();
        set.failed << file;
        Failures::record(Failures::Load, QStringLiteral("HDF5 scan not loaded (%1): %2").arg(text, file));
        if (why)
            *why = text;
        return false;
    };
    H5Scan scan;
    scan.angleUnit = set.angleUnit;
    if (!scan.open(file))
        return refuse(scan.error());
    const qint64 frame = qint64(scan.rows()) * scan.columns();
    const qint64 need = frame * (scan.isFloat() ? 4 : 2) * scan.projections() + 2 * frame * qint64(sizeof(double));
    const QString tooBig = set.planBand(need, scan.columns(), scan.rows(),
                                        QStringLiteral("%1 projections of %2 x %3").arg(scan.projections())
                                            .arg(scan.columns()).arg(scan.rows()), true);
    if (!tooBig.isEmpty())
        return refuse(tooBig);
    const LineBand band = set.planned;
    if (!band.whole() && (band.first < 0 || band.last() >= band.linesOf(scan.columns(), scan.rows())))
        return refuse(QStringLiteral("%1 lie outside the frames of %2 x %3").arg(band.text()).arg(scan.columns())
                          .arg(scan.rows()));
    try {
        for (int p = 0; p < scan.projections(); ++p) {
            if (cancel && *cancel)
                return refuse(QStringLiteral("cancelled"));
            // A fresh buffer each time: the image keeps the last one.
            QByteArray raw;
            if (!scan.readProjectionRaw(p, raw, band))
                return refuse(scan.error());
            ImgData* img = ImgDataMem::fromPixels(QStringLiteral("%1:/exchange/data[%2]").arg(file).arg(p),
                                                  scan.columns(), scan.rows(),
                                                  scan.isFloat() ? ImgDataMem::F32 : ImgDataMem::U16, raw, &reason,
                                                  band);
            if (!img)
                return refuse(QStringLiteral("projection %1: %2").arg(p).arg(reason));
            projs << img;
        }
        std::vector<double> mean;
        for (bool white : { true, false }) {
            if (!(white ? scan.meanWhite(mean, band) : scan.meanDark(mean, band)))
                return refuse(scan.error());
            const QString what = white ? QStringLiteral("/exchange/data_white") : QStringLiteral("/exchange/data_dark");
            QByteArray bytes(reinterpret_cast<const char*>(mean.data()), qsizetype(mean.size() * sizeof(double)));
            ImgData* img = ImgDataMem::fromPixels(file + QLatin1Char(':') + what, scan.columns(), scan.rows(),
                                                  ImgDataMem::F64, bytes, &reason, band);
            if (!img)
                return refuse(QStringLiteral("mean of %1: %2").arg(what, reason));
            (white ? i0 : bg).reset(img);
        }
    } catch (const std::bad_alloc&) {
        return refuse(QStringLiteral("out of memory"));
    }
    set.setScan(projs, i0.release(), bg.release(), scan.anglesDeg());
    set.sourceFile = file;
    return true;
}
