#pragma once
// Records the debug log while it lives, from any thread, so a test can assert
// the messages a reader or the interpreter wrote.
#include <QMutex>
#include <QStringList>
#include <QtGlobal>

class LogCapture
{
public:
    LogCapture() : old(qInstallMessageHandler(record)) { current() = this; }
    ~LogCapture()
    {
        qInstallMessageHandler(old);
        current() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const
    {
        QMutexLocker l(&mutex);
        return log;
    }
    void clear()
    {
        QMutexLocker l(&mutex);
        log.clear();
    }

private:
    static LogCapture*& current()
    {
        static LogCapture* c = nullptr;
        return c;
    }
    static void record(QtMsgType, const QMessageLogContext&, const QString& msg)
    {
        if (LogCapture* c = current()) {
            QMutexLocker l(&c->mutex);
            c->log << msg;
        }
    }

    QtMessageHandler old;
    mutable QMutex mutex;
    QStringList log;
};
