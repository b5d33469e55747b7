#pragma once
// Index into the loaded series: slider, spin box and steps of ten.
#include "ui_SeekCtrl.h"

#include <QFrame>

class SeekCtrl : public QFrame, public Ui_SeekCtrl
{
    Q_OBJECT
public:
    explicit SeekCtrl(QWidget* parent = nullptr);

    static constexpr int step = 10;

signals:
    void newIndex(int idx);

public slots:
    void sliderMoved(int val);
    void indexChanged(int val);
    void inc();
    void dec();

private:
    void moveTo(int v);
};
