#include "CtRun.h"

#include "CorrectedSeries.h"
#include "CtCalc2.h"
#include "CtFiles.h"
#include "ImageBinning.h"
#include "OffsetAxis.h"
#include "ZingerRemoval.h"
#include "Failures.h"
#include "FileEnergy.h"
#include "FileIdentity.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "Logging.h"
#include "RingRemoval.h"
#include "SafeWrite.h"
#include "SgmGeom.h"
#include "SliceStepper.h"
#include "WorkerPool.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QThread>

#include <atomic>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
int gatePermits()
{
    return std::max(1, QThread::idealThreadCount());
}

QString num(double v)
{
    return QString::number(v, 'g', 6);
}

// Side N of the slices a centre gives on lines of dim pixels; 0 when it
// gives none (the sinogram's guards, and at least two samples).
int sliceSide(int dim, double cor, bool rotAxIsV)
{
    if (dim <= 0 || !std::isfinite(cor) || std::floor(cor) <= 0 || std::ceil(cor) >= dim)
        return 0;
    const SgmGeom g = makeSgmGeom(rotAxIsV, dim, cor);
    const int n = g.nx > 0 ? g.nx - g.nx % 2 : 0;
    return n >= 2 ? n : 0;
}

// NAME of the files NAME[-TAG]-%05d.*: what a run locks in its directory.
QString outputName(const QString& name, const QString& tag)
{
    QString base = CtRunReport::fileName(name, tag);
    base.chop(int(QStringLiteral("run.json").size()));
    if (base.endsWith(QLatin1Char('-')))
        base.chop(1);
    return base.isEmpty() ? QStringLiteral("run") : base;
}
} // namespace

// The correction of one run's projections, shared with its thread.
struct CtRun::Correction
{
    std::shared_ptr<CorrectedSeries> series;
    std::atomic<bool> cancel{false};
    std::atomic<int> done{0};
    bool ok = false;
    QString why;
    int run = 0;
    QElapsedTimer clock;
};

CtRun::CtRun(QObject* parent) : QObject(parent), gate(gatePermits())
{
    correctionTicks.setInterval(250);
    connect(&correctionTicks, &QTimer::timeout, this, &CtRun::correctionProgress);
    connect(&stepper, &SliceStepper::finished, this, &CtRun::ct1Finished);
    qRegisterMetaType<CtCalc2*>("CtCalc2*");
    qRegisterMetaType<CtJob>("CtJob");
    qRegisterMetaType<CtResult>("CtResult");
    qRegisterMetaType<ColorSnapshot>("ColorSnapshot");
}

CtRun::~CtRun()
{
    // Nothing reaches the owner from here on; results still arriving only
    // complete the report.
    blockSignals(true);
    endCorrection();
    const bool wasActive = active;
    active = false;
    for (CtCalc2* w : workers)
        w->quitting = true;
    // Requests queued are dropped at once; a slice computing is finished.
    for (CtCalc2* w : workers)
        WorkerPool::retire(w);
    // Results that arrived meanwhile still count in the report.
    QCoreApplication::sendPostedEvents(this);
    if (wasActive && reportRun == runId) {
        runReport.stopped = true;
        runReport.endTime = QDateTime::currentDateTime();
        saveReport();
    }
    // Kernels destroy their FFT plans here, in the owner's thread.
    qDeleteAll(workers);
}

CtCalc2* CtRun::worker(int i) const
{
    return i >= 0 && i < workers.size() ? workers.at(i) : nullptr;
}

void CtRun::createPool(int n, WorkerPool* shared)
{
    if (n <= 0 || !workers.isEmpty())
        return;
    // A pool of its own starts once the workers are in its threads.
    const bool own = !shared;
    if (own)
        shared = (ownPool = std::make_unique<WorkerPool>(n, QStringLiteral("CT2"), nullptr, false)).get();
    n = std::min(n, shared->size());
    for (int i = 0; i < n; ++i) {
        auto* w = new CtCalc2;
        w->gate = &gate;
        w->moveToThread(shared->thread(i));
        connect(w, &CtCalc2::calcFinished, this, [this, i](const CtResult& r) { workerFinished(i, r); });
        workers.append(w);
    }
    if (own) {
        ownPool->start();
        // A worker whose thread the system refused would never answer.
        while (workers.size() > ownPool->size())
            delete workers.takeLast();
    }
    pending.assign(size_t(workers.size()), 0);
    pendingThisRun.assign(size_t(workers.size()), 0);
}

int CtRun::pendingCount() const
{
    return int(std::count_if(pending.begin(), pending.end(), [](int v) { return v > 0; }));
}

double CtRun::spentSeconds() const
{
    return startTime.msecsTo(endTime) / 1000.0;
}

int CtRun::slicesOf(const CtCond& c)
{
    if (!c.autoExec || c.step == 0)
        return 1;
    const long long steps = (qint64(c.to) - c.from) / c.step;
    return steps < 0 ? 1 : int(std::min<long long>(steps + 1, std::numeric_limits<int>::max()));
}

