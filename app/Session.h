#pragma once
// The work of the window or of a batch program, apart from any widget: the
// worker threads, the reconstruction run control with its slice workers, the
// centre sweep, and the run settings no control shows.  The window shows it
// and hands it requests; the series, the references and loading are still
// held by the window and move here next.
#include "CorSweep.h"
#include "CtRun.h"
#include "ReconSettings.h"
#include "WorkerPool.h"

#include <QObject>

#include <memory>

class Session : public QObject
{
    Q_OBJECT
public:
    // A pool of `workers` threads, shared by the run's slice workers (one
    // each) and the sweep's trials.
    explicit Session(int workers, QObject* parent = nullptr);
    // The sweep and the run go first (each waits for its workers), then the
    // threads.
    ~Session() override;

    WorkerPool& pool() { return *workerPool; }
    CtRun& run() { return *ctRun; }
    const CtRun& run() const { return *ctRun; }
    CorSweep& sweep() { return *corSweep; }

    // Settings of the next runs that no control holds (the precision);
    // batch words write them here.
    ReconSettings settings;

private:
    std::unique_ptr<WorkerPool> workerPool;
    std::unique_ptr<CtRun> ctRun;
    std::unique_ptr<CorSweep> corSweep;
};
