// Load speed of a projection series: writes a series of ITEX files, reads it
// into an image set and prints MB/s. Everything written is removed again.
#include "ImgData.h"
#include "ImgDatas.h"
#include "ItexWriter.h"

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
    "into the directory (default: a temporary one), loads them into an image set twice\n"
    "and prints the load rate; the files are deleted afterwards.\n";
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
    return 0; // the temporary directory and its files go with tmp
}
