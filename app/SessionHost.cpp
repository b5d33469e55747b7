#include "SessionHost.h"

#include "ConfigStore.h"
#include "Failures.h"
#include "Logging.h"
#include "NoWindow.h"
#include "SeriesFit.h"
#include "SessionCommands.h"

#include <QThread>

#include <algorithm>

SessionHost::SessionHost(int workers, QObject* parent)
    : QObject(parent), sess(new Session(workers))
{
    qRegisterMetaType<BatchCmd>("BatchCmd");
    Session& s = *sess;
    startAsTheWindow(workers);
    s.run().createPool(workers, &s.pool());
    s.ct1Busy = [this] { return sess->run().ct1().busy(); };
    QString why;
    if (!s.xafs().applyConfig(configStore, &why))
        qCWarning(lcXafs).noquote() << QStringLiteral("Configuration: ") + why;
    connect(&s, &Session::loadEnded, this, &SessionHost::loadEnded);
    // Files refused before any was read: no load follows.
    connect(&s, &Session::loadRefused, this, [this] {
        QMetaObject::invokeMethod(&seqDriver, &XafsBatch::loadedDataSet, Qt::QueuedConnection);
        emit seriesLoadEnded(false);
    });
    connect(&interpreter, &Batch::batchExCmd, this, &SessionHost::runCommand);
    connect(&interpreter, &Batch::batchStopped, this, &SessionHost::batchStopped);
    connect(&seqDriver, &XafsBatch::setFirstImageSet, this, [this] { walkSets(true); });
    connect(&seqDriver, &XafsBatch::setNextSet, this, [this] { walkSets(false); });
    connect(&seqDriver, &XafsBatch::execCalculation, this, &SessionHost::startRun);
}

SessionHost::~SessionHost()
{
    stopThreads();
    table.reset();
    sess->ct1Busy = nullptr;
    sess->run().viewOf = nullptr;
}

void SessionHost::startAsTheWindow(int workers)
{
    // The window's controls write their own values over these; a session
    // without a window must not start from other ones.
    CtCond& c = sess->settings.cond;
    c.ct1 = true;
    c.sliceNo = 1000;
    c.cor = 1000;
    c.from = 0;
    c.to = 2047;
    c.step = 1;
    c.threads = workers;
    SessionState& st = sess->state;
    st.series.keepConditions = true;
    st.series.expTime = 1;
    st.series.multiTimes = 180;
    st.i0ExpTime = st.bgExpTime = 0.05;
    for (SessionState::I0Source* i0 : {&st.rawI0, &st.i0I0}) {
        i0->value = 1;
        i0->energyPattern = QStringLiteral("####_####");
    }
    st.colour.max = 1;
}

void SessionHost::begin(CommandWindow* w)
{
    Session& s = *sess;
    if (!w)
        noWindow = std::make_unique<NoWindow>(*this);
    window = w ? w : noWindow.get();
    const CtCond& c = s.settings.cond;
    startValues = {c.sliceNo, c.cor, c.from, c.to};
    CtRun& run = s.run();
    // After the window's: it has shown the end before the driver goes on.
    connect(&run, &CtRun::runStopped, this, [this] {
        QMetaObject::invokeMethod(&seqDriver, &XafsBatch::calcFinished, Qt::QueuedConnection);
        imagesMayBeFree();
    });
    // Queued: the run has done its bookkeeping of the slice by then.
    connect(&run, &CtRun::sliceFinished, this, &SessionHost::imagesMayBeFree, Qt::QueuedConnection);
    connect(&run, &CtRun::correctionsEnded, this, &SessionHost::imagesMayBeFree, Qt::QueuedConnection);
    // Reports batch lines back (calc_exec and seq_calc when their work ends).
    table = std::make_unique<SessionCommands>(s, *window, interpreter, seqDriver);
    connect(table.get(), &SessionCommands::lineFinished, &interpreter, &Batch::batchCheckEnd);
    connect(this, &SessionHost::seriesLoadEnded, table.get(), &SessionCommands::loadEnded);

    batchThread = WorkerPool::ownThread(&interpreter, QStringLiteral("batchThread"));
    seqThread = WorkerPool::ownThread(&seqDriver, QStringLiteral("seqThread"));
}

void SessionHost::stopThreads()
{
    sess->stopLoading();
    for (QThread** t : {&batchThread, &seqThread}) {
        if (!*t)
            continue;
        (*t)->quit();
        (*t)->wait();
        delete *t;
        *t = nullptr;
    }
}

void SessionHost::loadBatch(const QString& file)
{
    sess->batchFile = file;
    QMetaObject::invokeMethod(&interpreter, [this, file] { interpreter.batchLoad(file); }, Qt::QueuedConnection);
}

void SessionHost::execBatch()
{
    QMetaObject::invokeMethod(&interpreter, &Batch::batchExec, Qt::QueuedConnection);
}

void SessionHost::runCommand(const BatchCmd& cmd)
{
    qCDebug(lcLines).noquote() << QStringLiteral("body-cmd ") + cmd.cmd;
    if (table)
        table->execute(cmd);
}

int SessionHost::ct2DisplaysInUse() const
{
    // A run never deals slices to more workers than there are processors.
    return std::min({sess->settings.cond.threads, sess->run().count(), std::max(1, QThread::idealThreadCount())});
}

QString SessionHost::ct2DisplaysReason() const
{
    return QStringLiteral("Threads %1, %2 processors: CT2 displays 0 to %3 are shown")
        .arg(sess->settings.cond.threads)
        .arg(std::max(1, QThread::idealThreadCount()))
        .arg(ct2DisplaysInUse() - 1);
}

// ---- loads

