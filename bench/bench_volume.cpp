// A whole series from files on disk to data files.  A sample series (64
// slices of 2048-wide projections, 900 of them) is written to a temporary
// directory first, untimed; then are timed:
//   - loading the projections, I0 and BG (the files were just written, so
//     they come from the page cache);
//   - the stages of a slice on one thread (sinogram, filter,
//     back-projection, data file with its SHA-256), in thread processor time, with each
//     stage's share of a slice including its part of the load, and of the
//     data file the share of making its text alone, of the slice as it is
//     and of the slice less the digest;
//   - the whole series through the worker pool with 1 and 2 threads: wall
//     time, processor time, slices per second per core, speed-up.
// The temporary files are removed at the end.
//
//   options: --slices K --nproj P --width W --threads a,b --precision single|double
//            --stages S (slices timed stage by stage, default 8)
//            --dir D (the temporary directory is made in D, e.g. /dev/shm to
//            leave the disk out; default the system's temporary directory)
//            --corrections-only (only the corrections of whole projections)
//            --scaling (only the series through the pool, with 1 and 2 threads
//            taken in turn --repeat times (default 3), the best wall time of
//            each, and their ratio: what a second core gives)
// First, untimed setup aside, the corrections of whole projections on one
// thread: phase retrieval of a 2048 x 2048 projection (padded), zinger
// removal, binning and the offset-axis join, per projection and per slice
// of the series (a run corrects every projection once for all its slices).
#include "BenchMachine.h"
#include "ImageBinning.h"
#include "OffsetAxis.h"
#include "PaganinFilter.h"
#include "ZingerRemoval.h"
#include "CtCalc2.h"
#include "CtFiles.h"
#include "CtRun.h"
#include "FbpKernel.h"
#include "HSgm.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "SampleWriter.h"
#include "SgmGeom.h"
#include "Sha256.h"
#include "SinogramGen.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>
#include <ctime>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

// Processor time of the corrections on one thread, in seconds per
// projection of side x side pixels (the mean of `repeat` runs).
void benchCorrections(int side, int nProj, int slices, int repeat)
{
    std::vector<float> img(size_t(side) * side), work(img.size()), binned(img.size() / 4);
    std::mt19937 gen(1);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            img[size_t(y) * side + x] = 0.6f + 0.3f * std::sin(x * 0.01f) * std::cos(y * 0.013f) + noise(gen);
    PaganinFilter paganin;
    QString why;
    if (!paganin.setup(side, side, 1.0, PaganinParams{300, 100, 20}, &why)) {
        std::fprintf(stderr, "bench_volume: %s\n", qPrintable(why));
        return;
    }
    const OffsetJoin join = OffsetJoin::make(side, 0.2 * side);
    std::vector<double> a(static_cast<size_t>(side)), b(static_cast<size_t>(side)), joined(static_cast<size_t>(join.joinedWidth));
    struct Row { const char* name; std::function<void()> run; double s; };
    std::vector<Row> rows = {
        {"phase retrieval", [&] { paganin.apply(img.data(), work.data()); }, 0},
        {"zinger removal", [&] { work = img; removeZingers(work.data(), side, side, 8.0); }, 0},
        {"binning 2", [&] { binImage(img.data(), side, side, 2, binned.data()); }, 0},
        {"offset-axis join", [&] { for (int y = 0; y < side; ++y) join.join(a.data(), b.data(), joined.data()); }, 0},
    };
    std::printf("corrections of one %d x %d projection, one thread, processor time (phase retrieval padded to %d x %d):\n",
                side, side, paganin.paddedWidth(), paganin.paddedHeight());
    for (Row& r : rows) {
        r.run();  // warm
        const double t = BenchMachine::threadCpu();
        for (int k = 0; k < repeat; ++k)
            r.run();
        r.s = (BenchMachine::threadCpu() - t) / repeat;
        // Every projection once per run, shared by its slices (the join by pairs).
        const double perSlice = r.s * nProj / std::max(1, slices) / (std::strcmp(r.name, "offset-axis join") ? 1 : 2);
        std::printf("  %-18s %8.1f ms per projection, %8.1f ms per slice of %d projections and %d slices\n", r.name,
                    1e3 * r.s, 1e3 * perSlice, nProj, slices);
    }
}

struct Stages
{
    double sinogram = 0, filter = 0, backProjection = 0, writing = 0, writingWall = 0, text = 0, digest = 0;
};

} // namespace

