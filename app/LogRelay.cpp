#include "LogRelay.h"

#include <QMutex>

#include <cstring>

namespace {
// Guards the relay against its destruction while another thread logs.
QRecursiveMutex relayLock;
LogRelay* relay = nullptr;
QtMessageHandler previous = nullptr;
} // namespace

LogRelay::LogRelay(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<LogLine>("LogLine");
    qRegisterMetaType<QList<LogLine>>("QList<LogLine>");
    QMutexLocker l(&relayLock);
    if (relay)
        return;
    relay = this;
    own = true;
    previous = qInstallMessageHandler(&LogRelay::handle);
}

LogRelay::~LogRelay()
{
    if (!own)
        return;
    QMutexLocker l(&relayLock);
    relay = nullptr;
    const QtMessageHandler current = qInstallMessageHandler(previous);
    // A handler installed after this one (a test's log capture) stays, and
    // may still hand messages on to ours, which then passes them further.
    if (current != &LogRelay::handle)
        qInstallMessageHandler(current);
    else
        previous = nullptr;
}

void LogRelay::deliver()
{
    QList<LogLine> lines;
    {
        QMutexLocker l(&relayLock);
        lines.swap(waiting);
    }
    if (!lines.isEmpty())
        emit messages(lines);
}

void LogRelay::handle(QtMsgType type, const QMessageLogContext& context, const QString& msg)
{
    // Whatever the relaying itself might log goes to the old handler only.
    static thread_local bool inside = false;
    QtMessageHandler next = nullptr;
    {
        QMutexLocker l(&relayLock);
        next = previous;
        // The program's own lines, and errors of any source; Qt's remarks
        // (a platform plugin's warnings) stay on standard error.
        const bool ours = (context.category && std::strncmp(context.category, "zuvo2.", 6) == 0)
                          || type == QtCriticalMsg || type == QtFatalMsg;
        if (relay && ours && !inside) {
            inside = true;
            relay->waiting.append(LogLine{type, QString::fromLatin1(context.category), msg, QDateTime::currentDateTime()});
            // One call takes all lines waiting by then.  Queued even in the
            // relay's own thread: the receiver must not run inside whatever
            // just logged.
            if (relay->waiting.size() == 1)
                QMetaObject::invokeMethod(relay, &LogRelay::deliver, Qt::QueuedConnection);
            inside = false;
        }
    }
    if (next)
        next(type, context, msg);
}
