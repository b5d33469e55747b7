#pragma once
// The single-slice calculator (CT1) apart from any widget.  It takes the job
// a run would deal to a slice worker, builds the same sinogram under the same
// checks, reconstructs it with a kernel of its own in the calling (main)
// thread and writes the files through the workers' writer.  The projections
// are added in one event, or one per event (paced from a thread of its own,
// CtProgress) so that a panel can show the sum growing between them.  Its
// values are the mean of the back-projections, a worker's their sum: value / 2
// is mu per pixel here.
#include "CtJob.h"
#include "CtResult.h"
#include "FbpKernel.h"

#include <QObject>

#include <vector>

class CtProgress;
class QThread;

class SliceStepper : public QObject
{
    Q_OBJECT
public:
    explicit SliceStepper(QObject* parent = nullptr);
    // The pacing thread is finished first; steps still queued here die with it.
    ~SliceStepper() override;

    // One projection per event (true) or all of them in one event (false,
    // the default); read at each start.
    bool paced = false;

    // Begins the job's slice (images, centre, slice, filter, rings, angles,
    // invalid-sample limit, calculation region, output paths; job.side is
    // not used).  The kernel's FFT plans are made here: main thread only.
    // True: started() has been emitted, stepped() follows after every
    // projection (paced) or once (at once), then finished().  False: the
    // slice gives nothing and nothing follows; result() holds why (when a
    // rule refused it) and the samples without a logarithm.  A start while
    // stepping drops the earlier slice without its finished().
    bool start(const CtJob& job);
    // Ends a paced slice after the projection in hand: finished() has been
    // emitted on return, with no data and nothing written.  Nothing when idle.
    void stop();

    // Between a paced start and its finished().
    bool busy() const { return stepping; }
    // The sum so far of the slice in hand, or the last one's (imageSide x imageSide).
    const FbpKernel& kernel() const { return fbp; }
    int side() const { return n; }
    int projections() const { return nProj; }
    // The result of the last start that failed, or of the last finished().
    const CtResult& result() const { return last; }

signals:
    // The sinogram is made and the kernel sized: side() and projections() hold.
    void started(const CtJob& job);
    // `done` projections of projections() have been added.
    void stepped(int done);
    // The slice ended: complete (data, picture, files written and failures)
    // or stopped (no data).
    void finished(const CtResult& result);

private:
    void calcAll();
    void calcOne(int p);
    void addProjection(int p);
    // Quits the pacing thread; with the slice complete, makes and writes
    // the result; emits finished().
    void end();
    void makeResult();

    CtProgress* progress = nullptr;
    QThread* progressThread = nullptr;
    FbpKernel fbp;
    int n = 0;
    int nProj = 0;
    CtJob job;
    CtRegion region;
    CtResult last;
    // The absorbance taken at the start, already divided by nProj.
    std::vector<double> rows;
    int rowLen = 0;
    // The projection the pacing is due to deliver next, and whether an
    // at-once slice is waiting: steps left over from an earlier start are
    // dropped.
    int nextIz = 0;
    bool allPending = false;
    bool stepping = false;
    // Every projection of the slice has been added.
    bool completed = false;
};
