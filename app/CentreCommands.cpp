#include "CentreCommands.h"

#include "CommandWindow.h"
#include "Session.h"

#include <limits>

namespace {
using A = BatchArgs;
using C = BatchCmd;
using X = CommandContext;
using O = CommandContext::Outcome;

// Waits for the trials; then the grid picture and the table go to the file
// named, or beside the saved pictures or data when either is on.
O sweep(X& x, const C& c, const A& a)
{
    Session& s = x.session();
    const QString why = s.startSweep(s.settings.cond, a.region[0], a.region[1], a.region[2]);
    if (!why.isEmpty())
        return x.fail(Failures::Command, c, why);
    x.window().showSweep();
    return x.waitForSweep([&x, c, file = a.text] {
        Session& s = x.session();
        QString why;
        if (s.sweep().wasCancelled())
            x.fail(Failures::Run, c, QStringLiteral("the sweep was stopped"));
        else if (s.sweep().best() < 0)
            x.fail(Failures::Run, c, QStringLiteral("no trial gave a slice"));
        else if (!x.window().saveSweep(file, &why))
            x.fail(Failures::Write, c, why);
    });
}
} // namespace

CommandContext::Rows CentreCommands::rows()
{
    return {
        // A questionable centre is set all the same but fails the line, so
        // :ifng can react; it is an answer about the data, not a failure,
        // and is not counted. No series or no such slice is.
        {"ct_cor_auto", A::optIntArg(0, std::numeric_limits<int>::max()),
         [](X& x, const C& c, const A& a) {
             Session& s = x.session();
             const CtCond& cond = s.settings.cond;
             const CorResult r = s.findCentre(cond, a.given ? a.integer : cond.sliceNo);
             if (!r.valid)
                 return x.fail(Failures::Command, c, r.reason);
             return r.sound ? O::Ok : O::Ng;
         }},
        {"ct_cor_sweep", A::rangeFile(), sweep},
        // The line is fitted now, over the images' height, and used by
        // every run until turned off.
        {"ct_cor_per_slice", A::flagArg(),
         [](X& x, const C& c, const A& a) {
             Session& s = x.session();
             if (!s.setCorPerSlice(a.flag, s.settings.cond))
                 return x.fail(Failures::Command, c, s.corLine().text());
             return O::Ok;
         }},
    };
}
