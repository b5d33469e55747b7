// Load speed of a projection series: writes a series as ITEX files, as TIFF
// files and as one HDF5 Data Exchange file, reads each into an image set and
// prints MB/s. Everything written is removed again.
#include "H5SampleWriter.h"
#include "H5Scan.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ItexWriter.h"
#include "TiffSampleWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
const char* kUsage =
    "Usage: bench_load [-s SIZE] [-n COUNT] [-r ROWS] [--cold] [directory]\n"
    "Writes COUNT images of SIZE x SIZE 16-bit pixels (default 180 of 2048 x 2048, 1.5 GB)\n"
    "into the directory (default: a temporary one) as ITEX files, loads them into an image\n"
    "set twice and prints the load rate; then the same for uncompressed and LZW TIFF files\n"
    "and one HDF5 Data Exchange file. Each format is also loaded as a band of ROWS rows and\n"
    "of ROWS columns (default 64) in the middle. --cold drops the files from the page cache\n"
    "before every load, so they are read from the disk. The files are deleted afterwards.\n";

bool cold = false;

// Drops the files' pages from the page cache (this process's files only).
void evict(const QStringList& files)
{
    if (!cold)
        return;
    for (const QString& f : files) {
        const int fd = ::open(QFile::encodeName(f).constData(), O_RDONLY);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

// Loads files (or the one HDF5 scan) keeping band; prints the time, the
// images' rate and the bytes held per second.
bool loadBand(const QString& what, const QStringList& files, bool h5, const LineBand& band, double fileMb)
{
    evict(files);
    ImgDatas set;
    set.band = band;
    QElapsedTimer t;
    t.start();
    bool ok = true;
    if (h5)
        ok = loadH5Scan(files.first(), set);
    else
        for (const QString& p : files)
            ok = ok && (p.endsWith(QLatin1String(".tif")) ? set.addTiffStack(p) : set.addFile(p));
    const double s = t.elapsed() / 1000.0;
    if (!ok) {
        std::fprintf(stderr, "bench_load: %s band load failed\n", qPrintable(what));
        return false;
    }
    // Columns of a file in rows are read by passing over the whole file.
    const bool whole = !band.rows && !h5;
    std::printf("  %s, %s: %d images in %.2f s, %.1f images/s, %.0f MB held%s\n", qPrintable(what),
                qPrintable(band.text()), set.count(), s, set.count() / s, set.bytesHeld() / 1e6,
                whole ? qPrintable(QStringLiteral(", whole files read at %1 MB/s").arg(fileMb / s, 0, 'f', 0)) : "");
    return true;
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    int size = 2048, count = 180, bandRows = 64;
    QString dirPath;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args.at(i);
        if (a == QLatin1String("--cold")) {
            cold = true;
        } else if ((a == QLatin1String("-s") || a == QLatin1String("-n") || a == QLatin1String("-r")) && i + 1 < args.size()) {
            bool ok = false;
            const int v = args.at(++i).toInt(&ok);
            if (!ok || v < 1 || v > 16384) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            (a == QLatin1String("-s") ? size : a == QLatin1String("-n") ? count : bandRows) = v;
        } else if (a.startsWith(QLatin1Char('-'))) {
            std::fputs(kUsage, a == QLatin1String("-h") ? stdout : stderr);
            return a == QLatin1String("-h") ? 0 : 2;
        } else {
            dirPath = a;
        }
    }
    QTemporaryDir tmp(dirPath.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_load-XXXXXX")
                                        : QDir(dirPath).filePath(QStringLiteral("bench_load-XXXXXX")));
    if (!tmp.isValid()) {
        std::fprintf(stderr, "bench_load: can not make a directory\n");
        return 1;
    }
    const double mb = double(size) * size * 2 * count / 1e6;

    std::vector<quint16> px(size_t(size) * size);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = quint16((i * 7) & 0xFFFF);
    ItexWriter wr(size, size, 2);
    QStringList files;
    QElapsedTimer t;
    t.start();
    for (int k = 0; k < count; ++k) {
        const QString p = tmp.filePath(QStringLiteral("b-%1.img").arg(k + 1, 4, 10, QLatin1Char('0')));
        if (!wr.write16(p, px.data())) {
            std::fprintf(stderr, "bench_load: write failed\n");
            return 1;
        }
        files << p;
    }
    const double writeS = t.elapsed() / 1000.0;
    std::printf("wrote %d x %d x %d (%.0f MB) in %.2f s: %.0f MB/s\n", count, size, size, mb, writeS, mb / writeS);

    const int mid = std::max(0, (size - bandRows) / 2);
    const LineBand rows{mid, std::min(bandRows, size), true}, columns{mid, std::min(bandRows, size), false};
    for (int pass = 1; pass <= 2; ++pass) {
        ImgDatas set;
        evict(files);
        t.restart();
        for (const QString& p : files)
            if (!set.addFile(p)) {
                std::fprintf(stderr, "bench_load: load failed\n");
                return 1;
            }
        const double s = t.elapsed() / 1000.0;
        std::printf("load pass %d: %d images in %.2f s: %.0f MB/s\n", pass, set.count(), s, mb / s);

        // Rows and columns of every image, as a sinogram would read them.
        std::vector<double> row(static_cast<size_t>(size)), col(static_cast<size_t>(size));
        double sum = 0;
        t.restart();
        for (ImgData* img : set.imgs) {
            sum += img->readRow(size / 2, row.data())[1];
            sum += img->readColumn(size / 2, col.data())[1];
        }
        std::printf("  one row and one column of each image: %.3f ms (%g)\n", t.nsecsElapsed() / 1e6, sum);
        set.clear();
    }
    if (!loadBand(QStringLiteral("ITEX"), files, false, rows, mb) || !loadBand(QStringLiteral("ITEX"), files, false, columns, mb))
        return 1;
    for (const QString& f : files)
        QFile::remove(f);

    // The same series as TIFF files, uncompressed and LZW, next to ITEX.
    const std::vector<double> asDouble(px.begin(), px.end());
    for (int compression : { 1, 5 }) {
        TiffLayout lay;
        lay.compression = compression;
        lay.rowsPerStrip = 16;
        TiffSampleWriter tw(lay);
        files.clear();
        for (int k = 0; k < count; ++k) {
            const QString p = tmp.filePath(QStringLiteral("b-%1.tif").arg(k + 1, 4, 10, QLatin1Char('0')));
            if (!tw.write(p, size, size, { asDouble.data() })) {
                std::fprintf(stderr, "bench_load: %s\n", qPrintable(tw.error()));
                return 1;
            }
            files << p;
        }
        ImgDatas set;
        evict(files);
        t.restart();
        for (const QString& p : files)
            if (!set.addFile(p)) {
                std::fprintf(stderr, "bench_load: TIFF load failed\n");
                return 1;
            }
        const double s = t.elapsed() / 1000.0;
        std::printf("TIFF %s: %d images in %.2f s: %.0f MB/s\n", compression == 1 ? "uncompressed" : "LZW",
                    set.count(), s, mb / s);
        set.clear();
        if (!loadBand(QStringLiteral("TIFF"), files, false, rows, mb)
            || !loadBand(QStringLiteral("TIFF"), files, false, columns, mb))
            return 1;
        for (const QString& f : files)
            QFile::remove(f);
    }

    // One Data Exchange file holding the series, 20 flats and 10 darks.
    {
        // Every frame written from one in memory: the series never is.
        QList<H5Dataset> sets = H5SampleWriter::exchange(size, size, asDouble, count,
                                                         std::vector<double>(asDouble.size(), 30000.0), 20,
                                                         std::vector<double>(asDouble.size(), 100.0), 10, {});
        for (H5Dataset& d : sets)
            d.repeatFrame = true;
        const QString h5 = tmp.filePath(QStringLiteral("scan.h5"));
        QString why;
        if (!H5SampleWriter::write(h5, sets, &why)) {
            std::fprintf(stderr, "bench_load: %s\n", qPrintable(why));
            return 1;
        }
        ImgDatas set;
        evict({ h5 });
        t.restart();
        if (!loadH5Scan(h5, set, &why)) {
            std::fprintf(stderr, "bench_load: HDF5 load failed: %s\n", qPrintable(why));
            return 1;
        }
        const double s = t.elapsed() / 1000.0;
        std::printf("HDF5 Data Exchange: %d projections (and 30 flat and dark frames) in %.2f s: %.0f MB/s\n",
                    set.count(), s, mb / s);
        set.clear();
        if (!loadBand(QStringLiteral("HDF5"), { h5 }, true, rows, mb) || !loadBand(QStringLiteral("HDF5"), { h5 }, true, columns, mb))
            return 1;
    }
    return 0; // the temporary directory and its files go with tmp
}