WorkProgress CtRun::progress() const
{
    WorkProgress p;
    if (correction) {
        p.total = correction->series->total;
        p.done = correction->done;
        p.elapsedMs = correction->clock.elapsed();
        return p;
    }
    p.total = slicesOf(cond);
    p.done = std::min(doneThisRun, p.total);
    p.elapsedMs = runClock.isValid() ? runClock.elapsed() : 0;
    return p;
}

int CtRun::usedWorkers(const CtCond& c) const
{
    return std::clamp(c.threads, 0, count());
}

CtView CtRun::viewFor(int i, const ReconSettings& s) const
{
    if (viewOf)
        return viewOf(i);
    CtView v;
    v.wholeImage = s.wholeImage;
    v.region = s.region;
    return v;
}

QString CtRun::checkRegion(const CtView& v, int n, const QString& who) const
{
    if (v.wholeImage)
        return {};
    const CtRegion& r = v.region;
    const QString text = QStringLiteral("%1 (%2, %3, %4, %5)")
                             .arg(who, num(r.x0), num(r.z0), num(r.x1), num(r.z1));
    for (double c : {r.x0, r.z0, r.x1, r.z1})
        if (!std::isfinite(c))
            return text + QStringLiteral(" is not a number");
    if (r.x1 <= std::trunc(r.x0) || r.z1 <= std::trunc(r.z0))
        return text + QStringLiteral(" is empty");
    // Loops run from trunc(x0) while x < x1: the pixels trunc(x0) .. ceil(x1) - 1.
    if (std::trunc(r.x0) > n - 1 || r.x1 <= 0 || std::trunc(r.z0) > n - 1 || r.z1 <= 0)
        return text + QStringLiteral(" lies outside the %1 x %1 image").arg(n);
    if (CtFiles::lineCount(r.x0, r.z0, r.x1, r.z1) > CtFiles::maxLines(n))
        return text + QStringLiteral(" is too large for the %1 x %1 image").arg(n);
    return {};
}

QString CtRun::referenceRefusal(ImgDatas* images) const
{
    ImgData* i0 = images->i0();
    ImgData* bg = images->bg();
    // A projection that is also a reference would be normalised by itself.
    for (ImgData* ref : {i0, bg, images->i0After()}) {
        const FileIdentity id = ref ? FileIdentity::of(ref->fileName) : FileIdentity();
        for (int p = 0; id.valid && p < images->count(); ++p)
            if (FileIdentity::of(images->at(p)->fileName) == id)
                return QStringLiteral("the reference %1 is also projection %2; load the projections again")
                    .arg(ref->fileName).arg(p);
    }
    if (!i0 || !bg || !i0->ready || !bg->ready || i0->width != bg->width || i0->height != bg->height)
        return {};
    // Swapped or equal references give a slice of clamped logarithms.
    auto mean = [](ImgData* img) {
        std::vector<double> row(size_t(img->width));
        double sum = 0;
        for (int y = 0; y < img->height; ++y) {
            img->readRow(y, row.data());
            for (double v : row)
                sum += v;
        }
        return sum / (double(img->width) * img->height);
    };
    const double i0Mean = mean(i0), bgMean = mean(bg);
    if (!(i0Mean > bgMean))
        return QStringLiteral("the I0 image's mean (%1) is not above the BG image's mean (%2): swapped or wrong references?")
            .arg(num(i0Mean), num(bgMean));
    return {};
}

int CtRun::correctionThreads(const CtCond& c) const
{
    return std::max(1, c.autoExec ? usedWorkers(c) : QThread::idealThreadCount());
}

ImgDatas* CtRun::runImages() const
{
    return corrected ? corrected->set() : images;
}

QString CtRun::correctionRefusal(const ReconSettings& s) const
{
    const CtCond& c = s.cond;
    if (!(c.zingerThreshold >= 0 && c.zingerThreshold <= maxZingerThreshold))
        return QStringLiteral("zinger threshold %1 is outside 0 to %2").arg(num(c.zingerThreshold)).arg(maxZingerThreshold);
    if (c.paganin.on())
        if (const QString p = c.paganin.problem(c.pixelSizeUm); !p.isEmpty())
            return p;
    const int b = c.binning;
    if (c.ct1 && (c.zingerThreshold > 0 || c.paganin.on() || b != 1 || c.angles == AngularRange::FullOffset))
        return QStringLiteral("zinger removal, phase retrieval, binning and an offset axis need CT2");
    if (const QString p = binningProblem(images->width, images->height, b); !p.isEmpty())
        return p;
    const LineBand held = images->heldBand();
    if (b > 1 && !held.whole() && (held.first % b || held.count % b))
        return QStringLiteral("binning %1 does not divide the lines loaded (%2)").arg(b).arg(held.text());
    if (c.angles == AngularRange::FullOffset) {
        if (c.corFit)
            return QStringLiteral("an offset-axis full turn does not go with a tilted axis");
        if (images->count() % 2)
            return QStringLiteral("an offset-axis full turn needs an even number of projections, not %1").arg(images->count());
        QString why;
        const int dim = (c.rotAxIsV ? images->width : images->height) / b;
        if (OffsetJoin::make(dim, binnedPosition(c.cor, b), &why).joinedWidth == 0)
            return why;
    }
    if (c.zingerThreshold > 0 || c.paganin.on() || b > 1 || c.angles == AngularRange::FullOffset) {
        if (const QString p = CorrectedSeries::memoryProblem(*images, c.rotAxIsV, c.pixelSizeUm, Corrections::of(c),
                                                             correctionThreads(c));
            !p.isEmpty())
            return p;
    }
    // A volume holds a series; single slices are looks at one.
    if (!s.volumeFile.isEmpty() && c.autoExec)
        if (const QString p = VolumeWriter::pathProblem(s.volumeFile); !p.isEmpty())
            return p;
    return {};
}

