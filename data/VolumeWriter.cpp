#include "VolumeWriter.h"

#include "SafeWrite.h"
#include "TiffHandle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <hdf5.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {
bool isHdf5Name(const QString& path)
{
    const QString s = QFileInfo(path).suffix().toLower();
    return s == QLatin1String("h5") || s == QLatin1String("hdf5");
}

bool isTiffName(const QString& path)
{
    const QString s = QFileInfo(path).suffix().toLower();
    return s == QLatin1String("tif") || s == QLatin1String("tiff");
}

// The first message of the HDF5 error stack, which is cleared.
QString h5Error()
{
    QString text;
    H5Ewalk2(H5E_DEFAULT, H5E_WALK_DOWNWARD,
             [](unsigned, const H5E_error2_t* e, void* data) -> herr_t {
                 auto* t = static_cast<QString*>(data);
                 if (t->isEmpty() && e->desc)
                     *t = QString::fromUtf8(e->desc);
                 return 0;
             },
             &text);
    H5Eclear2(H5E_DEFAULT);
    return text.isEmpty() ? QStringLiteral("HDF5 write failed") : text;
}

// The temporary file the safe writer holds locked (so an ended run's file
// is told from one being written): HDF5's own lock would be refused.
hid_t createUnlocked(const QString& path)
{
    const hid_t access = H5Pcreate(H5P_FILE_ACCESS);
    H5Pset_file_locking(access, false, true);
    const hid_t file = H5Fcreate(QFile::encodeName(path).constData(), H5F_ACC_TRUNC, H5P_DEFAULT, access);
    H5Pclose(access);
    return file;
}

bool writeStringAttribute(hid_t obj, const char* name, const QByteArray& value)
{
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, size_t(std::max<qsizetype>(1, value.size())));
    H5Tset_cset(type, H5T_CSET_UTF8);
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t a = H5Acreate2(obj, name, type, space, H5P_DEFAULT, H5P_DEFAULT);
    const QByteArray bytes = value.isEmpty() ? QByteArray(1, '\0') : value;
    const bool ok = a >= 0 && H5Awrite(a, type, bytes.constData()) >= 0;
    if (a >= 0)
        H5Aclose(a);
    H5Sclose(space);
    H5Tclose(type);
    return ok;
}
} // namespace

struct VolumeWriter::Tiff
{
    explicit Tiff(const QString& path) : out(path) {}
    SafeWrite out;
    TiffHandle handle;
};

struct VolumeWriter::Hdf5
{
    explicit Hdf5(const QString& path) : out(path) {}
    ~Hdf5() { close(); }
    // HDF5 keeps a file it could not flush open and flushes it again when
    // the program ends, crashing when that fails too: after a failed write
    // the file's writes go to /dev/null (the file is dropped anyway), so it
    // closes.
    void writeNowhere()
    {
        void* handle = nullptr;
        if (file < 0 || H5Fget_vfd_handle(file, H5P_DEFAULT, &handle) < 0 || !handle)
            return;
        const int nul = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nul >= 0) {
            ::dup2(nul, *static_cast<int*>(handle));
            ::close(nul);
        }
    }
    bool close()
    {
        // What the cache still holds is written first, so a failure shows
        // while the file can still be sent nowhere.
        if (file >= 0 && !broken && H5Fflush(file, H5F_SCOPE_GLOBAL) < 0)
            broken = true;
        if (broken)
            writeNowhere();
        bool ok = !broken;
        if (set >= 0)
            ok = H5Dclose(set) >= 0 && ok;
        if (file >= 0)
            ok = H5Fclose(file) >= 0 && ok;
        set = file = -1;
        return ok;
    }
    // A write failed: nothing more is written.
    bool broken = false;
    SafeWrite out;
    hid_t file = -1;
    hid_t set = -1;
};

VolumeWriter::VolumeWriter() = default;

VolumeWriter::~VolumeWriter()
{
    cancel();
}

QString VolumeWriter::pathProblem(const QString& path)
{
    if (!isHdf5Name(path) && !isTiffName(path))
        return QStringLiteral("volume %1: the name must end in .tif, .tiff, .h5 or .hdf5").arg(path);
    const QFileInfo dir(QFileInfo(path).absolutePath());
    if (!dir.isDir())
        return QStringLiteral("volume %1: the directory %2 does not exist").arg(path, dir.filePath());
    if (!dir.isWritable())
        return QStringLiteral("volume %1: the directory %2 is not writable").arg(path, dir.filePath());
    if (const QString p = SafeWrite::targetProblem(path); !p.isEmpty())
        return QStringLiteral("volume %1: %2").arg(path, p);
    return {};
}

