#include "XafsJob.h"

#include "XafsWorker.h"

#include <QThread>

XafsJob::XafsJob(QObject* parent) : QObject(parent), thread(new QThread), worker(new XafsWorker)
{
    // Moved before its thread runs, so the hand-over is no cross-thread move.
    worker->moveToThread(thread);
    connect(worker, &XafsWorker::done, this, &XafsJob::workDone, Qt::QueuedConnection);
    thread->start();
}

XafsJob::~XafsJob()
{
    end();
    delete worker;
    delete thread;
}

void XafsJob::end()
{
    // The program closing mid-job: stop it and wait, what it reads must outlive it.
    progress.cancel = true;
    thread->quit();
    thread->wait();
}

bool XafsJob::start(const QString& what, Work work)
{
    if (running.load() || thread->isFinished())
        return false;
    name = what;
    progress.cancel = false;
    progress.done = 0;
    progress.total = 0;
    running = true;
    emit started();
    XafsWorker* w = worker;
    XafsProgress* p = &progress;
    // What the work writes is read after done() arrives here, queued.
    QMetaObject::invokeMethod(worker, [w, p, work]() {
        QString why;
        int kind = 0;
        const bool ok = work(p, why, kind);
        emit w->done(ok, kind, why);
    }, Qt::QueuedConnection);
    return true;
}

void XafsJob::workDone(bool ok, int kind, const QString& why)
{
    running = false;
    emit finished(ok, kind, why);
}
