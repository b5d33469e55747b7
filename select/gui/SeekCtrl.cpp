#include "SeekCtrl.h"

#include <algorithm>

SeekCtrl::SeekCtrl(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    connect(Seek, &QSlider::sliderMoved, this, &SeekCtrl::sliderMoved);
    connect(Index, &QSpinBox::valueChanged, this, &SeekCtrl::indexChanged);
    connect(Inc, &QToolButton::clicked, this, &SeekCtrl::inc);
    connect(Dec, &QToolButton::clicked, this, &SeekCtrl::dec);
}

void SeekCtrl::sliderMoved(int val)
{
    Index->setValue(val);
    emit newIndex(val);
}

void SeekCtrl::indexChanged(int val)
{
    Seek->setValue(val);
    emit newIndex(val);
}

void SeekCtrl::moveTo(int v)
{
    if (v == Seek->value())
        return;
    Seek->setValue(v);
    Index->setValue(v);
    emit newIndex(v);
}

void SeekCtrl::inc()
{
    // Stepping in ints near INT_MAX would overflow; compare before adding.
    const int cur = Seek->value();
    const int max = Seek->maximum();
    moveTo(cur >= max - step ? max : cur + step);
}

void SeekCtrl::dec()
{
    const int cur = Seek->value();
    const int min = std::max(Seek->minimum(), 0);
    moveTo(cur <= min + step ? min : cur - step);
}
