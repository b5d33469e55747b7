#include "BodyCommands.h"

#include "Body.h"
#include "CorSearch.h"
#include "CorSweepPanel.h"
#include "CtCalc2Ui.h"
#include "CtRun.h"
#include "ImgData.h"
#include "RingRemoval.h"
#include "SettingTable.h"
#include "XafsCommands.h"
#include "XafsPanel.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {
using A = BatchArgs;
constexpr double intMax = std::numeric_limits<int>::max();
constexpr double intMin = std::numeric_limits<int>::min();

// The save panels make their directory; a batch line says when they could not.
QString unmade(const QString& dir)
{
    return !dir.isEmpty() && !QFileInfo(dir).isDir() ? QStringLiteral("can't create directory ") + dir : QString();
}
} // namespace

BodyCommands::BodyCommands(Body* body) : b(body), lookup(words())
{
    connect(b, &Body::batchCalcFinished, this, &BodyCommands::runEnded);
    connect(&b->seqDriver, &XafsBatch::finished, this, &BodyCommands::sequenceEnded);
    connect(b->corSweep, &CorSweep::finished, this, &BodyCommands::sweepEnded);
    connect(b, &Body::seriesLoadEnded, this, &BodyCommands::loadEnded);
}

QStringList BodyCommands::words()
{
    QStringList w;
    for (const Row& r : table())
        w << QLatin1String(r.word);
    for (const Binding& b : bindings())
        w << QLatin1String(SettingTable::byKey(QLatin1String(b.key))->batchWord);
    return w;
}

const std::vector<BodyCommands::Binding>& BodyCommands::bindings()
{
    using X = BodyCommands;
    using S = ReconSettings;
    static const std::vector<Binding> rows = {
        {"axisIsH", [](X& x, const S& s) { x.setAxis(s.cond.rotAxIsV); }},
        {"axisIsV", [](X& x, const S& s) { x.setAxis(s.cond.rotAxIsV); }},
        {"slice", [](X& x, const S& s) { x.b->procCtrl->setSliceNo(s.cond.sliceNo); }},
        {"series", [](X& x, const S& s) { x.b->procCtrl->AutoExecCtCalc->setChecked(s.cond.autoExec); }},
        {"from", [](X& x, const S& s) { x.b->procCtrl->setSliceFrom(s.cond.from); }},
        {"to", [](X& x, const S& s) { x.b->procCtrl->setSliceTo(s.cond.to); }},
        {"step", [](X& x, const S& s) { x.b->procCtrl->setSliceStep(std::abs(s.cond.step)); }},
        {"threads", [](X& x, const S& s) { x.b->procCtrl->Threads->setValue(s.cond.threads); }},
        {"cor", [](X& x, const S& s) { x.b->procCtrl->setCor(s.cond.cor); }},
        {"filter", [](X& x, const S& s) { x.b->procCtrl->setFilter(s.cond.filter); }},
        // 0 clears the size.
        {"pixelSize", [](X& x, const S& s) { x.b->procCtrl->setPixelSize(s.cond.pixelSizeUm); }},
        {"rings", [](X& x, const S& s) { x.b->procCtrl->setRingSize(s.cond.ringSize); }},
        {"angles", [](X& x, const S& s) { x.b->procCtrl->setAngles(s.cond.angles); }},
        {"zinger", [](X& x, const S& s) { x.b->procCtrl->setZinger(s.cond.zingerThreshold); }},
        {"phaseRetrieval", [](X& x, const S& s) { x.b->procCtrl->setPaganin(s.cond.paganin); }},
        {"binning", [](X& x, const S& s) { x.b->procCtrl->setBinning(s.cond.binning); }},
        {"maxInvalid", [](X& x, const S& s) { x.b->procCtrl->maxInvalid = s.cond.maxInvalid; }},
        // Read by the next load.
        {"allowGaps", [](X& x, const S& s) { x.b->CTFiles->allowGaps = s.allowGaps; }},
        {"angleUnit", [](X& x, const S& s) { x.b->rawImages.angleUnit = s.angleUnit; }},
        // No control: the session keeps it for the next runs.
        {"precision", [](X&, const S&) {}},
        {"volume", [](X&, const S&) {}},
        {"shifts", [](X&, const S&) {}},
        {"ct1", [](X& x, const S& s) { x.b->selectCt(x.b->SelectCt1, s.cond.ct1); }},
        {"ct2", [](X& x, const S& s) { x.b->selectCt(x.b->SelectCt2, s.cond.ct2); }},
        {"showImage", [](X& x, const S& s) { x.b->ShowCalcRes->setChecked(s.showImage); }},
        {"saveImage", [](X& x, const S& s) { x.b->AutoSaveImage->setChecked(s.image.on); }},
        {"saveData", [](X& x, const S& s) { x.b->AutoSaveData->setChecked(s.data.on); }},
        {"saveTiff", [](X& x, const S& s) { x.b->AutoSaveTiff->setChecked(s.tiff.on); }},
        {"imageName", [](X& x, const S& s) { x.b->SelectImageSaveDir->Name->setText(s.image.name); }},
        {"imageTag", [](X& x, const S& s) { x.b->SelectImageSaveDir->AddTag->setText(s.image.tag); }},
        {"dataName", [](X& x, const S& s) { x.b->SelectDataSaveDir->Name->setText(s.data.name); }},
        {"dataTag", [](X& x, const S& s) { x.b->SelectDataSaveDir->AddTag->setText(s.data.tag); }},
        {"tiffName", [](X& x, const S& s) { x.b->SelectTiffSaveDir->Name->setText(s.tiff.name); }},
        {"imagePath", [](X& x, const S& s) { x.b->SelectImageSaveDir->setPath(s.image.path); },
         [](const S& s) { return unmade(s.image.path); }},
        {"dataPath", [](X& x, const S& s) { x.b->SelectDataSaveDir->setPath(s.data.path); },
         [](const S& s) { return unmade(s.data.path); }},
        {"tiffPath", [](X& x, const S& s) { x.b->SelectTiffSaveDir->setPath(s.tiff.path); },
         [](const S& s) { return unmade(s.tiff.path); }},
        {"region",
         [](X& x, const S& s) { x.b->setCalcRegion(nullptr, s.region.x0, s.region.z0, s.region.x1, s.region.z1); }},
        // Read by the next load; a range named here replaces the box's choice.
        {"loadLines",
         [](X& x, const S& s) {
             x.b->procCtrl->LoadSliceRowsOnly->setChecked(false);
             x.b->rawImages.band =
                 s.allLines ? LineBand() : LineBand::ofSlices(s.linesFrom, s.linesTo, x.b->procCtrl->rotAxIsV);
         }},
    };
    return rows;
}