QString CtRun::whyRefused(const ReconSettings& s) const
{
    if (!images)
        return QStringLiteral("no projection images loaded");
    // Every selected file and every named reference must have loaded.
    const QString inputs = images->runRefusal(s.i0Name, s.bgName, s.i0AfterName);
    if (!inputs.isEmpty())
        return inputs;
    if (!s.i0Refusal.isEmpty())
        return s.i0Refusal;
    if (s.i0ChosenByEnergy && !s.i0AfterName.isEmpty())
        return QStringLiteral("an I0 taken after the scan does not go with an I0 chosen by energy: %1").arg(s.i0AfterName);
    if (const ImgData* after = images->i0After(); after && after->ready
        && (after->width != images->width || after->height != images->height))
        return QStringLiteral("the I0 taken after the scan is %1 x %2, the projections %3 x %4")
            .arg(after->width).arg(after->height).arg(images->width).arg(images->height);
    if (const QString c = correctionRefusal(s); !c.isEmpty())
        return c;
    return whyRefusedOn(s, images, true);
}

QString CtRun::whyRefusedOn(const ReconSettings& s, ImgDatas* images, bool inputs) const
{
    const CtCond& cond = s.cond;
    if (!cond.ct1 && !cond.ct2)
        return QStringLiteral("no calculator chosen (CT1 or CT2)");
    if (cond.autoExec && !cond.ct2)
        return QStringLiteral("a slice series needs CT2");
    if (cond.ct2 && count() == 0)
        return QStringLiteral("no slice workers");
    if (cond.autoExec && usedWorkers(cond) <= 0)
        return QStringLiteral("Threads is 0");
    FbpFilter checked;
    QString why;
    if (!FbpFilter::make(cond.filter.name, cond.filter.cutoff, checked, &why))
        return QStringLiteral("filter: ") + why;
    if (!(cond.pixelSizeUm >= 0) || !std::isfinite(cond.pixelSizeUm))
        return QStringLiteral("pixel size %1 is not a size in micrometres").arg(num(cond.pixelSizeUm));
    if (cond.angles == AngularRange::HalfInclusive && images->count() < 3)
        return QStringLiteral("a half turn with its 180 degree image needs at least 3 images, not %1")
            .arg(images->count());
    if (!(cond.maxInvalid >= 0 && cond.maxInvalid <= 1))
        return QStringLiteral("the fraction of invalid samples allowed, %1, is not between 0 and 1").arg(num(cond.maxInvalid));
    if (const QString refs = inputs ? referenceRefusal(images) : QString(); !refs.isEmpty())
        return refs;
    if (cond.ringSize < 0 || cond.ringSize > maxRingSize)
        return QStringLiteral("ring removal size %1 is outside 0 to %2").arg(cond.ringSize).arg(maxRingSize);
    const int dim = cond.rotAxIsV ? images->width : images->height;
    // With a centre per slice the series' ends have the extreme centres.
    double badCor = cond.cor;
    int n = sliceSide(dim, cond.cor, cond.rotAxIsV);
    if (cond.corFit)
        for (const int end : {cond.from, cond.to})
            if (n > 0 && sliceSide(dim, cond.corOf(end), cond.rotAxIsV) == 0) {
                badCor = cond.corOf(end);
                n = 0;
            }
    if (n == 0)
        return QStringLiteral("centre of rotation %1 is outside the image (usable 2 to %2 on %3 pixels)")
            .arg(num(badCor))
            .arg(dim - 3)
            .arg(dim);
    const int lines = cond.rotAxIsV ? images->height : images->width;
    if (!cond.autoExec) {
        if (cond.sliceNo < 0 || cond.sliceNo >= lines)
            return QStringLiteral("slice %1 is outside the image (valid slices 0 to %2)")
                .arg(cond.sliceNo)
                .arg(lines - 1);
        if (const QString band = images->bandRefusal(cond.rotAxIsV, cond.sliceNo, cond.sliceNo); !band.isEmpty())
            return band;
    } else {
        // The last slice the series deals, whatever the step.
        long long last = cond.from;
        const long long steps = cond.step != 0 ? (qint64(cond.to) - cond.from) / cond.step : 0;
        // A step pointing away from `to` deals `from` alone.
        if (steps > 0)
            last = cond.from + steps * qint64(cond.step);
        const long long lo = std::min<long long>(cond.from, last);
        const long long hi = std::max<long long>(cond.from, last);
        if (lo < 0 || hi >= lines)
            return QStringLiteral("slices %1 to %2 are outside the image (valid slices 0 to %3)")
                .arg(cond.from)
                .arg(last)
                .arg(lines - 1);
        // Lines not loaded would read as zeros: a wrong slice, not a failure.
        if (const QString band = images->bandRefusal(cond.rotAxIsV, lo, hi); !band.isEmpty())
            return band;
    }
    if (cond.ct1 && !cond.autoExec) {
        const QString e = checkRegion(viewFor(-1, s), n, QStringLiteral("CT1 calculation region"));
        if (!e.isEmpty())
            return e;
    }
    if (cond.ct2) {
        const int used = cond.autoExec ? usedWorkers(cond) : 1;
        for (int i = 0; i < used; ++i) {
            const QString e = checkRegion(viewFor(i, s), n, QStringLiteral("calculation region"));
            if (!e.isEmpty())
                return e;
        }
    }
    return {};
}

