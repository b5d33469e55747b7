#pragma once
// The result panel of one slice worker.
#include "CtCalcBase.h"

class CtCalc2;

class CtCalc2Ui : public CtCalcBase
{
    Q_OBJECT
public:
    explicit CtCalc2Ui(QWidget* parent = nullptr);

    // Once, when the pool is made: colour changes re-render the worker's result.
    void setCalc(CtCalc2* calc);

    CtCalc2* calc = nullptr;

public slots:
    void noticedNewPos(double x, double z);
};
