#include "SessionCommands.h"

#include "Batch.h"
#include "CommandWindow.h"
#include "XafsBatch.h"
#include "XafsCommands.h"
#include "XafsJob.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {
using A = BatchArgs;
using X = SessionCommands;
using C = BatchCmd;
constexpr double intMax = std::numeric_limits<int>::max();
constexpr double intMin = std::numeric_limits<int>::min();

// The save directories a batch word names are made at once.
struct OutputDir
{
    const char* key;
    ReconOutput ReconSettings::*out;
};
constexpr OutputDir outputDirs[] = {
    {"imagePath", &ReconSettings::image}, {"dataPath", &ReconSettings::data}, {"tiffPath", &ReconSettings::tiff}};
} // namespace

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
    for (const SettingTable::Setting* r : settingRows())
        out << QLatin1String(r->batchWord);
    return out;
}

const std::vector<const SettingTable::Setting*>& SessionCommands::settingRows()
{
    static const std::vector<const SettingTable::Setting*> rows = [] {
        std::vector<const SettingTable::Setting*> r;
        for (const SettingTable::Setting& s : SettingTable::settings())
            if (s.batchWord)
                r.push_back(&s);
        return r;
    }();
    return rows;
}

void SessionCommands::setSetting(const BatchCmd& c, const SettingTable::Setting& row)
{
    const int failuresAtStart = lineFailuresAtStart;
    QString why;
    if (!SettingTable::set(s.settings, row, c.args, &why)) {
        fail(Failures::Command, c, why);
        finishLine(false, failuresAtStart);
        return;
    }
    // A save directory is made when named; a write failure of the line when it cannot be.
    QString unmade;
    for (const OutputDir& d : outputDirs) {
        const QString& path = (s.settings.*d.out).path;
        if (qstrcmp(row.key, d.key) == 0 && !path.isEmpty() && !QDir().mkpath(path))
            unmade = QStringLiteral("can't create directory ") + path;
    }
    s.settingSet(QLatin1String(row.key));
    if (!unmade.isEmpty())
        fail(Failures::Write, c, unmade);
    finishLine(unmade.isEmpty(), failuresAtStart);
}

// The command set. Each handler gets arguments that have passed their kind's
// checks; it returns Ok, Ng (failed, or the normal "no" of seq_exec_next) or
// Waits (it reports back itself when its work ends).
const std::vector<SessionCommands::Row>& SessionCommands::table()
{
    static const std::vector<Row> rows = withXafsAnalysis([] {
        std::vector<Row> all;
        for (auto group : {seriesRows, referenceRows, centreAndViewRows, additionalInfoRows, tabAndRunRows, dataDirRows,
                           xafsRows})
            for (const Row& r : group())
                all.push_back(r);
        return all;
    }());
    return rows;
}

// The XAFS analysis words of the core's table that the rows do not hold themselves.
std::vector<SessionCommands::Row> SessionCommands::withXafsAnalysis(std::vector<Row> rows)
{
    for (const XafsCommands::Row& xr : XafsCommands::table()) {
        if (std::any_of(rows.begin(), rows.end(), [&](const Row& o) { return qstrcmp(o.word, xr.word) == 0; }))
            continue;
        rows.push_back({xr.word, xr.rule, [](X& x, const C& c, const A&) {
                            // In the XAFS tab's job: the window stays live and offers Cancel.
                            XafsJob* job = x.w.xafsJob();
                            if (!job)
                                return x.fail(Failures::Command, c, QStringLiteral("needs the window's XAFS tab"));
                            XafsSession* xafs = &x.s.xafs();
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
                        }});
    }
    return rows;
}

SessionCommands::Outcome SessionCommands::waitForXafs(XafsJob& job, bool redraw)
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

SessionCommands::Outcome SessionCommands::told(SessionState::Part part)
{
    s.stateSet(part);
    return Outcome::Ok;
}

