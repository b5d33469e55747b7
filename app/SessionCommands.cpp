#include "SessionCommands.h"

#include "Batch.h"
#include "CentreCommands.h"
#include "CommandWindow.h"
#include "DataSetCommands.h"
#include "SeriesCommands.h"
#include "SettingCommands.h"
#include "ViewCommands.h"
#include "XafsBatch.h"
#include "XafsJob.h"
#include "XafsTabCommands.h"

SessionCommands::SessionCommands(Session& session, CommandWindow& window, Batch& interpreter, XafsBatch& seqDriver)
    : s(session), w(window), batch(interpreter), driver(seqDriver), lookup(words())
{
    connect(&driver, &XafsBatch::finished, this, &SessionCommands::sequenceEnded);
    connect(&s.sweep(), &CorSweep::finished, this, &SessionCommands::sweepEnded);
    // A run ends the calc_exec line waiting for it (a refused run fails it,
    // so ":ifng" can react); the window, connected first, shows the end.
    connect(&s.run(), &CtRun::runStopped, this, &SessionCommands::runEnded);
}

QStringList SessionCommands::words()
{
    QStringList out;
    for (const Row& r : table())
        out << QLatin1String(r.word);
    return out;
}

// The command set, area by area; the settings' words last.
const CommandContext::Rows& SessionCommands::table()
{
    static const Rows rows = [] {
        Rows all;
        for (auto area : {SeriesCommands::rows, CentreCommands::rows, ViewCommands::rows, runRows,
                          DataSetCommands::rows, XafsTabCommands::rows, SettingCommands::rows})
            for (Row& r : area())
                all.push_back(std::move(r));
        return all;
    }();
    return rows;
}

// The context a handler gets is always this command set.
CommandContext::Rows SessionCommands::runRows()
{
    using X = CommandContext;
    return {
        {"calc_exec", BatchArgs::none(),
         [](X& x, const BatchCmd& c, const BatchArgs&) { return static_cast<SessionCommands&>(x).calcExec(c); }},
        {"seq_calc", BatchArgs::none(),
         [](X& x, const BatchCmd& c, const BatchArgs&) { return static_cast<SessionCommands&>(x).seqCalc(c); }},
    };
}

void SessionCommands::execute(const BatchCmd& c)
{
    const int failuresAtStart = lineFailuresAtStart = Failures::total();
    const int row = lookup.find(c.cmd);
    if (row < 0) {
        // Labels (and untaken :ifok/:ifng lines) pass; mistyped commands fail.
        const QString msg = lookup.notACommand(c);
        if (!msg.isEmpty())
            Failures::record(Failures::Command, msg);
        finishLine(msg.isEmpty(), failuresAtStart);
        return;
    }
    // The XAFS session belongs to the tab's job while that computes.
    const XafsJob* job = w.xafsJob();
    if (c.cmd.startsWith(QLatin1String("xafs_"), Qt::CaseInsensitive) && job && job->busy()) {
        Failures::record(Failures::Command, BatchArgs::where(c) + QStringLiteral(": refused while the XAFS tab computes"));
        finishLine(false, failuresAtStart);
        return;
    }
    const Row& r = table().at(size_t(row));
    BatchArgs args;
    if (!args.parse(c, r.rule)) {
        Failures::record(Failures::Command, args.error);
        finishLine(false, failuresAtStart);
        return;
    }
    const int loadBefore = s.loadId();
    const Outcome o = r.handler(*this, c, args);
    // Projections load in a thread of their own (images_load, seq_exec_set):
    // a line that began a load is done when the images are in.
    if (o == Outcome::Ok && s.loading && s.loadId() != loadBefore) {
        waiting = Wait::Load;
        waitFailuresAtStart = failuresAtStart;
        return;
    }
    if (o != Outcome::Waits)
        finishLine(o == Outcome::Ok, failuresAtStart);
}

void SessionCommands::finishLine(bool ok, int failuresAtStart)
{
    // Failures counted while the line ran (a file that did not load, a
    // slice that could not be written) fail it too.
    if (!ok || Failures::total() > failuresAtStart)
        batch.setOkFlag(false);
    emit lineFinished();
}

CommandContext::Outcome SessionCommands::waitForXafs(XafsJob& job, bool redraw)
{
    const int atStart = lineFailuresAtStart;
    connect(&job, &XafsJob::finished, this, [this, atStart, redraw](bool ok, int kind, const QString& why) {
        if (redraw && !ok)
            Failures::record(Failures::Kind(kind), why);
        if (redraw)
            w.xafsChanged();
        finishLine(ok, atStart);
    }, Qt::SingleShotConnection);
    return Outcome::Waits;
}

CommandContext::Outcome SessionCommands::waitForSweep(std::function<void()> atEnd)
{
    waiting = Wait::Sweep;
    waitFailuresAtStart = lineFailuresAtStart;
    sweepEnd = std::move(atEnd);
    return Outcome::Waits;
}

void SessionCommands::sweepEnded()
{
    if (waiting != Wait::Sweep)
        return;
    waiting = Wait::Nothing;
    const std::function<void()> atEnd = std::move(sweepEnd);
    sweepEnd = nullptr;
    atEnd();
    finishLine(true, waitFailuresAtStart);
}

void SessionCommands::runEnded()
{
    if (waiting != Wait::Run)
        return;
    waiting = Wait::Nothing;
    finishLine(s.run().refusal().isEmpty(), waitFailuresAtStart);
}

void SessionCommands::loadEnded(bool ok)
{
    if (waiting != Wait::Load)
        return;
    waiting = Wait::Nothing;
    finishLine(ok, waitFailuresAtStart);
}

void SessionCommands::sequenceEnded()
{
    if (waiting != Wait::Sequence)
        return;
    waiting = Wait::Nothing;
    finishLine(true, waitFailuresAtStart);
}

SessionCommands::Outcome SessionCommands::calcExec(const BatchCmd& c)
{
    if (s.run().active)
        return fail(Failures::Command, c, QStringLiteral("a reconstruction is already running"));
    // A sequence loads its sets and deals its own runs; a run of the batch's
    // would start on a series that may still be loading.
    if (driver.isActive())
        return fail(Failures::Command, c, QStringLiteral("refused while a sequential run is active"));
    // Incomplete inputs are refused where every run starts.
    // Reported back when the run ends (runEnded), which may be at once.
    waiting = Wait::Run;
    waitFailuresAtStart = lineFailuresAtStart;
    if (s.startRun(false))
        return Outcome::Waits;
    waiting = Wait::Nothing;
    return Outcome::Ng;
}

SessionCommands::Outcome SessionCommands::seqCalc(const BatchCmd& c)
{
    // A running sequence or run would take the loads the driver asks for.
    if (driver.isActive())
        return fail(Failures::Command, c, QStringLiteral("a sequential run is already active"));
    if (refusedInUse(c, QStringLiteral("seq_calc")))
        return Outcome::Ng;
    waiting = Wait::Sequence;
    waitFailuresAtStart = lineFailuresAtStart;
    QMetaObject::invokeMethod(&driver, &XafsBatch::start, Qt::QueuedConnection);
    return Outcome::Waits;
}
