#include "ImgDispWCBar.h"

#include "WrapLayout.h"

#include <QGridLayout>

ImgDispWCBar::ImgDispWCBar(QWidget* parent) : ImgDisp(parent), cbarLayout(new WrapLayout)
{
    Ui_ImgDispWCBar::setupUi(this);
    // The form keeps a name already given; this level names the widget.
    setObjectName(QStringLiteral("ImgDispWCBar"));
    gridLayout->addWidget(CBar, 0, 1);
    gridLayout->addLayout(cbarLayout, 1, 0, 1, 2);
    // Height to spare goes to the picture, not around the read-outs.
    gridLayout->setRowStretch(0, 1);
    gridLayout->setRowStretch(1, 0);
    WrapLayout::takeOver(CBar->ui.CBarUIBase);
    cbarLayout->addWidget(CBar->ui.CBarUIBase);
    connect(CBar, &ColorBar::newBar, this, &ImgDispWCBar::newBar);
}