// The projection series: loading, clearing, the list panel's switches.
std::vector<SessionCommands::Row> SessionCommands::seriesRows()
{
    using O = Outcome;
    using P = SessionState::Part;
    return {
        {"images_load", A::dirPatterns(), [](X& x, const C& c, const A& a) { return x.loadSeriesDir(c, a); }},
        {"images_load_h5", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.loadSeriesFile(c, a, true, QStringLiteral("images_load_h5 ")); }},
        {"images_load_stack", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.loadSeriesFile(c, a, false, QStringLiteral("images_load_stack ")); }},
        {"images_new_on_load", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.s.state.series.replace = a.flag;
             return x.told(P::Series);
         }},
        {"images_add_on_load", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.s.state.series.replace = !a.flag;
             return x.told(P::Series);
         }},
        {"images_keep_conditions", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.s.state.series.keepConditions = a.flag;
             return x.told(P::Series);
         }},
        {"images_clear", A::none(),
         [](X& x, const C& c, const A&) {
             if (x.refusedInUse(c, QStringLiteral("images_clear")))
                 return O::Ng;
             x.s.clearSeries();
             return O::Ok;
         }},
        {"images_exp_time", A::realArg(0),
         [](X& x, const C&, const A& a) {
             x.s.state.series.expTime = a.real;
             return x.told(P::Series);
         }},
        {"images_multi", A::flagCount(SessionState::maxMultiTimes),
         [](X& x, const C&, const A& a) {
             x.s.state.series.multi = a.flag;
             x.s.state.series.multiTimes = a.integer;
             return x.told(P::Series);
         }},
        {"images_seek", A::intArg(intMin, intMax),
         [](X& x, const C&, const A& a) {
             x.w.showImage(a.integer);
             return O::Ok;
         }},
    };
}

// I0, BG and the I0 taken after the scan.
std::vector<SessionCommands::Row> SessionCommands::referenceRows()
{
    using P = SessionState::Part;
    using R = Session::Reference;
    return {
        {"i0_load", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.loadReference(c, a, R::I0, QStringLiteral("i0_load ")); }},
        {"i0_add", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.addReference(c, a, R::I0, QStringLiteral("i0_add ")); }},
        {"i0_after_load", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.loadReference(c, a, R::I0After, QStringLiteral("i0_after_load ")); }},
        {"i0_after_add", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.addReference(c, a, R::I0After, QStringLiteral("i0_after_add ")); }},
        {"i0_after_clear", A::none(),
         [](X& x, const C& c, const A&) { return x.clearReference(c, R::I0After, QStringLiteral("i0_after_clear")); }},
        {"i0_clear", A::none(), [](X& x, const C& c, const A&) { return x.clearReference(c, R::I0, QStringLiteral("i0_clear")); }},
        {"i0_exp_time", A::realArg(0),
         [](X& x, const C&, const A& a) {
             x.s.state.i0ExpTime = a.real;
             return x.told(P::ExpTimes);
         }},
        {"bg_load", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.loadReference(c, a, R::Bg, QStringLiteral("bg_load ")); }},
        {"bg_add", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.addReference(c, a, R::Bg, QStringLiteral("bg_add ")); }},
        {"bg_clear", A::none(), [](X& x, const C& c, const A&) { return x.clearReference(c, R::Bg, QStringLiteral("bg_clear")); }},
        {"bg_exp_time", A::realArg(0),
         [](X& x, const C&, const A& a) {
             x.s.state.bgExpTime = a.real;
             return x.told(P::ExpTimes);
         }},
    };
}

