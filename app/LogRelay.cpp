#include "LogRelay.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTimer>

#include <cstring>

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
} // namespace

// A line for the receiver; one queued call takes all lines waiting by then.
// Queued even in the relay's own thread: the receiver must not run inside
// whatever just logged.  relayLock held.
void enqueue(const LogLine& line)
{
    relay->waiting.append(line);
    if (relay->waiting.size() == 1)
        QMetaObject::invokeMethod(relay, &LogRelay::deliver, Qt::QueuedConnection);
}

// The lines left out of the second that ended, as one; relayLock held.
static void enqueueDropped()
{
    if (dropped == 0 || !relay)
        return;
    enqueue(LogLine{droppedType, QString(), QStringLiteral("\u2026 %1 more lines").arg(dropped), QDateTime::currentDateTime()});
    dropped = 0;
    droppedType = QtDebugMsg;
}

// A new second begins once the last one is over; relayLock held.
static void turnWindow()
{
    if (window.isValid() && window.elapsed() < LogRelay::windowMs)
        return;
    enqueueDropped();
    window.start();
    sentInWindow = 0;
}

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
            turnWindow();
            if (sentInWindow < linesPerWindow) {
                ++sentInWindow;
                enqueue(LogLine{type, QString::fromLatin1(context.category ? context.category : ""), msg,
                                QDateTime::currentDateTime()});
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
