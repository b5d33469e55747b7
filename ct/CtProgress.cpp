#include "CtProgress.h"

CtProgress::CtProgress(QObject* parent) : QObject(parent)
{
}

void CtProgress::startCalcAll()
{
    emit calcAll();
}

void CtProgress::startCalcOneByOne()
{
    emit calcOne(index);
}

void CtProgress::calcNext()
{
    const int i = ++index;
    if (i < count)
        emit calcOne(i);
    else
        emit finishedCalcOneByOne();
}
