#pragma once
// The single-slice calculator's panel ("CT1"): shows the slice the run's
// calculator (SliceStepper) reconstructs, growing projection by projection
// when paced, with the start, end and time spent.  It computes nothing and
// writes nothing itself.
#include "CtCalcBase.h"

#include <QPointer>

class SliceStepper;

class CtCalc : public CtCalcBase
{
    Q_OBJECT
public:
    explicit CtCalc(QWidget* parent = nullptr);

    // Once: the calculator this panel shows; "At Once" sets its pacing.
    void setCalc(SliceStepper* calc);
    SliceStepper* calc() const { return stepper; }

signals:
    // The panel's "Calc" button: the window starts or stops a run.
    void askToStartCalc();

public slots:
    // Draws the calculator's image through the colour bar (after a step or
    // a change of the bar).
    void genResImage();
    void noticedNewPos(double x, double z);

private:
    void started(int slice, double perCm);
    void stepped();
    void finished();

    QPointer<SliceStepper> stepper;
};
