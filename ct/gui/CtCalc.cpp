#include "CtCalc.h"

#include "ColorBar.h"
#include "SinogramImage.h"
#include "SliceStepper.h"

#include <cmath>

CtCalc::CtCalc(QWidget* parent) : CtCalcBase(parent)
{
    connect(form().StartCalc, &QPushButton::clicked, this, &CtCalc::askToStartCalc);
    connect(display(), &ImgDispWCBar::newBar, this, &CtCalc::genResImage);
    connect(display(), &ImgDispWPV::newPosInvY, this, &CtCalc::noticedNewPos);
}

void CtCalc::setCalc(SliceStepper* calc)
{
    stepper = calc;
    if (!calc)
        return;
    QCheckBox* atOnce = form().CalcAtOnce;
    calc->paced = !atOnce->isChecked();
    connect(atOnce, &QCheckBox::toggled, calc, [calc](bool on) { calc->paced = !on; });
    connect(calc, &SliceStepper::started, this, [this](const CtJob& job) { started(job.slice, job.valueToPerCm); });
    connect(calc, &SliceStepper::stepped, this, &CtCalc::stepped);
    connect(calc, &SliceStepper::finished, this, &CtCalc::finished);
}

void CtCalc::started(int slice, double perCm)
{
    showStartTime();
    showSliceNo(slice);
    valueToPerCm = perCm;
    const int n = stepper->side();
    // The first slice shows its whole image until a region is chosen.
    if (!regionSet)
        setCR(0, 0, n, n);
    QImage blank(n, n, QImage::Format_Grayscale8);
    blank.fill(0);
    display()->image = blank;
}

void CtCalc::stepped()
{
    genResImage();
    if (stepper && stepper->busy())
        showEndTime();
}

void CtCalc::finished()
{
    showEndTime();
    showSpentT();
}

void CtCalc::noticedNewPos(double x, double z)
{
    if (!stepper)
        return;
    const FbpKernel& k = stepper->kernel();
    const int side = k.imageSide;
    if (side <= 0)
        return;
    const double tx = std::trunc(x);
    const double tz = std::trunc(z);
    if (!(tx >= 0 && tx < side && tz >= 0 && tz < side))
        return;
    showValue(k.imageRow(int(tz))[int(tx)]);
}

void CtCalc::genResImage()
{
    if (!stepper)
        return;
    const FbpKernel& k = stepper->kernel();
    const int n = stepper->side();
    if (!k.done || n <= 0 || k.imageSide != n)
        return;
    cbar->autoMinMax(k.minV, k.maxV);
    showUnits();
    ImgDispWPV* d = display();
    d->image = greyImage(k.image.data(), n, n, *cbar);
    d->newImage();
    d->update();
}
