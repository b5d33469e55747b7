#include "MouseC.h"

#include "DispMath.h"

#include <QMouseEvent>
#include <QWheelEvent>

namespace {
struct Pos {
    int x;
    int y;
};

Pos posOf(const QSinglePointEvent* e)
{
    const QPointF p = e->position();
    return { truncToInt(p.x()), truncToInt(p.y()) };
}
} // namespace

MouseC::MouseC(QObject* parent) : QObject(parent)
{
    // The state travels in queued signals to other threads' receivers.
    qRegisterMetaType<MouseC::MStat>("MouseC::MStat");
}

MouseC::MStat MouseC::stat(int button, int modifiers)
{
    int base;
    if (button == Qt::LeftButton)
        base = L;
    else if (button == Qt::RightButton)
        base = R;
    else
        return NoStat;
    const bool s = modifiers & Qt::ShiftModifier;
    const bool c = modifiers & Qt::ControlModifier;
    const bool a = modifiers & Qt::AltModifier;
    int code = 0;
    if (s && c && a)
        code = 7;
    else if (c && a)
        code = 6;
    else if (s && a)
        code = 5;
    else if (s && c)
        code = 4;
    else if (a)
        code = 3;
    else if (c)
        code = 2;
    else if (s)
        code = 1;
    return MStat(base + code);
}

void MouseC::captureMove(QMouseEvent* e)
{
    const Pos p = posOf(e);
    prevX = x;
    prevY = y;
    x = p.x;
    y = p.y;
    button = int(e->button());
    modifiers = int(e->modifiers());
    emit mMoved();
}

void MouseC::capturePress(QMouseEvent* e)
{
    const Pos p = posOf(e);
    prevX = x;
    prevY = y;
    x = pressX = p.x;
    y = pressY = p.y;
    pressed = true;
    button = pressButton = int(e->button());
    modifiers = pressModifiers = int(e->modifiers());
    emit mPressed();
}

void MouseC::captureRelease(QMouseEvent* e)
{
    const Pos p = posOf(e);
    prevX = x;
    prevY = y;
    x = releaseX = p.x;
    y = releaseY = p.y;
    pressed = false;
    button = releaseButton = int(e->button());
    modifiers = releaseModifiers = int(e->modifiers());
    emit mReleased();
}

void MouseC::captureDClick(QMouseEvent* e)
{
    const Pos p = posOf(e);
    dClickX = p.x;
    dClickY = p.y;
    button = dClickButton = int(e->button());
    modifiers = dClickModifiers = int(e->modifiers());
    emit mDClicked();
}

void MouseC::captureWheel(QWheelEvent* e)
{
    wheelSteps = e->angleDelta().y() * 0.125 / 15;
    zoomFactor = wheelSteps < 0 ? 1.1 : 1 / 1.1;
}
