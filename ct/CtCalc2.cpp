#include "CtCalc2.h"

#include "Logging.h"
#include "CtFiles.h"
#include "Failures.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "RingRemoval.h"
#include "SinogramGen.h"
#include "SinogramImage.h"

#include <QDebug>
#include <QSemaphore>

#include <algorithm>
#include <new>

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
    ~GatePermit()
    {
        if (gate)
            gate->release();
    }

private:
    QSemaphore* gate;
};
} // namespace

CtCalc2::CtCalc2(QObject* parent) : QObject(parent)
{
}

std::shared_ptr<const CtSlice> CtCalc2::lastResult() const
{
    QMutexLocker lock(&resultLock);
    return result;
}

QImage CtCalc2::draw(const CtSlice& s, ColorSnapshot& colours)
{
    colours.autoMinMax(s.minV, s.maxV);
    return greyImage(s.image.data(), s.n, s.n, colours);
}

void CtCalc2::startCt(const CtJob& job)
{
    if (busy)
        return;
    if (quitting) {
        // Never begun: the pool still learns the request is done.
        CtResult dropped;
        dropped.job = job;
        emit calcFinished(dropped);
        return;
    }
    busy = true;
    CtResult r;
    r.job = job;
    r.startTime = QDateTime::currentDateTime();
    emit calcStarted(job.slice, r.startTime);

    // Memory that runs out fails this slice with a message, never the process.
    QString noMemory;
    try {
        r.data = reconstruct(job, r);
        if (r.data) {
            r.colours = job.view.colours;
            if (job.showImage || !job.imageFile.isEmpty())
                r.picture = draw(*r.data, r.colours);
            {
                QMutexLocker lock(&resultLock);
                result = r.data;
                lastJob = job;
            }
            CtFiles::writeResult(r);
        }
    } catch (const std::bad_alloc&) {
        r.data.reset();
        r.picture = QImage();
        hSgm.resize(0, 0);
        noMemory = QStringLiteral("not enough memory for its sinogram, image or files");
    }
    if (!r.data && noMemory.isEmpty() && !kernel.setupError.isEmpty())
        noMemory = kernel.setupError;
    if (!noMemory.isEmpty() && !quitting) {
        const QString text = QStringLiteral("Slice %1: %2").arg(job.slice).arg(noMemory);
        r.failures << text;
        Failures::record(Failures::Run, text);
    }
    r.endTime = QDateTime::currentDateTime();
    busy = false;
    emit calcFinished(r);
}

bool CtCalc2::sinogramOf(const CtJob& job, HSgm& h, CtResult& r)
{
    // An unusable CoR leaves the record alone: start from an empty one so a
    // previous slice is never reconstructed again.
    h.resize(0, 0);
    genSinogram(*job.images, &h, job.rotAxIsV, job.cor, job.slice, job.lineShift);
    if (!h.hasData() || qint64(h.nx) * h.nth <= 0) {
        h.resize(0, 0);
        return false;
    }
    r.invalidSamples = h.invalid;
    r.repairedSamples = h.repaired;
    // A logarithm that could not be taken would have been clamped: a wrong
    // slice that looks right. Beyond a few repaired samples the slice fails.
    const long long total = qint64(h.nx) * h.nth;
    if (const QString why = logarithmRefusal(*job.images, h.invalid, h.repaired, total, h.blankRow, job.maxInvalid);
        !why.isEmpty()) {
        const QString refused = QStringLiteral("Slice %1 refused: ").arg(job.slice) + why;
        r.failures << refused;
        Failures::record(Failures::Run, refused);
        h.resize(0, 0);
        return false;
    }
    if (h.invalid > 0)
        qCInfo(lcCt).noquote() << QStringLiteral("Slice %1: %2 samples without a logarithm, %3 of them repaired from "
                                                 "their neighbours")
                                      .arg(job.slice).arg(h.invalid).arg(h.repaired);
    if (job.side > 0 && h.nx > job.side + 1) {
        // Both counts are odd: the cut is the same on either side.
        const int keep = job.side + 1, off = (h.nx - keep) / 2;
        HSgm cut;
        cut.resize(keep, h.nth);
        cut.slice = h.slice;
        for (int p = 0; p < h.nth; ++p) {
            std::copy_n(h.absorbRow(p) + off, keep, cut.absorbRow(p));
            std::copy_n(h.intensityRow(p) + off, keep, cut.intensityRow(p));
        }
        std::swap(h, cut);
    }
    return true;
}

std::shared_ptr<const CtSlice> CtCalc2::reconstruct(const CtJob& job, CtResult& r)
{
    GatePermit permit(gate);
    if (quitting || !job.images || !sinogramOf(job, hSgm, r))
        return nullptr;
    // A half turn with its 180 degree image leaves that last row out.
    const int nth = CtCond::projectionsUsed(job.angles, hSgm.nth);
    const int n = hSgm.nx - hSgm.nx % 2;
    if (n < 2) {
        qCDebug(lcCt).noquote() << QStringLiteral("Sinogram without samples, slice skipped : ")
                + QString::number(job.slice);
        hSgm.resize(0, 0);
        return nullptr;
    }
    if (!kernel.ready() || kernel.n != n || kernel.nProj != nth || kernel.fbpFilter != job.filter
        || kernel.fullTurn != (job.angles == AngularRange::Full)) {
        qCDebug(lcCt).noquote() << QStringLiteral("Reconstruction kernel not sized for this sinogram, slice skipped : ")
                + QString::number(job.slice);
        hSgm.resize(0, 0);
        return nullptr;
    }
    const CtRegion reg = job.view.wholeImage ? CtRegion{0, 0, double(n), double(n)} : job.view.region;

    removeRings(hSgm.absorb.data(), hSgm.nx, nth, job.ringSize);
    for (int p = 0; p < nth; ++p)
        kernel.filterRow(hSgm.absorbRow(p), p);
    // The filtered rows hold all the sinogram had to give.
    hSgm.resize(0, 0);
    kernel.resetImage(n);
    kernel.backProjectAll(reg.x0, reg.x1, reg.z0, reg.z1);
    kernel.calcRange();

    auto s = std::make_shared<CtSlice>();
    s->n = n;
    s->slice = job.slice;
    s->nProj = nth;
    s->minV = kernel.minV;
    s->maxV = kernel.maxV;
    s->region = reg;
    // Handed over, not copied: the next slice starts on a fresh image.
    s->image.swap(kernel.image);
    kernel.resetImage(0);
    return s;
}

void CtCalc2::genResImage(ColorSnapshot colours)
{
    CtResult r;
    {
        QMutexLocker lock(&resultLock);
        r.data = result;
        r.job = lastJob;
    }
    if (!r.data || r.data->n <= 0)
        return;
    r.colours = colours;
    r.picture = draw(*r.data, r.colours);
    r.endTime = QDateTime::currentDateTime();
    emit imageRendered(r);
}
