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

#include <cstdio>
#include <memory>
#include <vector>

namespace {
const char* kUsage =
    "Usage: bench_load [-s SIZE] [-n COUNT] [directory]\n"
    "Writes COUNT images of SIZE x SIZE 16-bit pixels (default 180 of 2048 x 2048, 1.5 GB)\n"
    "into the directory (default: a temporary one) as ITEX files, loads them into an image\n"
    "set twice and prints the load rate; then the same for uncompressed and LZW TIFF files\n"
    "and one HDF5 Data Exchange file. The files are deleted afterwards.\n";
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    int size = 2048, count = 180;
    QString dirPath;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args.at(i);
        if ((a == QLatin1String("-s") || a == QLatin1String("-n")) && i + 1 < args.size()) {
            bool ok = false;
            const int v = args.at(++i).toInt(&ok);
            if (!ok || v < 1 || v > 16384) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            (a == QLatin1String("-s") ? size : count) = v;
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

    for (int pass = 1; pass <= 2; ++pass) {
        ImgDatas set;
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
        t.restart();
        if (!loadH5Scan(h5, set, &why)) {
            std::fprintf(stderr, "bench_load: HDF5 load failed: %s\n", qPrintable(why));
            return 1;
        }
        const double s = t.elapsed() / 1000.0;
        std::printf("HDF5 Data Exchange: %d projections (and 30 flat and dark frames) in %.2f s: %.0f MB/s\n",
                    set.count(), s, mb / s);
    }
    return 0; // the temporary directory and its files go with tmp
}
