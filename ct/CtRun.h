#pragma once
// The pool of slice workers and the bookkeeping of a reconstruction run:
// which slices are still to be handed out, which workers are computing, and
// when the run ends.  Lives in the GUI thread (or a tool's main thread) and
// knows no widget: the window publishes its panels' state through viewOf and
// takes results from the workers' signals.
#include "CtCond.h"
#include "CtJob.h"
#include "CtResult.h"
#include "CtRunReport.h"
#include "EnergyShifts.h"
#include "ReconSettings.h"
#include "SliceStepper.h"
#include "WorkProgress.h"
#include "FbpKernel.h"
#include "VolumeWriter.h"
#include "OutputGuard.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSemaphore>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class CorrectedSeries;
class CtCalc2;
class ImgDatas;
class QThread;
class WorkerPool;

class CtRun : public QObject
{
    Q_OBJECT
public:
    explicit CtRun(QObject* parent = nullptr);
    // Waits for every worker to finish what it was sent, then deletes the
    // workers here (their FFT plans go in this thread).
    ~CtRun() override;

    // count workers, each in a thread of its own: thread i of the shared
    // pool (count is cut to its size), or of a pool the run makes without
    // one.  Nothing for count <= 0 or once the workers exist.
    void createPool(int count, WorkerPool* shared = nullptr);
    int count() const { return int(workers.size()); }
    CtCalc2* worker(int i) const;
    const QList<CtCalc2*>& workerList() const { return workers; }

    // The projections (with I0 and BG) the runs read; set by the owner and
    // not changed while imagesInUse().
    ImgDatas* images = nullptr;
    // What the panel of worker i (i = -1: the CT1 panel) publishes for the
    // next slice: region, colour scale, picture part.  Called in this
    // thread when a slice is dealt.  Without it every worker uses the run's
    // region and default colours.
    std::function<CtView(int)> viewOf;

    bool active = false;
    long long nextSlice = 0;
    QDateTime startTime;
    QDateTime endTime;

