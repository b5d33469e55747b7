#pragma once
// One slice worker of the reconstruction pool, living in a thread of its
// own: sinogram, filtered back-projection, picture and data file of each
// slice it is handed.  Its panel is touched only through queued calls.
#include "CtCalcBase.h"
#include "FbpKernel.h"
#include "HSgm.h"

#include <QImage>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class CtCalc2Ui;
class QSemaphore;
class Sinogram;

// A completed slice, never changed once published: what the panel reads
// out and what a colour change re-renders while the next slice is computed.
struct CtSlice
{
    int n = 0;
    int slice = 0;
    std::vector<double> image;  // n rows of n values, row = z
    double minV = 0;
    double maxV = 0;
    CtRegion region;            // the calculation region it was made with
};

class CtCalc2 : public QObject
{
    Q_OBJECT
public:
    explicit CtCalc2(QObject* parent = nullptr);

    // The last completed slice, or null; safe from any thread.
    std::shared_ptr<const CtSlice> lastResult() const;

    CtCalc2Ui* panel = nullptr;
    Sinogram* sinogram = nullptr;
    HSgm hSgm;
    // True from the start of an accepted request until just before its
    // calcFinished() is emitted; written in this worker's thread, so a reader
    // elsewhere knows the worker is idle only once that signal has arrived.
    std::atomic<bool> busy{false};
    int imgSize = 0;
    int nth = 0;
    // Sized by the owner in the GUI thread while this worker is idle.
    FbpKernel kernel;
    QImage resImage;
    bool imgReady = false;
    bool genAndDispImage = true;
    bool saveImg = false;
    QString imgPath, imgName, imgTag;
    bool saveDat = false;
    QString datPath, datName, datTag;
    // Shared by a pool: at most as many slices are computed at once as it
    // has permits, so idle threads hold no sinogram or half-made image.
    QSemaphore* gate = nullptr;
    // Set when the pool is being destroyed: requests still queued, and a slice
    // waiting at the gate, give nothing (their calcFinished() still comes).  A
    // slice already computing runs to its end; the owner then quits and waits
    // for the thread.
    std::atomic<bool> quitting{false};

signals:
    void calcFinished();

public slots:
    void beginingCt();
    void endingCt();
    void genResImage();
    void startCt(CtCalc2* ctc2, bool rotAxIsV, double cor, int slice, bool genAndDispImage);
    void startCt(CtCalc2* ctc2, bool rotAxIsV, double cor, int slice);
    void saveImage(QString fname);
    void saveData(QString fname);
    void setSaveImage(bool f, QString path, QString name, QString tag);
    void setSaveData(bool f, QString path, QString name, QString tag);

private:
    // Sinogram to published result; false when the slice gives nothing.
    bool reconstruct(bool rotAxIsV, double cor, int slice);
    void publish(std::shared_ptr<const CtSlice> r);
    template <class F>
    void onPanel(F&& f);

    mutable QMutex resultLock;
    std::shared_ptr<const CtSlice> result;
    QDateTime startTime;
};

Q_DECLARE_METATYPE(CtCalc2*)