void CtRun::start(const ReconSettings& s)
{
    active = true;
    ++runId;
    startTime = QDateTime::currentDateTime();
    endTime = QDateTime();
    current = s;
    doneThisRun = 0;
    runClock.start();
    seriesDealt = false;
    waitingFirst = false;
    std::fill(pendingThisRun.begin(), pendingThisRun.end(), 0);
    emit runStarted();
    requestedCond = s.cond;
    refusedWhy = whyRefused(current);
    if (refusedWhy.isEmpty()) {
        // Files are named after the slices on the binned images.
        binForRun();
        refusedWhy = shiftRefusal();
    }
    if (refusedWhy.isEmpty())
        refusedWhy = outputRefusal();
    // Slices are dealt once the projections are corrected, in another thread.
    if (refusedWhy.isEmpty() && startCorrections())
        return;
    beginDealing();
}

void CtRun::beginDealing()
{
    if (refusedWhy.isEmpty() && !current.volumeFile.isEmpty() && cond.autoExec)
        volume.begin(current.volumeFile, slicesOf(cond), cond.pixelSizeUm, &refusedWhy);
    if (!refusedWhy.isEmpty()) {
        // One message, nothing dealt, nothing written.
        Failures::record(Failures::Run, QStringLiteral("Run refused: ") + refusedWhy);
        stopCalcCt();
        return;
    }
    setupFFT();
    removeStaleTemps();
    startReport();
    if (cond.angles == AngularRange::HalfInclusive)
        qCInfo(lcCt).noquote() << QStringLiteral("Half turn with its 180 degree image: the last image, %1, is not used")
                                      .arg(QFileInfo(images->at(images->count() - 1)->fileName).fileName());
    if (!cond.autoExec) {
        execSingleCtCalc();
    } else {
        nextSlice = cond.from;
        execMultiCtCalc();
    }
}

void CtRun::stopCalcCt()
{
    const bool wasActive = active;
    active = false;
    waitingFirst = false;
    endTime = QDateTime::currentDateTime();
    if (wasActive && reportRun == runId) {
        runReport.endTime = endTime;
        runReport.stopped = cond.autoExec && !seriesDealt && cond.inSeries(nextSlice);
        finishVolume();
        saveReport();
    }
    // A paced CT1 slice ends after the projection in hand, writing nothing.
    stepper.stop();
    volume.cancel();
    // Its thread ends at the next projection; correctionsMade() then frees the inputs.
    if (correction)
        correction->cancel = true;
    // Slices still computing keep the names locked until they are written,
    // and read their corrected set until they are done.
    if (corrected && pendingCount() > 0)
        retired.push_back(std::move(corrected));
    corrected.reset();
    if (pendingCount() == 0 && !correcting()) {
        outputLocks.release();
        retired.clear();
    }
    emit runStopped();
    emit calcFinished();
}

void CtRun::interrupt()
{
    for (CtCalc2* w : workers)
        w->quitting = true;
    if (!active)
        return;
    if (reportRun == runId)
        runReport.interrupted = true;
    stopCalcCt();
}

void CtRun::setupFFT()
{
    const ImgDatas* images = runImages();
    const int dim = images ? (cond.rotAxIsV ? images->width : images->height) : 0;
    runPrecision = current.precision;
    fftN = sliceSide(dim, cond.cor, cond.rotAxIsV);
    // Every slice of a tilted axis is cut to the narrowest one's size.
    if (cond.corFit && cond.autoExec)
        fftN = std::min({fftN, sliceSide(dim, cond.corOf(cond.from), cond.rotAxIsV),
                         sliceSide(dim, cond.corOf(cond.to), cond.rotAxIsV)});
    if (shift.on)
        fftN = shift.side;
    fftNProj = images ? CtCond::projectionsUsed(cond.angles, images->count()) : 0;
    // The series' own angles, of the projections the run uses.
    fftAngles = images && images->anglesDeg.size() == images->count() && fftNProj <= images->count()
                    ? FbpKernel::radiansOf(images->anglesDeg.constData(), fftNProj,
                                           cond.angles == AngularRange::Full)
                    : std::vector<double>();
    // Buffers only for the workers this run uses; busy ones are sized when
    // they are next handed a slice.
    const int used = cond.autoExec ? std::min(usedWorkers(), gatePermits())
                                   : (cond.ct2 && count() > 0 ? 1 : 0);
    for (int i = 0; i < count(); ++i) {
        if (pending[size_t(i)] > 0 || workers[i]->busy)
            continue;
        if (i < used)
            sizeKernel(i);
        else
            workers[i]->kernel.release();
    }
}

