#include "LogRelay.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTimer>

namespace {
// Guards the relay against its destruction while another thread logs.
QRecursiveMutex relayLock;
LogRelay* relay = nullptr;
QtMessageHandler previous = nullptr;

// The lines of the current second: those beyond the budget are only
// counted, so a producer faster than the window can never fill its queue.
QElapsedTimer window;
int sentInWindow = 0;
qint64 dropped = 0;
QtMsgType droppedType = QtDebugMsg;

int severity(QtMsgType t)
{
    switch (t) {
    case QtDebugMsg: return 0;
    case QtInfoMsg: return 1;
    case QtWarningMsg: return 2;
    case QtCriticalMsg: return 3;
    case QtFatalMsg: return 4;
    }
    return 0;
}

void post(const LogLine& line)
{
    QMetaObject::invokeMethod(relay, [r = relay, line] { emit r->message(line); }, Qt::QueuedConnection);
}

// The lines left out of the second that ended, as one; relayLock held.
void postDropped()
{
    if (dropped == 0 || !relay)
        return;
    post(LogLine{droppedType, QString(), QStringLiteral("\u2026 %1 more lines").arg(dropped), QDateTime::currentDateTime()});
    dropped = 0;
    droppedType = QtDebugMsg;
}

// A new second begins once the last one is over; relayLock held.
void turnWindow()
{
    if (window.isValid() && window.elapsed() < LogRelay::windowMs)
        return;
    postDropped();
    window.start();
    sentInWindow = 0;
}
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
    dropped = 0;
    window.invalidate();
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
            turnWindow();
            if (sentInWindow < linesPerWindow) {
                ++sentInWindow;
                // Queued even in the relay's own thread: the receiver must not
                // run inside whatever just logged.
                post(line);
            } else {
                if (severity(type) > severity(droppedType))
                    droppedType = type;
                // The count is handed on when the second is over, even if
                // nothing is logged after it.
                if (dropped++ == 0) {
                    const int left = int(qMax<qint64>(1, LogRelay::windowMs - window.elapsed()));
                    QMetaObject::invokeMethod(relay, [r = relay, left] {
                        QTimer::singleShot(left, r, [] {
                            QMutexLocker l2(&relayLock);
                            turnWindow();
                        });
                    }, Qt::QueuedConnection);
                }
            }
            inside = false;
        }
    }
    if (next)
        next(type, context, msg);
}
