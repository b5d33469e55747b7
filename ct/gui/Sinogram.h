#pragma once
// The sinogram of the current slice, its picture (and on request the
// magnitude of its 2-D Fourier transform), and the CoR typed here or in the
// process control panel.
#include "HSgm.h"
#include "ui_Sinogram.h"

#include <QFrame>

class ImgDatas;
class ProcCtrl;

class Sinogram : public QFrame
{
    Q_OBJECT
public:
    explicit Sinogram(QWidget* parent = nullptr);
    ~Sinogram() override;

    // Set by the owner after construction; null until then.
    ProcCtrl* procCtrl = nullptr;
    ImgDatas* imgs = nullptr;
    // The sinogram's picture and its Fourier magnitude's (the form's displays).
    ImgDispWPV* DispSinogram = nullptr;
    ImgDispWPV* DispFouS = nullptr;

    HSgm hSgm;
    // What the pictures and the read-out show: hSgm, or with ring removal
    // set, hSgm with its stripes filtered out.
    const HSgm& shown() const;
    double minV = 0.0;
    double maxV = 0.0;

public slots:
    void newPos(double x, double y);
    void corUpdated();
    void sliceNoUpdated();
    void rotAxUpdated();
    void autoUpdateUpdated();
    void corEditingFinished();
    // Safe from worker threads: reads the image set, writes only into hSgm.
    void genSinogram0(HSgm* hSgm, bool rotAxIsV, double cor, int slice);
    void genSinogram();
    void genImage();
    void genSgmImage();
    void genFouSImage();
    void setGenFouS(bool f);

private:
    Ui::Sinogram ui;
    HSgm filtered;
    bool useFiltered = false;
};
