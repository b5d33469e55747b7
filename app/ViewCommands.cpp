#include "ViewCommands.h"

#include "CommandWindow.h"
#include "Session.h"

#include <limits>

namespace {
using A = BatchArgs;
using C = BatchCmd;
using X = CommandContext;
using O = CommandContext::Outcome;
using P = SessionState::Part;
using I = SessionState::I0Source;

// A tab shown by number (noSuchTab: the message when there is none).
O showTab(X& x, const C& c, int index, const QString& noSuchTab)
{
    QString why;
    return x.window().showTab(index, noSuchTab, &why) ? O::Ok : x.fail(Failures::Command, c, why);
}

X::Row tab(const char* word, int index)
{
    return {word, A::none(), [index](X& x, const C& c, const A&) { return showTab(x, c, index, QString()); }};
}

// A word that changes the colour range the CT displays fix.
X::Row colour(const char* word, BatchArgs::Rule rule, void (*change)(SessionState::ColourRange&, const A&))
{
    return {word, rule, [change](X& x, const C&, const A& a) {
                change(x.session().state.colour, a);
                return x.told(P::Colour);
            }};
}

// A word that empties a save panel: its directory and its name.
X::Row clearOutput(const char* word, ReconOutput ReconSettings::*out, const char* pathKey, const char* nameKey)
{
    return {word, A::none(), [out, pathKey, nameKey](X& x, const C&, const A&) {
                Session& s = x.session();
                (s.settings.*out).path.clear();
                (s.settings.*out).name.clear();
                s.settingSet(QLatin1String(pathKey));
                s.settingSet(QLatin1String(nameKey));
                return O::Ok;
            }};
}

// A word that changes how the I0 of raw images (raw) or of I0 images is given.
X::Row i0Source(const char* word, bool raw, BatchArgs::Rule rule, void (*change)(I&, const A&))
{
    return {word, rule, [raw, change](X& x, const C&, const A& a) {
                SessionState& st = x.session().state;
                change(raw ? st.rawI0 : st.i0I0, a);
                return x.told(raw ? P::RawI0 : P::I0I0);
            }};
}
} // namespace

CommandContext::Rows ViewCommands::rows()
{
    using R = SessionState::ColourRange;
    constexpr int intMax = std::numeric_limits<int>::max();
    return {
        {"show_tab", A::intArg(0, intMax),
         [](X& x, const C& c, const A& a) {
             return showTab(x, c, a.integer, QStringLiteral("no tab %1").arg(a.integer));
         }},
        tab("show_orig", 0),
        tab("show_sinogram", 1),
        tab("show_ct1", 2),
        tab("show_i0", 3),
        tab("show_bg", 4),
        {"show_ct2", A::intArg(0, intMax),
         [](X& x, const C& c, const A& a) {
             QString why;
             return x.window().showCt2(a.integer, &why) ? O::Ok : x.fail(Failures::Command, c, why);
         }},
        {"save_image", A::displayFile(),
         [](X& x, const C& c, const A& a) {
             Failures::Kind kind = Failures::Command;
             QString why;
             return x.window().saveDisplay(a, &kind, &why) ? O::Ok : x.fail(kind, c, why);
         }},
        {"ct_auto_gen_sinogram", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.session().state.autoSinogram = a.flag;
             return x.told(P::AutoSinogram);
         }},
        {"ct_set_disp_region", A::regionArg(),
         [](X& x, const C&, const A& a) {
             x.session().state.displayRegion = {a.region[0], a.region[1], a.region[2], a.region[3]};
             return x.told(P::DisplayRegion);
         }},
        colour("fix_color_scale", A::flagArg(), [](R& r, const A& a) { r.fixed = a.flag; }),
        colour("fix_color_min", A::realArg(), [](R& r, const A& a) { r.min = a.real; }),
        colour("fix_color_max", A::realArg(), [](R& r, const A& a) { r.max = a.real; }),
        clearOutput("auto_save_image_clear", &ReconSettings::image, "imagePath", "imageName"),
        clearOutput("auto_save_data_clear", &ReconSettings::data, "dataPath", "dataName"),
        // Also switches the data layout: existing programs rely on it.
        {"add_inf_show", A::flagArg(),
         [](X& x, const C&, const A& a) {
             Session& s = x.session();
             s.state.additionalInfo = a.flag;
             x.told(P::AdditionalInfo);
             s.dataSets().setKvt(a.flag);
             return x.told(P::DataSets);
         }},
        i0Source("add_inf_raw_i0_val", true, A::realArg(), [](I& s, const A& v) { s.value = v.real; }),
        i0Source("add_inf_raw_i0_from_xafs", true, A::flagArg(), [](I& s, const A& v) { s.fromXafs = v.flag; }),
        i0Source("add_inf_raw_i0_xafs", true, A::textArg(), [](I& s, const A& v) { s.xafsFile = v.text; }),
        i0Source("add_inf_raw_i0_xafs_clear", true, A::none(), [](I& s, const A&) { s.xafsFile.clear(); }),
        i0Source("add_inf_raw_i0_eng_ptn", true, A::textArg(), [](I& s, const A& v) { s.energyPattern = v.text; }),
        i0Source("add_inf_i0_i0_val", false, A::realArg(), [](I& s, const A& v) { s.value = v.real; }),
        i0Source("add_inf_i0_i0_from_xafs", false, A::flagArg(), [](I& s, const A& v) { s.fromXafs = v.flag; }),
        i0Source("add_inf_i0_i0_xafs", false, A::textArg(), [](I& s, const A& v) { s.xafsFile = v.text; }),
        i0Source("add_inf_i0_i0_xafs_clear", false, A::none(), [](I& s, const A&) { s.xafsFile.clear(); }),
        i0Source("add_inf_i0_i0_eng_ptn", false, A::textArg(), [](I& s, const A& v) { s.energyPattern = v.text; }),
    };
}
