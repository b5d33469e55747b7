#include "Sinogram.h"

#include "ImgData.h"
#include "ImgDatas.h"
#include "ProcCtrl.h"
#include "SinogramGen.h"
#include "SinogramImage.h"

#include <QDebug>

#include <vector>

namespace {
double numberOrZero(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? v : 0.0;
}
} // namespace

Sinogram::Sinogram(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    connect(DispSinogram, &ImgDispWPV::newPosInvY, this, &Sinogram::newPos);
    connect(DispSinogram, &ImgDispWCBar::newBar, this, &Sinogram::genImage);
    connect(Cor, &QLineEdit::editingFinished, this, &Sinogram::corEditingFinished);
    // "Gen Image" makes the sinogram of the current slice even without
    // auto-update; ticking the Fourier box shows the present record at once.
    connect(GenImg, &QPushButton::clicked, this, [this] {
        if (!procCtrl)
            return;
        genSinogram();
        genImage();
    });
    connect(GenFouS, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            genFouSImage();
    });
}

Sinogram::~Sinogram()
{
    hSgm.resize(0, 0);
}

void Sinogram::newPos(double x, double y)
{
    double v;
    if (sinogramValueAt(hSgm, x, y, v))
        DispSinogram->setVal(v);
}

void Sinogram::corUpdated()
{
    if (procCtrl)
        Cor->setText(QString::number(procCtrl->cor, 'g', 6));
    genSgmImage();
}

void Sinogram::sliceNoUpdated()
{
    genSgmImage();
}

void Sinogram::rotAxUpdated()
{
    genSgmImage();
}

void Sinogram::autoUpdateUpdated()
{
    genSgmImage();
}

void Sinogram::corEditingFinished()
{
    if (!procCtrl)
        return;
    // The process control panel takes a differing value (a NaN on either side
    // differs), shows it and announces it; the announcement comes back here.
    procCtrl->setCor(numberOrZero(Cor->text()));
}

void Sinogram::genSinogram0(HSgm* h, bool rotAxIsV, double cor, int slice)
{
    if (!imgs || !h)
        return;
    ::genSinogram(*imgs, h, rotAxIsV, cor, slice);
}

void Sinogram::genSinogram()
{
    if (!procCtrl)
        return;
    genSinogram0(&hSgm, procCtrl->rotAxIsV, procCtrl->cor, procCtrl->sliceNo);
}

void Sinogram::genImage()
{
    ColorBar* bar = DispSinogram->CBar;
    // Without samples the scale keeps its limits rather than taking the
    // empty scan's start values.
    if (sinogramRange(hSgm, minV, maxV))
        bar->autoMinMax(minV, maxV);
    DispSinogram->image = sinogramImage(hSgm, *bar);
    DispSinogram->newImage();
    DispSinogram->update();
    if (GenFouS->isChecked())
        genFouSImage();
}

void Sinogram::genSgmImage()
{
    if (!procCtrl || !procCtrl->AutoUpdate->isChecked())
        return;
    genSinogram();
    genImage();
}

void Sinogram::genFouSImage()
{
    if (!GenFouS->isChecked())
        return;
    std::vector<double> mag;
    const bool ok = fourierSinogram(hSgm, mag);
    ColorBar* bar = DispFouS->CBar;
    bar->autoMinMax(-10, 10);
    DispFouS->image = ok ? greyImage(mag.data(), hSgm.nx, 2 * hSgm.nth, *bar) : QImage();
    DispFouS->newImage();
    DispFouS->update();
}

void Sinogram::setGenFouS(bool f)
{
    GenFouS->setChecked(f);
}