// The centre of rotation, the sinogram, the regions, colours and clearing the save panels.
std::vector<SessionCommands::Row> SessionCommands::centreAndViewRows()
{
    using O = Outcome;
    using P = SessionState::Part;
    return {
        // A questionable centre is set all the same but fails the line, so
        // :ifng can react; it is an answer about the data, not a failure,
        // and is not counted. No series or no such slice is.
        {"ct_cor_auto", A::optIntArg(0, intMax),
         [](X& x, const C& c, const A& a) {
             const CtCond& cond = x.s.settings.cond;
             const CorResult r = x.s.findCentre(cond, a.given ? a.integer : cond.sliceNo);
             if (!r.valid)
                 return x.fail(Failures::Command, c, r.reason);
             return r.sound ? O::Ok : O::Ng;
         }},
        // Waits for the trials; then the grid picture and the table go to
        // FILE, or beside the saved pictures or data when either is on.
        {"ct_cor_sweep", A::rangeFile(), [](X& x, const C& c, const A& a) { return x.corSweep(c, a); }},
        // The line is fitted now, over the images' height, and used by
        // every run until turned off.
        {"ct_cor_per_slice", A::flagArg(),
         [](X& x, const C& c, const A& a) {
             if (!x.s.setCorPerSlice(a.flag, x.s.settings.cond))
                 return x.fail(Failures::Command, c, x.s.corLine().text());
             return O::Ok;
         }},
        {"ct_auto_gen_sinogram", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.s.state.autoSinogram = a.flag;
             return x.told(P::AutoSinogram);
         }},
        {"ct_set_disp_region", A::regionArg(),
         [](X& x, const C&, const A& a) {
             x.s.state.displayRegion = {a.region[0], a.region[1], a.region[2], a.region[3]};
             return x.told(P::DisplayRegion);
         }},
        {"fix_color_scale", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.s.state.colour.fixed = a.flag;
             return x.told(P::Colour);
         }},
        {"fix_color_min", A::realArg(),
         [](X& x, const C&, const A& a) {
             x.s.state.colour.min = a.real;
             return x.told(P::Colour);
         }},
        {"fix_color_max", A::realArg(),
         [](X& x, const C&, const A& a) {
             x.s.state.colour.max = a.real;
             return x.told(P::Colour);
         }},
        {"auto_save_image_clear", A::none(),
         [](X& x, const C&, const A&) { return x.clearOutput(&ReconSettings::image, "imagePath", "imageName"); }},
        {"auto_save_data_clear", A::none(),
         [](X& x, const C&, const A&) { return x.clearOutput(&ReconSettings::data, "dataPath", "dataName"); }},
    };
}

SessionCommands::Outcome SessionCommands::changeI0(bool raw, const BatchArgs& a,
                                                  void (*change)(SessionState::I0Source&, const BatchArgs&))
{
    change(raw ? s.state.rawI0 : s.state.i0I0, a);
    return told(raw ? SessionState::Part::RawI0 : SessionState::Part::I0I0);
}

// The additional information: I0 values of raw and I0 images.
std::vector<SessionCommands::Row> SessionCommands::additionalInfoRows()
{
    using P = SessionState::Part;
    using I = SessionState::I0Source;
    return {
        // Also switches the data layout: existing programs rely on it.
        {"add_inf_show", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.s.state.additionalInfo = a.flag;
             x.told(P::AdditionalInfo);
             x.s.dataSets().setKvt(a.flag);
             return x.told(P::DataSets);
         }},
        {"seq_exec_kvt_std", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.s.dataSets().setKvt(a.flag);
             return x.told(P::DataSets);
         }},
        {"add_inf_raw_i0_val", A::realArg(),
         [](X& x, const C&, const A& a) { return x.changeI0(true, a, [](I& s, const A& v) { s.value = v.real; }); }},
        {"add_inf_raw_i0_from_xafs", A::flagArg(),
         [](X& x, const C&, const A& a) { return x.changeI0(true, a, [](I& s, const A& v) { s.fromXafs = v.flag; }); }},
        {"add_inf_raw_i0_xafs", A::textArg(),
         [](X& x, const C&, const A& a) { return x.changeI0(true, a, [](I& s, const A& v) { s.xafsFile = v.text; }); }},
        {"add_inf_raw_i0_xafs_clear", A::none(),
         [](X& x, const C&, const A& a) { return x.changeI0(true, a, [](I& s, const A&) { s.xafsFile.clear(); }); }},
        {"add_inf_raw_i0_eng_ptn", A::textArg(),
         [](X& x, const C&, const A& a) { return x.changeI0(true, a, [](I& s, const A& v) { s.energyPattern = v.text; }); }},
        {"add_inf_i0_i0_val", A::realArg(),
         [](X& x, const C&, const A& a) { return x.changeI0(false, a, [](I& s, const A& v) { s.value = v.real; }); }},
        {"add_inf_i0_i0_from_xafs", A::flagArg(),
         [](X& x, const C&, const A& a) { return x.changeI0(false, a, [](I& s, const A& v) { s.fromXafs = v.flag; }); }},
        {"add_inf_i0_i0_xafs", A::textArg(),
         [](X& x, const C&, const A& a) { return x.changeI0(false, a, [](I& s, const A& v) { s.xafsFile = v.text; }); }},
        {"add_inf_i0_i0_xafs_clear", A::none(),
         [](X& x, const C&, const A& a) { return x.changeI0(false, a, [](I& s, const A&) { s.xafsFile.clear(); }); }},
        {"add_inf_i0_i0_eng_ptn", A::textArg(),
         [](X& x, const C&, const A& a) { return x.changeI0(false, a, [](I& s, const A& v) { s.energyPattern = v.text; }); }},
    };
}