bool VolumeWriter::begin(const QString& path, int slices, double pixelUm, QString* why)
{
    cancel();
    if (const QString p = pathProblem(path); !p.isEmpty())
        return fail(p, why);
    if (slices < 1)
        return fail(QStringLiteral("volume %1: no slices").arg(path), why);
    target = QFileInfo(path).absoluteFilePath();
    hdf5 = isHdf5Name(path);
    count = slices;
    pixel = pixelUm;
    have.assign(size_t(slices), false);
    return true;
}

bool VolumeWriter::fail(const QString& text, QString* why)
{
    if (why)
        *why = text;
    if (active())
        failed = true;
    tiff.reset();
    // Given up: nothing of it is kept.
    if (h5)
        h5->broken = true;
    h5.reset();
    waiting.clear();
    return false;
}

bool VolumeWriter::open(int w, int h, QString* why)
{
    width = w;
    height = h;
    const long long bytes = 4LL * w * h * count;
    if (hdf5) {
        h5 = std::make_unique<Hdf5>(target);
        if (!h5->out.open())
            return fail(h5->out.errorString(), why);
        const QString temp = static_cast<QFile*>(h5->out.device())->fileName();
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
        h5->file = createUnlocked(temp);
        if (h5->file < 0)
            return fail(QStringLiteral("can not write %1: %2").arg(target, h5Error()), why);
        const hsize_t dims[3] = {hsize_t(count), hsize_t(h), hsize_t(w)};
        const hsize_t chunk[3] = {1, hsize_t(h), hsize_t(w)};
        const hid_t space = H5Screate_simple(3, dims, nullptr);
        const hid_t props = H5Pcreate(H5P_DATASET_CREATE);
        H5Pset_chunk(props, 3, chunk);
        h5->set = H5Dcreate2(h5->file, "volume", H5T_IEEE_F32LE, space, H5P_DEFAULT, props, H5P_DEFAULT);
        H5Pclose(props);
        H5Sclose(space);
        if (h5->set < 0)
            return fail(QStringLiteral("can not write %1: %2").arg(target, h5Error()), why);
        return true;
    }
    tiff = std::make_unique<Tiff>(target);
    // libtiff reads back the directories it links pages through.
    if (!tiff->out.open(QIODevice::ReadWrite))
        return fail(tiff->out.errorString(), why);
    const int fd = ::dup(static_cast<QFile*>(tiff->out.device())->handle());
    if (fd < 0)
        return fail(QStringLiteral("can not write %1: %2").arg(target, QString::fromLocal8Bit(std::strerror(errno))), why);
    // Page headers and tags take well under a kilobyte each.
    if (!tiff->handle.openWrite(fd, target, bytes + 4096LL * count > classicTiffLimit)) {
        ::close(fd);
        return fail(QStringLiteral("can not start a TIFF file %1: %2").arg(target, tiff->handle.firstError()), why);
    }
    return true;
}

bool VolumeWriter::writeTiffPage(const float* values, QString* why)
{
    TIFF* tif = tiff->handle.tif();
    const float resolution = pixel > 0 ? float(1e4 / pixel) : 0.0f;
    const QString description = QStringLiteral("zuvo2 volume: slice %1 of %2").arg(nextPage + 1).arg(count);
    bool ok = tiff->handle.setFloatImage(width, height, uint32_t(height))
        && TIFFSetField(tif, TIFFTAG_SUBFILETYPE, uint32_t(FILETYPE_PAGE))
        && TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(std::min(nextPage, 65535)), uint16_t(std::min(count, 65535)))
        && TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, description.toUtf8().constData());
    if (ok && resolution > 0)
        ok = TIFFSetField(tif, TIFFTAG_XRESOLUTION, resolution) && TIFFSetField(tif, TIFFTAG_YRESOLUTION, resolution)
             && TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_CENTIMETER));
    const tmsize_t bytes = tmsize_t(4LL * width * height);
    errno = 0;
    // libtiff may swap the buffer in place: it gets a copy.
    std::vector<float> copy(values, values + size_t(width) * size_t(height));
    ok = ok && TIFFWriteEncodedStrip(tif, 0, copy.data(), bytes) == bytes && TIFFWriteDirectory(tif);
    if (!ok) {
        QString text = QStringLiteral("can not write %1").arg(target);
        if (!tiff->handle.firstError().isEmpty())
            text += QStringLiteral(": ") + tiff->handle.firstError();
        if (errno)
            text += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return fail(text, why);
    }
    ++nextPage;
    return true;
}