int main(int argc, char** argv)
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 1 << 20);  // as the program does, so memory figures match
#endif
    QCoreApplication app(argc, argv);
    QCommandLineParser cl;
    cl.setApplicationDescription(QStringLiteral(
        "A whole series from files on disk to data files: writes a sample series (untimed), then times\n"
        "loading it, the stages of single slices on one thread, and the series through the worker pool."));
    cl.addHelpOption();
    const QCommandLineOption slicesOpt(QStringLiteral("slices"), QStringLiteral("slices of the series (default 64)"), QStringLiteral("K"), QStringLiteral("64"));
    const QCommandLineOption nProjOpt(QStringLiteral("nproj"), QStringLiteral("projections (default 900)"), QStringLiteral("P"), QStringLiteral("900"));
    const QCommandLineOption widthOpt(QStringLiteral("width"), QStringLiteral("detector width (default 2048)"), QStringLiteral("W"), QStringLiteral("2048"));
    const QCommandLineOption dirOpt(QStringLiteral("dir"), QStringLiteral("where the temporary series goes (default the temporary directory)"), QStringLiteral("D"), QDir::tempPath());
    const QCommandLineOption stagesOpt(QStringLiteral("stages"), QStringLiteral("slices timed stage by stage (default 8)"), QStringLiteral("S"), QStringLiteral("8"));
    const QCommandLineOption precisionOpt(QStringLiteral("precision"), QStringLiteral("single (default) or double"), QStringLiteral("single|double"), QStringLiteral("single"));
    const QCommandLineOption threadsOpt(QStringLiteral("threads"), QStringLiteral("thread counts of the pool runs (default 1,2)"), QStringLiteral("a,b"), QStringLiteral("1,2"));
    const QCommandLineOption correctionsOnlyOpt(QStringLiteral("corrections-only"), QStringLiteral("time only the corrections of whole projections"));
    const QCommandLineOption scalingOpt(QStringLiteral("scaling"),
        QStringLiteral("only the series through the pool: 1 and 2 threads in turn, best wall time of each, and the speed-up"));
    const QCommandLineOption repeatOpt(QStringLiteral("repeat"), QStringLiteral("rounds of --scaling (default 3)"), QStringLiteral("R"), QStringLiteral("3"));
    cl.addOptions({slicesOpt, nProjOpt, widthOpt, dirOpt, stagesOpt, precisionOpt, threadsOpt, correctionsOnlyOpt, scalingOpt,
                   repeatOpt});
    cl.process(app);
    const int slices = qBound(1, cl.value(slicesOpt).toInt(), 4096);
    const int nProj = qBound(2, cl.value(nProjOpt).toInt(), 3600);
    const int width = qBound(16, cl.value(widthOpt).toInt(), 8192);
    const QString base = cl.value(dirOpt);
    int stageSlices = qBound(0, cl.value(stagesOpt).toInt(), 4096);
    FbpKernel::Precision precision = FbpKernel::Precision::Single;
    if (!FbpKernel::parsePrecision(cl.value(precisionOpt), precision)) {
        std::fprintf(stderr, "bench_volume: --precision is single or double\n");
        return 2;
    }
    QList<int> threadCounts;
    for (const QString& n : cl.value(threadsOpt).split(QLatin1Char(',')))
        threadCounts << qBound(1, n.toInt(), 32);
    stageSlices = std::min(stageSlices, slices);
    // Scaling: 1 and 2 threads taken in turn, so that other work on the
    // machine falls on both alike.
    const bool scaling = cl.isSet(scalingOpt);
    const int rounds = scaling ? qBound(1, cl.value(repeatOpt).toInt(), 100) : 1;
    if (scaling) {
        stageSlices = 0;
        threadCounts.clear();
        for (int r = 0; r < rounds; ++r)
            threadCounts << 1 << 2;
    } else {
        benchCorrections(2048, nProj, slices, 3);
    }
    if (cl.isSet(correctionsOnlyOpt))
        return 0;

    QTemporaryDir dir(base + QStringLiteral("/bench_volume-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "bench_volume: no temporary directory: %s\n", qPrintable(dir.errorString()));
        return 1;
    }
    SampleOptions o = SampleOptions::small(dir.filePath(QStringLiteral("sample")), width, slices + 8, nProj);
    o.truthSlices = 0;
    SampleWriter writer(o);
    std::printf("writing the sample (not timed) to %s ...\n", qPrintable(dir.path()));
    std::fflush(stdout);
    if (!writer.valid() || !writer.write()) {
        std::fprintf(stderr, "bench_volume: cannot write the sample: %s\n", qPrintable(writer.error()));
        return 1;
    }

    // Load: every projection, I0 and BG read whole into memory.
    ImgDatas set;
    QStringList files;
    for (int p = 0; p < nProj; ++p)
        files << o.outDir + QLatin1Char('/') + writer.seriesName(p, 0);
    files << o.outDir + QLatin1Char('/') + writer.i0Name(0) << o.outDir + QLatin1Char('/') + writer.bgName();
    double bytes = 0;
    for (const QString& f : files)
        bytes += QFileInfo(f).size();
    QElapsedTimer wall;
    wall.start();
    double cpu0 = BenchMachine::threadCpu();
    for (int p = 0; p < nProj; ++p)
        if (!set.addFile(files[p])) {
            std::fprintf(stderr, "bench_volume: cannot load %s\n", qPrintable(files[p]));
            return 1;
        }
    ImgData* i0 = loadImgData(files[nProj]);
    ImgData* bg = loadImgData(files[nProj + 1]);
    const double loadCpu = BenchMachine::threadCpu() - cpu0;
    const double loadWall = wall.nsecsElapsed() * 1e-9;
    if (!i0 || !bg) {
        std::fprintf(stderr, "bench_volume: cannot load I0 or BG\n");
        return 1;
    }
    set.i0Img = &i0;
    set.bgImg = &bg;
    const double loadedMiB = BenchMachine::peakMiB();
    const SgmGeom g = makeSgmGeom(true, width, writer.cor());
    const int n = g.nx - g.nx % 2;

    BenchMachine::printMachine(FbpKernel::loopName());
    std::printf("series: %d projections of %d x %d pixels, %d slices of N = %d, precision %s, %d processors\n",
                nProj, width, o.height, slices, n, FbpKernel::precisionName(precision), QThread::idealThreadCount());
    std::printf("load: %d files, %.0f MB in %.2f s processor time (%.2f s wall): %.0f MB/s, %.2f ms per slice\n",
                int(files.size()), bytes * 1e-6, loadCpu, loadWall, bytes * 1e-6 / loadCpu, 1e3 * loadCpu / slices);

    // Stages of a slice on this thread: what a worker does, step by step.
    const QString outDir = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(outDir);
    Stages st;
    if (stageSlices > 0) {
        FbpKernel k;
        k.setup(n, nProj);
        k.setPrecision(precision);
        HSgm h;
        for (int i = 0; i < stageSlices; ++i) {
            const int slice = 4 + int(qint64(i) * slices / stageSlices);
            double t = BenchMachine::threadCpu();
            genSinogram(set, &h, true, writer.cor(), slice);
            double u = BenchMachine::threadCpu();
            st.sinogram += u - t;
            for (int p = 0; p < nProj; ++p)
                k.filterRow(h.absorbRow(p), p);
            t = BenchMachine::threadCpu();
            st.filter += t - u;
            k.resetImage(n);
            k.backProjectAll(0, n, 0, n);
            k.calcRange();
            u = BenchMachine::threadCpu();
            st.backProjection += u - t;
            wall.restart();
            QString error;
            // With its digest for the run report, as a run writes it.
            Sha256 hash;
            if (!CtFiles::saveData(outDir + QStringLiteral("/stage-%1.dat").arg(slice), k.image.data(), n, 0, 0, n, n,
                                   &error, &hash)
                || hash.hex().isEmpty()) {
                std::fprintf(stderr, "bench_volume: %s\n", qPrintable(error));
                return 1;
            }
            st.writing += BenchMachine::threadCpu() - u;
            st.writingWall += wall.nsecsElapsed() * 1e-9;
            // The same text once more, kept nowhere: the data file's own
            // share apart from the file system's.
            BenchMachine::NullDevice null;
            null.open(QIODevice::WriteOnly);
            u = BenchMachine::threadCpu();
            CtFiles::writeData(&null, k.image.data(), n, 0, 0, n, n);
            t = BenchMachine::threadCpu();
            st.text += t - u;
            // And with its digest, to tell the digest's share.
            Sha256 textHash;
            CtFiles::writeData(&null, k.image.data(), n, 0, 0, n, n, &textHash);
            st.digest += BenchMachine::threadCpu() - t - (t - u);
        }
        const double m = 1e3 / stageSlices;
        const double load = 1e3 * loadCpu / slices;
        const double total = load + m * (st.sinogram + st.filter + st.backProjection + st.writing);
        std::printf("one slice, one thread, processor time (mean of %d slices):\n", stageSlices);
        const struct
        {
            const char* name;
            double ms;
        } rows[] = {{"load (its share)", load},
                    {"sinogram", m * st.sinogram},
                    {"filter", m * st.filter},
                    {"back-projection", m * st.backProjection},
                    {"data file", m * st.writing}};
        for (const auto& r : rows)
            std::printf("  %-18s %8.1f ms  %5.1f %%\n", r.name, r.ms, 100.0 * r.ms / total);
        std::printf("  %-18s %8.1f ms  (data file %.1f ms wall, synced to disk)\n", "total", total,
                    m * st.writingWall);
        std::printf("  of the data file, its text alone (made, not written): %.1f ms, %.1f %% of the total\n",
                    m * st.text, 100.0 * m * st.text / total);
        std::printf("  its SHA-256 %.1f ms; the text is %.1f %% of the total without it\n", m * st.digest,
                    100.0 * m * st.text / (total - m * st.digest));
        for (int i = 0; i < stageSlices; ++i)
            QFile::remove(outDir + QStringLiteral("/stage-%1.dat").arg(4 + int(qint64(i) * slices / stageSlices)));
    }
    std::fflush(stdout);

    // The whole series through the pool, as a run writes it.
    {
        CtRun run;
        run.images = &set;
        run.createPool(*std::max_element(threadCounts.begin(), threadCounts.end()));
        double single = 0, singleCpu = 0;
        // Best wall and its processor time per thread count (--scaling).
        QMap<int, QPair<double, double>> best;
        for (int threads : threadCounts) {
            ReconSettings settings;
            settings.showImage = false;
            settings.precision = precision;
            settings.data = ReconOutput{true, outDir, QStringLiteral("slice.dat"), QString()};
            CtCond& c = settings.cond;
            c.ct2 = true;
            c.rotAxIsV = true;
            c.cor = writer.cor();
            c.autoExec = true;
            c.setSeries(QString::number(4), QString::number(4 + slices - 1), QStringLiteral("1"));
            c.threads = threads;
            QEventLoop loop;
            QObject::connect(&run, &CtRun::calcFinished, &loop, &QEventLoop::quit);
            const double c0 = BenchMachine::processCpu();
            wall.restart();
            run.start(settings);
            if (run.active)
                loop.exec();
            const double s = wall.nsecsElapsed() * 1e-9;
            const double cpu = BenchMachine::processCpu() - c0;
            const int written = int(run.report().written.size());
            if (written != slices || !run.report().failures.isEmpty()) {
                std::fprintf(stderr, "bench_volume: %d of %d data files written\n", written, slices);
                return 1;
            }
            std::printf("threads %2d: %6.2f s wall, %6.2f s processor: %5.2f slices/s, %5.2f slices/s per core "
                        "(processor time)",
                        threads, s, cpu, slices / s, slices / cpu);
            if (!best.contains(threads) || s < best[threads].first)
                best[threads] = qMakePair(s, cpu);
            if (scaling) {
                // Each round's ratio is printed with the round's second run.
                if (threads == 1) {
                    single = s;
                    singleCpu = cpu;
                } else {
                    std::printf(", x%.2f wall, x%.2f processor time per slice", single / s, cpu / singleCpu);
                }
            } else if (threads == threadCounts.first()) {
                single = s;
                singleCpu = cpu;
            } else {
                std::printf(", x%.2f wall, x%.2f processor time per slice", single / s, cpu / singleCpu);
            }
            std::printf(", peak resident %.0f MiB above the loaded series\n", BenchMachine::peakMiB() - loadedMiB);
            std::printf("            load %s\n", qPrintable(BenchMachine::loadAverage()));
            std::fflush(stdout);
        }
        if (scaling)
            std::printf("two threads against one, best of %d rounds: 1 thread %.2f s, 2 threads %.2f s wall: x%.2f "
                        "(processor time per slice x%.2f), %d slices\n",
                        rounds, best[1].first, best[2].first, best[1].first / best[2].first,
                        best[2].second / best[1].second, slices);
    }
    delete i0;
    delete bg;
    const bool removed = dir.remove();
    std::printf("temporary files %s\n", removed ? "removed" : "NOT removed");
    return removed ? 0 : 1;
}