void BodyCommands::setSetting(const BatchCmd& c, const Binding& bind)
{
    const int failuresAtStart = lineFailuresAtStart;
    // Into the session's settings; the control shows the field it is bound to.
    ReconSettings& s = b->session->settings;
    QString why;
    if (!SettingTable::set(s, *SettingTable::byKey(QLatin1String(bind.key)), c.args, &why)) {
        fail(Failures::Command, c, why);
        finishLine(false, failuresAtStart);
        return;
    }
    bind.show(*this, s);
    const QString unmet = bind.writeRefusal ? bind.writeRefusal(s) : QString();
    if (!unmet.isEmpty())
        fail(Failures::Write, c, unmet);
    finishLine(unmet.isEmpty(), failuresAtStart);
}

// The command set. Each handler gets arguments that have passed their kind's
// checks; it returns Ok, Ng (failed, or the normal "no" of seq_exec_next) or
// Waits (it reports back itself when its work ends).
const std::vector<BodyCommands::Row>& BodyCommands::table()
{
    using O = Outcome;
    using X = BodyCommands;
    using C = BatchCmd;
    // The XAFS analysis words of the core's table that this one does not hold itself.
    auto withXafs = [](std::vector<Row> r) {
        for (const XafsCommands::Row& w : XafsCommands::table()) {
            if (std::any_of(r.begin(), r.end(), [&](const Row& o) { return qstrcmp(o.word, w.word) == 0; }))
                continue;
            r.push_back({w.word, w.rule, [](X& x, const C& c, const A&) {
                             // In the XAFS tab's job: the window stays live and offers Cancel.
                             XafsJob& job = x.b->xafsPanel->job();
                             XafsSession* session = &x.b->xafs;
                             const bool started = job.start(c.cmd, [session, c](XafsProgress* p, QString& why, int& kind) {
                                 XafsCommands::Context ctx{*session, p};
                                 Failures::Kind k = Failures::Command;
                                 const bool ok = XafsCommands::run(ctx, c, &k, &why);
                                 kind = int(k);
                                 return ok;
                             });
                             if (!started)
                                 return x.fail(Failures::Command, c, QStringLiteral("refused while the XAFS tab computes"));
                             const int atStart = x.lineFailuresAtStart;
                             connect(&job, &XafsJob::finished, &x, [&x, atStart](bool ok, int kind, const QString& why) {
                                 if (!ok)
                                     Failures::record(Failures::Kind(kind), why);
                                 emit x.b->xafsChanged();
                                 x.finishLine(ok, atStart);
                             }, Qt::SingleShotConnection);
                             return O::Waits;
                         }});
        }
        return r;
    };
    static const std::vector<Row> rows = withXafs([] {
        std::vector<Row> all;
        for (auto group : {seriesRows, referenceRows, centreAndViewRows, additionalInfoRows, tabAndRunRows, dataDirRows,
                           xafsRows})
            for (const Row& r : group())
                all.push_back(r);
        return all;
    }());
    return rows;
}

