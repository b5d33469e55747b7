#include "CtCalc2Ui.h"

#include "CtCalc2.h"

#include <cmath>

CtCalc2Ui::CtCalc2Ui(QWidget* parent) : CtCalcBase(parent)
{
    connect(DispCt, &ImgDispWPV::newPosInvY, this, &CtCalc2Ui::noticedNewPos);
}

void CtCalc2Ui::setCalc(CtCalc2* c)
{
    if (calc || !c)
        return;
    calc = c;
    // Queued into the worker's thread: it renders its last completed result.
    connect(DispCt, &ImgDispWCBar::newBar, calc, &CtCalc2::genResImage);
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
    DispCt->setVal(r->image[size_t(tz) * size_t(r->n) + size_t(tx)]);
}
