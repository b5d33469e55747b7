// zuvo2-recon: reconstructs a slice series without a window, with the same
// engine (and the same file names and data files) as the main window.
#include "CtCalc2.h"
#include "CtCond.h"
#include "AveragedImage.h"
#include "CorSearch.h"
#include "CtRun.h"
#include "Failures.h"
#include "H5Scan.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "MemoryBudget.h"
#include "QuitOnSignal.h"
#include "RingRemoval.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {
enum Exit { Ok = 0, Failed = 1, Usage = 2 };

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

int usage(const QString& message)
{
    err() << "zuvo2-recon: " << message << "\n"
          << "Try 'zuvo2-recon --help'.\n";
    err().flush();
    return Usage;
}

bool toDouble(const QString& text, double& v)
{
    bool ok = false;
    v = text.trimmed().toDouble(&ok);
    return ok;
}

bool toInt(const QString& text, int& v)
{
    bool ok = false;
    v = text.trimmed().toInt(&ok, 10);
    return ok;
}

// One image that must load; null (with a message) when it does not.
std::unique_ptr<ImgData> loadReference(const QString& path, const char* what)
{
    std::unique_ptr<ImgData> img(loadImgData(path));
    if (!img || !img->ready) {
        err() << "zuvo2-recon: cannot read the " << what << " image " << path << "\n";
        return nullptr;
    }
    return img;
}

// Every file of dir matching pattern into set; Ok, or Usage with a message.
int loadDirectory(const QString& dir, const QString& pattern, ImgDatas& set)
{
    if (!QFileInfo(dir).isDir() || !QFileInfo(dir).isReadable()) {
        err() << "zuvo2-recon: cannot read the directory " << dir << "\n";
        return Usage;
    }
    QDir d(dir);
    d.setNameFilters({pattern});
    d.setFilter(d.filter() | QDir::NoDotAndDotDot);
    const QFileInfoList files = d.entryInfoList();
    if (files.isEmpty()) {
        err() << "zuvo2-recon: no files match " << pattern << " in " << dir << "\n";
        return Usage;
    }
    QStringList paths;
    for (const QFileInfo& f : files)
        paths << f.absoluteFilePath();
    if (const QString tooBig = set.memoryRefusal(paths, false); !tooBig.isEmpty()) {
        err() << "zuvo2-recon: " << tooBig << "\n";
        return Usage;
    }
    QStringList failed;
    for (const QFileInfo& f : files)
        if (!set.addFile(f.absoluteFilePath()))
            failed << f.fileName();
    if (!failed.isEmpty()) {
        err() << "zuvo2-recon: " << failed.size() << " of " << files.size()
              << " projection files could not be read: " << failed.mid(0, 5).join(", ")
              << (failed.size() > 5 ? ", ..." : "") << "\n";
        return Usage;
    }
    return Ok;
}

// Every path must load; several are averaged into one image.
std::unique_ptr<ImgData> loadReferences(const QStringList& paths, const char* what)
{
    if (paths.size() == 1)
        return loadReference(paths.first(), what);
    std::vector<std::unique_ptr<ImgData>> loaded;
    QList<ImgData*> list;
    for (const QString& path : paths) {
        loaded.push_back(loadReference(path, what));
        if (!loaded.back())
            return nullptr;
        list << loaded.back().get();
    }
    QString why;
    std::unique_ptr<ImgData> avg(AveragedImage::average(list, &why));
    if (!avg)
        err() << "zuvo2-recon: cannot average the " << what << " images: " << why << "\n";
    return avg;
}

// Progress on standard error: one line redrawn on a terminal, plain lines otherwise.
class Progress
{
public:
    Progress(int total, bool quiet) : quiet(quiet), tty(isatty(fileno(stderr)))
    {
        p.total = total;
        clock.start();
    }
    void step(int slice, bool ok)
    {
        ++p.done;
        if (quiet)
            return;
        p.elapsedMs = clock.elapsed();
        const QString line = QStringLiteral("%1/%2 slices, %3 slices/s, %4 s left")
                                 .arg(p.done)
                                 .arg(p.total)
                                 .arg(p.rate(), 0, 'f', 2)
                                 .arg(std::max(0.0, p.secondsLeft()), 0, 'f', 0);
        if (tty)
            err() << "\r" << line << "\x1b[K";
        else
            err() << "slice " << slice << (ok ? " done, " : " FAILED, ") << line << "\n";
        err().flush();
    }
    void finish()
    {
        if (!quiet && tty && p.done > 0) {
            err() << "\n";
            err().flush();
        }
    }

private:
    WorkProgress p;
    bool quiet;
    bool tty;
    QElapsedTimer clock;
};
} // namespace