    // Workers with a request handed out and not yet finished.
    int pendingCount() const;
    // The run's projections are being corrected (before its first slice, or
    // after a stop until the thread has seen it): they are still read.
    bool correcting() const;
    // Seconds between start and end of the last run.
    double spentSeconds() const;
    // Slices of the current (or last) run finished, out of those it deals,
    // and the time since it started.
    WorkProgress progress() const;
    // The settings of the current (or last) run.
    const ReconSettings& settings() const { return current; }
    // Slices a run with conditions c deals (a series, or one slice).
    static int slicesOf(const CtCond& c);
    // Why the last run was refused; empty when it ran.
    QString refusal() const { return refusedWhy; }
    // The record of the last run (written beside its files when it wrote any).
    const CtRunReport& report() const { return runReport; }
    // Where the last run's report goes; empty when the run saves nothing.
    QString reportPath() const { return runReportPath; }
    // The single-slice calculator (CT1) of the runs: a run with CT1 chosen
    // hands it the job of its slice (made as a worker's, by makeJob) and
    // takes its result into the report; a panel may show its steps.
    SliceStepper& ct1() { return stepper; }
    const SliceStepper& ct1() const { return stepper; }
    // Why a run with settings s could not produce anything (no images,
    // a named reference missing, no calculator, no threads, centre, slices
    // or region outside the image); empty when it can run.
    QString whyRefused(const ReconSettings& s) const;
    // The job worker i (-1: CT1) would get for slice now (the run's save settings).
    CtJob makeJob(int i, int slice) const;
    // The projections the current run reads: corrected once at its start
    // when it bins, removes zingers, retrieves phase or joins an offset
    // axis (cond then holds the centre and slices on them); else images.
    ImgDatas* runImages() const;

signals:
    // A slice was dealt to worker ctc2 (the job goes to that worker alone).
    void startCt(CtCalc2* ctc2, CtJob job);
    // A run began (startTime set) and ended (endTime set).
    void runStarted();
    void runStopped();
    void calcFinished();
    // A worker or CT1 finished a slice (of this run or an earlier one).
    void sliceFinished(CtResult result);
    // While the projections are corrected: now and then, and at the end.
    void correctionProgress();
    void correctionsEnded();

public slots:
    // A run with settings s.  On return the run is active (unless it was
    // refused or had nothing to do and stopped at once) and the first slices
    // are handed out as queued requests; the run ends with runStopped() and
    // calcFinished() after the last slice's worker reports.
    void start(const ReconSettings& s);
    // Stopping a run.  When the call returns: active is false, endTime is set,
    // runStopped() and calcFinished() have been emitted, and no further slice
    // will be handed out.  Workers still computing finish their slice and
    // write its files; only their calcFinished() (pendingCount() back to 0)
    // says that they are done and idle.  A slice cannot be aborted.
    void stopCalcCt();
    // A quit signal: the run stops, requests not yet begun are dropped,
    // slices in progress finish and write their files, and the report says
    // the run was interrupted.  For good: the pool takes no more work.
    void interrupt();

private:
    // Sizes the kernels of the workers the run uses.
    void setupFFT();
    // Removes the temporary files ended runs left in the output directories.
    void removeStaleTemps() const;
    // Starts the single slice (CT1 and/or the first worker).
    void execSingleCtCalc();
    // Deals series slices to idle workers; ends the run when all are back.
    void execMultiCtCalc();
    void workerFinished(int i, const CtResult& r);
    // Starts CT1 on the run's slice; false, with the failure counted and
    // reported, when it gives nothing.
    bool startCt1();
    void ct1Finished(const CtResult& r);
    // A CT1 result of the current run into its report.
    void addToReport(const CtResult& r);
    void deal(int i, long long slice);
    // Sends job to worker i only.
    void send(int i, const CtJob& job);
    // Sizes worker i's kernel for this run (GUI thread, worker idle).
    void sizeKernel(int i);
    int usedWorkers() const { return usedWorkers(current.cond); }
    int usedWorkers(const CtCond& c) const;
    CtView viewFor(int i, const ReconSettings& s) const;
    QString checkRegion(const CtView& v, int n, const QString& who) const;
    // Why the I0 and BG images cannot normalise the series (a projection
    // that is a reference, an I0 not brighter than BG); empty when they can.
    QString referenceRefusal(ImgDatas* set) const;
    void startReport();
    // The drift correction of the run's energy (settings' shiftsFile): why
    // it cannot be applied, empty when it can or none is asked for.
    QString shiftRefusal();
    void saveReport();
    // Why the run's outputs must not be written (one is an input, another
    // run writes the same name); takes the output name's locks otherwise.
    QString outputRefusal();
    // Where the report of a run with the frozen save settings goes.
    QString reportPathFor() const;
    // Moves cond's centre, slices and pixel size onto binned images.
    void binForRun();
    struct Correction;
    // Starts correcting the images for the run in a thread of its own: true
    // when it did; false when the run needs no corrections or they were
    // refused (refusedWhy).
    bool startCorrections();
    // The corrected images are in: cond moves onto them and dealing begins.
    void correctionsMade(const Correction& job);
    // Cancels a correction still going and waits for its thread.
    void endCorrection();
    // Refuses the run with refusedWhy, or deals its first slices.
    void beginDealing();
    // whyRefused's checks of the conditions against set; with inputs, also
    // those of the references.
    QString whyRefusedOn(const ReconSettings& s, ImgDatas* set, bool inputs) const;
    // Threads that correct the projections of a run with conditions c.
    int correctionThreads(const CtCond& c) const;
    // Why the corrections asked for cannot be made on the loaded images.
    QString correctionRefusal(const ReconSettings& s) const;
    void addToVolume(const CtResult& r);
    void finishVolume();

    QList<CtCalc2*> workers;
    SliceStepper stepper;
    // The workers' threads when no shared pool was given.
    std::unique_ptr<WorkerPool> ownPool;
    // Requests handed to each worker and not yet finished, in all runs and
    // in the current one.
    std::vector<int> pending;
    std::vector<int> pendingThisRun;
    // Kernel size of the current run.
    int fftN = 0;
    int fftNProj = 0;
    // Projection angles of the run's series (empty: evenly spread).
    std::vector<double> fftAngles;
    FbpKernel::Precision runPrecision = FbpKernel::Precision::Single;
    bool seriesDealt = false;
    // A single slice waits for the first worker to finish an older run's slice.
    bool waitingFirst = false;
    QSemaphore gate;
    int runId = 0;
    // The settings of the current run, taken at its start.
    ReconSettings current;
    const CtCond& cond = current.cond;
    QString refusedWhy;
    int doneThisRun = 0;
    QElapsedTimer runClock;
    CtRunReport runReport;
    QString runReportPath;
    // Locks of the output names, held until the run's last slice is written.
    OutputGuard outputLocks;
    int reportRun = -1;
    // The corrected projections of the current run, and those of earlier
    // runs whose slices may still be computing.
    std::shared_ptr<CorrectedSeries> corrected;
    std::vector<std::shared_ptr<CorrectedSeries>> retired;
    // The conditions as requested (cond may be moved onto corrected images).
    CtCond requestedCond;
    VolumeWriter volume;
    // The current run's energy shift (off without a shifts table).
    AppliedShift shift;
    // The correction going on, its thread, and the ticks of its progress.
    std::shared_ptr<Correction> correction;
    QThread* correctionThread = nullptr;
    QTimer correctionTicks;
};
