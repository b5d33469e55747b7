#include "Session.h"

#include "ConfigStore.h"
#include "CorrectedSeries.h"
#include "Failures.h"
#include "FileEnergy.h"
#include "Logging.h"
#include "SeriesListing.h"

#include <QDir>
#include <QFileInfo>

#include <QDebug>
#include <QThread>

Session::Session(int workers, QObject* parent)
    : QObject(parent), workerPool(new WorkerPool(workers)), ctRun(new CtRun), corSweep(new CorSweep)
{
    corSweep->pool = workerPool.get();
    ctRun->images = &images;
    images.i0Img = &i0Set.img;
    images.bgImg = &bgSet.img;
    images.i0AfterImg = &i0AfterSet.img;
    connect(corSweep.get(), &CorSweep::finished, this, &Session::sweepFinished);
    connect(&loader, &SeriesLoader::progressed, this, &Session::progressed);
    connect(&loader, &SeriesLoader::finished, this, &Session::finished);
    loadThread = WorkerPool::ownThread(&loader, QStringLiteral("loadThread"));
}

Session::~Session()
{
    stopLoading();
    corSweep.reset();
    ctRun.reset();
    workerPool.reset();
}

bool Session::imagesInUse() const
{
    return ctRun->active || ctRun->pendingCount() > 0 || ctRun->correcting() || (ct1Busy && ct1Busy()) || loading;
}

bool Session::refuseWhileInUse(const QString& what) const
{
    if (!imagesInUse())
        return false;
    qCDebug(lcApp).noquote() << (loading ? QStringLiteral("Projection images loading, refused: ")
                                         : QStringLiteral("Reconstruction running, refused: "))
                                    + what;
    return true;
}

ReferenceSet& Session::reference(Reference r)
{
    return r == Reference::I0 ? i0Set : r == Reference::Bg ? bgSet : i0AfterSet;
}

bool Session::loadReference(Reference r, const QStringList& files, bool append, const QString& what)
{
    if (refuseWhileInUse(what))
        return false;
    const bool ok = reference(r).take(files, append);
    emit referenceChanged(r);
    return ok;
}

bool Session::clearReference(Reference r, const QString& what)
{
    if (refuseWhileInUse(what))
        return false;
    reference(r).clear();
    emit referenceChanged(r);
    if (r == Reference::I0)
        clearReference(Reference::I0After, what);
    return true;
}

int Session::startLoad(const QStringList& files, bool replace, const LineBand& lines, bool droppedOld,
                       const QString& gaps)
{
    loading = true;
    loadReplaces = replace;
    loadDroppedOld = droppedOld;
    loadGaps = gaps;
    filesDone = 0;
    filesTotal = int(files.size());
    loadClock.start();
    loader.cancelRequested = false;
    const int id = ++loadNo;
    // Before the loader may begin: a cancel on the start is seen by it.
    emit loadStarted(filesTotal);
    SeriesLoader* l = &loader;
    QMetaObject::invokeMethod(l, [l, id, files, lines] { l->load(id, files, lines); }, Qt::QueuedConnection);
    return id;
}

int Session::startFileLoad(const QString& file, bool h5, ImgDatas* prepared)
{
    loading = true;
    loadReplaces = true;
    loadDroppedOld = true;
    loadGaps.clear();
    filesDone = 0;
    filesTotal = 1;
    loadClock.start();
    loader.cancelRequested = false;
    const int id = ++loadNo;
    emit loadStarted(filesTotal);
    SeriesLoader* l = &loader;
    QMetaObject::invokeMethod(l, [l, id, file, h5, prepared] { l->loadSeriesFile(id, file, h5, prepared); },
                              Qt::QueuedConnection);
    return id;
}

void Session::cancelLoad()
{
    if (loading)
        loader.cancelRequested = true;
}