// Tabs shown, a run and a sequence started.
std::vector<SessionCommands::Row> SessionCommands::tabAndRunRows()
{
    using O = Outcome;
    return {
        {"show_tab", A::intArg(0, intMax),
         [](X& x, const C& c, const A& a) { return x.showTab(c, a.integer, QStringLiteral("no tab %1").arg(a.integer)); }},
        {"show_orig", A::none(), [](X& x, const C& c, const A&) { return x.showTab(c, 0, QString()); }},
        {"show_sinogram", A::none(), [](X& x, const C& c, const A&) { return x.showTab(c, 1, QString()); }},
        {"show_ct1", A::none(), [](X& x, const C& c, const A&) { return x.showTab(c, 2, QString()); }},
        {"show_i0", A::none(), [](X& x, const C& c, const A&) { return x.showTab(c, 3, QString()); }},
        {"show_bg", A::none(), [](X& x, const C& c, const A&) { return x.showTab(c, 4, QString()); }},
        {"show_ct2", A::intArg(0, intMax),
         [](X& x, const C& c, const A& a) {
             QString why;
             return x.w.showCt2(a.integer, &why) ? O::Ok : x.fail(Failures::Command, c, why);
         }},
        {"calc_exec", A::none(), [](X& x, const C& c, const A&) { return x.calcExec(c); }},
        {"seq_calc", A::none(), [](X& x, const C& c, const A&) { return x.seqCalc(c); }},
    };
}

// Data-directory sets and the I0 files chosen by energy; saving a display.
std::vector<SessionCommands::Row> SessionCommands::dataDirRows()
{
    using O = Outcome;
    return {
        {"seq_exec_dir", A::textArg(),
         [](X& x, const C& c, const A& a) {
             if (!QFileInfo(a.text).isDir())
                 return x.fail(Failures::Load, c, QStringLiteral("no such directory: ") + a.text);
             x.s.dataSets().setDir(a.text);
             return x.told(SessionState::Part::DataSets);
         }},
        {"seq_exec_file_pattern", A::textArg(),
         [](X& x, const C&, const A& a) {
             x.s.dataSets().setPattern(a.text);
             return x.told(SessionState::Part::DataSets);
         }},
        // No further set is the normal end of a walk, not a failure.
        {"seq_exec_next", A::none(),
         [](X& x, const C&, const A&) {
             if (!x.s.dataSets().next())
                 return O::Ng;
             return x.told(SessionState::Part::DataSets);
         }},
        {"seq_exec_set", A::none(),
         [](X& x, const C& c, const A&) {
             if (x.refusedInUse(c, QStringLiteral("seq_exec_set")))
                 return O::Ng;
             if (x.s.dataSets().current() < 0)
                 return x.fail(Failures::Command, c, QStringLiteral("no data set to apply"));
             x.s.loadDataSet();
             return O::Ok;
         }},
        {"i0_files_load", A::dirPatterns(),
         [](X& x, const C& c, const A& a) {
             if (a.text.isEmpty())
                 return x.fail(Failures::Command, c, QStringLiteral("no directory given"));
             // A missing directory or no match is refused there, the list kept.
             return x.s.loadI0Files(a.text, a.patterns, x.s.state.i0FilesReplace) ? O::Ok : O::Ng;
         }},
        {"i0_files_clear", A::none(),
         [](X& x, const C&, const A&) {
             x.s.clearI0Files();
             return O::Ok;
         }},
        {"seq_exec_select_i0", A::none(),
         [](X& x, const C& c, const A&) {
             const bool none = x.s.i0Files().isEmpty();
             QString why;
             x.s.chooseI0ByEnergy(&why);
             if (none)
                 return x.fail(Failures::Command, c, QStringLiteral("no I0 files to choose from"));
             if (!why.isEmpty())
                 return x.fail(Failures::Command, c, why);
             return O::Ok;
         }},
        {"save_image", A::displayFile(), [](X& x, const C& c, const A& a) { return x.saveImage(c, a); }},
    };
}

