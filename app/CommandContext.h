#pragma once
// What the handler of a batch word may ask of the line it runs: the session
// and the window it works on, failing the line with a counted reason, and
// waiting for work that ends later.  The command set (SessionCommands)
// implements it; each area of words (SeriesCommands, CentreCommands, ...)
// is a list of rows: the word, the kind of argument it takes, the handler.
#include "BatchArgs.h"
#include "BatchCmd.h"
#include "Failures.h"
#include "SessionState.h"

#include <QString>

#include <functional>
#include <vector>

class CommandWindow;
class Session;
class XafsJob;

class CommandContext
{
public:
    // Ok; Ng: failed, or the normal "no" of seq_exec_next; Waits: the line
    // is reported back when its work ends.
    enum class Outcome { Ok, Ng, Waits };
    // Gets arguments that have passed their kind's checks.
    using Handler = std::function<Outcome(CommandContext& x, const BatchCmd& c, const BatchArgs& a)>;
    struct Row
    {
        const char* word;
        BatchArgs::Rule rule;
        Handler handler;
    };
    using Rows = std::vector<Row>;

    virtual Session& session() = 0;
    // Only for what is the window's: tabs, displays, the sweep's picture,
    // the XAFS tab.
    virtual CommandWindow& window() = 0;

    // Counts a failure of kind with "word, line n: why": the line fails.
    Outcome fail(Failures::Kind kind, const BatchCmd& c, const QString& why);
    // True (and the line failed) when the images are in use by a run or a load.
    bool refusedInUse(const BatchCmd& c, const QString& what);
    // A part of the session's state changed by a word: the window shows it.
    Outcome told(SessionState::Part part);

    // The line ends when the session's sweep has, after atEnd (which counts
    // what went wrong).
    virtual Outcome waitForSweep(std::function<void()> atEnd) = 0;
    // The line ends with the XAFS tab's job; with redraw the tab shows its
    // result and a failure of the job is counted.
    virtual Outcome waitForXafs(XafsJob& job, bool redraw) = 0;

protected:
    ~CommandContext() = default;
};
