#include "CtCalc2.h"

#include "ColorBar.h"
#include "CtCalc2Ui.h"
#include "CtFiles.h"
#include "Sinogram.h"

#include <QDebug>
#include <QDir>
#include <QSemaphore>

#include <algorithm>
#include <cfloat>

namespace {
// Holds one permit of the pool's gate for the heavy part of a slice.
class GatePermit
{
public:
    explicit GatePermit(QSemaphore* g) : gate(g)
    {
        if (gate)
            gate->acquire();
    }
    ~GatePermit() { release(); }
    void release()
    {
        if (gate)
            gate->release();
        gate = nullptr;
    }

private:
    QSemaphore* gate;
};
} // namespace

CtCalc2::CtCalc2(QObject* parent) : QObject(parent)
{
}

template <class F>
void CtCalc2::onPanel(F&& f)
{
    // Runs in the panel's (GUI) thread, in the order issued here.
    if (panel)
        QMetaObject::invokeMethod(panel, std::forward<F>(f), Qt::QueuedConnection);
}

std::shared_ptr<const CtSlice> CtCalc2::lastResult() const
{
    QMutexLocker lock(&resultLock);
    return result;
}

void CtCalc2::publish(std::shared_ptr<const CtSlice> r)
{
    QMutexLocker lock(&resultLock);
    result.swap(r);
}

void CtCalc2::beginingCt()
{
    busy = true;
    startTime = QDateTime::currentDateTime();
    const QDateTime t = startTime;
    CtCalc2Ui* p = panel;
    onPanel([p, t] { p->showStartTimeAt(t); });
}

void CtCalc2::endingCt()
{
    busy = false;
    const QDateTime t = QDateTime::currentDateTime();
    CtCalc2Ui* p = panel;
    onPanel([p, t] {
        p->showEndTimeAt(t);
        p->showSpentT();
    });
    emit calcFinished();
}

void CtCalc2::startCt(CtCalc2* ctc2, bool rotAxIsV, double cor, int slice)
{
    startCt(ctc2, rotAxIsV, cor, slice, true);
}

void CtCalc2::startCt(CtCalc2* ctc2, bool rotAxIsV, double cor, int slice, bool genImg)
{
    if (ctc2 != this || busy || !panel)
        return;
    genAndDispImage = genImg;
    beginingCt();
    CtCalc2Ui* p = panel;
    onPanel([p, slice] { p->showSliceNo(slice); });

    if (reconstruct(rotAxIsV, cor, slice)) {
        // The number shown is the slice asked for, so it names the files.
        const QString iName = CtFiles::sliceName(imgName, imgTag, slice, QStringLiteral("png"));
        const QString dName = CtFiles::sliceName(datName, datTag, slice, QStringLiteral("dat"));
        imgReady = false;
        if (genAndDispImage)
            genResImage();
        if (saveImg)
            saveImage(iName);
        if (saveDat)
            saveData(dName);
    }
    endingCt();
}

bool CtCalc2::reconstruct(bool rotAxIsV, double cor, int slice)
{
    GatePermit permit(gate);
    if (quitting || !sinogram)
        return false;
    // An unusable CoR leaves the record alone: start from an empty one so a
    // previous slice is never reconstructed again.
    hSgm.resize(0, 0);
    sinogram->genSinogram0(&hSgm, rotAxIsV, cor, slice);
    if (!hSgm.hasData() || qint64(hSgm.nx) * hSgm.nth <= 0) {
        hSgm.resize(0, 0);
        return false;
    }
    nth = hSgm.nth;
    const int n = hSgm.nx - hSgm.nx % 2;
    imgSize = n;
    if (n < 2) {
        qDebug().noquote() << QStringLiteral("Sinogram without samples, slice skipped : ")
                + QString::number(slice);
        hSgm.resize(0, 0);
        return false;
    }
    if (!kernel.ready() || kernel.n != n || kernel.nProj != nth) {
        qDebug().noquote() << QStringLiteral("Reconstruction kernel not sized for this sinogram, slice skipped : ")
                + QString::number(slice);
        hSgm.resize(0, 0);
        return false;
    }

    CtRegion reg;
    if (!panel->regionSet) {
        reg = CtRegion{0, 0, double(n), double(n)};
        CtCalc2Ui* p = panel;
        onPanel([p, n] { p->setCR(0, 0, n, n); });
    } else {
        reg = panel->calcRegion();
    }

    for (int pr = 0; pr < nth; ++pr)
        kernel.transform(hSgm.absorbRow(pr), pr);
    for (int pr = 0; pr < nth; ++pr)
        kernel.filter(pr);
    // The spectra hold all the sinogram had to give.
    hSgm.resize(0, 0);
    kernel.resetImage(n);
    kernel.backProjectAll(reg.x0, reg.x1, reg.z0, reg.z1);
    kernel.calcRange();

    auto r = std::make_shared<CtSlice>();
    r->n = n;
    r->slice = slice;
    r->minV = kernel.minV;
    r->maxV = kernel.maxV;
    r->region = reg;
    // Handed over, not copied: the next slice starts on a fresh image.
    r->image.swap(kernel.image);
    kernel.resetImage(0);
    publish(std::move(r));
    return true;
}

void CtCalc2::genResImage()
{
    const std::shared_ptr<const CtSlice> r = lastResult();
    if (!r || r->n <= 0 || !panel)
        return;
    ColorBar* bar = panel->cbar;
    if (!bar->isFixed())
        bar->autoMinMax(r->minV, r->maxV);
    QImage img(r->n, r->n, QImage::Format_Grayscale8);
    if (img.isNull())
        return;
    for (int z = 0; z < r->n; ++z)
        bar->levelRow(r->image.data() + size_t(z) * size_t(r->n), img.scanLine(z), r->n);
    resImage = img;
    imgReady = true;
    if (genAndDispImage) {
        CtCalc2Ui* p = panel;
        onPanel([p, img] { p->takeImage(img, true); });
    }
}

void CtCalc2::saveImage(QString fname)
{
    if (!imgReady)
        genResImage();
    if (!imgReady || !panel)
        return;
    const QString path = QDir(imgPath).absoluteFilePath(fname);
    const QImage img = resImage;
    const bool shown = genAndDispImage;
    CtCalc2Ui* p = panel;
    onPanel([p, img, path, shown] {
        if (!shown)
            p->takeImage(img, false);
        p->saveImage(path);
    });
}

void CtCalc2::saveData(QString fname)
{
    const std::shared_ptr<const CtSlice> r = lastResult();
    if (!r)
        return;
    const QString path = QDir(datPath).absoluteFilePath(fname);
    CtFiles::saveData(path, r->image.data(), r->n, r->region.x0, r->region.z0, r->region.x1,
                      r->region.z1);
}

void CtCalc2::setSaveImage(bool f, QString path, QString name, QString tag)
{
    saveImg = f;
    imgPath = path;
    imgName = name;
    imgTag = tag;
}

void CtCalc2::setSaveData(bool f, QString path, QString name, QString tag)
{
    saveDat = f;
    datPath = path;
    datName = name;
    datTag = tag;
}
