#include "CtCalcBase.h"

#include "ColorBar.h"
#include "FieldWidth.h"
#include "WrapLayout.h"

#include <QGridLayout>
#include <QLineEdit>

#include <cmath>

namespace {
QString num(double v)
{
    return QString::number(v, 'g', 6);
}

// NaN reads back as NaN: counting it as a change would pass a region
// between the panels for ever.
bool sameValue(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}
} // namespace

CtCalcBase::CtCalcBase(QWidget* parent) : QFrame(parent)
{
    ui.setupUi(this);
    cbar = ui.DispCt->CBar;
    // The calculation region goes under the display region, column by
    // column, so the panel stays narrow enough for small screens.
    QWidget* calcRow[] = {ui.label_7, ui.Crx0, ui.Crz0, ui.label_6, ui.Crx1, ui.Crz1};
    for (int i = 0; i < 6; ++i) {
        ui.gridLayout_3->removeWidget(calcRow[i]);
        ui.gridLayout_3->addWidget(calcRow[i], 1, i + 1);
    }
    // The run's row (start, slice, times) wraps where the tab is narrow.
    WrapLayout::takeOver(ui.frame);
    for (QLineEdit* e : {ui.Drx0, ui.Drz0, ui.Drx1, ui.Drz1, ui.Crx0, ui.Crz0, ui.Crx1, ui.Crz1})
        FieldWidth::fit(e, FieldWidth::position());
    FieldWidth::fit(ui.ShowSliceNo, FieldWidth::count());
    FieldWidth::fit(ui.StartT, FieldWidth::timeOfDay());
    FieldWidth::fit(ui.EndT, FieldWidth::timeOfDay());
    FieldWidth::fit(ui.SpentT, FieldWidth::seconds());
    // The read-out adds mu in 1/cm when a pixel size is known.
    FieldWidth::fit(ui.DispCt->Val, QStringLiteral("%1 (%1 /cm)").arg(FieldWidth::number()));
    connect(ui.SetCRegion, &QPushButton::clicked, this, &CtCalcBase::setCRegion);
    connect(ui.DispCt, &ImgDisp::newS, this, &CtCalcBase::noticedNewS);
    setCR(0, 0, 2047, 2047);
    // A placeholder: the first slice computed replaces it with its full image.
    regionSet = false;
}

double CtCalcBase::fieldValue(const QLineEdit* field)
{
    return field->text().toDouble();
}

CtRegion CtCalcBase::calcRegion() const
{
    return {fieldValue(ui.Crx0), fieldValue(ui.Crz0), fieldValue(ui.Crx1), fieldValue(ui.Crz1)};
}

CtView CtCalcBase::view() const
{
    CtView v;
    v.wholeImage = !regionSet;
    v.region = calcRegion();
    v.colours = cbar->snapshot();
    // A saved picture holds the calculation region (what the data file
    // holds), whatever part of the image the display shows.
    if (regionSet) {
        const double x0 = std::trunc(v.region.x0), z0 = std::trunc(v.region.z0);
        v.pictureRect = QRectF(x0, z0, std::ceil(v.region.x1) - x0, std::ceil(v.region.z1) - z0);
    }
    return v;
}

CtRegion CtCalcBase::dispRegion() const
{
    return {fieldValue(ui.Drx0), fieldValue(ui.Drz0), fieldValue(ui.Drx1), fieldValue(ui.Drz1)};
}

bool CtCalcBase::changeFields(QLineEdit* f0, QLineEdit* f1, QLineEdit* f2, QLineEdit* f3,
                              double v0, double v1, double v2, double v3)
{
    QLineEdit* f[4] = {f0, f1, f2, f3};
    const double v[4] = {v0, v1, v2, v3};
    double before[4];
    for (int i = 0; i < 4; ++i)
        before[i] = fieldValue(f[i]);
    for (int i = 0; i < 4; ++i)
        f[i]->setText(num(v[i]));
    bool changed = false;
    for (int i = 0; i < 4; ++i)
        changed = changed || !sameValue(fieldValue(f[i]), before[i]);
    return changed;
}

void CtCalcBase::setCR(double rx0, double rz0, double rx1, double rz1)
{
    if (!changeFields(ui.Crx0, ui.Crz0, ui.Crx1, ui.Crz1, rx0, rz0, rx1, rz1))
        return;
    regionSet = true;
    emit cRUpdated(rx0, rz0, rx1, rz1);
}

void CtCalcBase::setDR(double rx0, double rz0, double rx1, double rz1)
{
    if (!changeFields(ui.Drx0, ui.Drz0, ui.Drx1, ui.Drz1, rx0, rz0, rx1, rz1))
        return;
    ui.DispCt->view = QRectF(rx0, rz0, rx1 - rx0, rz1 - rz0);
    ui.DispCt->scaleSet = true;
    ui.DispCt->dispA->update();
    emit dRUpdated(rx0, rz0, rx1, rz1);
}

void CtCalcBase::noticedNewS(QRectF s)
{
    setDR(s.x(), s.y(), s.x() + s.width(), s.y() + s.height());
}

void CtCalcBase::setCRegion()
{
    setCR(std::floor(fieldValue(ui.Drx0)), std::floor(fieldValue(ui.Drz0)), std::ceil(fieldValue(ui.Drx1)),
          std::ceil(fieldValue(ui.Drz1)));
}

void CtCalcBase::showStartTime()
{
    showStartTimeAt(QDateTime::currentDateTime());
}

void CtCalcBase::showEndTime()
{
    showEndTimeAt(QDateTime::currentDateTime());
}

void CtCalcBase::showStartTimeAt(const QDateTime& t)
{
    startTime = t;
    ui.StartT->setText(t.toString(QStringLiteral("hh:mm:ss.zzz")));
}

void CtCalcBase::showEndTimeAt(const QDateTime& t)
{
    endTime = t;
    ui.EndT->setText(t.toString(QStringLiteral("hh:mm:ss.zzz")));
}

void CtCalcBase::showSpentT()
{
    ui.SpentT->setText(num(startTime.msecsTo(endTime) / 1000.0));
}

void CtCalcBase::showSliceNo(int no)
{
    ui.ShowSliceNo->setText(QString::number(no));
}

void CtCalcBase::takeImage(const QImage& img, bool show)
{
    ui.DispCt->image = img;
    if (show)
        ui.DispCt->newImage();
}

void CtCalcBase::setFixColorScale(bool f)
{
    cbar->setFixColorScale(f);
}

void CtCalcBase::setCBarMinMaxForced(double min, double max)
{
    cbar->setMinMaxForced(min, max);
}

void CtCalcBase::showValue(double v)
{
    if (!(valueToPerCm > 0)) {
        ui.DispCt->setVal(v);
        return;
    }
    ui.DispCt->Val->setText(QStringLiteral("%1 (%2 /cm)").arg(num(v), num(v * valueToPerCm)));
}

void CtCalcBase::showUnits()
{
    if (!cbar)
        return;
    cbar->setUnitFactor(valueToPerCm);
    cbar->setToolTip(valueToPerCm > 0 ? QStringLiteral("mu in 1/cm = value x %1").arg(num(valueToPerCm))
                                      : QString());
}
