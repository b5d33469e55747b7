#pragma once
// Image display with its colour bar "CBar" on the right and the bar's
// control panel below the picture.
#include "ImgDisp.h"
#include "ui_ImgDispWCBar.h"

class QGridLayout;

class ImgDispWCBar : public ImgDisp, public Ui_ImgDispWCBar
{
    Q_OBJECT
public:
    explicit ImgDispWCBar(QWidget* parent = nullptr);

    QGridLayout* cbarLayout;

signals:
    void newBar();
};
