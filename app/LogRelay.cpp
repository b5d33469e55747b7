#include "LogRelay.h"

#include <QMutex>

namespace {
// Guards the relay against its destruction while another thread logs.
QRecursiveMutex relayLock;
LogRelay* relay = nullptr;
QtMessageHandler previous = nullptr;
} // namespace

LogRelay::LogRelay(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<LogLine>("LogLine");
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

void LogRelay::handle(QtMsgType type, const QMessageLogContext& context, const QString& msg)
{
    // Whatever the relaying itself might log goes to the old handler only.
    static thread_local bool inside = false;
    QtMessageHandler next = nullptr;
    {
        QMutexLocker l(&relayLock);
        next = previous;
        if (relay && !inside) {
            inside = true;
            LogLine line{type, QString::fromLatin1(context.category ? context.category : ""), msg,
                         QDateTime::currentDateTime()};
            // Queued even in the relay's own thread: the receiver must not
            // run inside whatever just logged.
            QMetaObject::invokeMethod(relay, [r = relay, line] { emit r->message(line); }, Qt::QueuedConnection);
            inside = false;
        }
    }
    if (next)
        next(type, context, msg);
}