bool VolumeWriter::add(int index, const float* values, int w, int h, QString* why)
{
    if (!active() || failed)
        return fail(QStringLiteral("volume %1 was given up").arg(target), why);
    if (index < 0 || index >= count || have[size_t(index)])
        return fail(QStringLiteral("volume %1: slice %2 is not expected").arg(target).arg(index), why);
    if (w < 1 || h < 1)
        return fail(QStringLiteral("volume %1: an empty slice").arg(target), why);
    if (!tiff && !h5 && !open(w, h, why))
        return false;
    if (w != width || h != height)
        return fail(QStringLiteral("volume %1: a slice of %2 x %3 after ones of %4 x %5")
                        .arg(target).arg(w).arg(h).arg(width).arg(height), why);
    have[size_t(index)] = true;
    ++added;
    if (h5) {
        const hsize_t start[3] = {hsize_t(index), 0, 0};
        const hsize_t size[3] = {1, hsize_t(h), hsize_t(w)};
        const hid_t file = H5Dget_space(h5->set);
        H5Sselect_hyperslab(file, H5S_SELECT_SET, start, nullptr, size, nullptr);
        const hid_t mem = H5Screate_simple(3, size, nullptr);
        const bool ok = H5Dwrite(h5->set, H5T_NATIVE_FLOAT, mem, file, H5P_DEFAULT, values) >= 0;
        H5Sclose(mem);
        H5Sclose(file);
        if (!ok)
            return fail(QStringLiteral("can not write %1: %2").arg(target, h5Error()), why);
        return true;
    }
    if (index != nextPage) {
        waiting[index].assign(values, values + size_t(w) * size_t(h));
        return true;
    }
    if (!writeTiffPage(values, why))
        return false;
    for (auto it = waiting.find(nextPage); it != waiting.end(); it = waiting.find(nextPage)) {
        const std::vector<float> page = std::move(it->second);
        waiting.erase(it);
        if (!writeTiffPage(page.data(), why))
            return false;
    }
    return true;
}

bool VolumeWriter::commit(const QString& report, QString* why)
{
    if (!active())
        return fail(QStringLiteral("no volume started"), why);
    if (failed || (!tiff && !h5))
        return fail(QStringLiteral("volume %1 was given up").arg(target), why);
    if (added != count)
        return fail(QStringLiteral("volume %1 not written: %2 of %3 slices made").arg(target).arg(added).arg(count), why);
    if (h5) {
        bool ok = writeStringAttribute(h5->set, "run_report", report.toUtf8());
        const hid_t space = H5Screate(H5S_SCALAR);
        const hid_t a = H5Acreate2(h5->set, "pixel_size", H5T_IEEE_F64LE, space, H5P_DEFAULT, H5P_DEFAULT);
        ok = ok && a >= 0 && H5Awrite(a, H5T_NATIVE_DOUBLE, &pixel) >= 0;
        if (a >= 0)
            H5Aclose(a);
        H5Sclose(space);
        ok = ok && writeStringAttribute(h5->set, "pixel_size_unit", QByteArrayLiteral("um"));
        errno = 0;
        ok = ok && H5Fflush(h5->file, H5F_SCOPE_GLOBAL) >= 0;
        // The first failure's reason, before closing adds its own.
        QString error = ok ? QString() : h5Error();
        if (!ok && errno)
            error += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        ok = h5->close() && ok;
        if (!ok)
            return fail(QStringLiteral("can not write %1: %2").arg(target, error.isEmpty() ? h5Error() : error), why);
        if (!h5->out.commit())
            return fail(h5->out.errorString(), why);
    } else {
        errno = 0;
        const bool ok = TIFFFlush(tiff->handle.tif());
        tiff->handle.close();
        if (!ok)
            return fail(QStringLiteral("can not write %1: %2").arg(target, QString::fromLocal8Bit(std::strerror(errno))), why);
        if (!tiff->out.commit())
            return fail(tiff->out.errorString(), why);
    }
    tiff.reset();
    h5.reset();
    target.clear();
    return true;
}

void VolumeWriter::cancel()
{
    // The safe writers remove their temporary files.
    tiff.reset();
    h5.reset();
    waiting.clear();
    target.clear();
    failed = false;
    added = 0;
    nextPage = 0;
    width = height = 0;
    have.clear();
}