// The projection series: loading, clearing, the list panel's switches.
std::vector<BodyCommands::Row> BodyCommands::seriesRows()
{
    using O = Outcome;
    using X = BodyCommands;
    using C = BatchCmd;
    return {
        {"images_load", A::dirPatterns(),
         [](X& x, const C& c, const A& a) { return x.takeDir(c, a, x.b->CTFiles, QStringLiteral("images_load ")); }},
        {"images_load_h5", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.loadSeriesFile(c, a, true, QStringLiteral("images_load_h5 ")); }},
        {"images_load_stack", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.loadSeriesFile(c, a, false, QStringLiteral("images_load_stack ")); }},
        {"images_new_on_load", A::flagArg(),
         [](X& x, const C&, const A& a) {
             (a.flag ? x.b->CTFiles->LoadNewFiles : x.b->CTFiles->AddFiles)->setChecked(true);
             return O::Ok;
         }},
        {"images_add_on_load", A::flagArg(),
         [](X& x, const C&, const A& a) {
             (a.flag ? x.b->CTFiles->AddFiles : x.b->CTFiles->LoadNewFiles)->setChecked(true);
             return O::Ok;
         }},
        {"images_keep_conditions", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.b->CTFiles->KeepConditions->setChecked(a.flag);
             return O::Ok;
         }},
        {"images_clear", A::none(),
         [](X& x, const C& c, const A&) {
             if (x.refusedInUse(c, QStringLiteral("images_clear")))
                 return O::Ng;
             x.b->CTFiles->clearFiles();
             return O::Ok;
         }},
        {"images_exp_time", A::realArg(0),
         [](X& x, const C&, const A& a) {
             x.b->CTFiles->setExpTime(a.real);
             return O::Ok;
         }},
        {"images_multi", A::flagCount(SelectDataFiles::maxMultiTimes),
         [](X& x, const C&, const A& a) {
             x.b->CTFiles->LoadMultiTimes->setChecked(a.flag);
             x.b->CTFiles->MultiTimes->setText(QString::number(a.integer));
             return O::Ok;
         }},
        {"images_seek", A::intArg(intMin, intMax),
         [](X& x, const C&, const A& a) {
             x.b->seekCtrl->setIndex(a.integer);
             return O::Ok;
         }},
    };
}

// I0, BG and the I0 taken after the scan.
std::vector<BodyCommands::Row> BodyCommands::referenceRows()
{
    using O = Outcome;
    using X = BodyCommands;
    using C = BatchCmd;
    return {
        {"i0_load", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.loadReference(c, a, Session::Reference::I0, QStringLiteral("i0_load ")); }},
        {"i0_add", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.addReference(c, a, Session::Reference::I0, QStringLiteral("i0_add ")); }},
        {"i0_after_load", A::textArg(),
         [](X& x, const C& c, const A& a) {
             return x.loadReference(c, a, Session::Reference::I0After, QStringLiteral("i0_after_load "));
         }},
        {"i0_after_add", A::textArg(),
         [](X& x, const C& c, const A& a) {
             return x.addReference(c, a, Session::Reference::I0After, QStringLiteral("i0_after_add "));
         }},
        {"i0_after_clear", A::none(),
         [](X& x, const C& c, const A&) {
             return x.clearReference(c, Session::Reference::I0After, QStringLiteral("i0_after_clear"));
         }},
        {"i0_clear", A::none(),
         [](X& x, const C& c, const A&) { return x.clearReference(c, Session::Reference::I0, QStringLiteral("i0_clear")); }},
        {"i0_exp_time", A::realArg(0),
         [](X& x, const C&, const A& a) {
             x.b->I0ImgSel->setExpTime(a.real);
             return O::Ok;
         }},
        {"bg_load", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.loadReference(c, a, Session::Reference::Bg, QStringLiteral("bg_load ")); }},
        {"bg_add", A::textArg(),
         [](X& x, const C& c, const A& a) { return x.addReference(c, a, Session::Reference::Bg, QStringLiteral("bg_add ")); }},
        {"bg_clear", A::none(),
         [](X& x, const C& c, const A&) { return x.clearReference(c, Session::Reference::Bg, QStringLiteral("bg_clear")); }},
        {"bg_exp_time", A::realArg(0),
         [](X& x, const C&, const A& a) {
             x.b->BGImgSel->setExpTime(a.real);
             return O::Ok;
         }},
    };
}