void CtRun::sizeKernel(int i)
{
    CtCalc2* w = workers[i];
    if (pending[size_t(i)] > 0 || w->busy)
        return;
    w->kernel.setup(fftN, fftNProj, cond.filter, cond.angles == AngularRange::Full);
    w->kernel.setAngles(fftAngles);
    w->kernel.setPrecision(runPrecision);
}

void CtRun::removeStaleTemps() const
{
    // Temporary files of runs that were killed; those still being written
    // (locked by their writer) stay.
    QStringList dirs;
    for (const ReconOutput& o : {current.data, current.image, CtFiles::tiffOutput(current)})
        if (o.on)
            dirs << QDir(o.path).absolutePath();
    dirs.removeDuplicates();
    for (const QString& dir : dirs)
        for (const QString& name : SafeWrite::removeStale(dir))
            qCInfo(lcCt).noquote() << QStringLiteral("Removed %1 in %2: the unfinished file of a run that ended").arg(name, dir);
}

CtJob CtRun::makeJob(int i, int slice) const
{
    CtJob j;
    j.images = runImages();
    j.run = runId;
    j.rotAxIsV = cond.rotAxIsV;
    j.cor = cond.corOf(slice) + shift.across;
    j.side = cond.corFit || shift.on ? fftN : 0;
    j.lineShift = shift.along;
    j.slice = slice;
    j.filter = cond.filter;
    j.ringSize = cond.ringSize;
    j.angles = cond.angles;
    j.maxInvalid = cond.maxInvalid;
    j.valueToPerCm = CtRunReport::valueToPerCm(cond.pixelSizeUm, fftNProj, false);
    j.view = viewFor(i, current);
    j.showImage = current.showImage;
    CtFiles::nameOutputs(j, current, slice);
    return j;
}

void CtRun::deal(int i, long long slice)
{
    ++pending[size_t(i)];
    ++pendingThisRun[size_t(i)];
    send(i, makeJob(i, int(slice)));
}

void CtRun::send(int i, const CtJob& job)
{
    CtCalc2* w = workers[i];
    emit startCt(w, job);
    QMetaObject::invokeMethod(w, [w, job] { w->startCt(job); }, Qt::QueuedConnection);
}

bool CtRun::startCt1()
{
    // The job a worker would get, with CT1's own kernel size and scale.
    CtJob j = makeJob(-1, cond.sliceNo);
    j.side = 0;
    j.valueToPerCm = CtRunReport::valueToPerCm(cond.pixelSizeUm, 1, true);
    if (stepper.start(j))
        return true;
    CtResult r = stepper.result();
    if (r.failures.isEmpty()) {
        const QString text = QStringLiteral("Slice %1 gave no result (CT1: no sinogram to reconstruct)").arg(cond.sliceNo);
        r.failures << text;
        Failures::record(Failures::Run, text);
    }
    addToReport(r);
    return false;
}

void CtRun::execSingleCtCalc()
{
    bool started = false;
    if (cond.ct1 && startCt1())
        started = true;
    if (cond.ct2 && count() > 0) {
        if (pending[0] > 0)
            waitingFirst = true;  // dealt when its last slice is done
        else {
            sizeKernel(0);
            deal(0, cond.sliceNo);
        }
        started = true;
    }
    if (!started && active)
        stopCalcCt();
}

void CtRun::execMultiCtCalc()
{
    if (!active)
        return;
    if (!cond.autoExec) {
        stopCalcCt();
        return;
    }
    const int used = usedWorkers();
    // Nothing can be handed out: end now rather than stay active for ever.
    if (!cond.ct2 || used <= 0) {
        stopCalcCt();
        return;
    }
    // No more slices out than can compute at once: the others would only wait
    // at the gate, each with buffers of its own, so the first workers do the
    // work with warm buffers and memory stays that of a few slices.
    int outstanding = 0;
    for (int i = 0; i < count(); ++i)
        outstanding += pending[size_t(i)];
    for (int i = 0; i < used; ++i) {
        if (seriesDealt || !cond.inSeries(nextSlice) || outstanding >= gatePermits())
            break;
        if (pending[size_t(i)] > 0 || workers[i]->busy)
            continue;
        ++outstanding;
        sizeKernel(i);
        deal(i, nextSlice);
        // A step of 0 deals its one slice once.
        if (cond.step == 0)
            seriesDealt = true;
        else
            nextSlice += cond.step;
    }
    if (!seriesDealt && cond.inSeries(nextSlice))
        return;
    for (int i = 0; i < used; ++i)
        if (pendingThisRun[size_t(i)] > 0)
            return;
    stopCalcCt();
}

