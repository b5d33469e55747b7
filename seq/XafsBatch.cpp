#include "XafsBatch.h"

XafsBatch::XafsBatch(QObject* parent) : QObject(parent)
{
}

void XafsBatch::report(const QString& text)
{
    // finish() may come before any start(): an unstarted timer has no reading.
    const qint64 now = timer.isValid() ? timer.elapsed() : 0;
    const qint64 dEt = now - lastMs;
    lastMs = now;
    emit stage(text, dEt);
}

void XafsBatch::start()
{
    if (active)
        finish();
    active = true;
    phase = Phase::Loading;
    timer.start();
    lastMs = 0;
    emit starting();
    report(tr("Data Loading"));
    emit setFirstImageSet();
}

void XafsBatch::loadedDataSet()
{
    if (!active || phase != Phase::Loading)
        return;
    phase = Phase::Calculating;
    report(tr("Calculating"));
    emit execCalculation();
}

void XafsBatch::calcFinished()
{
    if (!active || phase != Phase::Calculating)
        return;
    phase = Phase::Loading;
    report(tr("Finished Calc."));
    emit setNextSet();
}

void XafsBatch::noMoreSets()
{
    finish();
}

void XafsBatch::finish()
{
    active = false;
    phase = Phase::Idle;
    report(tr("Finished"));
    emit finished();
}