void Session::stopLoading()
{
    loader.cancelRequested = true;
    if (!loadThread)
        return;
    loadThread->quit();
    loadThread->wait();
    delete loadThread;
    loadThread = nullptr;
}

void Session::progressed(int id, int done, int total)
{
    if (id != loadNo || !loading)
        return;
    filesDone = done;
    filesTotal = total;
    emit loadProgressed();
}

void Session::finished(SeriesLoadPtr r)
{
    if (!r || r->id != loadNo || !loading)
        return;
    loading = false;
    filesDone = int(r->images.size());
    LoadEnd end;
    end.cancelled = r->cancelled;
    end.replaced = loadReplaces;
    if (r->set) {
        // One file, the whole series: the old one went when the load began.
        end.wholeFile = true;
        end.whole = r->whole && !r->cancelled;
        images.takeSeries(*r->set);
        filesDone = images.count() > 0 ? 1 : 0;
        if (images.count() > 0)
            end.adopted << r->files.value(0);
        emit loadEnded(end);
        return;
    }
    if (r->cancelled) {
        Failures::record(Failures::Load,
                         QStringLiteral("Loading cancelled after %1 of %2 files: ").arg(r->images.size()).arg(r->files.size())
                             + (loadDroppedOld || !loadReplaces ? QStringLiteral("nothing added")
                                                                : QStringLiteral("the series is kept as it was")));
        end.whole = false;
        emit loadEnded(end);
        return;
    }
    // The size is forgotten too, so the new series may have another.
    if (loadReplaces)
        images.clear();
    for (size_t i = 0; i < r->images.size(); ++i) {
        const QString& f = r->files.at(int(i));
        if (images.adopt(r->images[i].release(), f, r->errors.value(int(i))))
            end.adopted << f;
    }
    if (loadReplaces)
        images.gaps = loadGaps;
    emit loadEnded(end);
}

CorResult Session::findCentre(const CtCond& c, int slice)
{
    // Only reads the projections, as the sinogram panel does, so a run may go on.
    // An offset axis lies near an edge: only projections 180 degrees apart tell where.
    CorSearchOptions o;
    o.maxInvalid = c.maxInvalid;
    const CorResult r = c.angles == AngularRange::FullOffset ? findOffsetCor(images, c.rotAxIsV, slice, o)
                                                             : findCor(images, c.rotAxIsV, slice, o);
    if (!r.valid) {
        qCDebug(lcApp).noquote() << QStringLiteral("No centre of rotation found on slice %1: ").arg(slice) + r.reason;
        return r;
    }
    settings.cond.cor = r.cor;
    emit centreFound(r.cor);
    qCDebug(lcApp).noquote() << QStringLiteral("Centre of rotation ") + r.text();
    return r;
}

bool Session::setCorPerSlice(bool on, const CtCond& c)
{
    corPerSlice = false;
    if (!on) {
        qCDebug(lcApp).noquote() << QStringLiteral("One centre of rotation for every slice");
        return true;
    }
    const int lines = c.rotAxIsV ? images.height : images.width;
    CorSearchOptions o;
    o.maxInvalid = c.maxInvalid;
    line = findCorLine(images, c.rotAxIsV, 0, lines - 1, 8, o);
    if (!line.valid)
        return false;
    corPerSlice = true;
    qCDebug(lcApp).noquote() << line.text();
    return true;
}

double Session::corFor(int from, int to) const
{
    return corPerSlice && line.valid ? line.at((from + to) / 2) : settings.cond.cor;
}

void Session::applyCentre(ReconSettings& s) const
{
    s.cond.cor = settings.cond.cor;
    if (!corPerSlice || !line.valid)
        return;
    s.cond.corFit = true;
    s.cond.corAt0 = line.at0;
    s.cond.corSlope = line.slope;
    s.cond.cor = line.at(s.cond.autoExec ? s.cond.from : s.cond.sliceNo);
}