// The centre of rotation, the sinogram, the regions, colours and clearing the save panels.
std::vector<BodyCommands::Row> BodyCommands::centreAndViewRows()
{
    using O = Outcome;
    using X = BodyCommands;
    using C = BatchCmd;
    return {
        // A questionable centre is set all the same but fails the line, so
        // :ifng can react; it is an answer about the data, not a failure,
        // and is not counted. No series or no such slice is.
        {"ct_cor_auto", A::optIntArg(0, intMax),
         [](X& x, const C& c, const A& a) {
             const CorResult r = x.b->findCentre(a.given ? a.integer : x.b->procCtrl->sliceNo);
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
             if (!x.b->setCorPerSlice(a.flag))
                 return x.fail(Failures::Command, c, x.b->session->corLine().text());
             return O::Ok;
         }},
        {"ct_auto_gen_sinogram", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.b->procCtrl->AutoUpdate->setChecked(a.flag);
             return O::Ok;
         }},
        {"ct_set_disp_region", A::regionArg(),
         [](X& x, const C&, const A& a) {
             x.b->setDispRegion(nullptr, a.region[0], a.region[1], a.region[2], a.region[3]);
             return O::Ok;
         }},
        {"fix_color_scale", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.b->FixColorScale->setChecked(a.flag);
             return O::Ok;
         }},
        {"fix_color_min", A::realArg(),
         [](X& x, const C&, const A& a) {
             x.b->setColorMin(a.real);
             return O::Ok;
         }},
        {"fix_color_max", A::realArg(),
         [](X& x, const C&, const A& a) {
             x.b->setColorMax(a.real);
             return O::Ok;
         }},
        {"auto_save_image_clear", A::none(),
         [](X& x, const C&, const A&) {
             x.b->SelectImageSaveDir->clear0();
             return O::Ok;
         }},
        {"auto_save_data_clear", A::none(),
         [](X& x, const C&, const A&) {
             x.b->SelectDataSaveDir->clear0();
             return O::Ok;
         }},
    };
}

// The additional information: I0 values of raw and I0 images.
std::vector<BodyCommands::Row> BodyCommands::additionalInfoRows()
{
    using O = Outcome;
    using X = BodyCommands;
    using C = BatchCmd;
    return {
        // Also switches the data layout: existing programs rely on it.
        {"add_inf_show", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.b->ShowAdditionalInfo->setChecked(a.flag);
             x.b->showAdditionalInfo(a.flag);
             x.b->setKVTStd(a.flag);
             return O::Ok;
         }},
        {"seq_exec_kvt_std", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.b->setKVTStd(a.flag);
             return O::Ok;
         }},
        {"add_inf_raw_i0_val", A::realArg(),
         [](X& x, const C&, const A& a) {
             x.b->I0ofRawImage_->setI0Value(a.real);
             return O::Ok;
         }},
        {"add_inf_raw_i0_from_xafs", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.b->I0ofRawImage_->setFromXafs(a.flag);
             return O::Ok;
         }},
        {"add_inf_raw_i0_xafs", A::textArg(),
         [](X& x, const C&, const A& a) {
             x.b->I0ofRawImage_->xafsFile()->fileSelected0(a.text);
             return O::Ok;
         }},
        {"add_inf_raw_i0_xafs_clear", A::none(),
         [](X& x, const C&, const A&) {
             x.b->I0ofRawImage_->xafsFile()->clear0();
             return O::Ok;
         }},
        {"add_inf_raw_i0_eng_ptn", A::textArg(),
         [](X& x, const C&, const A& a) {
             x.b->I0ofRawImage_->setEnergyPattern(a.text);
             return O::Ok;
         }},
        {"add_inf_i0_i0_val", A::realArg(),
         [](X& x, const C&, const A& a) {
             x.b->I0ofI0Image_->setI0Value(a.real);
             return O::Ok;
         }},
        {"add_inf_i0_i0_from_xafs", A::flagArg(),
         [](X& x, const C&, const A& a) {
             x.b->I0ofI0Image_->setFromXafs(a.flag);
             return O::Ok;
         }},
        {"add_inf_i0_i0_xafs", A::textArg(),
         [](X& x, const C&, const A& a) {
             x.b->I0ofI0Image_->xafsFile()->fileSelected0(a.text);
             return O::Ok;
         }},
        {"add_inf_i0_i0_xafs_clear", A::none(),
         [](X& x, const C&, const A&) {
             x.b->I0ofI0Image_->xafsFile()->clear0();
             return O::Ok;
         }},
        {"add_inf_i0_i0_eng_ptn", A::textArg(),
         [](X& x, const C&, const A& a) {
             x.b->I0ofI0Image_->setEnergyPattern(a.text);
             return O::Ok;
         }},
    };
}

