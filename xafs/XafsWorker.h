#pragma once
// The object that carries out the XAFS tab's work, moved into the job's
// thread: each piece of work is queued to it and reports with done().
#include <QObject>
#include <QString>

class XafsWorker : public QObject
{
    Q_OBJECT
signals:
    // Emitted in the worker's thread when a piece of work has ended.
    void done(bool ok, int kind, const QString& why);
};
