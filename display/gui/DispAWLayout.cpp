#include "DispAWLayout.h"

DispAWLayout::DispAWLayout(QWidget* parent) : QFrame(parent)
{
    ui.setupUi(this);
    dispA = ui.dispA;
    connect(dispA, &DispA::drawImage0, this, &DispAWLayout::drawImage0);
    connect(dispA, &DispA::drawImage1, this, &DispAWLayout::drawImage1);
    connect(dispA, &DispA::drawImage2, this, &DispAWLayout::drawImage2);
    connect(dispA, &DispA::mouseMoved0, this, &DispAWLayout::mouseMoved0);
    connect(dispA, &DispA::mousePressed0, this, &DispAWLayout::mousePressed0);
    connect(dispA, &DispA::mouseReleased0, this, &DispAWLayout::mouseReleased0);
    connect(dispA, &DispA::mouseDoubleClicked0, this, &DispAWLayout::mouseDoubleClicked0);
    connect(dispA, &DispA::wheelMoved0, this, &DispAWLayout::wheelMoved0);
}
