#pragma once
// Index into the loaded series: slider, spin box and steps of ten.
#include "ui_SeekCtrl.h"

#include <QFrame>

class SeekCtrl : public QFrame
{
    Q_OBJECT
public:
    explicit SeekCtrl(QWidget* parent = nullptr);

    static constexpr int step = 10;

    // The image shown, and the last index of the series (0 when empty).
    int index() const;
    int last() const;
    // A new series: the range ends at last (the index kept inside it).
    void setLast(int last);
    // Shows image i (kept within the range), as the spin box does.
    void setIndex(int i);
    // No series: range and index 0, without a newIndex.
    void reset();

signals:
    void newIndex(int idx);

public slots:
    void sliderMoved(int val);
    void indexChanged(int val);
    void inc();
    void dec();

private:
    void moveTo(int v);

    Ui::SeekCtrl ui;
};
