#include "SeriesCommands.h"

#include "CommandWindow.h"
#include "Session.h"

#include <limits>

namespace {
using A = BatchArgs;
using C = BatchCmd;
using X = CommandContext;
using O = CommandContext::Outcome;
using P = SessionState::Part;
using R = Session::Reference;

O loadSeriesDir(X& x, const C& c, const A& a)
{
    if (x.refusedInUse(c, QStringLiteral("images_load ") + a.text))
        return O::Ng;
    if (a.text.isEmpty())
        return x.fail(Failures::Command, c, QStringLiteral("no directory given"));
    // A missing directory or no match is refused there, the series kept.
    return x.session().loadSeriesDir(a.text, a.patterns) ? O::Ok : O::Ng;
}

// A file-loading word: refused while in use or without a name; a load that
// fails without counting why is counted here.
O loadFile(X& x, const C& c, const A& a, const QString& what, const std::function<bool()>& load)
{
    if (x.refusedInUse(c, what + a.text))
        return O::Ng;
    if (a.text.isEmpty())
        return x.fail(Failures::Command, c, QStringLiteral("a file name is missing"));
    const int failures = Failures::total();
    if (load())
        return O::Ok;
    // The loader or the set has normally counted the failure itself.
    if (Failures::total() > failures)
        return O::Ng;
    return x.fail(Failures::Load, c, QStringLiteral("can't load ") + a.text);
}

// The row of a word that loads a whole series from one file.
X::Row seriesFile(const char* word, bool h5)
{
    const QString what = QLatin1String(word) + QLatin1Char(' ');
    return {word, A::textArg(), [what, h5](X& x, const C& c, const A& a) {
                return loadFile(x, c, a, what, [&] { return x.session().loadSeriesFile(a.text, h5); });
            }};
}

// The row of a word that loads a file into reference r (append: adds it).
X::Row referenceFile(const char* word, R r, bool append)
{
    const QString what = QLatin1String(word) + QLatin1Char(' ');
    const QString doing = append ? QStringLiteral("adding ") : QStringLiteral("loading ");
    return {word, A::textArg(), [what, doing, r, append](X& x, const C& c, const A& a) {
                return loadFile(x, c, a, what,
                                [&] { return x.session().loadReference(r, {a.text}, append, doing + a.text); });
            }};
}

X::Row referenceClear(const char* word, R r)
{
    const QString what = QLatin1String(word);
    return {word, A::none(), [what, r](X& x, const C& c, const A&) {
                if (x.refusedInUse(c, what))
                    return O::Ng;
                x.session().clearReference(r, QStringLiteral("clearing"));
                return O::Ok;
            }};
}

// The row of a word that sets a value of the series' state.
X::Row seriesSwitch(const char* word, BatchArgs::Rule rule, void (*change)(SessionState::SeriesOptions&, const A&))
{
    return {word, rule, [change](X& x, const C&, const A& a) {
                change(x.session().state.series, a);
                return x.told(P::Series);
            }};
}

// An exposure time of a reference.
X::Row expTime(const char* word, double SessionState::*time)
{
    return {word, A::realArg(0), [time](X& x, const C&, const A& a) {
                x.session().state.*time = a.real;
                return x.told(P::ExpTimes);
            }};
}
} // namespace

CommandContext::Rows SeriesCommands::rows()
{
    using S = SessionState::SeriesOptions;
    return {
        {"images_load", A::dirPatterns(), loadSeriesDir},
        seriesFile("images_load_h5", true),
        seriesFile("images_load_stack", false),
        seriesSwitch("images_new_on_load", A::flagArg(), [](S& s, const A& a) { s.replace = a.flag; }),
        seriesSwitch("images_add_on_load", A::flagArg(), [](S& s, const A& a) { s.replace = !a.flag; }),
        seriesSwitch("images_keep_conditions", A::flagArg(), [](S& s, const A& a) { s.keepConditions = a.flag; }),
        {"images_clear", A::none(),
         [](X& x, const C& c, const A&) {
             if (x.refusedInUse(c, QStringLiteral("images_clear")))
                 return O::Ng;
             x.session().clearSeries();
             return O::Ok;
         }},
        seriesSwitch("images_exp_time", A::realArg(0), [](S& s, const A& a) { s.expTime = a.real; }),
        seriesSwitch("images_multi", A::flagCount(SessionState::maxMultiTimes),
                     [](S& s, const A& a) {
                         s.multi = a.flag;
                         s.multiTimes = a.integer;
                     }),
        {"images_seek", A::intArg(std::numeric_limits<int>::min(), std::numeric_limits<int>::max()),
         [](X& x, const C&, const A& a) {
             x.window().showImage(a.integer);
             return O::Ok;
         }},
        referenceFile("i0_load", R::I0, false),
        referenceFile("i0_add", R::I0, true),
        referenceFile("i0_after_load", R::I0After, false),
        referenceFile("i0_after_add", R::I0After, true),
        referenceClear("i0_after_clear", R::I0After),
        referenceClear("i0_clear", R::I0),
        expTime("i0_exp_time", &SessionState::i0ExpTime),
        referenceFile("bg_load", R::Bg, false),
        referenceFile("bg_add", R::Bg, true),
        referenceClear("bg_clear", R::Bg),
        expTime("bg_exp_time", &SessionState::bgExpTime),
    };
}
