// Throughput of a slice series through the worker pool, and the peak
// resident memory of a large run.
//
//   bench_series                 64 slices of a 180-projection sample 1024 wide,
//                                with 1, 2 and 32 threads: slices per second
//   bench_series --memory        32 slices of a 900-projection sample 2048 wide
//                                with 32 threads: peak resident memory
//   options: --slices K --nproj P --width W --threads a,b,c
#include "BenchMachine.h"
#include "CtCalc2.h"
#include "CtRun.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "SampleWriter.h"
#include "SgmGeom.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cstdio>

int main(int argc, char** argv)
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 1 << 20);  // as the program does, so memory figures match
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool memory = args.contains(QStringLiteral("--memory"));
    int slices = memory ? 32 : 64;
    int nProj = memory ? 900 : 180;
    int width = memory ? 2048 : 1024;
    QList<int> threadCounts = memory ? QList<int>{32} : QList<int>{1, 2, 32};
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--slices"))
            slices = qBound(1, args[i + 1].toInt(), 4096);
        else if (args[i] == QLatin1String("--nproj"))
            nProj = qBound(2, args[i + 1].toInt(), 3600);
        else if (args[i] == QLatin1String("--width"))
            width = qBound(16, args[i + 1].toInt(), 8192);
        else if (args[i] == QLatin1String("--threads")) {
            threadCounts.clear();
            for (const QString& t : args[i + 1].split(QLatin1Char(',')))
                threadCounts << qBound(0, t.toInt(), 32);
        }
    }

    QTemporaryDir dir;
    SampleOptions o;
    o.outDir = dir.filePath(QStringLiteral("sample"));
    o.width = width;
    o.height = slices + 8;
    o.nProj = nProj;
    o.noise = false;
    o.truthSlices = 0;
    SampleWriter writer(o);
    if (!writer.valid() || !writer.write()) {
        std::fprintf(stderr, "cannot write the sample: %s\n", qPrintable(writer.error()));
        return 1;
    }
    ImgDatas set;
    for (int p = 0; p < nProj; ++p)
        set.addFile(o.outDir + QLatin1Char('/') + writer.seriesName(p, 0));
    ImgData* i0 = loadImgData(o.outDir + QLatin1Char('/') + writer.i0Name(0));
    ImgData* bg = loadImgData(o.outDir + QLatin1Char('/') + writer.bgName());
    set.i0Img = &i0;
    set.bgImg = &bg;
    const double loadedMiB = BenchMachine::currentMiB();
    const double loadPeakMiB = BenchMachine::peakMiB();

    {
        CtRun run;
        run.images = &set;
        run.createPool(32);
        const SgmGeom g = makeSgmGeom(true, width, writer.cor());
        std::printf("sample: %d projections, %d x %d pixels, %d slices, N = %d, %d processors, load %s\n", nProj,
                    width, o.height, slices, g.nx - g.nx % 2, QThread::idealThreadCount(),
                    qPrintable(BenchMachine::loadAverage()));
        std::printf("resident after loading: %.0f MiB (peak %.0f MiB)\n", loadedMiB, loadPeakMiB);
        double single = 0;
        for (int threads : threadCounts) {
            ReconSettings settings;
            CtCond& c = settings.cond;
            c.ct2 = true;
            c.rotAxIsV = true;
            c.cor = writer.cor();
            c.autoExec = true;
            c.setSeries(QString::number(4), QString::number(4 + slices - 1), QStringLiteral("1"));
            c.threads = threads;
            QEventLoop loop;
            QObject::connect(&run, &CtRun::calcFinished, &loop, &QEventLoop::quit);
            QElapsedTimer timer;
            timer.start();
            run.start(settings);
            if (run.active)
                loop.exec();
            const double s = timer.nsecsElapsed() * 1e-9;
            const double rate = slices / s;
            if (threads == 1)
                single = rate;
            std::printf("threads %2d: %6.2f s, %7.2f slices/s", threads, s, rate);
            if (single > 0 && threads != 1)
                std::printf(", %.2f x one thread", rate / single);
            std::printf(", peak resident %.0f MiB\n", BenchMachine::peakMiB());
            std::fflush(stdout);
        }
        std::printf("peak resident above the loaded series: %.0f MiB\n", BenchMachine::peakMiB() - loadedMiB);
    }
    delete i0;
    delete bg;
    return 0;
}
