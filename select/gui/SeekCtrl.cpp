#include "SeekCtrl.h"

#include <QSignalBlocker>

#include <algorithm>

SeekCtrl::SeekCtrl(QWidget* parent) : QFrame(parent)
{
    ui.setupUi(this);
    connect(ui.Seek, &QSlider::sliderMoved, this, &SeekCtrl::sliderMoved);
    connect(ui.Index, &QSpinBox::valueChanged, this, &SeekCtrl::indexChanged);
    connect(ui.Inc, &QToolButton::clicked, this, &SeekCtrl::inc);
    connect(ui.Dec, &QToolButton::clicked, this, &SeekCtrl::dec);
}

void SeekCtrl::sliderMoved(int val)
{
    ui.Index->setValue(val);
    emit newIndex(val);
}

void SeekCtrl::indexChanged(int val)
{
    ui.Seek->setValue(val);
    emit newIndex(val);
}

void SeekCtrl::moveTo(int v)
{
    if (v == ui.Seek->value())
        return;
    ui.Seek->setValue(v);
    ui.Index->setValue(v);
    emit newIndex(v);
}

void SeekCtrl::inc()
{
    // Stepping in ints near INT_MAX would overflow; compare before adding.
    const int cur = ui.Seek->value();
    const int max = ui.Seek->maximum();
    moveTo(cur >= max - step ? max : cur + step);
}

void SeekCtrl::dec()
{
    const int cur = ui.Seek->value();
    const int min = std::max(ui.Seek->minimum(), 0);
    moveTo(cur <= min + step ? min : cur - step);
}

int SeekCtrl::index() const
{
    return ui.Index->value();
}

int SeekCtrl::last() const
{
    return ui.Seek->maximum();
}

void SeekCtrl::setLast(int last)
{
    ui.Seek->setMaximum(last);
    ui.Index->setMaximum(last);
}

void SeekCtrl::setIndex(int i)
{
    ui.Index->setValue(std::clamp(i, 0, ui.Seek->maximum()));
}

void SeekCtrl::reset()
{
    const QSignalBlocker s(ui.Seek);
    ui.Seek->setMaximum(0);
    ui.Seek->setValue(0);
    const QSignalBlocker i(ui.Index);
    ui.Index->setMaximum(0);
    ui.Index->setValue(0);
}
