#include "XafsTabCommands.h"

#include "CommandWindow.h"
#include "Session.h"
#include "XafsCommands.h"
#include "XafsJob.h"

namespace {
using A = BatchArgs;
using C = BatchCmd;
using X = CommandContext;
using O = CommandContext::Outcome;

// The words done at once on the session's stack, and what the tab shows
// after each; the rest run in the tab's job.
enum class Shown { Nothing, Stack, Region };
struct AtOnce
{
    const char* word;
    Shown shown;
};
constexpr AtOnce atOnceWords[] = {
    {"xafs_stack_load", Shown::Stack},    {"xafs_fit_ranges", Shown::Stack}, {"xafs_post_order", Shown::Stack},
    {"xafs_jump_threshold", Shown::Stack}, {"xafs_roi_spectrum", Shown::Region}, {"xafs_edge_map", Shown::Nothing},
    {"xafs_jump_map", Shown::Nothing},     {"xafs_mask_map", Shown::Nothing},
};

// The XAFS table's handler run on the session's stack; the tab then shows what changed.
X::Handler atOnce(XafsCommands::Handler handler, Shown shown)
{
    return [handler, shown](X& x, const C& c, const A& a) {
        XafsCommands::Context ctx{x.session().xafs(), nullptr};
        Failures::Kind kind = Failures::Command;
        QString why;
        if (!handler(ctx, c, a, kind, why))
            return x.fail(kind, c, why);
        if (shown == Shown::Stack)
            x.window().xafsChanged();
        else if (shown == Shown::Region)
            x.window().xafsRegionAdded(XafsRoi::rect(a.region[0], a.region[1], a.region[2], a.region[3]));
        return O::Ok;
    };
}

// In the XAFS tab's job; the line ends with it.
O inJob(X& x, const C& c, const A&)
{
    XafsJob* job = x.window().xafsJob();
    if (!job)
        return x.fail(Failures::Command, c, QStringLiteral("needs the window's XAFS tab"));
    XafsSession* xafs = &x.session().xafs();
    const bool started = job->start(c.cmd, [xafs, c](XafsProgress* p, QString& why, int& kind) {
        XafsCommands::Context ctx{*xafs, p};
        Failures::Kind k = Failures::Command;
        const bool ok = XafsCommands::run(ctx, c, &k, &why);
        kind = int(k);
        return ok;
    });
    if (!started)
        return x.fail(Failures::Command, c, QStringLiteral("refused while the XAFS tab computes"));
    return x.waitForXafs(*job, true);
}
} // namespace

CommandContext::Rows XafsTabCommands::rows()
{
    X::Rows rows = {
        {"xafs_view", A::intArg(0, 64),
         [](X& x, const C&, const A& a) {
             x.window().showXafsView(a.integer);
             // A map view may have started its maps in the tab's job: the line ends with it.
             XafsJob* job = x.window().xafsJob();
             if (!job || !job->busy())
                 return O::Ok;
             return x.waitForXafs(*job, false);
         }},
        {"show_xafs", A::none(),
         [](X& x, const C& c, const A&) {
             QString why;
             return x.window().showXafs(&why) ? O::Ok : x.fail(Failures::Command, c, why);
         }},
    };
    for (const XafsCommands::Row& xr : XafsCommands::table()) {
        X::Handler handler = inJob;
        for (const AtOnce& w : atOnceWords)
            if (qstrcmp(w.word, xr.word) == 0)
                handler = atOnce(xr.handler, w.shown);
        rows.push_back({xr.word, xr.rule, handler});
    }
    return rows;
}
