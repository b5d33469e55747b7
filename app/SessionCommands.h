#pragma once
// The batch command set: every line is looked up once in one table of word,
// kind of argument and handler, its arguments are checked before anything
// is applied, and its end is reported (at once, or when the run, sequence,
// load, sweep or XAFS job it waits for has ended).  The rows come from the
// areas of words (SeriesCommands, CentreCommands, ViewCommands,
// DataSetCommands, XafsTabCommands, SettingCommands); their handlers work
// on the session and its settings, and ask the window, through
// CommandWindow, only for what is the window's.
#include "BatchCmd.h"
#include "CommandContext.h"
#include "CommandLookup.h"
#include "Session.h"

#include <QObject>
#include <QStringList>

class Batch;
class CommandWindow;
class XafsBatch;

class SessionCommands : public QObject, private CommandContext
{
    Q_OBJECT
public:
    // The lines come from batch, whose result flag they set; seq_calc
    // starts driver.
    SessionCommands(Session& session, CommandWindow& window, Batch& batch, XafsBatch& driver);

    // Runs one line and reports it finished (lineFinished): at once, or for
    // calc_exec and seq_calc when the run or the sequence has ended, and
    // for a line that began loading projections when they are in.  A line
    // fails (the interpreter's result flag goes false, so :ifng sees it)
    // when its word is a mistyped command, its arguments are refused, its
    // action is refused or fails, or any failure is counted meanwhile.
    void execute(const BatchCmd& cmd);
    // Every command word.
    static QStringList words();
    // A calc_exec line waits for its run to end.
    bool waitsForRun() const { return waiting == Wait::Run; }

signals:
    // The line is done; the interpreter may take the next one.
    void lineFinished();

public slots:
    // The ends the waiting lines wait for.
    void runEnded();
    void sequenceEnded();
    void loadEnded(bool ok);

private:
    void sweepEnded();

    static const Rows& table();
    // calc_exec and seq_calc, whose lines wait here.
    static Rows runRows();

    Session& session() override { return s; }
    CommandWindow& window() override { return w; }
    Outcome waitForSweep(std::function<void()> atEnd) override;
    Outcome waitForXafs(XafsJob& job, bool redraw) override;

    // Reports the line back; it failed unless ok and no failure was
    // counted since failuresAtStart.
    void finishLine(bool ok, int failuresAtStart);
    Outcome calcExec(const BatchCmd& c);
    Outcome seqCalc(const BatchCmd& c);

    Session& s;
    CommandWindow& w;
    Batch& batch;
    XafsBatch& driver;
    CommandLookup lookup;
    enum class Wait { Nothing, Run, Sequence, Sweep, Load };
    Wait waiting = Wait::Nothing;
    // What the ct_cor_sweep line waited for does when the sweep ends.
    std::function<void()> sweepEnd;
    // The failure count when the current line, and the line now waited
    // for, began.
    int lineFailuresAtStart = 0;
    int waitFailuresAtStart = 0;
};
