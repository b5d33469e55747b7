#include "Sinogram.h"

#include "FieldWidth.h"

#include "CorrectedSeries.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "Logging.h"
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
    ui.setupUi(this);
    DispSinogram = ui.DispSinogram;
    DispFouS = ui.DispFouS;
    FieldWidth::fit(ui.Cor, FieldWidth::position());
    connect(ui.DispSinogram, &ImgDispWPV::newPosInvY, this, &Sinogram::newPos);
    connect(ui.DispSinogram, &ImgDispWCBar::newBar, this, &Sinogram::genImage);
    connect(ui.Cor, &QLineEdit::editingFinished, this, &Sinogram::corEditingFinished);
    // "Gen Image" makes the sinogram of the current slice even without
    // auto-update; ticking the Fourier box shows the present record at once.
    connect(ui.GenImg, &QPushButton::clicked, this, [this] {
        if (!procCtrl)
            return;
        genSinogram();
        genImage();
    });
    connect(ui.GenFouS, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            genFouSImage();
    });
}

Sinogram::~Sinogram()
{
    hSgm.resize(0, 0);
}

const HSgm& Sinogram::shown() const
{
    return useFiltered ? filtered : hSgm;
}

void Sinogram::newPos(double x, double y)
{
    double v;
    if (sinogramValueAt(shown(), x, y, v))
        ui.DispSinogram->setVal(v);
}

void Sinogram::corUpdated()
{
    if (procCtrl)
        ui.Cor->setText(QString::number(procCtrl->cor, 'g', 6));
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
    procCtrl->setCor(numberOrZero(ui.Cor->text()));
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
    // The sinogram a run would reconstruct: after the corrections it makes.
    const CtCond c = procCtrl->ctCond();
    if (imgs && c.correctsImages()) {
        QString why;
        if (CorrectedSeries::sinogramOf(*imgs, c, &hSgm, &why))
            return;
        qCDebug(lcCt).noquote() << QStringLiteral("Sinogram shown without its corrections: ") + why;
    }
    genSinogram0(&hSgm, procCtrl->rotAxIsV, procCtrl->cor, procCtrl->sliceNo);
}

void Sinogram::genImage()
{
    const int rings = procCtrl ? procCtrl->ringSize() : 0;
    useFiltered = rings >= 2 && hSgm.hasData();
    filtered = useFiltered ? stripeFiltered(hSgm, rings) : HSgm();
    const HSgm& h = shown();
    ColorBar* bar = ui.DispSinogram->CBar;
    // Without samples the scale keeps its limits rather than taking the
    // empty scan's start values.
    if (sinogramRange(h, minV, maxV))
        bar->autoMinMax(minV, maxV);
    ui.DispSinogram->image = sinogramImage(h, *bar);
    ui.DispSinogram->newImage();
    ui.DispSinogram->update();
    if (ui.GenFouS->isChecked())
        genFouSImage();
}

void Sinogram::genSgmImage()
{
    if (!procCtrl || !procCtrl->autoSinogram())
        return;
    genSinogram();
    genImage();
}

void Sinogram::genFouSImage()
{
    if (!ui.GenFouS->isChecked())
        return;
    std::vector<double> mag;
    const HSgm& h = shown();
    const bool ok = fourierSinogram(h, mag);
    ColorBar* bar = ui.DispFouS->CBar;
    bar->autoMinMax(-10, 10);
    ui.DispFouS->image = ok ? greyImage(mag.data(), h.nx, 2 * h.nth, *bar) : QImage();
    ui.DispFouS->newImage();
    ui.DispFouS->update();
}

void Sinogram::setGenFouS(bool f)
{
    ui.GenFouS->setChecked(f);
}