void CtRun::workerFinished(int i, const CtResult& r)
{
    if (r.job.run > 0 && r.job.run == reportRun && (!r.written.isEmpty() || !r.failures.isEmpty())) {
        runReport.written << r.written;
        runReport.files << r.fileRecords;
        runReport.failures << r.failures;
        // A slice that outlived its run's end: the report says so too.
        if (!active || r.job.run != runId)
            saveReport();
    }
    if (r.job.run > 0 && r.job.run == reportRun && r.invalidSamples > 0) {
        runReport.invalidSamples[r.job.slice] = qMakePair(r.invalidSamples, r.repairedSamples);
        if (!active || r.job.run != runId)
            saveReport();
    }
    if (r.job.run > 0 && r.job.run == runId) {
        ++doneThisRun;
        addToVolume(r);
    }
    // A slice that gave nothing is a failure of the run, unless it was never
    // begun because the run was interrupted, or its failure is counted already.
    if (r.job.run > 0 && !r.ok() && r.failures.isEmpty() && !workers[i]->quitting) {
        const QString text = QStringLiteral("Slice %1 gave no result").arg(r.job.slice);
        Failures::record(Failures::Run, text);
        if (r.job.run == reportRun) {
            runReport.failures << text;
            if (!active || r.job.run != runId)
                saveReport();
        }
    }
    emit sliceFinished(r);
    const size_t k = size_t(i);
    if (pending[k] <= 0)
        return;
    if (pendingCount() == 1 && pending[k] == 1)
        retired.clear();
    // Requests are done in order: older runs' first.
    const bool current = pendingThisRun[k] > 0 && pending[k] == pendingThisRun[k];
    --pending[k];
    if (current)
        --pendingThisRun[k];
    if (!active && pendingCount() == 0) {
        outputLocks.release();
        retired.clear();
    }
    if (current) {
        execMultiCtCalc();
        return;
    }
    if (!active)
        return;
    if (cond.autoExec) {
        execMultiCtCalc();
    } else if (i == 0 && waitingFirst && pending[k] == 0) {
        waitingFirst = false;
        sizeKernel(0);
        deal(0, cond.sliceNo);
    }
}

void CtRun::addToReport(const CtResult& r)
{
    if (reportRun != runId || r.job.run != runId)
        return;
    ++doneThisRun;
    if (r.invalidSamples > 0)
        runReport.invalidSamples[r.job.slice] = qMakePair(r.invalidSamples, r.repairedSamples);
    runReport.written << r.written;
    runReport.files << r.fileRecords;
    runReport.failures << r.failures;
    if (!active)
        saveReport();
}

void CtRun::ct1Finished(const CtResult& r)
{
    addToReport(r);
    emit sliceFinished(r);
    // A CT1 slice that outlives its stopped run ends nothing more.
    if (active && r.job.run == runId)
        stopCalcCt();
}

QString CtRun::reportPathFor() const
{
    QString path;
    for (const ReconOutput& o : {current.data, current.image, CtFiles::tiffOutput(current)})
        if (o.on) {
            path = QDir(o.path).absoluteFilePath(CtRunReport::fileName(o.name, o.tag));
            break;
        }
    if (!path.isEmpty() && !current.reportFile.isEmpty())
        path = QFileInfo(current.reportFile).absoluteFilePath();
    return path;
}

QString CtRun::outputRefusal()
{
    // The files of every slice the run may deal, and its report.
    QStringList outputs;
    const int slices = slicesOf(cond);
    long long slice = cond.autoExec ? cond.from : cond.sliceNo;
    for (int k = 0; k < slices; ++k, slice += cond.step) {
        const CtJob j = makeJob(0, int(slice));
        for (const QString& f : {j.imageFile, j.dataFile, j.tiffFile})
            if (!f.isEmpty())
                outputs << f;
        if (!cond.autoExec)
            break;
    }
    const QString report = reportPathFor();
    if (!report.isEmpty())
        outputs << report;
    if (!current.volumeFile.isEmpty() && cond.autoExec)
        outputs << QFileInfo(current.volumeFile).absoluteFilePath();
    QStringList inputs = current.otherInputs;
    if (!current.shiftsFile.isEmpty())
        inputs << current.shiftsFile;
    inputs << current.i0Name << current.bgName << current.i0AfterName;
    if (images) {
        inputs << images->sourceFile;
        for (const ImgData* img : images->imgs)
            inputs << img->fileName;
        for (const ImgData* ref : {images->i0(), images->bg(), images->i0After()})
            if (ref)
                inputs << ref->fileName;
    }
    if (const QString c = OutputGuard::collision(outputs, inputs); !c.isEmpty())
        return c;
    // One lock per directory and name the run writes under; the parts of
    // one series share those and each lock their own report instead.
    outputLocks.release();
    QList<QPair<QString, QString>> names;
    if (!current.reportFile.isEmpty() && !report.isEmpty())
        names << qMakePair(QFileInfo(report).absolutePath(), QFileInfo(report).fileName());
    else
        for (const ReconOutput& o : {current.data, current.image, CtFiles::tiffOutput(current)})
            if (o.on)
                names << qMakePair(o.path, outputName(o.name, o.tag));
    QString why;
    for (const auto& [dir, name] : names)
        if (!outputLocks.lock(QDir(dir).absolutePath(), name, &why)) {
            outputLocks.release();
            return why;
        }
    return {};
}