void Session::settingSet(const QString& key)
{
    // Shown first: unticking the window's "slice lines only" forgets its band.
    emit settingChanged(key);
    // The calculators exclude each other and a series needs CT2, with a
    // window or without (its buttons have done this already).
    CtCond& c = settings.cond;
    if (key == QLatin1String("ct1") && c.ct1 && c.ct2) {
        c.ct2 = false;
        emit settingChanged(QStringLiteral("ct2"));
    }
    const bool wantsCt2 = (key == QLatin1String("ct2") && c.ct2) || (key == QLatin1String("series") && c.autoExec);
    if (wantsCt2 && (c.ct1 || !c.ct2)) {
        c.ct1 = false;
        c.ct2 = true;
        emit settingChanged(QStringLiteral("ct2"));
        emit settingChanged(QStringLiteral("ct1"));
    }
    if (key == QLatin1String("angleUnit"))
        images.angleUnit = settings.angleUnit;
    else if (key == QLatin1String("loadLines"))
        images.band = settings.allLines ? LineBand()
                                        : LineBand::ofSlices(settings.linesFrom, settings.linesTo, settings.cond.rotAxIsV);
}

QString Session::startSweep(const CtCond& c, double from, double to, double step)
{
    if (quitting) {
        const QString why = QStringLiteral("the program is closing");
        qCDebug(lcApp).noquote() << QStringLiteral("Centre sweep refused: ") + why;
        emit sweepRefused(why);
        return why;
    }
    CorSweepRequest r;
    r.images = &images;
    r.i0Name = i0Set.name();
    r.bgName = bgSet.name();
    r.rotAxIsV = c.rotAxIsV;
    r.slice = c.sliceNo;
    r.angles = c.angles;
    r.maxInvalid = c.maxInvalid;
    r.from = from;
    r.to = to;
    r.step = step;
    QString why;
    if (corSweep->start(r, &why))
        return {};
    qCDebug(lcApp).noquote() << QStringLiteral("Centre sweep refused: ") + why;
    emit sweepRefused(why);
    return why;
}

void Session::sweepFinished()
{
    const CorSweepRequest& r = corSweep->request();
    const int b = corSweep->best();
    const QString range = QStringLiteral("Centre sweep of slice %1, %2 to %3 in steps of %4: ")
                              .arg(r.slice)
                              .arg(r.from, 0, 'g', 8)
                              .arg(r.to, 0, 'g', 8)
                              .arg(r.step, 0, 'g', 8);
    if (corSweep->wasCancelled()) {
        qCDebug(lcApp).noquote() << range + QStringLiteral("stopped");
        return;
    }
    if (b < 0) {
        qCDebug(lcApp).noquote() << range + QStringLiteral("no trial gave a slice");
        return;
    }
    const CorTrial& t = corSweep->trials()[size_t(b)];
    qCDebug(lcApp).noquote() << range + QStringLiteral("sharpest at %1 (measure %2)").arg(t.cor, 0, 'f', 2).arg(t.measure, 0, 'g', 5);
}

namespace {
// The entries of dir matching patterns; false, counted, when there are none:
// a misspelt directory or pattern must not empty what is loaded.
bool listMatching(const QString& dir, const QStringList& patterns, QStringList* entries)
{
    if (!QFileInfo(dir).isDir()) {
        Failures::record(Failures::Load, QStringLiteral("No such directory, nothing loaded: ") + dir);
        return false;
    }
    *entries = SeriesListing::entries(dir, patterns);
    if (entries->isEmpty()) {
        Failures::record(Failures::Load,
                         QStringLiteral("No file matches %1 in %2, nothing loaded").arg(patterns.join(QLatin1Char(' ')), dir));
        return false;
    }
    return true;
}
} // namespace