// Tabs shown, a run and a sequence started.
std::vector<BodyCommands::Row> BodyCommands::tabAndRunRows()
{
    using X = BodyCommands;
    using C = BatchCmd;
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
             // Only CT2 tabs: the XAFS tab follows the last of them.
             const int tab = a.integer < x.b->ctRun->count() ? x.b->ct2FirstTab + a.integer : -1;
             if (tab >= 0 && !x.b->ImgsTab->isTabVisible(tab))
                 return x.fail(Failures::Command, c, QStringLiteral("CT2 display %1 is not in use (%2)")
                                                         .arg(a.integer).arg(x.b->ct2TabsReason()));
             return x.showTab(c, tab, QStringLiteral("no CT2 display %1").arg(a.integer));
         }},
        {"calc_exec", A::none(), [](X& x, const C& c, const A&) { return x.calcExec(c); }},
        {"seq_calc", A::none(), [](X& x, const C& c, const A&) { return x.seqCalc(c); }},
    };
}

// Data-directory sets and the I0 files chosen by energy; saving a display.
std::vector<BodyCommands::Row> BodyCommands::dataDirRows()
{
    using O = Outcome;
    using X = BodyCommands;
    using C = BatchCmd;
    return {
        {"seq_exec_dir", A::textArg(),
         [](X& x, const C& c, const A& a) {
             if (!QFileInfo(a.text).isDir())
                 return x.fail(Failures::Load, c, QStringLiteral("no such directory: ") + a.text);
             SelectDataDir* d = x.b->SelDDir;
             d->SelDir->dialog.setDirectory(a.text);
             d->SelDir->setDirName(a.text);
             d->aDirSelected(a.text);
             return O::Ok;
         }},
        {"seq_exec_file_pattern", A::textArg(),
         [](X& x, const C&, const A& a) {
             x.b->SelDDir->Pattern->setText(a.text);
             return O::Ok;
         }},
        // No further set is the normal end of a walk, not a failure.
        {"seq_exec_next", A::none(),
         [](X& x, const C&, const A&) {
             QComboBox* sets = x.b->SelDDir->SubDirs;
             const int i = sets->currentIndex();
             if (i + 1 >= sets->count())
                 return O::Ng;
             sets->setCurrentIndex(i + 1);
             return O::Ok;
         }},
        {"seq_exec_set", A::none(),
         [](X& x, const C& c, const A&) {
             if (x.refusedInUse(c, QStringLiteral("seq_exec_set")))
                 return O::Ng;
             if (x.b->SelDDir->SubDirs->currentIndex() < 0)
                 return x.fail(Failures::Command, c, QStringLiteral("no data set to apply"));
             x.b->SelDDir->set();
             return O::Ok;
         }},
        {"i0_files_load", A::dirPatterns(),
         [](X& x, const C& c, const A& a) { return x.takeDir(c, a, x.b->SelI0Files, QString()); }},
        {"i0_files_clear", A::none(),
         [](X& x, const C&, const A&) {
             x.b->SelI0Files->clearFiles();
             x.b->i0Energies.clear();
             return O::Ok;
         }},
        {"seq_exec_select_i0", A::none(),
         [](X& x, const C& c, const A&) {
             Body* b = x.b;
             const bool none = std::min(int(b->i0Energies.size()), b->SelI0Files->Selected->count()) <= 0;
             QString refused;
             b->chooseI0ByEnergy(&refused);
             if (none)
                 return x.fail(Failures::Command, c, QStringLiteral("no I0 files to choose from"));
             if (!refused.isEmpty())
                 return x.fail(Failures::Command, c, refused);
             return O::Ok;
         }},
        {"save_image", A::displayFile(), [](X& x, const C& c, const A& a) { return x.saveImage(c, a); }},
    };
}

