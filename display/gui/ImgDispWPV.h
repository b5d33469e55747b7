#pragma once
// Image display with colour bar, position and value read-outs and a
// "Scale Reset" button.
#include "ImgDispWCBar.h"
#include "ui_ImgDispWPV.h"

class ImgDispWPV : public ImgDispWCBar
{
    Q_OBJECT
public:
    explicit ImgDispWPV(QWidget* parent = nullptr);

    // The value read-out (the form's "Val").
    QLineEdit* Val = nullptr;

signals:
    void newPosInvY(double x, double y);

public slots:
    void noticedNewPos(int ix, int iy);
    void setVal(double v);

private:
    Ui::ImgDispWPV ui;
};
