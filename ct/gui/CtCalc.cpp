#include "CtCalc.h"

#include "Logging.h"
#include "ColorBar.h"
#include "CtFiles.h"
#include "CtProgress.h"
#include "Failures.h"
#include "HSgm.h"
#include "ImgDatas.h"
#include "ProcCtrl.h"
#include "RingRemoval.h"
#include "Sinogram.h"
#include "SinogramGen.h"
#include "SinogramImage.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QThread>

#include <cmath>

CtCalc::CtCalc(QWidget* parent)
    : CtCalcBase(parent), progress(new CtProgress), progressThread(new QThread)
{
    progressThread->setObjectName(QStringLiteral("CtProgress"));
    progress->moveToThread(progressThread);

    // Across the two threads every step is a queued event.
    connect(this, &CtCalc::startCalcAll, progress, &CtProgress::startCalcAll, Qt::QueuedConnection);
    connect(progress, &CtProgress::calcAll, this, &CtCalc::calcAll, Qt::QueuedConnection);
    connect(this, &CtCalc::startCalcOneByOne, progress, &CtProgress::startCalcOneByOne,
            Qt::QueuedConnection);
    connect(progress, &CtProgress::calcOne, this, &CtCalc::calcOne, Qt::QueuedConnection);
    connect(this, &CtCalc::finishedCalcOne, progress, &CtProgress::calcNext, Qt::QueuedConnection);
    connect(progress, &CtProgress::finishedCalcOneByOne, this, &CtCalc::endCt, Qt::QueuedConnection);

    connect(StartCalc, &QPushButton::clicked, this, &CtCalc::askToStartCalc);
    connect(DispCt, &ImgDispWCBar::newBar, this, &CtCalc::genResImage);
    connect(DispCt, &ImgDispWPV::newPosInvY, this, &CtCalc::noticedNewPos);
}

CtCalc::~CtCalc()
{
    // The thread is finished before the objects it ran go; events still
    // queued for this panel die with it.
    progressThread->quit();
    progressThread->wait();
    delete progress;
    delete progressThread;
}

bool CtCalc::startCt(double cor)
{
    if (!sinogram)
        return false;
    showStartTime();
    lastWritten.clear();
    lastFailures.clear();
    invalidSamples = repairedSamples = 0;
    completed = false;
    // An unusable CoR leaves the panel's record as it was: empty it first, so
    // an earlier slice is never reconstructed as this one.
    sinogram->hSgm.resize(0, 0);
    if (std::isnan(cor) || !sinogram->procCtrl)
        sinogram->genSinogram();
    else
        sinogram->genSinogram0(&sinogram->hSgm, sinogram->procCtrl->rotAxIsV, cor, sinogram->procCtrl->sliceNo);
    hSgm = &sinogram->hSgm;
    if (!hSgm->hasData() || qint64(hSgm->nx) * hSgm->nth <= 0)
        return false;
    // Clamped logarithms give a wrong slice that looks right: the same rule
    // as for the workers' slices.
    calcSlice = hSgm->slice;
    invalidSamples = hSgm->invalid;
    repairedSamples = hSgm->repaired;
    if (const QString why = sinogram->imgs ? logarithmRefusal(*sinogram->imgs, hSgm->invalid, hSgm->repaired,
                                                              qint64(hSgm->nx) * hSgm->nth, hSgm->blankRow, maxInvalid)
                                           : QString();
        !why.isEmpty()) {
        const QString refused = QStringLiteral("Slice %1 refused: ").arg(hSgm->slice) + why;
        lastFailures << refused;
        Failures::record(Failures::Run, refused);
        return false;
    }
    if (hSgm->invalid > 0)
        qCInfo(lcCt).noquote() << QStringLiteral("Slice %1: %2 samples without a logarithm, %3 of them repaired from "
                                                 "their neighbours")
                                      .arg(hSgm->slice).arg(hSgm->invalid).arg(hSgm->repaired);
    const int side = hSgm->nx - hSgm->nx % 2;
    if (side < 2) {
        qCDebug(lcCt).noquote() << QStringLiteral("Sinogram too narrow to reconstruct, slice ")
                + QString::number(hSgm->slice);
        return false;
    }
    showSliceNo(hSgm->slice);

    // A half turn with its 180 degree image leaves that last row out.
    const int used = CtCond::projectionsUsed(angles, hSgm->nth);
    const bool fullTurn = angles == AngularRange::Full;
    if (side != n || used != nProj || kernel.fbpFilter != filter || kernel.fullTurn != fullTurn) {
        kernel.setup(side, used, filter, fullTurn);
        if (!kernel.ready()) {
            n = nProj = 0;   // the kernel has said why
            return false;
        }
        n = side;
        nProj = used;
    }
    // The series' own angles, when it has them (always set: they may change
    // with the series while the size stays).
    const ImgDatas* set = sinogram->imgs;
    kernel.setAngles(set && set->anglesDeg.size() == set->count() && nProj <= set->count()
                         ? FbpKernel::radiansOf(set->anglesDeg.constData(), nProj, fullTurn)
                         : std::vector<double>());
    // Dividing the input by nProj divides the filtered projection by N * nProj.
    rowLen = hSgm->nx;
    rows.resize(size_t(rowLen) * size_t(nProj));
    const double scale = 1.0 / nProj;
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = hSgm->absorb[i] * scale;
    removeRings(rows.data(), rowLen, nProj, ringSize);

    if (!regionSet)
        setCR(0, 0, n, n);
    kernel.resetImage(n);
    QImage blank(n, n, QImage::Format_Grayscale8);
    blank.fill(0);
    DispCt->image = blank;

    // Pacing left over from an earlier start is dropped: with the thread
    // stopped nothing races the reset below, and steps already back here are
    // refused by nextIz and allPending.
    progressThread->quit();
    progressThread->wait();
    QCoreApplication::removePostedEvents(progress);
    progressThread->start();
    if (CalcAtOnce->isChecked()) {
        allPending = true;
        emit startCalcAll();
        busy = false;
    } else {
        allPending = false;
        busy = true;
        nextIz = 0;
        progress->index = 0;
        progress->count = nProj;
        emit startCalcOneByOne();
    }
    return true;
}

