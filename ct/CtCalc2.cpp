#include "CtCalc2.h"

#include "Logging.h"
#include "CtFiles.h"
#include "CtRunReport.h"
#include "Failures.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "RingRemoval.h"
#include "Sha256.h"
#include "SinogramGen.h"
#include "SinogramImage.h"
#include "TiffWriter.h"

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
            write(r);
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

std::shared_ptr<const CtSlice> CtCalc2::reconstruct(const CtJob& job, CtResult& r)
{
    GatePermit permit(gate);
    if (quitting || !job.images)
        return nullptr;
    // An unusable CoR leaves the record alone: start from an empty one so a
    // previous slice is never reconstructed again.
    hSgm.resize(0, 0);
    genSinogram(*job.images, &hSgm, job.rotAxIsV, job.cor, job.slice, job.lineShift);
    if (!hSgm.hasData() || qint64(hSgm.nx) * hSgm.nth <= 0) {
        hSgm.resize(0, 0);
        return nullptr;
    }
    r.invalidSamples = hSgm.invalid;
    r.repairedSamples = hSgm.repaired;
    // A logarithm that could not be taken would have been clamped: a wrong
    // slice that looks right. Beyond a few repaired samples the slice fails.
    const long long total = qint64(hSgm.nx) * hSgm.nth;
    if (const QString why = logarithmRefusal(*job.images, hSgm.invalid, hSgm.repaired, total, hSgm.blankRow,
                                             job.maxInvalid);
        !why.isEmpty()) {
        const QString refused = QStringLiteral("Slice %1 refused: ").arg(job.slice) + why;
        r.failures << refused;
        Failures::record(Failures::Run, refused);
        hSgm.resize(0, 0);
        return nullptr;
    }
    if (hSgm.invalid > 0)
        qCInfo(lcCt).noquote() << QStringLiteral("Slice %1: %2 samples without a logarithm, %3 of them repaired from "
                                                 "their neighbours")
                                      .arg(job.slice).arg(hSgm.invalid).arg(hSgm.repaired);
    // A half turn with its 180 degree image leaves that last row out.
    const int nth = CtCond::projectionsUsed(job.angles, hSgm.nth);
    if (job.side > 0 && hSgm.nx > job.side + 1) {
        // Both counts are odd: the cut is the same on either side.
        const int keep = job.side + 1, off = (hSgm.nx - keep) / 2;
        HSgm cut;
        cut.resize(keep, hSgm.nth);
        cut.slice = hSgm.slice;
        for (int p = 0; p < hSgm.nth; ++p) {
            std::copy_n(hSgm.absorbRow(p) + off, keep, cut.absorbRow(p));
            std::copy_n(hSgm.intensityRow(p) + off, keep, cut.intensityRow(p));
        }
        std::swap(hSgm, cut);
    }
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

void CtCalc2::write(CtResult& r)
{
    const CtJob& job = r.job;
    const CtSlice& s = *r.data;
    QString error;
    if (!job.imageFile.isEmpty()) {
        if (CtFiles::savePicture(job.imageFile, r.picture, job.view.pictureRect, &error)) {
            r.written << job.imageFile;
            r.fileRecords << CtRunReport::fileRecord(job.imageFile);
        } else {
            r.failures << error;
            Failures::record(Failures::Write, error);
        }
    }
    if (!job.dataFile.isEmpty()) {
        Sha256 hash;
        if (CtFiles::saveData(job.dataFile, s.image.data(), s.n, s.region.x0, s.region.z0,
                              s.region.x1, s.region.z1, &error, &hash)) {
            r.written << job.dataFile;
            const qint64 size = hash.size();
            r.fileRecords << CtRunReport::fileRecord(job.dataFile, size, hash.hex());
        } else {
            r.failures << error;
            Failures::record(Failures::Write, error);
        }
    }
    if (!job.tiffFile.isEmpty()) {
        if (CtFiles::saveFloatTiff(job.tiffFile, s, &error, job.valueToPerCm)) {
            r.written << job.tiffFile;
            r.fileRecords << CtRunReport::fileRecord(job.tiffFile);
        } else {
            r.failures << error;
            Failures::record(Failures::Write, error);
        }
    }
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
