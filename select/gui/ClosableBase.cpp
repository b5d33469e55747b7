#include "ClosableBase.h"

#include <QCloseEvent>

void ClosableBase::closeEvent(QCloseEvent* e)
{
    emit closed();
    e->accept();
}
