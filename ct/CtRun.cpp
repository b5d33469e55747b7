#include "CtRun.h"

#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "ImgDatas.h"
#include "ProcCtrl.h"
#include "SgmGeom.h"
#include "Sinogram.h"

#include <QDebug>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cmath>


namespace {
int gatePermits()
{
    return std::max(1, QThread::idealThreadCount());
}
} // namespace

CtRun::CtRun(QObject* parent) : QObject(parent), gate(gatePermits())
{
    qRegisterMetaType<CtCalc2*>("CtCalc2*");
}

CtRun::~CtRun()
{
    for (CtCalc2* w : workers)
        w->quitting = true;
    for (QThread* t : threads)
        t->quit();
    for (QThread* t : threads)
        t->wait();
    // Kernels destroy their FFT plans here, in the GUI thread.
    qDeleteAll(workers);
    qDeleteAll(threads);
    for (CtCalc2Ui* p : panels) {
        QPointer<CtCalc2Ui> guard(p);
        // A panel placed in the owner's widgets goes with them.
        if (guard && !guard->parent())
            delete p;
    }
}

CtCalc2* CtRun::worker(int i) const
{
    return i >= 0 && i < workers.size() ? workers.at(i) : nullptr;
}

CtCalc2Ui* CtRun::panel(int i) const
{
    return i >= 0 && i < panels.size() ? panels.at(i) : nullptr;
}

void CtRun::createPool(int n)
{
    if (n <= 0 || !workers.isEmpty())
        return;
    for (int i = 0; i < n; ++i) {
        auto* w = new CtCalc2;
        auto* p = new CtCalc2Ui;
        w->panel = p;
        p->setCalc(w);
        w->sinogram = sinogram;
        w->gate = &gate;
        auto* t = new QThread;
        t->setObjectName(QStringLiteral("CT2 %1").arg(i + 1));
        w->moveToThread(t);
        t->start(QThread::InheritPriority);
        connect(this, qOverload<CtCalc2*, bool, double, int, bool>(&CtRun::startCt), w,
                qOverload<CtCalc2*, bool, double, int, bool>(&CtCalc2::startCt));
        connect(w, &CtCalc2::calcFinished, this, [this, i] { workerFinished(i); });
        workers.append(w);
        panels.append(p);
        threads.append(t);
    }
    pending.assign(size_t(n), 0);
    pendingThisRun.assign(size_t(n), 0);
}

int CtRun::pendingCount() const
{
    return int(std::count_if(pending.begin(), pending.end(), [](int v) { return v > 0; }));
}

double CtRun::spentSeconds() const
{
    return startTime.msecsTo(endTime) / 1000.0;
}

int CtRun::usedWorkers() const
{
    return std::clamp(cond.threads, 0, count());
}

void CtRun::startCalcCt()
{
    CtCond c;
    if (procCtrl)
        c = procCtrl->ctCond();
    c.ct1 = selectCt1;
    c.ct2 = selectCt2;
    startCalcCtWith(c);
}

void CtRun::startCalcCtWith(const CtCond& c)
{
    active = true;
    startTime = QDateTime::currentDateTime();
    endTime = QDateTime();
    cond = c;
    seriesDealt = false;
    waitingFirst = false;
    std::fill(pendingThisRun.begin(), pendingThisRun.end(), 0);
    emit runStarted();
    setupFFT();
    setupSaveConds();
    if (!cond.autoExec) {
        execSingleCtCalc();
    } else {
        nextSlice = cond.from;
        execMultiCtCalc();
    }
}

void CtRun::stopCalcCt()
{
    active = false;
    waitingFirst = false;
    endTime = QDateTime::currentDateTime();
    emit runStopped();
    emit calcFinished();
}

void CtRun::setupFFT()
{
    ImgDatas* imgs = sinogram ? sinogram->imgs : nullptr;
    const int dim = imgs ? (cond.rotAxIsV ? imgs->width : imgs->height) : 0;
    fftN = 0;
    fftNProj = imgs ? imgs->count() : 0;
    // The same guards as the sinogram: outside them no slice gives data.
    if (dim > 0 && !std::isnan(cond.cor) && std::floor(cond.cor) > 0 && std::ceil(cond.cor) < dim) {
        const SgmGeom g = makeSgmGeom(cond.rotAxIsV, dim, cond.cor);
        fftN = g.nx > 0 ? g.nx - g.nx % 2 : 0;
    }
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
    w->sinogram = sinogram;
    w->kernel.setup(fftN, fftNProj);
}

void CtRun::setupSaveConds()
{
    for (CtCalc2* w : workers) {
        // Queued: the worker may still be finishing a slice of a stopped run.
        QMetaObject::invokeMethod(
            w,
            [w, f = saveImg, p = imgPath, n = imgName, t = imgTag, g = saveDat, dp = datPath,
             dn = datName, dt = datTag] {
                w->setSaveImage(f, p, n, t);
                w->setSaveData(g, dp, dn, dt);
            },
            Qt::QueuedConnection);
    }
}

void CtRun::deal(int i, long long slice)
{
    ++pending[size_t(i)];
    ++pendingThisRun[size_t(i)];
    emit startCt(workers[i], cond.rotAxIsV, cond.cor, int(slice), genImg);
}

void CtRun::execSingleCtCalc()
{
    bool started = false;
    if (cond.ct1) {
        emit execCt1();
        started = true;
    }
    if (cond.ct2 && count() > 0) {
        if (pending[0] > 0)
            waitingFirst = true;  // dealt when its last slice is done
        else {
            sizeKernel(0);
            deal(0, cond.sliceNo);
        }
        started = true;
    }
    if (!started)
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

void CtRun::workerFinished(int i)
{
    const size_t k = size_t(i);
    if (pending[k] <= 0)
        return;
    // Requests are done in order: older runs' first.
    const bool current = pendingThisRun[k] > 0 && pending[k] == pendingThisRun[k];
    --pending[k];
    if (current)
        --pendingThisRun[k];
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