void CtCalc::stopCt()
{
    endCt();
}

void CtCalc::endCt()
{
    busy = false;
    // Stopped before calcFinished says the calculation ended; only queued
    // signals pass between the threads, so the wait is short.
    progressThread->quit();
    progressThread->wait();
    if (completed) {
        completed = false;
        saveResult();
    }
    showEndTime();
    showSpentT();
    emit calcFinished();
}

void CtCalc::project(int p)
{
    kernel.transform(rows.data() + size_t(p) * size_t(rowLen), p);
    kernel.filter(p);
}

void CtCalc::backProject(int p)
{
    kernel.backProject(p, fieldValue(Crx0), fieldValue(Crx1), fieldValue(Crz0), fieldValue(Crz1));
}

void CtCalc::calcAll()
{
    if (!allPending)
        return;
    allPending = false;
    for (int p = 0; p < nProj; ++p)
        kernel.transform(rows.data() + size_t(p) * size_t(rowLen), p);
    for (int p = 0; p < nProj; ++p)
        kernel.filter(p);
    for (int p = 0; p < nProj; ++p)
        backProject(p);
    if (kernel.imageSide == n)
        genResImage();
    completed = true;
    endCt();
}

void CtCalc::calcOne(int iz)
{
    if (!busy || iz != nextIz || iz < 0 || iz >= nProj)
        return;
    ++nextIz;
    completed = nextIz == nProj;
    project(iz);
    backProject(iz);
    if (kernel.imageSide == n)
        genResImage();
    showEndTime();
    emit finishedCalcOne();
}

void CtCalc::noticedNewPos(double x, double z)
{
    const int side = kernel.imageSide;
    if (side <= 0)
        return;
    const double tx = std::trunc(x);
    const double tz = std::trunc(z);
    if (!(tx >= 0 && tx < side && tz >= 0 && tz < side))
        return;
    showValue(kernel.imageRow(int(tz))[int(tx)]);
}

void CtCalc::calcCt()
{
    if (busy)
        endCt();
    else
        startCt();
}

void CtCalc::genResImage()
{
    if (!kernel.done || n <= 0 || kernel.imageSide != n)
        return;
    kernel.calcRange();
    cbar->autoMinMax(kernel.minV, kernel.maxV);
    showUnits();
    DispCt->image = greyImage(kernel.image.data(), n, n, *cbar);
    DispCt->newImage();
    DispCt->update();
}

void CtCalc::saveResult()
{
    if (!kernel.done || n <= 0 || kernel.imageSide != n)
        return;
    QString error;
    if (saveImageF) {
        const QString path = QDir(saveImagePath).absoluteFilePath(
            CtFiles::sliceName(saveImageName, saveImageTag, calcSlice, QStringLiteral("png")));
        if (CtFiles::savePicture(path, DispCt->image, view().pictureRect, &error)) {
            lastWritten << path;
        } else {
            lastFailures << error;
            Failures::record(Failures::Write, error);
        }
    }
    if (saveDataF) {
        const QString path = QDir(saveDataPath).absoluteFilePath(
            CtFiles::sliceName(saveDataName, saveDataTag, calcSlice, QStringLiteral("dat")));
        const CtRegion r = calcRegion();
        if (CtFiles::saveData(path, kernel.image.data(), n, r.x0, r.z0, r.x1, r.z1, &error)) {
            lastWritten << path;
        } else {
            lastFailures << error;
            Failures::record(Failures::Write, error);
        }
    }
}

void CtCalc::setSaveImage(bool f, QString path, QString name, QString tag)
{
    saveImageF = f;
    saveImagePath = path;
    saveImageName = name;
    saveImageTag = tag;
}

void CtCalc::setSaveData(bool f, QString path, QString name, QString tag)
{
    saveDataF = f;
    saveDataPath = path;
    saveDataName = name;
    saveDataTag = tag;
}
