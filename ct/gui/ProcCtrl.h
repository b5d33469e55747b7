#pragma once
// Reconstruction parameters shared by the whole application: rotation axis,
// centre of rotation, current slice, slice series and worker count; the
// filter, pixel size and ring removal of the reconstruction, and the
// corrections of whole projections (zingers, phase retrieval, binning).
#include "CtCond.h"
#include "ui_ProcCtrl.h"

#include <QFrame>

class QAbstractButton;
class QButtonGroup;

class ProcCtrl : public QFrame
{
    Q_OBJECT
public:
    explicit ProcCtrl(QWidget* parent = nullptr);

    // The run conditions as they stand now; ct1 and ct2 belong to the caller.
    CtCond ctCond() const { return *cond; }
    // From now on the conditions are *c (the session's): the panel's values
    // go there now (but ct1, ct2 and the invalid-sample limit, which it does
    // not show), every edit and every setter writes its field there.  Until
    // then the panel keeps conditions of its own.
    void bindTo(CtCond* c);

    bool rotAxIsV = false;
    int sliceNo = 0;
    double cor = 0.0;

    // The slice series' ends as typed.
    QString sliceFromText() const;
    QString sliceToText() const;
    int threads() const;
    // The thread count offered up to max, set to value.
    void setThreads(int max, int value);
    void setThreads(int value);
    int ringSize() const;
    // The sinogram follows every change of the slice or the axis.
    bool autoSinogram() const;
    void setAutoSinogram(bool on);
    // A run reconstructs the slice series (else the one slice).
    bool autoExec() const;
    void setAutoExec(bool on);
    // Loads read only the lines of the slices.
    bool sliceRowsOnly() const;
    void setSliceRowsOnly(bool on);
    // The axis shown as vertical (or horizontal), as if clicked.
    void showRotAx(bool vertical);

signals:
    void autoUpdateUpdated();
    void autoExecUpdated();
    void threadsUpdated();
    void ringSizeUpdated();
    void sliceRowsOnlyUpdated(bool on);
    void rotAxUpdated();
    void sliceNoUpdated();
    void corUpdated();
    // Zinger removal, phase retrieval, binning or the angles changed: the
    // sinogram a run would make changed with them.
    void correctionsUpdated();
    // The Auto button: find the centre on the current slice.
    void corAutoRequested();
    // The Sweep button: trial slices about the centres around the current one.
    void corSweepRequested();

public slots:
    void setCor(double cor);
    void setSliceNo(int sliceNo);
    void setSliceFrom(int from);
    void setSliceTo(int to);
    void setSliceStep(int step);
    void setFilter(const FbpFilter& filter);
    // 0: no pixel size (the field is emptied).
    void setPixelSize(double um);
    void setRingSize(int size);
    void setAngles(AngularRange range);
    // 0: off.
    void setZinger(double threshold);
    // Off settings empty the field.
    void setPaganin(const PaganinParams& params);
    // 1, 2 or 4.
    void setBinning(int factor);

private:
    Ui::ProcCtrl ui;
    void sliceNoEditingFinished();
    void corEditingFinished();
    void rotAxSelectionChanged(QAbstractButton* button);
    // Each control writes its field into cond when edited.
    void connectFields();
    void readSeries();

    QButtonGroup* rotAxGroup = nullptr;
    CtCond own;
    CtCond* cond = &own;
    // A setter shows the exact value it wrote: the text is not read back.
    bool showing = false;
};
