// What a CT data file costs, split in two: making its text (written to a
// device that drops it) and the whole file as a run saves it (temporary
// file, sync, rename).  The image is a back-projected slice of random
// projections, so its numbers look like a reconstruction's.
//
//   bench_datafile [N] [DIR]   (default 2038 and the temporary directory;
//                               /dev/shm leaves the disk out)
#include "BenchMachine.h"
#include "CtFiles.h"
#include "DataText.h"
#include "FbpKernel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>


int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::clamp(QByteArray(argv[1]).toInt(), 16, 8192) : 2038;
    const QString base = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath();
    FbpKernel k;
    k.setup(n, 60);
    k.setPrecision(FbpKernel::Precision::Single);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(0.0, 0.01);
    std::vector<double> row(static_cast<size_t>(n));
    for (int p = 0; p < 60; ++p) {
        for (double& v : row)
            v = u(rng);
        k.filterRow(row.data(), p);
    }
    k.resetImage(n);
    k.backProjectAll(0, n, 0, n);

    std::printf("CT data file of N = %d, one thread, thread processor time (best of 5)\n", n);
    BenchMachine::printMachine(FbpKernel::loopName());
    double text = 1e300;
    qint64 bytes = 0;
    for (int r = 0; r < 5; ++r) {
        BenchMachine::NullDevice dev;
        dev.open(QIODevice::WriteOnly);
        const double t0 = BenchMachine::threadCpu();
        CtFiles::writeData(&dev, k.image.data(), n, 0, 0, n, n);
        text = std::min(text, BenchMachine::threadCpu() - t0);
        bytes = dev.bytes;
    }
    QTemporaryDir dir(base + QStringLiteral("/bench_datafile-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "bench_datafile: no temporary directory: %s\n", qPrintable(dir.errorString()));
        return 1;
    }
    const QString path = dir.filePath(QStringLiteral("slice.dat"));
    double file = 1e300;
    for (int r = 0; r < 5; ++r) {
        QFile::remove(path);
        const double t0 = BenchMachine::threadCpu();
        QString error;
        if (!CtFiles::saveData(path, k.image.data(), n, 0, 0, n, n, &error)) {
            std::fprintf(stderr, "bench_datafile: %s\n", qPrintable(error));
            return 1;
        }
        file = std::min(file, BenchMachine::threadCpu() - t0);
    }
    const double lines = double(n) * n;
    std::printf("  text only   %7.1f ms  %5.2f ns/line  %6.0f MB/s  (%.1f MB)\n", 1e3 * text, 1e9 * text / lines,
                bytes * 1e-6 / text, bytes * 1e-6);
    std::printf("  whole file  %7.1f ms  %5.2f ns/line  (in %s)\n", 1e3 * file, 1e9 * file / lines, qPrintable(base));
    return 0;
}
