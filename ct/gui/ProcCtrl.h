#pragma once
// Reconstruction parameters shared by the whole application: rotation axis,
// centre of rotation, current slice, slice series and worker count.
#include "CtCond.h"
#include "ui_ProcCtrl.h"

#include <QFrame>

class QAbstractButton;
class QButtonGroup;

class ProcCtrl : public QFrame, public Ui_ProcCtrl
{
    Q_OBJECT
public:
    explicit ProcCtrl(QWidget* parent = nullptr);

    // The run conditions as they stand now; ct1 and ct2 belong to the caller.
    CtCond ctCond() const;

    bool rotAxIsV = false;
    int sliceNo = 0;
    double cor = 0.0;

signals:
    void autoUpdateUpdated();
    void autoExecUpdated();
    void rotAxUpdated();
    void sliceNoUpdated();
    void corUpdated();
    void askGenImage();
    // The Auto button: find the centre on the current slice.
    void corAutoRequested();

public slots:
    void sliceNoEditingFinished();
    void corEditingFinished();
    void rotAxSelectionChanged(QAbstractButton* button);
    void setCor(double cor);
    void setSliceNo(int sliceNo);
    void setSliceFrom(int from);
    void setSliceTo(int to);
    void setSliceStep(int step);

private:
    QButtonGroup* rotAxGroup = nullptr;
};
