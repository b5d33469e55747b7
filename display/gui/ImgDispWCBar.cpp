#include "ImgDispWCBar.h"

#include "WrapLayout.h"

#include <QGridLayout>

ImgDispWCBar::ImgDispWCBar(QWidget* parent) : ImgDisp(parent), cbarLayout(new WrapLayout)
{
    ui.setupUi(this);
    CBar = ui.CBar;
    // The form keeps a name already given; this level names the widget.
    setObjectName(QStringLiteral("ImgDispWCBar"));
    grid()->addWidget(CBar, 0, 1);
    grid()->addLayout(cbarLayout, 1, 0, 1, 2);
    // Height to spare goes to the picture, not around the read-outs.
    grid()->setRowStretch(0, 1);
    grid()->setRowStretch(1, 0);
    WrapLayout::takeOver(CBar->ui.CBarUIBase);
    cbarLayout->addWidget(CBar->ui.CBarUIBase);
    connect(CBar, &ColorBar::newBar, this, &ImgDispWCBar::newBar);
}
