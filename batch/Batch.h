#pragma once
// Runs a batch program one line at a time; control words are handled here,
// every other line goes to the main window as a BatchCmd.
#include "BatchCmd.h"

#include <QObject>
#include <QStringList>
#include <atomic>

class Batch : public QObject
{
    Q_OBJECT
public:
    explicit Batch(QObject* parent = nullptr);

    bool isRunning() const { return running; }
    int currentLine() const { return current; }
    QStringList program() const { return lines; }
    // The file line each program line began on (for messages).
    QList<int> programLineNumbers() const { return lineNos; }
    bool ok() const { return okFlag; }
    // Written by the main window while it executes a line (seq_exec_next).
    void setOkFlag(bool f) { okFlag = f; }
    // The process is ending: stops the program from any thread and refuses
    // any later start.  The line the window executes ends as usual.
    void shutDown();

signals:
    void batchExecNext();
    void batchExCmd(BatchCmd cmd);
    // The program went from running to stopped (end, :end, :stop or a toggle).
    void batchStopped();
    // batchLoad could not read fname; the program loaded before stays.
    void loadFailed(QString fname);

private slots:
    void batchStop();
    void batchNext();

public slots:
    void batchLoad(QString fname);
    // Starts the program, or stops it when it runs.  A stop takes effect
    // when the call returns (isRunning() false, batchStopped() emitted), but
    // a line already handed to the window still runs there; its completion
    // (batchCheckEnd) then starts nothing.  Calls arrive queued in this
    // object's thread: a caller elsewhere learns of the stop from batchStopped().
    void batchExec();
    // The window has finished the line it was handed: the next line runs.
    void batchCheckEnd();

private:
    void setRunning(bool f);
    void runOneLine();

    std::atomic<bool> running{false};
    int current = 0;
    QStringList lines;
    QList<int> lineNos;
    std::atomic<bool> okFlag{true};
    // batchNext re-entered through batchExecNext() is turned into a loop,
    // so long runs of control lines never grow the stack.
    bool inNext = false;
    bool nextPending = false;
    // Bumped at every start and stop: a continuation posted to the event
    // loop for an older run does nothing.
    std::atomic<unsigned> chain{0};
    std::atomic<bool> shutting{false};
};
