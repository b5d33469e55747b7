#include "CtCalc2Ui.h"

#include "ColorBar.h"
#include "CtCalc2.h"

#include <cmath>

CtCalc2Ui::CtCalc2Ui(QWidget* parent) : CtCalcBase(parent)
{
    // A worker's slices are dealt by the window's run, all at once: the
    // form's start button and step-by-step choice are CT1's alone.
    form().StartCalc->hide();
    form().CalcAtOnce->hide();
    connect(form().DispCt, &ImgDispWPV::newPosInvY, this, &CtCalc2Ui::noticedNewPos);
}

void CtCalc2Ui::setCalc(CtCalc2* c)
{
    if (calc || !c)
        return;
    calc = c;
    // Queued from the worker's thread into this one.
    connect(calc, &CtCalc2::calcStarted, this, &CtCalc2Ui::calcStarted);
    connect(calc, &CtCalc2::calcFinished, this, &CtCalc2Ui::takeResult);
    connect(calc, &CtCalc2::imageRendered, this, &CtCalc2Ui::takeRendered);
    connect(form().DispCt, &ImgDispWCBar::newBar, this, &CtCalc2Ui::genResImage);
}

void CtCalc2Ui::genResImage()
{
    if (!calc)
        return;
    CtCalc2* w = calc;
    const ColorSnapshot s = cbar->snapshot();
    // Drawn in the worker's thread, after any slice it is computing.
    QMetaObject::invokeMethod(w, [w, s] { w->genResImage(s); }, Qt::QueuedConnection);
}

void CtCalc2Ui::calcStarted(int slice, const QDateTime& when)
{
    showStartTimeAt(when);
    showSliceNo(slice);
}

void CtCalc2Ui::takeResult(const CtResult& r)
{
    showEndTimeAt(r.endTime);
    showSpentT();
    if (!r.ok())
        return;
    // The first slice made on the whole image sets the region to it.
    if (!regionSet && r.job.view.wholeImage)
        setCR(0, 0, r.data->n, r.data->n);
    takeRendered(r);
}

void CtCalc2Ui::takeRendered(const CtResult& r)
{
    if (r.picture.isNull())
        return;
    if (!cbar->isFixed())
        cbar->autoMinMax(r.colours.vMin, r.colours.vMax);
    valueToPerCm = r.job.valueToPerCm;
    showUnits();
    takeImage(r.picture, r.job.showImage);
}

void CtCalc2Ui::noticedNewPos(double x, double z)
{
    if (!calc)
        return;
    const std::shared_ptr<const CtSlice> r = calc->lastResult();
    if (!r || r->n <= 0)
        return;
    const double tx = std::trunc(x);
    const double tz = std::trunc(z);
    if (!(tx >= 0 && tx < r->n && tz >= 0 && tz < r->n))
        return;
    showValue(r->image[size_t(tz) * size_t(r->n) + size_t(tx)]);
}
