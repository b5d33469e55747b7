// zuvo2-recon: reconstructs a slice series without a window, with the same
// engine (and the same file names and data files) as the main window.
#include "CtCalc2.h"
#include "CtCond.h"
#include "AveragedImage.h"
#include "CorSearch.h"
#include "CorrectedSeries.h"
#include "ConfigStore.h"
#include "CtRun.h"
#include "Failures.h"
#include "H5Scan.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "MemoryBudget.h"
#include "PaganinFilter.h"
#include "QuitOnSignal.h"
#include "ToolExit.h"
#include "RingRemoval.h"
#include "SeriesListing.h"
#include "SettingTable.h"
#include "TextUtils.h"

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
#include <limits>
#include <memory>
#include <unistd.h>

namespace {
constexpr int Ok = ToolExit::Ok, Failed = ToolExit::Failed, Usage = ToolExit::Usage;
QTextStream& (&err)() = ToolExit::err;
int (&usage)(const QString&) = ToolExit::usage;

// Nothing computed yet, nothing to finish: the end a quit signal asks for.
int interruptedWhileLoading()
{
    const int sig = QuitOnSignal::received();
    err() << "zuvo2-recon: interrupted by signal " << sig << " while loading; nothing written\n";
    err().flush();
    return 128 + sig;
}

// The first option given twice, other than those meant to be repeated.
QString repeatedOption(const QCommandLineParser& p, const QStringList& repeatable)
{
    for (const QString& name : p.optionNames()) {
        if (p.optionNames().count(name) > 1 && !repeatable.contains(name))
            return name;
    }
    return {};
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
int loadDirectory(const QString& dir, const QString& pattern, const QStringList& references, bool allowGaps,
                  bool quiet, ImgDatas& set)
{
    const SeriesListing::Result listing = SeriesListing::list(dir, {pattern}, references, allowGaps);
    for (const QString& f : listing.removed)
        err() << "zuvo2-recon: " << f << " is an I0 or BG image: left out of the projections\n";
    if (!listing.refusal.isEmpty()) {
        err() << "zuvo2-recon: " << listing.refusal << "\n";
        return Usage;
    }
    // Shown before a long load begins.
    if (!quiet) {
        err() << "zuvo2-recon: " << listing.text() << "\n";
        err().flush();
    }
    const QStringList& paths = listing.files;
    if (const QString tooBig = set.memoryRefusal(paths, false); !tooBig.isEmpty()) {
        err() << "zuvo2-recon: " << tooBig << "\n";
        return Usage;
    }
    QStringList failed;
    for (const QString& f : paths) {
        // A slow file system must not hold a quit signal back until the end.
        if (QuitOnSignal::received())
            return interruptedWhileLoading();
        if (!set.addFile(f))
            failed << QFileInfo(f).fileName();
    }
    if (!failed.isEmpty()) {
        err() << "zuvo2-recon: " << failed.size() << " of " << paths.size()
              << " projection files could not be read: " << failed.mid(0, 5).join(", ")
              << (failed.size() > 5 ? ", ..." : "") << "\n";
        return Usage;
    }
    set.gaps = listing.gaps;
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

// The settings of a tool run before any source: one CT2 series of data files.
ReconSettings toolDefaults()
{
    ReconSettings s;
    s.cond.ct2 = true;
    s.cond.autoExec = true;
    s.cond.threads = std::min(QThread::idealThreadCount(), int(SettingTable::byKey("threads")->max));
    s.showImage = false;
    s.data.on = true;
    QString why;
    SettingTable::set(s, *SettingTable::byKey("name"), {QStringLiteral("slice")}, &why);
    return s;
}

// The values of a configuration file's settings into s and given; Ok, or
// Usage with a message for a file that cannot be read or a key or value
// that is refused.  "Cor auto" asks for the centre to be found.
int readConfig(const QString& file, ReconSettings& s, QSet<QString>& given)
{
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable()) {
        err() << "zuvo2-recon: cannot read the configuration file " << file << "\n";
        return Usage;
    }
    ConfigStore store;
    store.readFile(file);
    for (const QString& key : store.keyList()) {
        const SettingTable::Setting* d = SettingTable::byConfigKey(key);
        if (!d)
            return usage(QStringLiteral("%1: %2 is not a setting").arg(file, key));
        QStringList parts;
        if (d->type == SettingTable::Type::Files) {
            const QString full = store.fullValue(key);
            for (qsizetype at = 0; at < full.size();) {
                QString item;
                at = nextItemAt(full, at, item);
                if (!item.isEmpty())
                    parts << item;
            }
        } else
            parts = SettingTable::partsOf(*d, store.value(key, QString()));
        if (d == SettingTable::byKey("cor") && store.value(key, QString()).trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
            s.autoCor = true;
        else if (QString why; !SettingTable::set(s, *d, parts, &why))
            return usage(QStringLiteral("%1: %2: %3").arg(file, key, why));
        given << QLatin1String(d->key);
    }
    return Ok;
}

// The settings of this run: defaults, then the configuration file, then the
// options; given collects the keys set by either.  Ok, or Usage with a message.
int readSettings(const QCommandLineParser& p, ReconSettings& c, QSet<QString>& given)
{
    c = toolDefaults();
    if (p.isSet(QStringLiteral("config")))
        if (const int code = readConfig(p.value(QStringLiteral("config")), c, given); code != Ok)
            return code;
    for (const SettingTable::Setting& d : SettingTable::settings()) {
        const QString option = d.option ? QLatin1String(d.option) : QString();
        if (option.isEmpty() || !p.isSet(option))
            continue;
        given << QLatin1String(d.key);
        if (&d == SettingTable::byKey("cor") && p.value(option).trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
            c.autoCor = true;
            continue;
        }
        c.autoCor = c.autoCor && &d != SettingTable::byKey("cor");
        const QStringList parts = d.type == SettingTable::Type::Files ? p.values(option)
                                  : d.valueName                       ? SettingTable::partsOf(d, p.value(option))
                                                                      : QStringList{QStringLiteral("1")};
        QString why;
        if (!SettingTable::set(c, d, parts, &why))
            return usage(QStringLiteral("--%1: %2").arg(option, why));
    }
    auto has = [&given](const char* key) { return given.contains(QLatin1String(key)); };
    const int sources = int(has("projections") || has("pattern")) + int(has("h5")) + int(has("stack"));
    if (sources == 0)
        return usage(QStringLiteral("--projections and --pattern, --h5 or --stack is missing"));
    if (sources > 1)
        return usage(QStringLiteral("give the projections one way: --projections and --pattern, --h5 or --stack"));
    if (has("h5") && (has("i0") || has("bg") || has("i0After")))
        return usage(QStringLiteral("--i0, --bg and --i0-after do not go with --h5: the scan brings its own"));
    // No default axis: the wrong one gives a plausible-looking, meaningless result.
    for (const char* key : {"cor", "axis", "slices", "out"})
        if (!has(key) && !(QLatin1String(key) == QLatin1String("cor") && c.cond.corFit))
            return usage(QStringLiteral("--%1 is missing").arg(QLatin1String(SettingTable::byKey(key)->option)));
    if (sources == 1 && (has("projections") || has("pattern")))
        for (const char* key : {"projections", "pattern"})
            if (!has(key))
                return usage(QStringLiteral("--%1 is missing").arg(QLatin1String(key)));
    if (c.cond.corFit && has("cor"))
        return usage(QStringLiteral("--cor and --cor-fit exclude each other"));
    // Found before the series is loaded.
    if (c.cond.paganin.on() && !(c.cond.pixelSizeUm > 0))
        return usage(QStringLiteral("--paganin needs --pixel-size"));
    return Ok;
}

// The projections and references a run reads, kept together.
struct Inputs
{
    ImgDatas set;
    std::unique_ptr<ImgData> i0, bg, i0After;
    ImgData* i0Ptr = nullptr;
    ImgData* bgPtr = nullptr;
    ImgData* i0AfterPtr = nullptr;
};

// Every projection and reference must load, or nothing is done: Ok, or Usage
// with a message.
int loadInputs(const ReconSettings& c, const QSet<QString>& given, bool quiet, Inputs& in)
{
    auto has = [&given](const char* key) { return given.contains(QLatin1String(key)); };
    const int from = c.cond.from;
    const int to = c.cond.to;
    QElapsedTimer loadClock;
    loadClock.start();
    ImgDatas& set = in.set;
    set.angleUnit = c.angleUnit;
    // The centre line of a tilted axis is fitted over the whole height.
    if (c.rows == QLatin1String("auto") && !c.cond.corFit) {
        // Slices beyond the images are refused by the run with the valid
        // range; the band only keeps what the images have of them.
        int w = 0, h = 0;
        if (has("h5")) {
            H5Scan probe;
            probe.angleUnit = c.angleUnit;
            if (probe.open(c.h5File))
                w = probe.columns(), h = probe.rows();
        } else if (has("stack")) {
            ImgDatas::imageBytes(c.stackFile, &w, &h);
        } else {
            QDir d(c.projectionsDir);
            const QFileInfoList first = d.entryInfoList({c.pattern}, QDir::Files);
            if (!first.isEmpty())
                ImgDatas::imageBytes(first.first().absoluteFilePath(), &w, &h);
        }
        // Filters of whole images reach past the slices: their margin is
        // loaded too, and binned lines start on a multiple of the binning.
        int margin = 0;
        LineBand wanted = CorrectedSeries::linesFor(c.cond, from, to, &margin);
        if (c.cond.paganin.on())
            err() << "zuvo2-recon: phase retrieval reaches " << margin << " lines beyond the slices; they are loaded too\n";
        // A drift along the axis reads lines beyond the slices, as far as the
        // table's largest (shifts come without corrections, so no binning).
        EnergyShifts shifts;
        int reach = 0;
        if (!c.shiftsFile.isEmpty() && shifts.load(c.shiftsFile, nullptr))
            for (const EnergyShift& s : shifts.rows())
                reach = std::max(reach, int(std::ceil(std::fabs(s.along(c.cond.rotAxIsV)))));
        if (reach > 0 && !wanted.whole())
            wanted = LineBand::ofSlices(std::max(0, wanted.first - reach), wanted.last() + reach, c.cond.rotAxIsV);
        const QRect r = wanted.rectIn(w, h);
        if (!r.isEmpty())
            set.band = c.cond.rotAxIsV ? LineBand{r.top(), r.height(), true} : LineBand{r.left(), r.width(), false};
    }
    if (has("h5")) {
        QString whyScan;
        if (!loadH5Scan(c.h5File, set, &whyScan)) {
            err() << "zuvo2-recon: cannot read the scan " << c.h5File << ": " << whyScan << "\n";
            return Usage;
        }
    } else if (has("stack")) {
        if (!set.addTiffStack(c.stackFile)) {
            // The reason has been logged with the failure.
            err() << "zuvo2-recon: cannot read the stack " << c.stackFile << "\n";
            return Usage;
        }
    } else if (const int code = loadDirectory(c.projectionsDir, c.pattern, c.i0Files + c.bgFiles + c.i0AfterFiles,
                                              c.allowGaps, quiet, set);
               code != Ok)
        return code;

    if (QuitOnSignal::received())
        return interruptedWhileLoading();
    if (!quiet) {
        err() << "zuvo2-recon: loaded " << set.count() << " projections, " << set.heldBand().text() << " ("
              << megabytes(set.bytesHeld()) << ") in " << QString::number(loadClock.elapsed() / 1000.0, 'f', 2)
              << " s\n";
        err().flush();
    }

    if (has("i0After") && !has("i0"))
        return usage(QStringLiteral("--i0-after needs --i0"));
    if (has("i0") && !(in.i0 = loadReferences(c.i0Files, "I0")))
        return Usage;
    if (has("bg") && !(in.bg = loadReferences(c.bgFiles, "BG")))
        return Usage;
    if (has("i0After") && !(in.i0After = loadReferences(c.i0AfterFiles, "I0 (after)")))
        return Usage;
    if (QuitOnSignal::received())
        return interruptedWhileLoading();
    in.i0Ptr = in.i0.get();
    in.bgPtr = in.bg.get();
    in.i0AfterPtr = in.i0After.get();
    set.i0Img = &in.i0Ptr;
    set.bgImg = &in.bgPtr;
    set.i0AfterImg = &in.i0AfterPtr;
    return Ok;

}

// The centre found on the first slice, or the centre line fitted, when asked
// for; Ok, or Usage when none is found.
int findCentre(ReconSettings& c, ImgDatas& set, bool acceptQuestionable)
{
    const int from = c.cond.from;
    // Clamped logarithms are refused as the run refuses them.
    CorSearchOptions o;
    o.maxInvalid = c.cond.maxInvalid;
    if (c.autoCor) {
        // An offset axis lies near an edge: only projections 180 degrees apart tell where.
        const CorResult r = c.cond.angles == AngularRange::FullOffset ? findOffsetCor(set, c.cond.rotAxIsV, from, o)
                                                                      : findCor(set, c.cond.rotAxIsV, from, o);
        if (!r.valid) {
            err() << "zuvo2-recon: no centre of rotation found on slice " << from << ": " << r.reason << "\n";
            return Usage;
        }
        c.cond.cor = r.cor;
        err() << "zuvo2-recon: Centre of rotation " << r.text() << "\n";
        err().flush();
        // A questionable centre fails the run unless the user takes it knowingly.
        if (!r.sound && !acceptQuestionable) {
            err() << "zuvo2-recon: the centre found is questionable, nothing written (check --axis, give --cor, "
                     "or --accept-questionable to use it)\n";
            return Failed;
        }
    }

    if (c.cond.corFit) {
        const CorLine line = findCorLine(set, c.cond.rotAxIsV, 0, (c.cond.rotAxIsV ? set.height : set.width) - 1, 8, o);
        err() << "zuvo2-recon: " << line.text() << "\n";
        err().flush();
        if (!line.valid)
            return Usage;
        c.cond.corAt0 = line.at0;
        c.cond.corSlope = line.slope;
        c.cond.cor = line.at(from);
    }

    return Ok;
}

// What --help shows: the program, every setting's option from the table,
// --config and --quiet.
void describe(QCommandLineParser& p)
{
    p.setApplicationDescription(QStringLiteral(
        "Reconstructs slices FROM..TO of a projection series (image files, an HDF5 scan or a TIFF stack) by filtered back-projection, "
        "without a window, and writes NAME-%05d.dat data files (and with --png NAME-%05d.png "
        "pictures, with --tiff NAME-%05d.tif float TIFFs; --formats chooses among them) plus NAME-run.json, exactly as a window or batch run with the same "
        "settings.\nExit status: 0 every slice written, 1 something failed, "
        "2 bad usage or unreadable input (nothing written), 128 + N ended by signal N "
        "(SIGTERM, SIGINT: the slices in progress are written first; a second signal "
        "ends at once)."));
    p.addHelpOption();
    p.addVersionOption();
    // Every option of a setting comes from the settings table.
    for (const SettingTable::Setting& d : SettingTable::settings())
        if (d.option)
            p.addOption(d.valueName ? QCommandLineOption(QLatin1String(d.option), SettingTable::optionHelp(d),
                                                         QLatin1String(d.valueName))
                                    : QCommandLineOption(QLatin1String(d.option), SettingTable::optionHelp(d)));
    const QCommandLineOption config(QStringLiteral("config"),
        "Settings from FILE, one 'Key value' a line (keys in the README's settings table); options given "
        "here win.", "FILE");
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("No progress display."));
    const QCommandLineOption acceptQuestionable(QStringLiteral("accept-questionable"),
        QStringLiteral("With --cor auto: go on with a centre the search calls questionable (without it such a run "
                       "fails, nothing written)."));
    p.addOptions({config, quiet, acceptQuestionable});
}
// The command line's own checks, before any setting is read: -1 to go on,
// else the exit code (--help and --version answered).
int checkCommandLine(const QCoreApplication& app, QCommandLineParser& p)
{
    describe(p);
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
    if (const QString why = memoryBudgetProblem(); !why.isEmpty())
        return usage(why);
    // Bytes that are no UTF-8 arrive as U+FFFD: a path with them names
    // another file (or makes a directory nobody asked for).
    for (const QString& a : app.arguments().mid(1))
        if (a.contains(QChar::ReplacementCharacter))
            return usage(QStringLiteral("the argument %1 is not valid UTF-8; rename the file or directory").arg(a));
    if (const QString twice = repeatedOption(p, {"i0", "bg", "i0-after"}); !twice.isEmpty())
        return usage(QStringLiteral("--%1 is given more than once").arg(twice));
    if (!p.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument %1").arg(p.positionalArguments().first()));
    return -1;
}

// Centre, slices and region checked against the images, then the output
// directories made, before anything is computed: Ok, or Usage with a message.
int checkRun(CtRun& run, const ReconSettings& c)
{
    const QString outDir = c.data.path;
    // A volume in the output directory waits for the directory to be made.
    ReconSettings checked = c;
    if (QFileInfo(c.volumeFile).absolutePath() == QFileInfo(outDir).absoluteFilePath() && !QFileInfo(outDir).isDir())
        checked.volumeFile.clear();
    const QString refused = run.whyRefused(checked);
    if (!refused.isEmpty()) {
        err() << "zuvo2-recon: " << refused << "\n";
        return Usage;
    }
    if (!QDir().mkpath(outDir)) {
        err() << "zuvo2-recon: cannot make the output directory " << outDir << "\n";
        return Usage;
    }
    if (!c.reportFile.isEmpty() && !QDir().mkpath(QFileInfo(c.reportFile).absolutePath())) {
        err() << "zuvo2-recon: cannot make the directory of " << c.reportFile << "\n";
        return Usage;
    }
    return Ok;
}

// Runs the slices of c until the last is written or a quit signal has ended
// the run; the exit code and what it says on standard error.
int reconstruct(CtRun& run, const ReconSettings& c, bool quiet)
{
    // The slices asked for, to tell at the end which were written.
    QSet<int> wanted;
    const CtCond dealt = c.cond.binnedBy(c.cond.binning);
    for (long long k = dealt.from; dealt.inSeries(k); k += dealt.step)
        wanted.insert(int(k));
    Progress progress(int(wanted.size()), quiet);
    QSet<int> written;
    QCoreApplication* app = QCoreApplication::instance();
    QObject::connect(&run, &CtRun::sliceFinished, app, [&](const CtResult& r) {
        // Requests dropped after a quit signal were never begun: no news.
        if (!r.ok() && QuitOnSignal::received())
            return;
        // Written: every file --formats asked for.
        bool ok = r.ok() && r.failures.isEmpty();
        for (const QString& f : {r.job.dataFile, r.job.imageFile, r.job.tiffFile})
            ok = ok && (f.isEmpty() || r.written.contains(f));
        if (ok)
            written.insert(r.job.slice);
        progress.step(r.job.slice, ok);
    });
    // Ctrl-C: no more slices are dealt; those in progress are finished.
    QuitOnSignal onSignal;
    int interrupted = 0;
    QObject::connect(&onSignal, &QuitOnSignal::requested, app, [&](int sig) {
        interrupted = sig;
        run.interrupt();
        if (run.pendingCount() == 0)
            QCoreApplication::quit();
    });
    QObject::connect(&run, &CtRun::runStopped, app, [&] {
        // Slices still computing after an interruption are awaited.
        if (run.pendingCount() == 0)
            QCoreApplication::quit();
    });
    QObject::connect(&run, &CtRun::sliceFinished, app, [&] {
        if (!run.active && run.pendingCount() == 0)
            QCoreApplication::quit();
    }, Qt::QueuedConnection);

    QMetaObject::invokeMethod(&run, [&] { run.start(c); }, Qt::QueuedConnection);
    QCoreApplication::exec();
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
    if (!quiet)
        err() << "zuvo2-recon: " << written.size() << " slices written to " << c.data.path << "\n";
    return Ok;
}
} // namespace

int main(int argc, char** argv)
{
    QuitOnSignal::install();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zuvo2-recon"));
    QCoreApplication::setApplicationVersion(CtRunReport::programVersion());

    QCommandLineParser p;
    if (const int code = checkCommandLine(app, p); code >= 0)
        return code;
    const bool quiet = p.isSet(QStringLiteral("quiet"));
    ReconSettings c;
    QSet<QString> given;
    if (const int code = readSettings(p, c, given); code != Ok)
        return code;
    Inputs in;
    if (const int code = loadInputs(c, given, quiet, in); code != Ok)
        return code;
    if (const int code = findCentre(c, in.set, p.isSet(QStringLiteral("accept-questionable"))); code != Ok)
        return code;
    if (QuitOnSignal::received())
        return interruptedWhileLoading();
    c.otherInputs = c.i0Files + c.bgFiles + c.i0AfterFiles;

    CtRun run;
    run.images = &in.set;
    run.createPool(c.cond.threads);
    if (const int code = checkRun(run, c); code != Ok)
        return code;
    return reconstruct(run, c, quiet);
}
