#include "Batch.h"

#include "TextUtils.h"

#include <QDebug>
#include <QFile>
#include <QTextStream>

Batch::Batch(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<BatchCmd>("BatchCmd");
    connect(this, &Batch::batchExecNext, this, &Batch::batchNext, Qt::DirectConnection);
    connect(this, &Batch::batchFinishALine, this, &Batch::batchCheckEnd, Qt::DirectConnection);
}

void Batch::setRunning(bool f)
{
    const bool was = running.exchange(f);
    if (was && !f)
        emit batchStopped();
}

void Batch::batchStart()
{
    setRunning(true);
    current = 0;
    emit batchExecNext();
}

void Batch::batchStop()
{
    setRunning(false);
}

void Batch::batchLoad(QString fname)
{
    QFile f(fname);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug().noquote() << QStringLiteral("Can't open batch file ") + fname;
        return;
    }
    QTextStream in(&f);
    QStringList raw;
    QString l;
    while (in.readLineInto(&l))
        raw << l;

    lines.clear();
    // A line ending in a backslash is continued by the next one.
    QString pending;
    bool continued = false;
    for (const QString& r : raw) {
        QString line = removeComment(r);
        if (continued)
            line = pending + line;
        QString probe = line;
        if (removeTailBackslash(probe)) {
            pending = chopContinuation(line);
            continued = true;
            continue;
        }
        continued = false;
        pending.clear();
        if (!line.isEmpty())
            lines << line;
    }
    if (continued && !pending.isEmpty())
        lines << pending;
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
    do {
        nextPending = false;
        runOneLine();
    } while (nextPending);
    inNext = false;
}

void Batch::runOneLine()
{
    if (!running)
        return;
    if (current >= lines.size()) {
        setRunning(false);
        return;
    }
    BatchCmd cmd(lines.at(current++));
    qDebug().noquote() << "cmd" << cmd.cmd;

    if (cmd.isCommand(":ifok") && okFlag)
        cmd = BatchCmd(cmd.args.join(QLatin1Char(' ')));
    if (cmd.isCommand(":ifng") && !okFlag)
        cmd = BatchCmd(cmd.args.join(QLatin1Char(' ')));

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
        qDebug().noquote() << cmd.line;
        emit batchExecNext();
    } else {
        okFlag = true;
        emit batchExCmd(cmd);
    }
}