// The energy stack of the XAFS tab.
std::vector<SessionCommands::Row> SessionCommands::xafsRows()
{
    using O = Outcome;
    return {
        {"xafs_stack_load", A::dirPatterns(),
         [](X& x, const C& c, const A& a) {
             if (a.patterns.size() != 1)
                 return x.fail(Failures::Command, c, QStringLiteral("give a directory and one file-name pattern"));
             QString why;
             if (!x.s.xafs().loadStack(a.text, a.patterns.first(), &why))
                 return x.fail(Failures::Load, c, why);
             x.w.xafsChanged();
             return O::Ok;
         }},
        {"xafs_fit_ranges", A::regionArg(),
         [](X& x, const C& c, const A& a) {
             XafsRanges r = x.s.xafs().ranges();
             r.pre1 = a.region[0];
             r.pre2 = a.region[1];
             r.post1 = a.region[2];
             r.post2 = a.region[3];
             QString why;
             if (!x.s.xafs().setRanges(r, &why))
                 return x.fail(Failures::Command, c, why);
             x.w.xafsChanged();
             return O::Ok;
         }},
        {"xafs_post_order", A::intArg(1, 2),
         [](X& x, const C& c, const A& a) {
             XafsRanges r = x.s.xafs().ranges();
             r.postOrder = a.integer;
             QString why;
             if (!x.s.xafs().setRanges(r, &why))
                 return x.fail(Failures::Command, c, why);
             x.w.xafsChanged();
             return O::Ok;
         }},
        {"xafs_jump_threshold", A::realArg(),
         [](X& x, const C&, const A& a) {
             x.s.xafs().setThreshold(a.real);
             x.w.xafsChanged();
             return O::Ok;
         }},
        {"xafs_roi_spectrum", A::regionFileArg(),
         [](X& x, const C& c, const A& a) {
             QString why;
             const XafsRoi roi = XafsRoi::rect(a.region[0], a.region[1], a.region[2], a.region[3]);
             if (!x.s.xafs().exportSpectrum(roi, a.text, &why))
                 return x.fail(Failures::Write, c, why);
             x.w.xafsRegionAdded(roi);
             return O::Ok;
         }},
        {"xafs_view", A::intArg(0, 64),
         [](X& x, const C&, const A& a) {
             x.w.showXafsView(a.integer);
             // A map view may have started its maps in the tab's job: the line ends with it.
             XafsJob* job = x.w.xafsJob();
             if (!job || !job->busy())
                 return O::Ok;
             return x.waitForXafs(*job, false);
         }},
        {"show_xafs", A::none(),
         [](X& x, const C& c, const A&) {
             QString why;
             return x.w.showXafs(&why) ? O::Ok : x.fail(Failures::Command, c, why);
         }},
        {"xafs_edge_map", A::textArg(), [](X& x, const C& c, const A& a) { return x.xafsMap(c, a, XafsMaps::E0); }},
        {"xafs_jump_map", A::textArg(), [](X& x, const C& c, const A& a) { return x.xafsMap(c, a, XafsMaps::Jump); }},
        {"xafs_mask_map", A::textArg(), [](X& x, const C& c, const A& a) { return x.xafsMap(c, a, XafsMaps::Mask); }},
    };
}

SessionCommands::Outcome SessionCommands::fail(Failures::Kind kind, const BatchCmd& c, const QString& why)
{
    Failures::record(kind, BatchArgs::where(c) + QStringLiteral(": ") + why);
    return Outcome::Ng;
}

bool SessionCommands::refusedInUse(const BatchCmd& c, const QString& what)
{
    if (!s.refuseWhileInUse(what))
        return false;
    fail(Failures::Command, c, s.loading ? QStringLiteral("refused while projection images load")
                                         : QStringLiteral("refused while a reconstruction runs"));
    return true;
}