bool VolumeWriter::joinHdf5(const QString& outPath, const QStringList& parts, QString* why)
{
    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (!isHdf5Name(outPath))
        return fail(QStringLiteral("%1: a joined volume is an HDF5 file (.h5 or .hdf5)").arg(outPath));
    if (const QString p = pathProblem(outPath); !p.isEmpty())
        return fail(p);
    if (parts.isEmpty())
        return fail(QStringLiteral("no volumes to join"));
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    // Each part's extent, checked against the first.
    std::vector<hsize_t> counts;
    hsize_t rows = 0, cols = 0;
    double pixel = 0;
    for (const QString& part : parts) {
        const hid_t f = H5Fopen(QFile::encodeName(part).constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
        const hid_t d = f >= 0 ? H5Dopen2(f, "volume", H5P_DEFAULT) : -1;
        hsize_t dims[3] = {0, 0, 0};
        const hid_t space = d >= 0 ? H5Dget_space(d) : -1;
        const bool ok = space >= 0 && H5Sget_simple_extent_ndims(space) == 3 && H5Sget_simple_extent_dims(space, dims, nullptr) == 3;
        if (ok && counts.empty() && H5Aexists(d, "pixel_size") > 0) {
            const hid_t a = H5Aopen(d, "pixel_size", H5P_DEFAULT);
            H5Aread(a, H5T_NATIVE_DOUBLE, &pixel);
            H5Aclose(a);
        }
        if (space >= 0)
            H5Sclose(space);
        if (d >= 0)
            H5Dclose(d);
        if (f >= 0)
            H5Fclose(f);
        if (!ok)
            return fail(QStringLiteral("%1 is no volume (no three-dimensional dataset \"volume\")").arg(part));
        if (counts.empty()) {
            rows = dims[1];
            cols = dims[2];
        } else if (dims[1] != rows || dims[2] != cols) {
            return fail(QStringLiteral("%1 has slices of %2 x %3, %4 of %5 x %6")
                            .arg(part).arg(dims[2]).arg(dims[1]).arg(parts.first()).arg(cols).arg(rows));
        }
        counts.push_back(dims[0]);
    }
    hsize_t total = 0;
    for (hsize_t c : counts)
        total += c;

    SafeWrite out(outPath);
    if (!out.open())
        return fail(out.errorString());
    const QString temp = static_cast<QFile*>(out.device())->fileName();
    const hid_t file = createUnlocked(temp);
    if (file < 0)
        return fail(QStringLiteral("can not write %1: %2").arg(outPath, h5Error()));
    const hsize_t dims[3] = {total, rows, cols};
    const hid_t space = H5Screate_simple(3, dims, nullptr);
    const hid_t props = H5Pcreate(H5P_DATASET_CREATE);
    const QDir here = QFileInfo(outPath).absoluteDir();
    hsize_t at = 0;
    bool ok = true;
    for (size_t k = 0; k < counts.size() && ok; ++k) {
        const hsize_t size[3] = {counts[k], rows, cols};
        const hsize_t start[3] = {at, 0, 0};
        const hid_t source = H5Screate_simple(3, size, nullptr);
        ok = H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, size, nullptr) >= 0
             && H5Pset_virtual(props, space, QFile::encodeName(here.relativeFilePath(QFileInfo(parts[int(k)]).absoluteFilePath())).constData(),
                               "volume", source) >= 0;
        H5Sclose(source);
        at += counts[k];
    }
    H5Sselect_all(space);
    const hid_t set = ok ? H5Dcreate2(file, "volume", H5T_IEEE_F32LE, space, H5P_DEFAULT, props, H5P_DEFAULT) : -1;
    ok = set >= 0;
    if (ok && pixel > 0) {
        const hid_t scalar = H5Screate(H5S_SCALAR);
        const hid_t a = H5Acreate2(set, "pixel_size", H5T_IEEE_F64LE, scalar, H5P_DEFAULT, H5P_DEFAULT);
        ok = a >= 0 && H5Awrite(a, H5T_NATIVE_DOUBLE, &pixel) >= 0;
        if (a >= 0)
            H5Aclose(a);
        H5Sclose(scalar);
    }
    const QString error = ok ? QString() : h5Error();
    if (set >= 0)
        H5Dclose(set);
    H5Pclose(props);
    H5Sclose(space);
    ok = H5Fclose(file) >= 0 && ok;
    if (!ok)
        return fail(QStringLiteral("can not write %1: %2").arg(outPath, error.isEmpty() ? h5Error() : error));
    if (!out.commit())
        return fail(out.errorString());
    return true;
}
