#include "Session.h"

#include "Failures.h"
#include "Logging.h"

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
    connect(&loader, &SeriesLoader::progressed, this, &Session::progressed);
    connect(&loader, &SeriesLoader::finished, this, &Session::finished);
    // A thread that cannot start (memory or process limits) leaves the
    // loader in this thread: slower, but nothing waits for ever.
    loadThread = new QThread;
    loadThread->setObjectName(QStringLiteral("loadThread"));
    loadThread->start(QThread::InheritPriority);
    if (loadThread->isRunning()) {
        loader.moveToThread(loadThread);
        return;
    }
    delete loadThread;
    loadThread = nullptr;
    Failures::record(Failures::Run, QStringLiteral("Can't start the thread loadThread; its work runs in the window's thread"));
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
    return ctRun->active || ctRun->pendingCount() > 0 || (ct1Busy && ct1Busy()) || loading;
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
