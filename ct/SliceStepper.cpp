#include "SliceStepper.h"

#include "CtCalc2.h"
#include "CtFiles.h"
#include "CtProgress.h"
#include "HSgm.h"
#include "ImgDatas.h"
#include "Logging.h"
#include "RingRemoval.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>

SliceStepper::SliceStepper(QObject* parent)
    : QObject(parent), progress(new CtProgress), progressThread(new QThread)
{
    progressThread->setObjectName(QStringLiteral("CtProgress"));
    progress->moveToThread(progressThread);
    // Across the two threads every step is a queued event.
    connect(progress, &CtProgress::calcAll, this, &SliceStepper::calcAll, Qt::QueuedConnection);
    connect(progress, &CtProgress::calcOne, this, &SliceStepper::calcOne, Qt::QueuedConnection);
    connect(progress, &CtProgress::finishedCalcOneByOne, this, &SliceStepper::end, Qt::QueuedConnection);
}

SliceStepper::~SliceStepper()
{
    progressThread->quit();
    progressThread->wait();
    delete progress;
    delete progressThread;
}

bool SliceStepper::start(const CtJob& j)
{
    // An earlier slice still stepping is dropped: with the thread stopped
    // nothing races the reset below, and its steps and end already queued
    // here go too.
    progressThread->quit();
    progressThread->wait();
    QCoreApplication::removePostedEvents(progress);
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    stepping = allPending = false;
    last = CtResult();
    last.job = j;
    last.startTime = QDateTime::currentDateTime();
    completed = false;
    HSgm h;
    if (!j.images || !CtCalc2::sinogramOf(j, h, last))
        return false;
    const int side = h.nx - h.nx % 2;
    if (side < 2) {
        qCDebug(lcCt).noquote() << QStringLiteral("Sinogram too narrow to reconstruct, slice ") + QString::number(j.slice);
        return false;
    }
    // A half turn with its 180 degree image leaves that last row out.
    const int used = CtCond::projectionsUsed(j.angles, h.nth);
    const bool fullTurn = j.angles == AngularRange::Full;
    if (side != n || used != nProj || fbp.fbpFilter != j.filter || fbp.fullTurn != fullTurn) {
        fbp.setup(side, used, j.filter, fullTurn);
        if (!fbp.ready()) {
            n = nProj = 0;   // the kernel has said why
            return false;
        }
        n = side;
        nProj = used;
    }
    // The series' own angles, when it has them (always set: they may change
    // with the series while the size stays).
    const ImgDatas* set = j.images;
    fbp.setAngles(set->anglesDeg.size() == set->count() && nProj <= set->count()
                      ? FbpKernel::radiansOf(set->anglesDeg.constData(), nProj, fullTurn)
                      : std::vector<double>());
    // Dividing the input by nProj divides the filtered projection by N * nProj.
    rowLen = h.nx;
    rows.resize(size_t(rowLen) * size_t(nProj));
    const double scale = 1.0 / nProj;
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = h.absorb[i] * scale;
    removeRings(rows.data(), rowLen, nProj, j.ringSize);
    job = j;
    region = j.view.wholeImage ? CtRegion{0, 0, double(n), double(n)} : j.view.region;
    fbp.resetImage(n);
    progressThread->start();
    CtProgress* pacer = progress;
    nextIz = 0;
    stepping = paced;
    allPending = !paced;
    emit started(job);
    if (paced) {
        progress->index = 0;
        progress->count = nProj;
        QMetaObject::invokeMethod(pacer, [pacer] { pacer->startCalcOneByOne(); }, Qt::QueuedConnection);
    } else {
        QMetaObject::invokeMethod(pacer, [pacer] { pacer->startCalcAll(); }, Qt::QueuedConnection);
    }
    return true;
}

void SliceStepper::stop()
{
    if (stepping)
        end();
}

void SliceStepper::addProjection(int p)
{
    fbp.transform(rows.data() + size_t(p) * size_t(rowLen), p);
    fbp.filter(p);
    fbp.backProject(p, region.x0, region.x1, region.z0, region.z1);
}

void SliceStepper::calcAll()
{
    if (!allPending)
        return;
    allPending = false;
    for (int p = 0; p < nProj; ++p)
        addProjection(p);
    completed = true;
    fbp.calcRange();
    emit stepped(nProj);
    end();
}

void SliceStepper::calcOne(int p)
{
    if (!stepping || p != nextIz || p < 0 || p >= nProj)
        return;
    ++nextIz;
    completed = nextIz == nProj;
    addProjection(p);
    fbp.calcRange();
    emit stepped(nextIz);
    CtProgress* pacer = progress;
    QMetaObject::invokeMethod(pacer, [pacer] { pacer->calcNext(); }, Qt::QueuedConnection);
}

void SliceStepper::end()
{
    const bool wasRunning = stepping || completed;
    stepping = false;
    // Stopped before finished() says the slice ended; only queued calls
    // pass between the threads, so the wait is short.
    progressThread->quit();
    progressThread->wait();
    if (!wasRunning)
        return;
    if (completed) {
        completed = false;
        makeResult();
    }
    last.endTime = QDateTime::currentDateTime();
    emit finished(last);
}

void SliceStepper::makeResult()
{
    if (!fbp.done || n <= 0 || fbp.imageSide != n)
        return;
    fbp.calcRange();
    auto s = std::make_shared<CtSlice>();
    s->n = n;
    s->slice = job.slice;
    s->nProj = nProj;
    s->mean = true;
    s->minV = fbp.minV;
    s->maxV = fbp.maxV;
    s->region = region;
    // A copy: the panel keeps showing and reading the kernel's image.
    s->image = fbp.image;
    last.data = s;
    last.colours = job.view.colours;
    if (job.showImage || !job.imageFile.isEmpty())
        last.picture = CtCalc2::draw(*s, last.colours);
    CtFiles::writeResult(last);
}