void SessionHost::loadEnded(const Session::LoadEnd& e)
{
    if (e.cancelled && !e.wholeFile) {
        // A sequence would otherwise go on with a set that is not there.
        if (seqDriver.isActive())
            QMetaObject::invokeMethod(&seqDriver, &XafsBatch::finish, Qt::QueuedConnection);
        emit loadShown(e);
        emit seriesLoadEnded(false);
        imagesMayBeFree();
        return;
    }
    ImgDatas& images = sess->series();
    fitSettingsToSeries();
    if (!sess->state.series.keepConditions && images.count() > 0) {
        const int n = sess->settings.cond.rotAxIsV ? images.width : images.height;
        window->setRegions({0, 0, double(n - 1), double(n - 1)});
    }
    emit loadShown(e);
    QMetaObject::invokeMethod(&seqDriver, &XafsBatch::loadedDataSet, Qt::QueuedConnection);
    emit seriesLoadEnded(e.whole);
    imagesMayBeFree();
}

void SessionHost::fitSettingsToSeries()
{
    const ImgDatas& images = sess->series();
    if (images.count() <= 0)
        return;
    CtCond& c = sess->settings.cond;
    SeriesFit fit(c.rotAxIsV, images.width, images.height);
    // Only the user's own settings are worth a message.
    const auto quietly = [&fit](bool quiet, const auto& fitOne) {
        const qsizetype before = fit.messages.size();
        const bool changed = fitOne();
        if (quiet && changed)
            fit.messages.resize(before);
        return changed;
    };
    QStringList changed;
    if (quietly(c.sliceNo == startValues.slice, [&] { return fit.fitSlice(c.sliceNo); }))
        changed << QStringLiteral("slice");
    if (quietly(c.cor == startValues.cor, [&] { return fit.fitCor(c.cor); }))
        changed << QStringLiteral("cor");
    const bool rangeUntouched = c.from == startValues.from && c.to == startValues.to;
    if (quietly(rangeUntouched, [&] { return fit.fitRange(c.from, c.to); })) {
        c.step = CtCond::seriesStep(c.from, c.to, c.step);
        changed << QStringLiteral("from") << QStringLiteral("to");
    }
    for (const QString& key : changed)
        sess->settingSet(key);
    // Without "keep Conds." the regions are reset after this; a placeholder
    // region is replaced by the first slice's whole image anyway.
    CtRegion region;
    if (sess->state.series.keepConditions && window->calcRegion(&region) && fit.fitRegion(region, c.cor))
        window->setRegions(region);
    for (const QString& m : fit.messages)
        qCInfo(lcApp).noquote() << m;
}

// ---- the images in use

bool SessionHost::deferWhileInUse(const QString& what, std::function<void()> work)
{
    if (!sess->imagesInUse())
        return false;
    qCDebug(lcApp).noquote() << QStringLiteral("Waiting for the slices in progress before ") + what;
    waitingForImages = std::move(work);
    return true;
}

void SessionHost::imagesMayBeFree()
{
    if (sess->imagesInUse())
        return;
    emit imagesFree();
    if (quitting) {
        waitingForImages = nullptr;
        if (!finishSent) {
            finishSent = true;
            emit finishing();
        }
        return;
    }
    if (waitingForImages) {
        // Queued: the slice's other receivers see it first.
        auto work = std::move(waitingForImages);
        waitingForImages = nullptr;
        QMetaObject::invokeMethod(this, [this, work] {
            if (!quitting)
                work();
        }, Qt::QueuedConnection);
    }
}

// ---- runs, sets, Stop and quitting

void SessionHost::startRun()
{
    if (quitting)
        return;
    // The sequence's run needs its own I0, which cannot change under a
    // slice still computing.
    if (seqDriver.isActive() && deferWhileInUse(QStringLiteral("the next calculation"), [this] {
            if (seqDriver.isActive())
                startRun();
        }))
        return;
    sess->startRun(seqDriver.isActive());
}

void SessionHost::loadDataSet()
{
    const DataDirSets& d = sess->dataSets();
    const QString what = QStringLiteral("loading data set ") + (d.kvt() ? d.currentEnergyText() : d.currentDir());
    if (seqDriver.isActive() && deferWhileInUse(what, [this] {
            if (seqDriver.isActive())
                loadDataSet();
        }))
        return;
    if (sess->refuseWhileInUse(what))
        return;
    sess->loadDataSet();
}

void SessionHost::walkSets(bool first)
{
    const bool there = first ? sess->dataSets().first() : sess->dataSets().advance();
    sess->stateSet(SessionState::Part::DataSets);
    // Nothing to hand over means no load will ever report back: say so,
    // or a sequential run would wait for ever.
    if (!there) {
        QMetaObject::invokeMethod(&seqDriver, &XafsBatch::noMoreSets, Qt::QueuedConnection);
        return;
    }
    loadDataSet();
}

void SessionHost::stopWork()
{
    if (sess->loading) {
        sess->cancelLoad();
        return;
    }
    if (xafs.busy()) {
        xafs.cancel();
        return;
    }
    // Each set of a sequence is a run of its own: without this the next set would follow.
    if (seqDriver.isActive())
        QMetaObject::invokeMethod(&seqDriver, &XafsBatch::finish, Qt::QueuedConnection);
    if (sess->run().active)
        sess->run().stopCalcCt();
}

void SessionHost::quitOnSignal()
{
    if (quitting)
        return;
    quitting = true;
    sess->quitting = true;
    interpreter.shutDown();
    if (seqDriver.isActive())
        QMetaObject::invokeMethod(&seqDriver, &XafsBatch::finish, Qt::QueuedConnection);
    sess->cancelLoad();
    sess->run().interrupt();
    sess->sweep().cancel();
    imagesMayBeFree();
}