bool Session::loadI0Files(const QString& dir, const QStringList& patterns, bool replace)
{
    QStringList entries;
    if (!listMatching(dir, patterns, &entries))
        return false;
    const SeriesListing::Result r = SeriesListing::byEnergy(entries);
    if (!r.refusal.isEmpty()) {
        Failures::record(Failures::Load, QStringLiteral("Files not loaded: %1 (in %2)").arg(r.refusal, dir));
        return false;
    }
    qCInfo(lcData).noquote() << r.text();
    if (replace)
        qCDebug(lcData).noquote() << QStringLiteral("clear files ") + QDir(dir).absolutePath();
    setI0Files(r.files, replace);
    return true;
}

void Session::setI0Files(const QStringList& files, bool replace)
{
    if (replace) {
        i0Names.clear();
        i0Evs.clear();
    }
    for (const QString& f : files) {
        i0Names << f;
        i0Evs << fileEnergy(f);
    }
    emit i0FilesChanged();
}

bool Session::chooseI0ByEnergy(QString* why)
{
    if (i0Names.isEmpty()) {
        qCDebug(lcApp).noquote() << QStringLiteral("No I0 files to choose from, I0 image kept");
        return false;
    }
    if (refuseWhileInUse(QStringLiteral("changing the I0 image")))
        return false;
    const double energy = dataDir.currentEnergy();
    const int k = nearestEnergyIndex(i0Evs, energy);
    if (k < 0)
        return false;
    // A neighbour's I0 for a set whose own is missing gives wrong absorbances.
    if (const QString gap = energyGap(i0Evs, energy); !gap.isEmpty() && !settings.allowGaps) {
        *why = QStringLiteral("no I0 file for the data set at %1 eV: %2 (accepted with images_allow_gaps 1)")
                   .arg(energy, 0, 'g', 10)
                   .arg(gap);
        return false;
    }
    const QString name = i0Names.at(k);
    loadReference(Reference::I0, {name}, false, QStringLiteral("loading ") + name);
    qCDebug(lcApp).noquote() << QStringLiteral("Selected I0 file ") + name;
    return true;
}

namespace {
// Lines the next load keeps: the slice range when asked for (else what a
// batch program named, or all), and the slice range anyway when the whole
// series would not fit in memory.
void planLines(const CtCond& c, bool sliceLinesOnly, ImgDatas& set)
{
    // With the lines the corrections reach beyond the slices.
    int margin = 0;
    const LineBand range = CorrectedSeries::linesFor(c, c.from, c.to, &margin);
    if (margin > 0 && sliceLinesOnly)
        qCInfo(lcApp).noquote() << QStringLiteral("The corrections reach %1 lines beyond the slices; they are loaded too").arg(margin);
    if (sliceLinesOnly)
        set.band = range;
    set.fallback = c.from >= 0 && c.to >= 0 ? range : LineBand();
}
} // namespace

bool Session::loadSeriesDir(const QString& dir, const QStringList& patterns)
{
    QStringList entries;
    if (!listMatching(dir, patterns, &entries))
        return false;
    const SeriesListing::Result r =
        SeriesListing::order(entries, i0Set.files() + bgSet.files() + i0AfterSet.files(), settings.allowGaps);
    for (const QString& f : r.removed)
        qCInfo(lcData).noquote() << QStringLiteral("I0/BG file left out of the projections: ") + f;
    if (!r.refusal.isEmpty()) {
        Failures::record(Failures::Load, QStringLiteral("Series not loaded: %1 (in %2)").arg(r.refusal, dir));
        return false;
    }
    qCInfo(lcData).noquote() << r.text();
    if (state.series.replace)
        qCDebug(lcData).noquote() << QStringLiteral("clear files ") + QDir(dir).absolutePath();
    listedDir = dir;
    takeFiles(r.files, r.gaps);
    return true;
}