// The energy stack of the XAFS tab.
std::vector<BodyCommands::Row> BodyCommands::xafsRows()
{
    using O = Outcome;
    using X = BodyCommands;
    using C = BatchCmd;
    return {
        {"xafs_stack_load", A::dirPatterns(),
         [](X& x, const C& c, const A& a) {
             if (a.patterns.size() != 1)
                 return x.fail(Failures::Command, c, QStringLiteral("give a directory and one file-name pattern"));
             QString why;
             if (!x.b->xafs.loadStack(a.text, a.patterns.first(), &why))
                 return x.fail(Failures::Load, c, why);
             emit x.b->xafsChanged();
             return O::Ok;
         }},
        {"xafs_fit_ranges", A::regionArg(),
         [](X& x, const C& c, const A& a) {
             XafsRanges r = x.b->xafs.ranges();
             r.pre1 = a.region[0];
             r.pre2 = a.region[1];
             r.post1 = a.region[2];
             r.post2 = a.region[3];
             QString why;
             if (!x.b->xafs.setRanges(r, &why))
                 return x.fail(Failures::Command, c, why);
             emit x.b->xafsChanged();
             return O::Ok;
         }},
        {"xafs_post_order", A::intArg(1, 2),
         [](X& x, const C& c, const A& a) {
             XafsRanges r = x.b->xafs.ranges();
             r.postOrder = a.integer;
             QString why;
             if (!x.b->xafs.setRanges(r, &why))
                 return x.fail(Failures::Command, c, why);
             emit x.b->xafsChanged();
             return O::Ok;
         }},
        {"xafs_jump_threshold", A::realArg(),
         [](X& x, const C&, const A& a) {
             x.b->xafs.setThreshold(a.real);
             emit x.b->xafsChanged();
             return O::Ok;
         }},
        {"xafs_roi_spectrum", A::regionFileArg(),
         [](X& x, const C& c, const A& a) {
             QString why;
             const XafsRoi roi = XafsRoi::rect(a.region[0], a.region[1], a.region[2], a.region[3]);
             if (!x.b->xafs.exportSpectrum(roi, a.text, &why))
                 return x.fail(Failures::Write, c, why);
             x.b->xafsPanel->addRegion(roi);
             return O::Ok;
         }},
        {"xafs_view", A::intArg(0, 64),
         [](X& x, const C&, const A& a) {
             x.b->xafsPanel->showView(a.integer);
             // A map view may have started its maps in the tab's job: the line ends with it.
             XafsJob& job = x.b->xafsPanel->job();
             if (!job.busy())
                 return O::Ok;
             const int atStart = x.lineFailuresAtStart;
             connect(&job, &XafsJob::finished, &x, [&x, atStart](bool ok, int, const QString&) { x.finishLine(ok, atStart); },
                     Qt::SingleShotConnection);
             return O::Waits;
         }},
        {"show_xafs", A::none(), [](X& x, const C& c, const A&) { return x.showTab(c, x.b->xafsTab, QString()); }},
        {"xafs_edge_map", A::textArg(), [](X& x, const C& c, const A& a) { return x.xafsMap(c, a, XafsMaps::E0); }},
        {"xafs_jump_map", A::textArg(), [](X& x, const C& c, const A& a) { return x.xafsMap(c, a, XafsMaps::Jump); }},
        {"xafs_mask_map", A::textArg(), [](X& x, const C& c, const A& a) { return x.xafsMap(c, a, XafsMaps::Mask); }},
    };
}

BodyCommands::Outcome BodyCommands::fail(Failures::Kind kind, const BatchCmd& c, const QString& why)
{
    Failures::record(kind, BatchArgs::where(c) + QStringLiteral(": ") + why);
    return Outcome::Ng;
}

bool BodyCommands::refusedInUse(const BatchCmd& c, const QString& what)
{
    if (!b->refuseWhileInUse(what))
        return false;
    fail(Failures::Command, c, b->isLoading() ? QStringLiteral("refused while projection images load")
                                              : QStringLiteral("refused while a reconstruction runs"));
    return true;
}

