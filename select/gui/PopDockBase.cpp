#include "PopDockBase.h"

#include <QGridLayout>

PopDockBase::PopDockBase(QWidget* parent) : QFrame(parent)
{
    ui.setupUi(this);
    popWin.setLayout(new QGridLayout);
    popWin.resize(500, 500);
    connect(ui.PopDock, &QPushButton::clicked, this, &PopDockBase::popDock);
    connect(&popWin, &ClosableBase::closed, this, &PopDockBase::moveToDockBase);
}

PopDockBase::~PopDockBase()
{
    // Bring the content home first, so it lives and dies with the panel
    // as when docked, rather than with the pop-up window.
    disconnect(&popWin, nullptr, this, nullptr);
    moveToDockBase();
    popWin.hide();
}

void PopDockBase::setContent(QWidget* w, QString title)
{
    content = w;
    if (w)
        ui.Layout->addWidget(w);
    popWin.setWindowTitle(title);
}

void PopDockBase::popDock()
{
    popWin.setVisible(!popWin.isVisible());
    if (popWin.isVisible())
        moveToPopBase();
    else
        moveToDockBase();
}

void PopDockBase::moveToDockBase()
{
    if (!content)
        return;
    ui.Layout->addWidget(content);
    content->show();
}

void PopDockBase::moveToPopBase()
{
    if (!content)
        return;
    popWin.layout()->addWidget(content);
    content->show();
}
