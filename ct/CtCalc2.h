#pragma once
// One slice worker of the reconstruction pool, living in a thread of its
// own.  It takes a job (a value naming the inputs, the slice, the region,
// the colour scale and the files), builds the sinogram, reconstructs, draws
// and writes the files itself, and hands back a result by value.  It never
// sees a panel.
#include "CtJob.h"
#include "CtResult.h"
#include "FbpKernel.h"
#include "HSgm.h"

#include <QMutex>
#include <QObject>

#include <atomic>
#include <memory>

class QSemaphore;

class CtCalc2 : public QObject
{
    Q_OBJECT
public:
    explicit CtCalc2(QObject* parent = nullptr);

    // The last completed slice, or null; safe from any thread.
    std::shared_ptr<const CtSlice> lastResult() const;

    // True from the start of an accepted request until just before its
    // calcFinished() is emitted; written in this worker's thread, so a reader
    // elsewhere knows the worker is idle only once that signal has arrived.
    std::atomic<bool> busy{false};
    // Sized by the owner in the GUI thread while this worker is idle.
    FbpKernel kernel;
    // Shared by a pool: at most as many slices are computed at once as it
    // has permits, so idle threads hold no sinogram or half-made image.
    QSemaphore* gate = nullptr;
    // Set when the pool is being destroyed or the process interrupted:
    // requests still queued, and a slice waiting at the gate, give nothing
    // (their calcFinished() still comes).  A slice already computing runs to
    // its end; the owner then quits and waits for the thread.
    std::atomic<bool> quitting{false};

    // Draws a slice through a colour scale whose range follows the data
    // unless fixed; `colours` comes back with the range used.
    static QImage draw(const CtSlice& s, ColorSnapshot& colours);
    // The job's sinogram into h under the rules every slice obeys: false
    // (h empty) when the centre gives none, or when too many samples lack a
    // logarithm (the failure in r.failures and counted); the samples without
    // one go to r.  With job.side above 0 it is cut to side + 1 samples.
    static bool sinogramOf(const CtJob& job, HSgm& h, CtResult& r);

signals:
    // A request was taken (in the worker's thread, at `when`).
    void calcStarted(int slice, QDateTime when);
    // Emitted at the end of every request taken, also when it gave nothing.
    void calcFinished(CtResult result);
    // The last result drawn again with another scale.
    void imageRendered(CtResult result);

public slots:
    // In the worker's thread: the job sent to this worker.
    void startCt(const CtJob& job);
    // Draws the last result again with `colours` (a colour bar changed).
    void genResImage(ColorSnapshot colours);

private:
    // Sinogram to data; null when the slice gives nothing. Its samples
    // without a logarithm go to r (and why they refuse the slice).
    std::shared_ptr<const CtSlice> reconstruct(const CtJob& job, CtResult& r);

    mutable QMutex resultLock;
    std::shared_ptr<const CtSlice> result;
    CtJob lastJob;
    HSgm hSgm;
};

Q_DECLARE_METATYPE(CtCalc2*)