void SessionCommands::execute(const BatchCmd& c)
{
    const int failuresAtStart = lineFailuresAtStart = Failures::total();
    const int row = lookup.find(c.cmd);
    if (row >= int(table().size())) {
        setSetting(c, *settingRows().at(size_t(row) - table().size()));
        return;
    }
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
    if (c.cmd.startsWith(QLatin1String("xafs_")) && job && job->busy()) {
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

SessionCommands::Outcome SessionCommands::loadSeriesDir(const BatchCmd& c, const BatchArgs& a)
{
    if (refusedInUse(c, QStringLiteral("images_load ") + a.text))
        return Outcome::Ng;
    if (a.text.isEmpty())
        return fail(Failures::Command, c, QStringLiteral("no directory given"));
    // A missing directory or no match is refused there, the series kept.
    return s.loadSeriesDir(a.text, a.patterns) ? Outcome::Ok : Outcome::Ng;
}

SessionCommands::Outcome SessionCommands::loadFile(const BatchCmd& c, const BatchArgs& a, const QString& what,
                                                   const std::function<bool()>& load)
{
    if (refusedInUse(c, what + a.text))
        return Outcome::Ng;
    if (a.text.isEmpty())
        return fail(Failures::Command, c, QStringLiteral("a file name is missing"));
    const int failures = Failures::total();
    if (load())
        return Outcome::Ok;
    // The loader or the set has normally counted the failure itself.
    if (Failures::total() > failures)
        return Outcome::Ng;
    return fail(Failures::Load, c, QStringLiteral("can't load ") + a.text);
}

SessionCommands::Outcome SessionCommands::loadSeriesFile(const BatchCmd& c, const BatchArgs& a, bool h5,
                                                         const QString& what)
{
    return loadFile(c, a, what, [&] { return s.loadSeriesFile(a.text, h5); });
}

SessionCommands::Outcome SessionCommands::loadReference(const BatchCmd& c, const BatchArgs& a, Session::Reference r,
                                                        const QString& what)
{
    return loadFile(c, a, what, [&] { return s.loadReference(r, {a.text}, false, QStringLiteral("loading ") + a.text); });
}

SessionCommands::Outcome SessionCommands::addReference(const BatchCmd& c, const BatchArgs& a, Session::Reference r,
                                                       const QString& what)
{
    return loadFile(c, a, what, [&] { return s.loadReference(r, {a.text}, true, QStringLiteral("adding ") + a.text); });
}

SessionCommands::Outcome SessionCommands::clearReference(const BatchCmd& c, Session::Reference r, const QString& what)
{
    if (refusedInUse(c, what))
        return Outcome::Ng;
    s.clearReference(r, QStringLiteral("clearing"));
    return Outcome::Ok;
}

SessionCommands::Outcome SessionCommands::clearOutput(ReconOutput ReconSettings::*out, const char* pathKey,
                                                      const char* nameKey)
{
    (s.settings.*out).path.clear();
    (s.settings.*out).name.clear();
    s.settingSet(QLatin1String(pathKey));
    s.settingSet(QLatin1String(nameKey));
    return Outcome::Ok;
}

SessionCommands::Outcome SessionCommands::showTab(const BatchCmd& c, int index, const QString& noSuchTab)
{
    QString why;
    return w.showTab(index, noSuchTab, &why) ? Outcome::Ok : fail(Failures::Command, c, why);
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

SessionCommands::Outcome SessionCommands::corSweep(const BatchCmd& c, const BatchArgs& a)
{
    const QString why = s.startSweep(s.settings.cond, a.region[0], a.region[1], a.region[2]);
    if (!why.isEmpty())
        return fail(Failures::Command, c, why);
    w.showSweep();
    waiting = Wait::Sweep;
    waitFailuresAtStart = lineFailuresAtStart;
    sweepLine = c;
    sweepFile = a.text;
    return Outcome::Waits;
}

void SessionCommands::sweepEnded()
{
    if (waiting != Wait::Sweep)
        return;
    waiting = Wait::Nothing;
    QString why;
    if (s.sweep().wasCancelled())
        fail(Failures::Run, sweepLine, QStringLiteral("the sweep was stopped"));
    else if (s.sweep().best() < 0)
        fail(Failures::Run, sweepLine, QStringLiteral("no trial gave a slice"));
    else if (!w.saveSweep(sweepFile, &why))
        fail(Failures::Write, sweepLine, why);
    finishLine(true, waitFailuresAtStart);
}

SessionCommands::Outcome SessionCommands::xafsMap(const BatchCmd& c, const BatchArgs& a, int kind)
{
    if (a.text.isEmpty())
        return fail(Failures::Command, c, QStringLiteral("a file name is missing"));
    QString why;
    if (!s.xafs().exportMap(XafsMaps::Kind(kind), a.text, &why))
        return fail(Failures::Write, c, why);
    return Outcome::Ok;
}

SessionCommands::Outcome SessionCommands::saveImage(const BatchCmd& c, const BatchArgs& a)
{
    Failures::Kind kind = Failures::Command;
    QString why;
    return w.saveDisplay(a, &kind, &why) ? Outcome::Ok : fail(kind, c, why);
}