void Session::takeFiles(const QStringList& files, const QString& gaps)
{
    const SessionState::SeriesOptions& o = state.series;
    if (!o.multi || files.isEmpty()) {
        loadFiles(files, o.replace, gaps);
        return;
    }
    int n = o.multiTimes;
    if (n > SessionState::maxMultiTimes) {
        qCDebug(lcData).noquote() << QStringLiteral("Too many copies asked for, limited to %1 : %2")
                                         .arg(SessionState::maxMultiTimes)
                                         .arg(n);
        n = SessionState::maxMultiTimes;
    }
    QStringList copies;
    for (int i = 0; i < n; ++i)
        copies << files.first();
    loadFiles(copies, o.replace, gaps);
}

void Session::loadFiles(const QStringList& files, bool replace, const QString& gaps)
{
    if (refuseWhileInUse(QStringLiteral("loading projection images")))
        return;
    planLines(settings.cond, state.sliceLinesOnly, images);
    const QString tooBig = images.memoryRefusal(files, replace);
    // The lines chosen for this load; the second budget question below must not change them.
    const LineBand lines = images.planned;
    if (!tooBig.isEmpty()) {
        // Nothing is loaded, and a run on this selection is refused.
        if (replace) {
            images.clear();
            emit seriesDropped();
        }
        Failures::record(Failures::Load, tooBig);
        images.failed << files;
        emit loadRefused();
        return;
    }
    // The old series stays until the new one is in (a cancel keeps it),
    // unless both would not fit at once.
    const bool droppedOld = replace && images.count() > 0 && !images.memoryRefusal(files, false).isEmpty();
    if (droppedOld) {
        qCDebug(lcApp).noquote() << QStringLiteral("Loaded series dropped first to make room for %1 files").arg(files.size());
        images.clear();
        emit seriesDropped();
    }
    startLoad(files, replace, lines, droppedOld, gaps);
}

bool Session::loadSeriesFile(const QString& file, bool h5)
{
    if (refuseWhileInUse(QStringLiteral("loading projection images from ") + file))
        return false;
    // The file replaces the series, size included; the old series goes
    // first, as a scan may need all the memory there is.
    images.clear();
    emit seriesDropped();
    // Made here, filled in the load thread, handed back with the result.
    auto* set = new ImgDatas;
    set->band = images.band;
    set->angleUnit = images.angleUnit;
    planLines(settings.cond, state.sliceLinesOnly, *set);
    startFileLoad(file, h5, set);
    return true;
}

bool Session::clearSeries()
{
    if (refuseWhileInUse(QStringLiteral("clearing projection images")))
        return false;
    // The size is forgotten too, so the next series may have another.
    images.clear();
    emit seriesDropped();
    return true;
}

void Session::loadDataSet()
{
    if (!dataDir.hasCurrentSet())
        return;
    const QString tag = dataDir.currentEnergyText();
    settings.image.tag = settings.data.tag = tag;
    settingSet(QStringLiteral("imageTag"));
    settingSet(QStringLiteral("dataTag"));
    if (!dataDir.kvt()) {
        loadSeriesDir(dataDir.currentDir(), dataDir.currentPatterns());
        return;
    }
    QStringList files;
    for (const QFileInfo& f : dataDir.currentFiles())
        files << f.filePath();
    takeFiles(files);
}

ReconSettings Session::runSettings(bool inSequence)
{
    ReconSettings s = settings;
    s.i0ChosenByEnergy = inSequence && chooseI0ByEnergy(&s.i0Refusal);
    s.i0Name = i0Set.name();
    s.bgName = bgSet.name();
    s.i0AfterName = i0AfterSet.name();
    // No output may overwrite a file the run or the program reads.
    s.otherInputs = configStore.filesRead() + i0Set.files() + bgSet.files() + i0AfterSet.files();
    if (!batchFile.isEmpty())
        s.otherInputs << batchFile;
    applyCentre(s);
    return s;
}

bool Session::startRun(bool inSequence)
{
    if (quitting)
        return false;
    if (loading && !inSequence) {
        Failures::record(Failures::Run, QStringLiteral("Run refused: projection images are still loading"));
        return false;
    }
    ctRun->start(runSettings(inSequence));
    return true;
}