void CtRun::startReport()
{
    runReport = CtRunReport();
    runReportPath = reportPathFor();
    reportRun = runId;
    runReport.settings = current;
    runReport.settings.cond = requestedCond;
    runReport.pattern = current.pattern;
    if (images)
        runReport.setInput(*images);
    runReport.startTime = startTime;
    runReport.calculator = cond.ct2 ? QStringLiteral("CT2") : QStringLiteral("CT1");
    if (cond.ct1 && cond.ct2 && !cond.autoExec)
        runReport.calculator = QStringLiteral("CT1+CT2");
    runReport.cor = cond.cor;
    runReport.corFit = cond.corFit;
    runReport.corAt0 = cond.corAt0;
    runReport.corSlope = cond.corSlope;
    runReport.rotAxIsV = cond.rotAxIsV;
    const CtView v = viewFor(cond.ct2 ? 0 : -1, current);
    runReport.wholeImage = v.wholeImage;
    runReport.region = v.region;
    runReport.from = cond.autoExec ? cond.from : cond.sliceNo;
    runReport.to = cond.autoExec ? cond.to : cond.sliceNo;
    runReport.step = cond.autoExec ? cond.step : 0;
    runReport.threads = cond.autoExec ? usedWorkers() : 1;
    // CT1 always works in double.
    runReport.precision = QLatin1String(FbpKernel::precisionName(cond.ct2 ? runPrecision : FbpKernel::Precision::Double));
    runReport.filter = cond.filter.name;
    runReport.cutoff = cond.filter.cutoff;
    runReport.ringSize = cond.ringSize;
    runReport.maxInvalid = cond.maxInvalid;
    runReport.angles = CtCond::angularRangeName(requestedCond.angles);
    runReport.projections = fftNProj;
    runReport.pixelSizeUm = cond.pixelSizeUm;
    runReport.binning = requestedCond.binning;
    runReport.paganin = requestedCond.paganin.on() ? requestedCond.paganin.text() : QString();
    runReport.zingerThreshold = requestedCond.zingerThreshold;
    if (corrected) {
        runReport.zingers = corrected->zingersPerImage;
        runReport.zingersI0 = corrected->zingersI0;
        runReport.zingersBg = corrected->zingersBg;
    }
    if (volume.active())
        runReport.volume = volume.path();
    runReport.shift = shift;
    runReport.shiftsFile = shift.on ? QFileInfo(current.shiftsFile).absoluteFilePath() : QString();
}

void CtRun::binForRun()
{
    const int b = requestedCond.binning;
    if (b <= 1)
        return;
    const CtCond& asked = requestedCond;
    current.cond = asked.binnedBy(b);
    qCInfo(lcCt).noquote() << QStringLiteral("Binning %1: centre %2 -> %3, slices %4 to %5 -> %6 to %7 (step %8), "
                                             "pixel size %9 -> %10 um")
                                  .arg(b).arg(num(asked.cor), num(cond.cor))
                                  .arg(asked.autoExec ? asked.from : asked.sliceNo).arg(asked.autoExec ? asked.to : asked.sliceNo)
                                  .arg(cond.autoExec ? cond.from : cond.sliceNo).arg(cond.autoExec ? cond.to : cond.sliceNo)
                                  .arg(cond.step).arg(num(asked.pixelSizeUm), num(cond.pixelSizeUm));
}

bool CtRun::startCorrections()
{
    // Older runs' slices still computing read their own corrected set.
    if (pendingCount() == 0)
        retired.clear();
    if (corrected)
        retired.push_back(std::move(corrected));
    corrected.reset();
    endCorrection();
    const CtCond& asked = requestedCond;
    const bool offset = asked.angles == AngularRange::FullOffset;
    const int b = std::max(1, asked.binning);
    if (asked.zingerThreshold <= 0 && !asked.paganin.on() && b == 1 && !offset)
        return false;
    const Corrections k = Corrections::of(asked);
    auto job = std::make_shared<Correction>();
    job->series = std::make_shared<CorrectedSeries>();
    job->run = runId;
    job->clock.start();
    // Checks and FFTW plans here; the images are corrected in the thread.
    if (!job->series->prepare(*images, asked.rotAxIsV, asked.pixelSizeUm, k, correctionThreads(asked), &refusedWhy))
        return false;
    correction = job;
    correctionThread = QThread::create([job] { job->ok = job->series->make(&job->cancel, &job->done, &job->why); });
    correctionThread->setObjectName(QStringLiteral("Corrections"));
    // A correction replaced or waited for meanwhile has been dealt with.
    connect(correctionThread, &QThread::finished, this, [this, job] {
        if (job != correction)
            return;
        endCorrection();
        correctionsMade(*job);
    });
    correctionTicks.start();
    correctionThread->start();
    emit correctionProgress();
    return true;
}

void CtRun::endCorrection()
{
    if (!correctionThread)
        return;
    correction->cancel = true;
    correctionThread->wait();
    delete correctionThread;
    correctionThread = nullptr;
    correctionTicks.stop();
    // The plans go in the thread that made them.
    correction->series->finish();
    correction.reset();
}

