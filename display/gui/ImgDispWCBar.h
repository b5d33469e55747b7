#pragma once
// Image display with its colour bar "CBar" on the right and the bar's
// control panel below the picture, in a row of read-outs that wraps to a
// second line where the display is narrow.
#include "ImgDisp.h"
#include "ui_ImgDispWCBar.h"

class WrapLayout;

class ImgDispWCBar : public ImgDisp
{
    Q_OBJECT
public:
    explicit ImgDispWCBar(QWidget* parent = nullptr);

    // The colour bar (the form's "CBar").
    ColorBar* CBar = nullptr;

    WrapLayout* cbarLayout;

signals:
    void newBar();

private:
    Ui::ImgDispWCBar ui;
};