void BodyCommands::execute(const BatchCmd& c)
{
    const int failuresAtStart = lineFailuresAtStart = Failures::total();
    const int row = lookup.find(c.cmd);
    if (row >= int(table().size())) {
        setSetting(c, bindings().at(size_t(row) - table().size()));
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
    if (c.cmd.startsWith(QLatin1String("xafs_")) && b->xafsPanel->job().busy()) {
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
    const int loadBefore = b->session->loadId();
    const Outcome o = r.handler(*this, c, args);
    // Projections load in a thread of their own (images_load, seq_exec_set):
    // a line that began a load is done when the images are in.
    if (o == Outcome::Ok && b->isLoading() && b->session->loadId() != loadBefore) {
        waiting = Wait::Load;
        waitFailuresAtStart = failuresAtStart;
        return;
    }
    if (o != Outcome::Waits)
        finishLine(o == Outcome::Ok, failuresAtStart);
}

void BodyCommands::finishLine(bool ok, int failuresAtStart)
{
    // Failures counted while the line ran (a file that did not load, a
    // slice that could not be written) fail it too.
    if (!ok || Failures::total() > failuresAtStart)
        b->batch.setOkFlag(false);
    emit b->callBatchCheckEnd();
}

void BodyCommands::runEnded()
{
    if (waiting != Wait::Run)
        return;
    waiting = Wait::Nothing;
    finishLine(true, waitFailuresAtStart);
}

void BodyCommands::loadEnded(bool ok)
{
    if (waiting != Wait::Load)
        return;
    waiting = Wait::Nothing;
    finishLine(ok, waitFailuresAtStart);
}

void BodyCommands::sequenceEnded()
{
    if (waiting != Wait::Sequence)
        return;
    waiting = Wait::Nothing;
    finishLine(true, waitFailuresAtStart);
}

BodyCommands::Outcome BodyCommands::takeDir(const BatchCmd& c, const BatchArgs& a, SelectDataFiles* files,
                                            const QString& what)
{
    if (!what.isEmpty() && refusedInUse(c, what + a.text))
        return Outcome::Ng;
    if (a.text.isEmpty())
        return fail(Failures::Command, c, QStringLiteral("no directory given"));
    // Before the load begins: the dialog takes a while to read the directory.
    if (QFileInfo(a.text).isDir())
        files->fileDialog()->setDirectory(a.text);
    // A missing directory or no match is refused there, the series kept.
    if (!files->takeDir(a.text, a.patterns))
        return Outcome::Ng;
    return Outcome::Ok;
}

BodyCommands::Outcome BodyCommands::loadSeriesFile(const BatchCmd& c, const BatchArgs& a, bool h5,
                                                   const QString& what)
{
    if (refusedInUse(c, what + a.text))
        return Outcome::Ng;
    if (a.text.isEmpty())
        return fail(Failures::Command, c, QStringLiteral("a file name is missing"));
    const int failures = Failures::total();
    if (b->loadSeriesFile(a.text, h5))
        return Outcome::Ok;
    // The loader has normally counted the failure itself.
    if (Failures::total() > failures)
        return Outcome::Ng;
    return fail(Failures::Load, c, QStringLiteral("can't load ") + a.text);
}

BodyCommands::Outcome BodyCommands::loadReference(const BatchCmd& c, const BatchArgs& a, Session::Reference r,
                                                  const QString& what)
{
    if (refusedInUse(c, what + a.text))
        return Outcome::Ng;
    if (a.text.isEmpty())
        return fail(Failures::Command, c, QStringLiteral("a file name is missing"));
    const int failures = Failures::total();
    if (b->session->loadReference(r, {a.text}, false, QStringLiteral("loading ") + a.text))
        return Outcome::Ok;
    // The set has normally counted the failure itself.
    if (Failures::total() > failures)
        return Outcome::Ng;
    return fail(Failures::Load, c, QStringLiteral("can't load ") + a.text);
}

BodyCommands::Outcome BodyCommands::addReference(const BatchCmd& c, const BatchArgs& a, Session::Reference r,
                                                 const QString& what)
{
    if (refusedInUse(c, what + a.text))
        return Outcome::Ng;
    if (a.text.isEmpty())
        return fail(Failures::Command, c, QStringLiteral("a file name is missing"));
    // A file that does not load or does not match the set is counted by the set.
    return b->session->loadReference(r, {a.text}, true, QStringLiteral("adding ") + a.text) ? Outcome::Ok
                                                                                          : Outcome::Ng;
}

BodyCommands::Outcome BodyCommands::clearReference(const BatchCmd& c, Session::Reference r, const QString& what)
{
    if (refusedInUse(c, what))
        return Outcome::Ng;
    b->session->clearReference(r, QStringLiteral("clearing"));
    return Outcome::Ok;
}

void BodyCommands::setAxis(bool vertical)
{
    QRadioButton* r = vertical ? b->procCtrl->RotAxV : b->procCtrl->RotAxH;
    r->setChecked(true);
    b->procCtrl->rotAxSelectionChanged(r);
}

BodyCommands::Outcome BodyCommands::showTab(const BatchCmd& c, int index, const QString& what)
{
    if (index < 0 || index >= b->ImgsTab->count())
        return fail(Failures::Command, c, what);
    // Only the CT2 displays of the threads in use are shown.
    if (!b->ImgsTab->isTabVisible(index))
        return fail(Failures::Command, c,
                    QStringLiteral("tab %1 is not in use (Threads %2)").arg(index).arg(b->procCtrl->Threads->value()));
    b->ImgsTab->setCurrentIndex(index);
    return Outcome::Ok;
}

BodyCommands::Outcome BodyCommands::calcExec(const BatchCmd& c)
{
    if (b->isCalcActive())
        return fail(Failures::Command, c, QStringLiteral("a reconstruction is already running"));
    // Incomplete inputs are refused where every run starts.
    // Reported back when the run ends (batchCalcFinished), which may be at once.
    waiting = Wait::Run;
    waitFailuresAtStart = lineFailuresAtStart;
    b->batchCalcActive = true;
    emit b->batchCalcStart();
    return Outcome::Waits;
}

BodyCommands::Outcome BodyCommands::seqCalc(const BatchCmd& c)
{
    // A running sequence or run would take the loads the driver asks for.
    if (b->seqDriver.isActive())
        return fail(Failures::Command, c, QStringLiteral("a sequential run is already active"));
    if (refusedInUse(c, QStringLiteral("seq_calc")))
        return Outcome::Ng;
    waiting = Wait::Sequence;
    waitFailuresAtStart = lineFailuresAtStart;
    QMetaObject::invokeMethod(&b->seqDriver, &XafsBatch::start, Qt::QueuedConnection);
    return Outcome::Waits;
}

BodyCommands::Outcome BodyCommands::corSweep(const BatchCmd& c, const BatchArgs& a)
{
    const QString why = b->startSweep(a.region[0], a.region[1], a.region[2]);
    if (!why.isEmpty())
        return fail(Failures::Command, c, why);
    // Shown as the button shows it, unless the window itself is hidden.
    if (b->isVisible())
        b->corSweepPanel->show();
    waiting = Wait::Sweep;
    waitFailuresAtStart = lineFailuresAtStart;
    sweepLine = c;
    sweepFile = a.text;
    return Outcome::Waits;
}

void BodyCommands::sweepEnded()
{
    if (waiting != Wait::Sweep)
        return;
    waiting = Wait::Nothing;
    QString why;
    if (b->corSweep->wasCancelled())
        fail(Failures::Run, sweepLine, QStringLiteral("the sweep was stopped"));
    else if (b->corSweep->best() < 0)
        fail(Failures::Run, sweepLine, QStringLiteral("no trial gave a slice"));
    else if (!b->saveSweep(sweepFile, &why))
        fail(Failures::Write, sweepLine, why);
    finishLine(true, waitFailuresAtStart);
}

BodyCommands::Outcome BodyCommands::xafsMap(const BatchCmd& c, const BatchArgs& a, int kind)
{
    if (a.text.isEmpty())
        return fail(Failures::Command, c, QStringLiteral("a file name is missing"));
    QString why;
    if (!b->xafs.exportMap(XafsMaps::Kind(kind), a.text, &why))
        return fail(Failures::Write, c, why);
    return Outcome::Ok;
}

BodyCommands::Outcome BodyCommands::saveImage(const BatchCmd& c, const BatchArgs& a)
{
    ImgDisp* d = nullptr;
    switch (a.display) {
    case BatchArgs::Raw: d = &b->rawDisp; break;
    case BatchArgs::Sinogram: d = b->sinogram.DispSinogram; break;
    case BatchArgs::Ct1: d = b->ctCalc.display(); break;
    case BatchArgs::I0: d = b->I0ImgSel->display(); break;
    case BatchArgs::Bg: d = b->BGImgSel->display(); break;
    case BatchArgs::Ct2:
        if (a.integer >= b->ctRun->count())
            return fail(Failures::Command, c, QStringLiteral("no CT2 display %1").arg(a.integer));
        d = b->ct2Panel(a.integer)->display();
        break;
    }
    if (!d)
        return fail(Failures::Command, c, QStringLiteral("no such display"));
    // As the auto-save paths do, a missing folder is made, but only for a
    // picture there is to save.
    const QString folder = QFileInfo(a.text).absolutePath();
    if (!d->image.isNull() && !QDir().mkpath(folder))
        return fail(Failures::Write, c, QStringLiteral("picture not saved: can't create directory ") + folder);
    QString why;
    if (!d->saveImage(a.text, &why))
        return fail(Failures::Write, c, QStringLiteral("picture not saved: ") + why);
    return Outcome::Ok;
}
