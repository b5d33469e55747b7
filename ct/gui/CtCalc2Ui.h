#pragma once
// The result panel of one slice worker: a view.  It publishes its region,
// colour scale and visible part for the next slice (view()), and shows what
// the worker hands back.
#include "CtCalcBase.h"
#include "CtResult.h"

#include <QPointer>

class CtCalc2;

class CtCalc2Ui : public CtCalcBase
{
    Q_OBJECT
public:
    explicit CtCalc2Ui(QWidget* parent = nullptr);

    // Once, when the pool is made: the panel follows the worker's results,
    // and colour changes have the last result drawn again.
    void setCalc(CtCalc2* calc);

    QPointer<CtCalc2> calc;

public slots:
    void noticedNewPos(double x, double z);
    // A slice began in the worker.
    void calcStarted(int slice, const QDateTime& when);
    // A result (or a new drawing of the last one) arrived.
    void takeResult(const CtResult& r);
    void takeRendered(const CtResult& r);
    // Asks the worker to draw its last result with the bar as it stands.
    void genResImage();
};
