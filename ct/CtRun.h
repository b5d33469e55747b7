#pragma once
// The pool of slice workers and the bookkeeping of a reconstruction run:
// which slices are still to be handed out, which workers are computing, and
// when the run ends.  Lives in the GUI thread; the main window delegates its
// run slots here and shows the times this class reports.
#include "CtCond.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSemaphore>
#include <QString>

#include <vector>

class CtCalc2;
class CtCalc2Ui;
class ImgDatas;
class ProcCtrl;
class QThread;
class Sinogram;

class CtRun : public QObject
{
    Q_OBJECT
public:
    explicit CtRun(QObject* parent = nullptr);
    // Quits and waits for every worker thread, then deletes workers and panels.
    ~CtRun() override;

    // count workers, each with its panel (unparented: the owner places it)
    // and its own thread.  Nothing for count <= 0 or once a pool exists.
    void createPool(int count);
    int count() const { return int(workers.size()); }
    CtCalc2* worker(int i) const;
    CtCalc2Ui* panel(int i) const;
    const QList<CtCalc2*>& workerList() const { return workers; }
    const QList<CtCalc2Ui*>& panelList() const { return panels; }

    // Where the conditions and the sinograms come from; set by the owner.
    ProcCtrl* procCtrl = nullptr;
    Sinogram* sinogram = nullptr;
    // The calculator selection and "show result" state the run copies.
    bool selectCt1 = false;
    bool selectCt2 = true;
    bool genImg = true;
    // Auto-save settings copied into every worker at the start of a run.
    bool saveImg = false;
    QString imgPath, imgName, imgTag;
    bool saveDat = false;
    QString datPath, datName, datTag;

    bool active = false;
    CtCond cond;
    long long nextSlice = 0;
    QDateTime startTime;
    QDateTime endTime;

    // Workers with a request handed out and not yet finished.
    int pendingCount() const;
    // Seconds between start and end of the last run.
    double spentSeconds() const;

signals:
    void startCt(CtCalc2* ctc2, bool rotAxIsV, double cor, int slice, bool genImg);
    void startCt(CtCalc2* ctc2, bool rotAxIsV, double cor, int slice);
    // A run began (startTime set) and ended (endTime set).
    void runStarted();
    void runStopped();
    // The single-slice calculator is to run (CT1 selected, no series).
    void execCt1();
    void calcFinished();

public slots:
    // Takes the run conditions from the process control panel.  On return the
    // run is active (unless it had nothing to do and stopped at once) and the
    // first slices are handed out as queued requests; the run ends with
    // runStopped() and calcFinished() after the last slice's worker reports.
    void startCalcCt();
    // Starts with conditions given by the caller.
    void startCalcCtWith(const CtCond& c);
    // Stopping a run.  When the call returns: active is false, endTime is set,
    // runStopped() and calcFinished() have been emitted, and no further slice
    // will be handed out.  Workers still computing finish their slice and
    // write its files; only their calcFinished() (pendingCount() back to 0)
    // says that they are done and idle.  A slice cannot be aborted.
    void stopCalcCt();
    void setupFFT();
    void setupSaveConds();
    void execSingleCtCalc();
    void execMultiCtCalc();

private:
    void workerFinished(int i);
    void deal(int i, long long slice);
    // Sizes worker i's kernel for this run (GUI thread, worker idle).
    void sizeKernel(int i);
    int usedWorkers() const;

    QList<CtCalc2*> workers;
    QList<CtCalc2Ui*> panels;
    QList<QThread*> threads;
    // Requests handed to each worker and not yet finished, in all runs and
    // in the current one.
    std::vector<int> pending;
    std::vector<int> pendingThisRun;
    // Kernel size of the current run.
    int fftN = 0;
    int fftNProj = 0;
    bool seriesDealt = false;
    // A single slice waits for the first worker to finish an older run's slice.
    bool waitingFirst = false;
    QSemaphore gate;
};
