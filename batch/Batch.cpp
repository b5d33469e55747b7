#include "Batch.h"

#include "Logging.h"
#include "QuitOnSignal.h"
#include "TextUtils.h"

#include <QDebug>
#include <QFile>

Batch::Batch(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<BatchCmd>("BatchCmd");
    connect(this, &Batch::batchExecNext, this, &Batch::batchNext, Qt::DirectConnection);
}

void Batch::setRunning(bool f)
{
    if (f && shutting)
        return;
    ++chain;
    const bool was = running.exchange(f);
    if (was && !f)
        emit batchStopped();
}

void Batch::batchStop()
{
    setRunning(false);
}

void Batch::shutDown()
{
    shutting = true;
    setRunning(false);
}

namespace {

// A program is text typed by people; anything larger is the wrong file (or a
// device such as /dev/zero) and would only exhaust memory.
const qint64 kMaxBatchBytes = qint64(64) << 20;

inline bool isWs(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == '\v' || u == '\f' || u == '\r';
}

} // namespace

void Batch::batchLoad(QString fname)
{
    QFile f(fname);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCDebug(lcBatch).noquote() << QStringLiteral("Can't open batch file ") + fname;
        emit loadFailed(fname);
        return;
    }
    f.setTextModeEnabled(false);
    QByteArray bytes;
    if (!readAtMost(f, kMaxBatchBytes, bytes)) {
        qCDebug(lcBatch).noquote() << QStringLiteral("Batch file too large, not loaded : ") + fname;
        emit loadFailed(fname);
        return;
    }
    const QStringList raw = textLines(bytes);

    lines.clear();
    lineNos.clear();
    // A line ending in a backslash is continued by the next one. The joined
    // line grows in place and its last non-blank position is carried along,
    // so a long run of continued lines costs time in proportion to its size.
    QString pending;
    qsizetype sig = -1; // last non-blank position in pending, -1 if none
    bool continued = false;
    int firstNo = 0; // file line on which the pending line began
    for (qsizetype no = 0; no < raw.size(); ++no) {
        const QString& r = raw.at(no);
        if (!continued) {
            pending.clear();
            sig = -1;
            firstNo = int(no) + 1;
        }
        const qsizetype base = pending.size();
        const qsizetype sigBefore = sig;
        pending += removeComment(r);
        for (qsizetype i = pending.size() - 1; i >= base; --i)
            if (!isWs(pending.at(i))) {
                sig = i;
                break;
            }
        // Last non-blank position before pos in the joined line.
        const auto lastBefore = [&](qsizetype pos) {
            for (qsizetype i = pos - 1; i >= 0; --i) {
                if (i < base && pos > base)
                    return sigBefore; // the earlier part was scanned already
                if (!isWs(pending.at(i)))
                    return i;
            }
            return qsizetype(-1);
        };
        if (sig >= 0 && pending.at(sig) == QLatin1Char('\\')) {
            // Cut the mark, and a second one just before it.
            pending.truncate(sig);
            qsizetype k = lastBefore(sig);
            if (k >= 0 && pending.at(k) == QLatin1Char('\\')) {
                pending.truncate(k);
                k = lastBefore(k);
            }
            sig = k;
            continued = true;
            continue;
        }
        continued = false;
        if (!pending.isEmpty()) {
            lines << pending;
            lineNos << firstNo;
        }
    }
    if (continued && !pending.isEmpty()) {
        lines << pending;
        lineNos << firstNo;
    }
}

void Batch::batchExec()
{
    if (!running) {
        setRunning(true);
        current = 0;
        emit batchExecNext();
    } else {
        setRunning(false);
    }
}

void Batch::batchCheckEnd()
{
    if (!running)
        return;
    if (!lines.isEmpty())
        emit batchExecNext();
    else
        setRunning(false);
}

void Batch::batchNext()
{
    if (inNext) {
        nextPending = true;
        return;
    }
    inNext = true;
    // Control lines alone never give the event loop back; after this many a
    // run of them goes on through it, so a stop, a quit signal or the end of
    // the thread gets through even in an endless :goto loop.
    constexpr int linesPerTurn = 64;
    int done = 0;
    do {
        nextPending = false;
        runOneLine();
    } while (nextPending && ++done < linesPerTurn);
    inNext = false;
    if (nextPending) {
        nextPending = false;
        const unsigned c = chain;
        QMetaObject::invokeMethod(
            this, [this, c] {
                if (c == chain)
                    batchNext();
            },
            Qt::QueuedConnection);
    }
}

void Batch::runOneLine()
{
    if (!running)
        return;
    // A quit signal stops the program here, in this thread: the window may
    // be too busy to pass the stop on in time.
    if (QuitOnSignal::received()) {
        setRunning(false);
        return;
    }
    if (current >= lines.size()) {
        setRunning(false);
        return;
    }
    const int no = lineNos.value(current);
    BatchCmd cmd(lines.at(current++), no);
    qCDebug(lcLines).noquote() << "cmd" << cmd.cmd;

    // The guarded command is the rest of the line as written: its quotes
    // keep arguments with spaces whole.
    if ((cmd.isCommand(":ifok") && okFlag) || (cmd.isCommand(":ifng") && !okFlag)) {
        QString word;
        qsizetype rest = nextItemAt(cmd.line, 0, word);
        while (rest < cmd.line.size() && cmd.line.at(rest).isSpace())
            ++rest;
        cmd = BatchCmd(cmd.line.mid(rest), no);
    }

    if (cmd.isCommand(":goto")) {
        const QString label = cmd.args.value(0);
        for (int i = 0; i < lines.size(); ++i) {
            QString word;
            nextItem(lines.at(i), word);
            if (word == label) {
                current = i;
                break;
            }
        }
        if (running && !lines.isEmpty())
            emit batchExecNext();
        else
            setRunning(false);
    } else if (cmd.isCommand(":end") || cmd.isCommand(":stop")) {
        setRunning(false);
        emit batchExecNext();
    } else if (cmd.isCommand(":echo")) {
        qCDebug(lcBatch).noquote() << cmd.line;
        emit batchExecNext();
    } else {
        okFlag = true;
        emit batchExCmd(cmd);
    }
}