void CtRun::correctionsMade(const Correction& job)
{
    emit correctionsEnded();
    // A run stopped meanwhile has said so already; its slices were never dealt.
    if (!active || job.run != runId) {
        if (pendingCount() == 0) {
            outputLocks.release();
            retired.clear();
        }
        return;
    }
    if (!job.ok) {
        refusedWhy = job.why;
        beginDealing();
        return;
    }
    CtCond run = cond;
    const ImgDatas* made = job.series->set();
    if (requestedCond.angles == AngularRange::FullOffset) {
        run.cor = job.series->joinedCor;
        run.angles = AngularRange::Half;
        qCInfo(lcCt).noquote() << QStringLiteral("Offset axis: projections p and p + %1 joined into lines of %2 pixels, "
                                                 "centre %3")
                                      .arg(images->count() / 2).arg(run.rotAxIsV ? made->width : made->height)
                                      .arg(num(run.cor));
    }
    qCInfo(lcCt).noquote() << QStringLiteral("Projections corrected for the run in %1 s").arg(job.clock.elapsed() / 1000.0, 0, 'f', 2);
    corrected = job.series;
    current.cond = run;
    refusedWhy = whyRefusedOn(current, corrected->set(), false);
    beginDealing();
}

bool CtRun::correcting() const
{
    return correctionThread != nullptr;
}

void CtRun::addToVolume(const CtResult& r)
{
    if (!volume.active() || !r.data)
        return;
    const int index = cond.autoExec && cond.step != 0 ? int((qint64(r.job.slice) - cond.from) / cond.step) : 0;
    std::vector<float> v;
    int w = 0, h = 0;
    long long x0 = 0, z0 = 0;
    QString why;
    if (!CtFiles::regionValues(*r.data, v, w, h, x0, z0, volume.path(), &why) || !volume.add(index, v.data(), w, h, &why)) {
        Failures::record(Failures::Write, why);
        runReport.failures << why;
        volume.cancel();
    }
}

void CtRun::finishVolume()
{
    if (!volume.active())
        return;
    QString why;
    const QString path = volume.path();
    if (volume.commit(QString::fromUtf8(QJsonDocument(runReport.toJson()).toJson()), &why)) {
        runReport.written << path;
        qCInfo(lcCt).noquote() << QStringLiteral("Volume written: ") + path;
    } else {
        Failures::record(Failures::Write, why);
        runReport.failures << why;
    }
}

QString CtRun::shiftRefusal()
{
    shift = AppliedShift();
    if (current.shiftsFile.isEmpty())
        return {};
    // The single-slice calculator reads the panel's centre and line itself.
    if (cond.ct1)
        return QStringLiteral("energy shifts (%1) are applied by CT2 only: choose CT2 alone").arg(current.shiftsFile);
    // The table is in the detector pixels of the loaded images.
    const CtCond& asked = requestedCond;
    if (asked.binning > 1 || asked.paganin.on() || asked.angles == AngularRange::FullOffset)
        return QStringLiteral("energy shifts (%1) cannot be applied with binning, phase retrieval or an offset axis")
            .arg(current.shiftsFile);
    const bool ser = cond.autoExec;
    const double corLo = cond.corOf(ser ? cond.from : cond.sliceNo), corHi = cond.corOf(ser ? cond.to : cond.sliceNo);
    QString why;
    if (!EnergyShifts::plan(current.shiftsFile, fileEnergy(images->at(0)->fileName), cond.rotAxIsV,
                            cond.rotAxIsV ? images->width : images->height, cond.rotAxIsV ? images->height : images->width,
                            corLo, corHi, ser ? cond.from : cond.sliceNo, ser ? cond.to : cond.sliceNo, shift, &why))
        return why;
    const long long lo = std::min(ser ? cond.from : cond.sliceNo, ser ? cond.to : cond.sliceNo);
    const long long hi = std::max(ser ? cond.from : cond.sliceNo, ser ? cond.to : cond.sliceNo);
    if (const QString band = images->bandRefusal(cond.rotAxIsV, (long long)std::floor(double(lo) + shift.along),
                                                 (long long)std::ceil(double(hi) + shift.along));
        !band.isEmpty())
        return band;
    if (shift.row.questionable)
        qCWarning(lcCt).noquote() << QStringLiteral("The shift of %1 eV in %2 is questionable (its angles disagree or "
                                                    "its correlation is weak); applied all the same")
                                         .arg(shift.row.energy, 0, 'g', 10).arg(current.shiftsFile);
    qCInfo(lcCt).noquote() << QStringLiteral("%1 eV: centre moved by %2, slices by %3 pixels (%4)")
                                  .arg(shift.row.energy, 0, 'g', 10).arg(shift.across, 0, 'f', 3).arg(shift.along, 0, 'f', 3)
                                  .arg(current.shiftsFile);
    return {};
}

void CtRun::saveReport()
{
    // Only a run that wrote (or tried to write) files leaves a report.
    if (runReportPath.isEmpty() || (runReport.written.isEmpty() && runReport.failures.isEmpty()))
        return;
    QString error;
    if (!runReport.save(runReportPath, &error))
        Failures::record(Failures::Write, error);
}
