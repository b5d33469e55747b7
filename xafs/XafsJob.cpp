#include "XafsJob.h"

#include <QThread>

XafsJob::XafsJob(QObject* parent) : QObject(parent) {}

XafsJob::~XafsJob()
{
    // The window closing mid-job: stop it and wait, the session must outlive it.
    if (thread) {
        progress.cancel = true;
        thread->wait();
        delete thread;
    }
}

bool XafsJob::start(const QString& what, Work work)
{
    if (running.load())
        return false;
    if (thread) {
        thread->wait();
        delete thread;
        thread = nullptr;
    }
    name = what;
    progress.cancel = false;
    progress.done = 0;
    progress.total = 0;
    running = true;
    result = false;
    resultKind = 0;
    resultWhy.clear();
    thread = QThread::create([this, work]() { result = work(&progress, resultWhy, resultKind); });
    // The result members are written before the thread ends and read after
    // finished arrives here, queued.
    connect(thread, &QThread::finished, this, [this]() {
        running = false;
        emit finished(result, resultKind, resultWhy);
    }, Qt::QueuedConnection);
    emit started();
    thread->start();
    return true;
}