int main(int argc, char** argv)
{
    QuitOnSignal::install();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zuvo2-recon"));
    QCoreApplication::setApplicationVersion(CtRunReport::programVersion());

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Reconstructs slices FROM..TO of a projection series (image files, an HDF5 scan or a TIFF stack) by filtered back-projection, "
        "without a window, and writes NAME-%05d.dat data files (and with --png NAME-%05d.png "
        "pictures, with --tiff NAME-%05d.tif float TIFFs) plus NAME-run.json, exactly as a window or batch run with the same "
        "settings.\nExit status: 0 every slice written, 1 something failed, "
        "2 bad usage or unreadable input (nothing written), 128 + N ended by signal N "
        "(SIGTERM, SIGINT: the slices in progress are written first; a second signal "
        "ends at once)."));
    p.addHelpOption();
    p.addVersionOption();
    const QCommandLineOption projections("projections", "Directory of the projection images (with --pattern; or --h5, or --stack).", "DIR");
    const QCommandLineOption pattern("pattern", "File names of the projections in DIR, e.g. 'ct-*.img'.", "GLOB");
    const QCommandLineOption h5("h5", "An HDF5 Data Exchange file holding the whole scan: projections, I0 and BG from its flats and darks, and its angles when it has them.", "FILE");
    const QCommandLineOption stack("stack", "A multi-page TIFF file holding the projections, one page each.", "FILE");
    const QCommandLineOption i0("i0", "I0 (beam) image; without it I0 = 1. Given more than once: their average.", "FILE");
    const QCommandLineOption bg("bg", "BG (dark) image; without it BG = 0. Given more than once: their average.", "FILE");
    const QCommandLineOption i0After("i0-after",
        "I0 image taken after the scan (more than once: their average); with it each projection's I0 "
        "is interpolated linearly by projection index between --i0 and this.", "FILE");
    const QCommandLineOption cor("cor", "Centre of rotation in pixels, or auto: found on the first slice (required).", "X|auto");
    const QCommandLineOption acceptQuestionable("accept-questionable",
        "With --cor auto: go on with a centre the search calls questionable (without it such a run fails, nothing written).");
    const QCommandLineOption corFit("cor-fit", "Tilted axis: fit a centre line over the images' height and reconstruct each slice about it (instead of --cor).");
    const QCommandLineOption axis("axis", "Rotation axis on the detector: v (slices are rows) or h (slices are columns) (required).", "v|h");
    const QCommandLineOption slices("slices", "Slices FROM to TO inclusive, every STEP (default 1), e.g. 1:5:2 gives 1, 3, 5 (required).", "FROM:TO[:STEP]");
    const QCommandLineOption region("region", "Calculation region in pixels of the slice image; default the whole image.", "X0,Z0,X1,Z1");
    const QCommandLineOption threads("threads", "Worker threads (default: the processor count).", "N");
    const QCommandLineOption out("out", "Output directory, made when missing (required).", "DIR");
    const QCommandLineOption name("name", "Base name of the files (default slice).", "NAME", "slice");
    const QCommandLineOption png("png", "Also write a picture of every slice.");
    const QCommandLineOption tiff("tiff", "Also write every slice's region as a 32-bit float TIFF, NAME-%05d.tif.");
    const QCommandLineOption quiet("quiet", "No progress display.");
    const QCommandLineOption filter("filter",
        "Filter: " + FbpFilter::names().join(", ")
            + " (default ramp); CUTOFF is a fraction of Nyquist, above 0 and at most 1 (default 1).",
        "NAME[:CUTOFF]", FbpFilter().name);
    const QCommandLineOption pixelSize("pixel-size",
        "Detector pixel size in micrometres: the run report then gives the factor from data-file values to 1/cm.", "UM");
    const QCommandLineOption rings("rings", "Ring removal with a window of SIZE detector columns (default off).", "SIZE");
    const QCommandLineOption rows("rows",
        "Detector lines to load: auto (only the lines of --slices, rows for --axis v, columns for --axis h; "
        "the whole series with --cor-fit) or all.", "auto|all", "auto");
    const QCommandLineOption report("report",
        "Write the run report to FILE instead of OUT/NAME-run.json (tasks of one series sharing OUT).", "FILE");
    const QCommandLineOption angles("angles",
        "How the images cover the turn: half (n over 180 degrees, default), half-inclusive "
        "(n + 1 ending at 180: the last is not used) or full (n over 360).", "RANGE", "half");
    const QCommandLineOption precision("precision",
        "Back-projection arithmetic: single (default: about twice as fast, values within 2e-6 of the slice's "
        "value range of double's) or double.", "single|double",
        QLatin1String(FbpKernel::precisionName(FbpKernel::Precision::Single)));
    p.addOptions({projections, pattern, h5, stack, i0, bg, cor, acceptQuestionable, corFit, axis, slices, region, threads, out, name, png, tiff, quiet,
                  filter, pixelSize, rings, angles, i0After, rows, report, precision});
    if (!p.parse(app.arguments()))
        return usage(p.errorText());
    if (p.isSet("help")) {
        QTextStream(stdout) << p.helpText();
        return Ok;
    }
    if (p.isSet("version")) {
        QTextStream(stdout) << "zuvo2-recon " << CtRunReport::programVersion() << "\n";
        return Ok;
    }
    if (!p.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument %1").arg(p.positionalArguments().first()));
    const int sources = int(p.isSet(projections) || p.isSet(pattern)) + int(p.isSet(h5)) + int(p.isSet(stack));
    if (sources == 0)
        return usage(QStringLiteral("--projections and --pattern, --h5 or --stack is missing"));
    if (sources > 1)
        return usage(QStringLiteral("give the projections one way: --projections and --pattern, --h5 or --stack"));
    if (p.isSet(h5) && (p.isSet(i0) || p.isSet(bg) || p.isSet(i0After)))
        return usage(QStringLiteral("--i0, --bg and --i0-after do not go with --h5: the scan brings its own"));
    // No default axis: the wrong one gives a plausible-looking, meaningless result.
    for (const QCommandLineOption* o : {&cor, &axis, &slices, &out})
        if (!p.isSet(*o) && !(o == &cor && p.isSet(corFit)))
            return usage(QStringLiteral("--%1 is missing").arg(o->names().first()));
    if (sources == 1 && (p.isSet(projections) || p.isSet(pattern)))
        for (const QCommandLineOption* o : {&projections, &pattern})
            if (!p.isSet(*o))
                return usage(QStringLiteral("--%1 is missing").arg(o->names().first()));

    CtCond c;
    c.ct2 = true;
    c.autoExec = true;
    const bool autoCor = p.value(cor).trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
    if (p.isSet(corFit) && p.isSet(cor))
        return usage(QStringLiteral("--cor and --cor-fit exclude each other"));
    if (!autoCor && !p.isSet(corFit) && !toDouble(p.value(cor), c.cor))
        return usage(QStringLiteral("--cor %1 is not a number").arg(p.value(cor)));
    const QString ax = p.value(axis).toLower();
    if (ax != "v" && ax != "h")
        return usage(QStringLiteral("--axis must be v or h, not %1").arg(p.value(axis)));
    c.rotAxIsV = ax == "v";
    const QStringList s = p.value(slices).split(':');
    int from = 0, to = 0, step = 1;
    if (s.size() < 2 || s.size() > 3 || !toInt(s[0], from) || !toInt(s[1], to)
        || (s.size() == 3 && !toInt(s[2], step)))
        return usage(QStringLiteral("--slices %1 is not FROM:TO[:STEP]").arg(p.value(slices)));
    if (step == 0)
        return usage(QStringLiteral("--slices step must not be 0"));
    c.from = from;
    c.to = to;
    c.step = CtCond::seriesStep(from, to, step);
    c.sliceNo = from;
    c.threads = QThread::idealThreadCount();
    if (p.isSet(threads) && (!toInt(p.value(threads), c.threads) || c.threads < 1 || c.threads > 64))
        return usage(QStringLiteral("--threads %1 is not a number from 1 to 64").arg(p.value(threads)));

    QString why;
    if (!FbpFilter::parse(p.value(filter), c.filter, &why))
        return usage(QStringLiteral("--filter: ") + why);
    if (p.isSet(pixelSize) && (!toDouble(p.value(pixelSize), c.pixelSizeUm) || !(c.pixelSizeUm > 0)
                               || !std::isfinite(c.pixelSizeUm)))
        return usage(QStringLiteral("--pixel-size %1 is not a positive number").arg(p.value(pixelSize)));
    if (p.isSet(rings) && (!toInt(p.value(rings), c.ringSize) || c.ringSize < 0 || c.ringSize > maxRingSize))
        return usage(QStringLiteral("--rings %1 is not a number from 0 to %2").arg(p.value(rings)).arg(maxRingSize));

    FbpKernel::Precision arithmetic;
    if (!FbpKernel::parsePrecision(p.value(precision), arithmetic))
        return usage(QStringLiteral("--precision must be single or double, not %1").arg(p.value(precision)));

    if (!CtCond::angularRange(p.value(angles), c.angles))
        return usage(QStringLiteral("--angles must be one of %1, not %2")
                         .arg(CtCond::angularRangeNames().join(", "), p.value(angles)));

    CtView view;
    if (p.isSet(region)) {
        const QStringList r = p.value(region).split(',');
        double v[4];
        bool ok = r.size() == 4;
        for (int k = 0; ok && k < 4; ++k)
            ok = toDouble(r[k], v[k]);
        if (!ok)
            return usage(QStringLiteral("--region %1 is not X0,Z0,X1,Z1").arg(p.value(region)));
        view.wholeImage = false;
        view.region = CtRegion{v[0], v[1], v[2], v[3]};
    }

    const QString rowsMode = p.value(rows).toLower();
    if (rowsMode != "auto" && rowsMode != "all")
        return usage(QStringLiteral("--rows must be auto or all, not %1").arg(p.value(rows)));

    // Inputs: every projection must load, or nothing is done.
    QElapsedTimer loadClock;
    loadClock.start();
    ImgDatas set;
    // The centre line of a tilted axis is fitted over the whole height.
    if (rowsMode == "auto" && !p.isSet(corFit)) {
        // Slices beyond the images are refused by the run with the valid
        // range; the band only keeps what the images have of them.
        int w = 0, h = 0;
        if (p.isSet(h5)) {
            H5Scan probe;
            if (probe.open(p.value(h5)))
                w = probe.columns(), h = probe.rows();
        } else if (p.isSet(stack)) {
            ImgDatas::imageBytes(p.value(stack), &w, &h);
        } else {
            QDir d(p.value(projections));
            const QFileInfoList first = d.entryInfoList({p.value(pattern)}, QDir::Files);
            if (!first.isEmpty())
                ImgDatas::imageBytes(first.first().absoluteFilePath(), &w, &h);
        }
        const LineBand wanted = LineBand::ofSlices(from, to, c.rotAxIsV);
        const QRect r = wanted.rectIn(w, h);
        if (!r.isEmpty())
            set.band = c.rotAxIsV ? LineBand{r.top(), r.height(), true} : LineBand{r.left(), r.width(), false};
    }
    if (p.isSet(h5)) {
        QString whyScan;
        if (!loadH5Scan(p.value(h5), set, &whyScan)) {
            err() << "zuvo2-recon: cannot read the scan " << p.value(h5) << ": " << whyScan << "\n";
            return Usage;
        }
    } else if (p.isSet(stack)) {
        if (!set.addTiffStack(p.value(stack))) {
            // The reason has been logged with the failure.
            err() << "zuvo2-recon: cannot read the stack " << p.value(stack) << "\n";
            return Usage;
        }
    } else if (const int code = loadDirectory(p.value(projections), p.value(pattern), set); code != Ok)
        return code;

    if (!p.isSet(quiet)) {
        err() << "zuvo2-recon: loaded " << set.count() << " projections, " << set.heldBand().text() << " ("
              << megabytes(set.bytesHeld()) << ") in " << QString::number(loadClock.elapsed() / 1000.0, 'f', 2)
              << " s\n";
        err().flush();
    }

    std::unique_ptr<ImgData> i0Img, bgImg, i0AfterImg;
    ImgData* i0Ptr = nullptr;
    ImgData* bgPtr = nullptr;
    ImgData* i0AfterPtr = nullptr;
    if (p.isSet(i0After) && !p.isSet(i0))
        return usage(QStringLiteral("--i0-after needs --i0"));
    if (p.isSet(i0) && !(i0Img = loadReferences(p.values(i0), "I0")))
        return Usage;
    if (p.isSet(bg) && !(bgImg = loadReferences(p.values(bg), "BG")))
        return Usage;
    if (p.isSet(i0After) && !(i0AfterImg = loadReferences(p.values(i0After), "I0 (after)")))
        return Usage;
    i0Ptr = i0Img.get();
    bgPtr = bgImg.get();
    i0AfterPtr = i0AfterImg.get();
    set.i0Img = &i0Ptr;
    set.bgImg = &bgPtr;
    set.i0AfterImg = &i0AfterPtr;

    // A questionable centre fails the run unless the user takes it knowingly.
    if (autoCor) {
        const CorResult r = findCor(set, c.rotAxIsV, from);
        if (!r.valid) {
            err() << "zuvo2-recon: no centre of rotation found on slice " << from << ": " << r.reason << "\n";
            return Usage;
        }
        c.cor = r.cor;
        err() << "zuvo2-recon: Centre of rotation " << r.text() << "\n";
        err().flush();
        if (!r.sound && !p.isSet(acceptQuestionable)) {
            err() << "zuvo2-recon: the centre found is questionable, nothing written (check --axis, give --cor, "
                     "or --accept-questionable to use it)\n";
            return Failed;
        }
    }

    if (p.isSet(corFit)) {
        const CorLine line = findCorLine(set, c.rotAxIsV, 0, (c.rotAxIsV ? set.height : set.width) - 1);
        err() << "zuvo2-recon: " << line.text() << "\n";
        err().flush();
        if (!line.valid)
            return Usage;
        c.corFit = true;
        c.corAt0 = line.at0;
        c.corSlope = line.slope;
        c.cor = line.at(from);
    }

    const QString outDir = QFileInfo(p.value(out)).absoluteFilePath();
    CtRun run;
    run.images = &set;
    run.defaultView = view;
    run.genImg = false;
    run.precision = arithmetic;
    run.pattern = p.value(pattern);
    run.reportFile = p.value(report);
    run.saveDat = true;
    run.datPath = outDir;
    run.datName = p.value(name) + QStringLiteral(".dat");
    run.saveTif = p.isSet(tiff);
    run.tifPath = outDir;
    run.tifName = p.value(name) + QStringLiteral(".tif");
    run.saveImg = p.isSet(png);
    run.imgPath = outDir;
    run.imgName = p.value(name) + QStringLiteral(".png");
    run.createPool(c.threads);

    // Centre, slices and region are checked against the images before
    // anything is made.
    const QString refused = run.whyRefused(c);
    if (!refused.isEmpty()) {
        err() << "zuvo2-recon: " << refused << "\n";
        return Usage;
    }
    if (!QDir().mkpath(outDir)) {
        err() << "zuvo2-recon: cannot make the output directory " << outDir << "\n";
        return Usage;
    }
    if (p.isSet(report) && !QDir().mkpath(QFileInfo(p.value(report)).absolutePath())) {
        err() << "zuvo2-recon: cannot make the directory of " << p.value(report) << "\n";
        return Usage;
    }
    // The slices asked for, to tell at the end which were written.
    QSet<int> wanted;
    for (long long k = c.from; c.inSeries(k); k += c.step)
        wanted.insert(int(k));
    Progress progress(int(wanted.size()), p.isSet(quiet));
    QSet<int> written;
    QObject::connect(&run, &CtRun::sliceFinished, &app, [&](const CtResult& r) {
        // Requests dropped after a quit signal were never begun: no news.
        if (!r.ok() && QuitOnSignal::received())
            return;
        const bool ok = r.ok() && r.failures.isEmpty() && !r.job.dataFile.isEmpty()
                        && r.written.contains(r.job.dataFile);
        if (ok)
            written.insert(r.job.slice);
        else if (!r.ok())
            Failures::record(Failures::Run, QStringLiteral("Slice %1 gave no result").arg(r.job.slice));
        progress.step(r.job.slice, ok);
    });
    // Ctrl-C: no more slices are dealt; those in progress are finished.
    QuitOnSignal onSignal;
    int interrupted = 0;
    QObject::connect(&onSignal, &QuitOnSignal::requested, &app, [&](int sig) {
        interrupted = sig;
        run.interrupt();
        if (run.pendingCount() == 0)
            QCoreApplication::quit();
    });
    QObject::connect(&run, &CtRun::runStopped, &app, [&] {
        // Slices still computing after an interruption are awaited.
        if (run.pendingCount() == 0)
            QCoreApplication::quit();
    });
    QObject::connect(&run, &CtRun::sliceFinished, &app, [&] {
        if (!run.active && run.pendingCount() == 0)
            QCoreApplication::quit();
    }, Qt::QueuedConnection);

    QMetaObject::invokeMethod(&run, [&] { run.startCalcCtWith(c); }, Qt::QueuedConnection);
    app.exec();
    progress.finish();

    if (!run.refusal().isEmpty())
        return Usage;
    const int missing = int(wanted.size() - written.size());
    if (interrupted || missing > 0 || Failures::total() > 0) {
        const QString failures = Failures::summary();
        err() << "zuvo2-recon: " << written.size() << " of " << wanted.size() << " slices written"
              << (interrupted ? QStringLiteral(" (interrupted by signal %1)").arg(interrupted) : QString())
              << (failures.isEmpty() ? "" : "; ") << failures << "\n";
        return interrupted ? 128 + interrupted : Failed;
    }
    if (!p.isSet(quiet))
        err() << "zuvo2-recon: " << written.size() << " slices written to " << outDir << "\n";
    return Ok;
}
