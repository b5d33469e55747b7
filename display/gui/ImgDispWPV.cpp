#include "ImgDispWPV.h"

#include "FieldWidth.h"
#include "WrapLayout.h"

#include <QGridLayout>

#include <algorithm>

ImgDispWPV::ImgDispWPV(QWidget* parent) : ImgDispWCBar(parent)
{
    Ui_ImgDispWPV::setupUi(this);
    // The form keeps a name already given; this level names the widget.
    setObjectName(QStringLiteral("ImgDispWPV"));
    // The position read-outs first, the colour scale after them; each
    // label stays with its field when the row wraps.
    WrapLayout::takeOver(PVFrame);
    cbarLayout->insertWidget(0, PVFrame);
    FieldWidth::fit(PosX, FieldWidth::count());
    FieldWidth::fit(PosY, FieldWidth::count());
    FieldWidth::fit(Val, FieldWidth::number());
    // The form's 65 pixels cut the caption in some fonts.
    ResetScale->setMaximumWidth(std::max(ResetScale->maximumWidth(), ResetScale->sizeHint().width()));
    connect(this, &ImgDisp::newPos, this, &ImgDispWPV::noticedNewPos);
    connect(ResetScale, &QPushButton::clicked, this, &ImgDisp::resetScale);
    resize(width(), width());
}

void ImgDispWPV::noticedNewPos(int ix, int iy)
{
    PosX->setText(QString::number(ix, 'g', 6));
    PosY->setText(QString::number(iy, 'g', 6));
    emit newPosInvY(ix, iy);
}

void ImgDispWPV::setVal(double v)
{
    Val->setText(QString::number(v, 'g', 6));
}
