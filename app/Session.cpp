#include "Session.h"

Session::Session(int workers, QObject* parent)
    : QObject(parent), workerPool(new WorkerPool(workers)), ctRun(new CtRun), corSweep(new CorSweep)
{
    corSweep->pool = workerPool.get();
}

Session::~Session()
{
    corSweep.reset();
    ctRun.reset();
    workerPool.reset();
}
