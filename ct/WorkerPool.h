#pragma once
// The worker threads of the process, made once and shared: the slice workers
// of reconstruction runs and the trial workers of centre sweeps are moved into
// them, so runs and sweeps together never start more threads than the pool
// has.  Lives in the main thread; its users take their worker objects out
// (WorkerPool::retire) before it is destroyed, which quits and waits for
// every thread.
//
// FFTW plans are made and destroyed only in the main thread (the planner is
// not thread-safe); every place that makes or destroys one calls
// assertPlanThread, which ends the process when that rule is broken.
#include <QList>
#include <QObject>

class QThread;

class WorkerPool : public QObject
{
    Q_OBJECT
public:
    // count threads (at least one), named "<name> 1", "<name> 2", ...,
    // started at once unless startNow is false: objects moved into threads
    // before they start are seen by them without a hand-over.
    explicit WorkerPool(int count, const QString& name = QStringLiteral("Worker"), QObject* parent = nullptr,
                        bool startNow = true);
    // Starts the threads not yet running; from the first the system refuses
    // on, the pool is smaller (the failure is recorded).
    void start();
    ~WorkerPool() override;

    int size() const { return int(threads.size()); }
    QThread* thread(int i) const { return threads.at(i); }

    // Waits until the worker has finished every request queued to it so far
    // (its current one included) and brings it back into the calling (main)
    // thread, where it can be deleted with its FFT plans.
    static void retire(QObject* worker);
    // A thread of its own for obj, named name: started, with obj moved into
    // it.  Null when the system refuses a thread (memory or process limits):
    // the failure is recorded and obj stays in this thread, slower, but
    // nothing waits for ever.
    static QThread* ownThread(QObject* obj, const QString& name);

    // True in the thread FFTW plans belong to: the application's main thread
    // (any thread when there is no application object, as in a plain program).
    static bool inPlanThread();
    // Ends the process with a message naming `what` outside that thread.
    static void assertPlanThread(const char* what);

private:
    QList<QThread*> threads;
};
