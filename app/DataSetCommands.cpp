#include "DataSetCommands.h"

#include "Session.h"

#include <QFileInfo>

namespace {
using A = BatchArgs;
using C = BatchCmd;
using X = CommandContext;
using O = CommandContext::Outcome;
using P = SessionState::Part;
} // namespace

CommandContext::Rows DataSetCommands::rows()
{
    return {
        {"seq_exec_dir", A::textArg(),
         [](X& x, const C& c, const A& a) {
             if (!QFileInfo(a.text).isDir())
                 return x.fail(Failures::Load, c, QStringLiteral("no such directory: ") + a.text);
             x.session().dataSets().setDir(a.text);
             return x.told(P::DataSets);
         }},
        {"seq_exec_file_pattern", A::textArg(),
         [](X& x, const C&, const A& a) {
             x.session().dataSets().setPattern(a.text);
             return x.told(P::DataSets);
         }},
        {"seq_exec_kvt_std", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.session().dataSets().setKvt(a.flag);
             return x.told(P::DataSets);
         }},
        // No further set is the normal end of a walk, not a failure.
        {"seq_exec_next", A::none(),
         [](X& x, const C&, const A&) {
             if (!x.session().dataSets().next())
                 return O::Ng;
             return x.told(P::DataSets);
         }},
        {"seq_exec_set", A::none(),
         [](X& x, const C& c, const A&) {
             if (x.refusedInUse(c, QStringLiteral("seq_exec_set")))
                 return O::Ng;
             if (x.session().dataSets().current() < 0)
                 return x.fail(Failures::Command, c, QStringLiteral("no data set to apply"));
             x.session().loadDataSet();
             return O::Ok;
         }},
        {"i0_files_load", A::dirPatterns(),
         [](X& x, const C& c, const A& a) {
             if (a.text.isEmpty())
                 return x.fail(Failures::Command, c, QStringLiteral("no directory given"));
             // A missing directory or no match is refused there, the list kept.
             Session& s = x.session();
             return s.loadI0Files(a.text, a.patterns, s.state.i0FilesReplace) ? O::Ok : O::Ng;
         }},
        {"i0_files_clear", A::none(),
         [](X& x, const C&, const A&) {
             x.session().clearI0Files();
             return O::Ok;
         }},
        {"seq_exec_select_i0", A::none(),
         [](X& x, const C& c, const A&) {
             Session& s = x.session();
             const bool none = s.i0Files().isEmpty();
             QString why;
             s.chooseI0ByEnergy(&why);
             if (none)
                 return x.fail(Failures::Command, c, QStringLiteral("no I0 files to choose from"));
             if (!why.isEmpty())
                 return x.fail(Failures::Command, c, why);
             return O::Ok;
         }},
    };
}
