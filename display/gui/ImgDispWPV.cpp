#include "ImgDispWPV.h"

#include "FieldWidth.h"
#include "WrapLayout.h"

#include <QGridLayout>

#include <algorithm>

ImgDispWPV::ImgDispWPV(QWidget* parent) : ImgDispWCBar(parent)
{
    ui.setupUi(this);
    Val = ui.Val;
    // The form keeps a name already given; this level names the widget.
    setObjectName(QStringLiteral("ImgDispWPV"));
    // The position read-outs first, the colour scale after them; each
    // label stays with its field when the row wraps.
    WrapLayout::takeOver(ui.PVFrame);
    cbarLayout->insertWidget(0, ui.PVFrame);
    FieldWidth::fit(ui.PosX, FieldWidth::count());
    FieldWidth::fit(ui.PosY, FieldWidth::count());
    FieldWidth::fit(Val, FieldWidth::number());
    // The form's 65 pixels cut the caption in some fonts.
    ui.ResetScale->setMaximumWidth(std::max(ui.ResetScale->maximumWidth(), ui.ResetScale->sizeHint().width()));
    connect(this, &ImgDisp::newPos, this, &ImgDispWPV::noticedNewPos);
    connect(ui.ResetScale, &QPushButton::clicked, this, &ImgDisp::resetScale);
    resize(width(), width());
}

void ImgDispWPV::noticedNewPos(int ix, int iy)
{
    ui.PosX->setText(QString::number(ix, 'g', 6));
    ui.PosY->setText(QString::number(iy, 'g', 6));
    emit newPosInvY(ix, iy);
}

void ImgDispWPV::setVal(double v)
{
    Val->setText(QString::number(v, 'g', 6));
}
