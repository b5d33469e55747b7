#pragma once
// Image display with colour bar, position and value read-outs and a
// "Scale Reset" button.
#include "ImgDispWCBar.h"
#include "ui_ImgDispWPV.h"

class ImgDispWPV : public ImgDispWCBar, public Ui_ImgDispWPV
{
    Q_OBJECT
public:
    explicit ImgDispWPV(QWidget* parent = nullptr);

signals:
    void newPosInvY(double x, double y);

public slots:
    void noticedNewPos(int ix, int iy);
    void setVal(double v);
};
