#include "WorkerPool.h"

#include "Failures.h"

#include <QCoreApplication>
#include <QThread>

WorkerPool::WorkerPool(int count, const QString& name, QObject* parent, bool startNow) : QObject(parent)
{
    for (int i = 0; i < std::max(1, count); ++i) {
        auto* t = new QThread;
        t->setObjectName(QStringLiteral("%1 %2").arg(name).arg(i + 1));
        threads.append(t);
    }
    if (startNow)
        start();
}

void WorkerPool::start()
{
    for (int i = 0; i < threads.size(); ++i) {
        QThread* t = threads.at(i);
        if (t->isRunning())
            continue;
        t->start(QThread::InheritPriority);
        // No thread (memory or process limits): a worker moved into it would
        // never answer, and its run would wait for ever.
        if (!t->isRunning()) {
            Failures::record(Failures::Run, QStringLiteral("Can't start worker thread %1 of %2; %3 in use")
                                                .arg(i + 1).arg(threads.size()).arg(i));
            qDeleteAll(threads.begin() + i, threads.end());
            threads.erase(threads.begin() + i, threads.end());
            break;
        }
    }
}

WorkerPool::~WorkerPool()
{
    for (QThread* t : threads)
        t->quit();
    for (QThread* t : threads)
        t->wait();
    qDeleteAll(threads);
}

QThread* WorkerPool::ownThread(QObject* obj, const QString& name)
{
    auto* t = new QThread;
    t->setObjectName(name);
    t->start(QThread::InheritPriority);
    if (t->isRunning()) {
        obj->moveToThread(t);
        return t;
    }
    delete t;
    Failures::record(Failures::Run, QStringLiteral("Can't start the thread %1; its work runs in the window's thread").arg(name));
    return nullptr;
}

void WorkerPool::retire(QObject* worker)
{
    QThread* here = QThread::currentThread();
    if (worker->thread() == here)
        return;
    if (!worker->thread() || !worker->thread()->isRunning()) {
        // Nothing runs it any more: nothing can be using it either.
        worker->moveToThread(here);
        return;
    }
    // Queued after every request sent so far; moveToThread must be called
    // in the object's own thread.
    QMetaObject::invokeMethod(worker, [worker, here] { worker->moveToThread(here); }, Qt::BlockingQueuedConnection);
}

bool WorkerPool::inPlanThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void WorkerPool::assertPlanThread(const char* what)
{
    if (!inPlanThread())
        qFatal("%s outside the main thread (thread \"%s\"): FFTW plans are made and destroyed in the main thread only",
               what, qPrintable(QThread::currentThread()->objectName()));
}
