#pragma once
// Passes the program's own log messages (zuvo2.* categories) and critical
// messages of any source on to a receiver in the window (the message
// panel) while standard error keeps getting exactly what it got before: the
// relay's handler calls the one it replaced first.  Qt's own remarks (a
// platform plugin's warnings) go to standard error only.  Messages of any thread leave as a queued signal, so the
// receiver sees them in its own thread and never from inside the code that
// logged; lines that come faster than the receiver takes them arrive
// together, one signal for many, and a flood is coalesced (see
// linesPerWindow), so no producer can fill the window's queue.
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

struct LogLine
{
    QtMsgType type = QtDebugMsg;
    QString category;
    QString text;
    QDateTime when;
};
Q_DECLARE_METATYPE(LogLine)

class LogRelay : public QObject
{
    Q_OBJECT
public:
    explicit LogRelay(QObject* parent = nullptr);
    // Puts the handler back that was there, unless another has replaced
    // this one meanwhile (that one then stays).
    ~LogRelay() override;

    // One relay at a time: a second one installs nothing.
    bool installed() const { return own; }

    // At most linesPerWindow lines reach the receiver in any windowMs; the
    // rest of that time arrive as one line "... N more lines" (standard
    // error still gets each one).
    static constexpr int linesPerWindow = 200;
    static constexpr qint64 windowMs = 1000;

signals:
    // Oldest first.
    void messages(QList<LogLine> lines);

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& msg);
    friend void enqueue(const LogLine& line);
    void deliver();
    bool own = false;
    // Lines logged but not yet handed on; guarded by the relay's lock.
    QList<LogLine> waiting;
};
