#pragma once
// The single-slice calculator ("CT1"): reconstructs the slice the sinogram
// panel shows, in the GUI thread, either at once or one projection per event
// so that the picture grows as the projections add up.  Its values are the
// mean of the back-projections, CT2's are their sum.
#include "CtCalcBase.h"
#include "CtCond.h"
#include "FbpKernel.h"

#include <QString>
#include <QStringList>

#include <limits>
#include <vector>

class CtProgress;
class HSgm;
class QThread;
class Sinogram;

class CtCalc : public CtCalcBase
{
    Q_OBJECT
public:
    explicit CtCalc(QWidget* parent = nullptr);
    ~CtCalc() override;

    Sinogram* sinogram = nullptr;   // set by the owner
    HSgm* hSgm = nullptr;           // the sinogram panel's record, taken at each start
    int n = 0;
    int nProj = 0;
    FbpKernel kernel;               // buffers, plans, image, done, minV, maxV
    // The run's filter and ring removal window (0: off), set by the owner
    // before each start.
    FbpFilter filter;
    int ringSize = 0;
    AngularRange angles = AngularRange::Half;
    // Fraction of the slice's samples that may lack a logarithm
    // (ct_max_invalid), set by the owner before each start.
    double maxInvalid = CtCond().maxInvalid;
    // Samples of the last start's slice without a logarithm, and those of
    // them repaired from their neighbours.
    long long invalidSamples = 0;
    long long repairedSamples = 0;
    int slice() const { return calcSlice; }
    bool busy = false;
    CtProgress* progress = nullptr;
    QThread* progressThread = nullptr;

    // With automatic saving a completed calculation writes its picture and
    // data file, named as CT2 names them.
    bool saveImageF = false;
    QString saveImagePath, saveImageName, saveImageTag;
    bool saveDataF = false;
    QString saveDataPath, saveDataName, saveDataTag;
    // What the last calculation wrote, and the failures of its writes.
    QStringList lastWritten;
    QStringList lastFailures;

signals:
    void askToStartCalc();
    void startCalcAll();
    void calcFinished();
    void startCalcOneByOne();
    void finishedCalcOne();

public slots:
    // Starts a calculation of the sinogram panel's slice.  At once: busy is
    // false on return and calcFinished() follows as a queued event.  One by
    // one: busy is true on return; calcOne steps follow as queued events, the
    // picture growing after each, and calcFinished() comes after the last.
    // Without a sinogram, or with one whose logarithms refuse it (the failure
    // then in lastFailures), nothing starts and no signal follows: false.
    // Reconstructs the panel's slice about cor, the centre the run uses and
    // records (NaN: the panel's centre).
    bool startCt(double cor = std::numeric_limits<double>::quiet_NaN());
    // Stopping (stopCt, endCt, calcCt while busy).  When the call returns:
    // busy is false, end and spent time are shown, calcFinished() has been
    // emitted, and steps the pacer still delivers are ignored, so the picture
    // is that of the projections done so far.  The pacing thread has only
    // been told to quit: it is finished some time later (its finished()
    // signal).  An at-once calculation cannot be stopped.
    void stopCt();
    void endCt();
    void calcAll();
    void calcOne(int iz);
    void noticedNewPos(double x, double z);
    // Stops when busy (as stopCt), starts otherwise.
    void calcCt();
    void genResImage();
    void setSaveImage(bool f, QString path, QString name, QString tag);
    void setSaveData(bool f, QString path, QString name, QString tag);

private:
    void project(int p);
    void backProject(int p);
    // Writes the files of a completed calculation (automatic saving).
    void saveResult();

    // The absorbance taken at the start, already divided by nProj: the
    // sinogram panel may make a new record while the projections are paced.
    std::vector<double> rows;
    int rowLen = 0;
    // The projection the one-by-one pacing is due to deliver next, and
    // whether an at-once calculation is waiting: steps left over from an
    // earlier start are dropped.
    int nextIz = 0;
    bool allPending = false;
    // Every projection of the current calculation has been added.
    bool completed = false;
    int calcSlice = 0;
};
