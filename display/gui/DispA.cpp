#include "DispA.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

DispA::DispA(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_MouseTracking);
}

void DispA::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int w = width();
    const int h = height();
    p.fillRect(0, 0, w, h, Qt::white);
    coord.setSRect(0, h, w, 0);
    emit drawImage0(&p);
    emit drawImage1(&p);
    emit drawImage2(&p);
}

void DispA::mouseMoveEvent(QMouseEvent* e)
{
    // Alt frees the mouse to travel without disturbing the display.
    if (e->modifiers() & Qt::AltModifier)
        return;
    mouse.captureMove(e);
    emit mouseMoved0();
    update();
}

void DispA::mousePressEvent(QMouseEvent* e)
{
    mouse.capturePress(e);
    emit mousePressed0();
}

void DispA::mouseReleaseEvent(QMouseEvent* e)
{
    mouse.captureRelease(e);
    emit mouseReleased0();
}

void DispA::mouseDoubleClickEvent(QMouseEvent* e)
{
    mouse.captureDClick(e);
    emit mouseDoubleClicked0();
}

void DispA::wheelEvent(QWheelEvent* e)
{
    mouse.captureWheel(e);
    emit wheelMoved0();
}
