#include "SessionControls.h"

#include "CtDisplays.h"
#include "Session.h"
#include "ui_Body.h"

#include <QButtonGroup>

#include <cmath>
#include <tuple>

SessionControls::SessionControls(Ui::Body& form, Session& s, CtDisplays& d, QObject* parent)
    : QObject(parent), ui(form), session(s), displays(d)
{
    ctSelGroup = new QButtonGroup(this);
    ctSelGroup->addButton(ui.SelectCt1);
    ctSelGroup->addButton(ui.SelectCt2);
    ctSelGroup->setExclusive(true);
    ui.SelectCt1->setChecked(true);
    bindSettings();
    bindState();
    connect(ctSelGroup, &QButtonGroup::buttonClicked, this, [this] {
        if (ui.SelectCt1->isChecked())
            ui.procCtrl->setAutoExec(false);
    });
    connect(ui.procCtrl, &ProcCtrl::autoExecUpdated, this, [this] {
        if (ui.procCtrl->autoExec())
            ui.SelectCt2->setChecked(true);
    });
}

// The controls whose values the session's settings hold: each writes its value
// there now and on every change, and the runs take them from there.
void SessionControls::bindSettings()
{
    ReconSettings& s = session.settings;
    const auto text = [this](QLineEdit* e, QString& field) {
        field = e->text();
        connect(e, &QLineEdit::textChanged, this, [&field](const QString& t) { field = t; });
    };
    const auto check = [this](QAbstractButton* b, bool& field) {
        field = b->isChecked();
        connect(b, &QAbstractButton::toggled, this, [&field](bool on) { field = on; });
    };
    ui.procCtrl->bindTo(&s.cond);
    check(ui.SelectCt1, s.cond.ct1);
    check(ui.SelectCt2, s.cond.ct2);
    check(ui.ShowCalcRes, s.showImage);
    for (auto [on, panel, out] : {std::tuple{ui.AutoSaveImage, ui.SelectImageSaveDir, &s.image},
                                  {ui.AutoSaveData, ui.SelectDataSaveDir, &s.data}, {ui.AutoSaveTiff, ui.SelectTiffSaveDir, &s.tiff}}) {
        check(on, out->on);
        text(panel->pathField(), out->path);
        text(panel->nameField(), out->name);
    }
    // The float TIFFs take the data files' tag.
    text(ui.SelectImageSaveDir->tagField(), s.image.tag);
    text(ui.SelectDataSaveDir->tagField(), s.data.tag);
    connect(&session, &Session::settingChanged, this, &SessionControls::showSetting);
}

// The rest of the session's values.
void SessionControls::bindState()
{
    SessionState& st = session.state;
    st.series = ui.CTFiles->options();
    connect(ui.CTFiles, &SelectDataFiles::optionsEdited, this, [this](const SessionState::SeriesOptions& o) {
        session.state.series = o;
    });
    st.i0ExpTime = ui.I0ImgSel->expTimeField()->text().toDouble();
    st.bgExpTime = ui.BGImgSel->expTimeField()->text().toDouble();
    connect(ui.I0ImgSel->expTimeField(), &QLineEdit::textEdited, this, [this](const QString& v) { session.state.i0ExpTime = v.toDouble(); });
    connect(ui.BGImgSel->expTimeField(), &QLineEdit::textEdited, this, [this](const QString& v) { session.state.bgExpTime = v.toDouble(); });
    st.rawI0 = ui.I0ofRawImage_->source();
    st.i0I0 = ui.I0ofI0Image_->source();
    connect(ui.I0ofRawImage_, &I0ofImage::edited, this, [this](const SessionState::I0Source& s) { session.state.rawI0 = s; });
    connect(ui.I0ofI0Image_, &I0ofImage::edited, this, [this](const SessionState::I0Source& s) { session.state.i0I0 = s; });
    st.additionalInfo = ui.ShowAdditionalInfo->isChecked();
    connect(ui.ShowAdditionalInfo, &QCheckBox::toggled, this, [this](bool on) {
        session.state.additionalInfo = on;
        ui.AdditionalInfo->setVisible(on);
    });
    st.colour = {ui.FixColorScale->isChecked(), ui.ColorMin->text().toDouble(), ui.ColorMax->text().toDouble()};
    connect(ui.FixColorScale, &QCheckBox::toggled, this, [this](bool on) {
        session.state.colour.fixed = on;
        displays.fixColours(on);
    });
    connect(ui.ColorMin, &QLineEdit::textEdited, this, [this](const QString& v) { session.state.colour.min = v.toDouble(); });
    connect(ui.ColorMax, &QLineEdit::textEdited, this, [this](const QString& v) { session.state.colour.max = v.toDouble(); });
    connect(ui.ColorMin, &QLineEdit::editingFinished, this, &SessionControls::applyFixedColours);
    connect(ui.ColorMax, &QLineEdit::editingFinished, this, &SessionControls::applyFixedColours);
    st.autoSinogram = ui.procCtrl->autoSinogram();
    connect(ui.procCtrl, &ProcCtrl::autoUpdateUpdated, this, [this] { session.state.autoSinogram = ui.procCtrl->autoSinogram(); });
    connect(&session, &Session::stateChanged, this, &SessionControls::showState);
}

void SessionControls::showState(SessionState::Part part)
{
    using P = SessionState::Part;
    const SessionState& st = session.state;
    switch (part) {
    case P::Series: ui.CTFiles->showOptions(st.series); break;
    case P::ExpTimes:
        ui.I0ImgSel->setExpTime(st.i0ExpTime);
        ui.BGImgSel->setExpTime(st.bgExpTime);
        break;
    case P::RawI0: ui.I0ofRawImage_->showSource(st.rawI0); break;
    case P::I0I0: ui.I0ofI0Image_->showSource(st.i0I0); break;
    case P::AdditionalInfo:
        ui.ShowAdditionalInfo->setChecked(st.additionalInfo);
        ui.AdditionalInfo->setVisible(st.additionalInfo);
        break;
    case P::Colour:
        ui.ColorMin->setText(QString::number(st.colour.min, 'g', 6));
        ui.ColorMax->setText(QString::number(st.colour.max, 'g', 6));
        // A change of the switch applies the range itself.
        if (ui.FixColorScale->isChecked() != st.colour.fixed)
            ui.FixColorScale->setChecked(st.colour.fixed);
        else
            applyFixedColours();
        break;
    case P::DisplayRegion: displays.setDisplayRegion(st.displayRegion); break;
    case P::AutoSinogram: ui.procCtrl->setAutoSinogram(st.autoSinogram); break;
    case P::DataSets: ui.SelDDir->refresh(); break;
    }
}

void SessionControls::showSetting(const QString& key)
{
    using S = ReconSettings;
    struct Row
    {
        const char* key;
        void (*show)(SessionControls& b, const S& s);
    };
    const auto axis = [](SessionControls& b, const S& s) {
        b.ui.procCtrl->showRotAx(s.cond.rotAxIsV);
    };
    // Settings without a control (the precision, the volume, the shifts, the
    // invalid-sample limit, gaps, the angle unit) are only the session's.
    static const Row rows[] = {
        {"axisIsH", axis},
        {"axisIsV", axis},
        {"slice", [](SessionControls& b, const S& s) { b.ui.procCtrl->setSliceNo(s.cond.sliceNo); }},
        {"series", [](SessionControls& b, const S& s) { b.ui.procCtrl->setAutoExec(s.cond.autoExec); }},
        {"from", [](SessionControls& b, const S& s) { b.ui.procCtrl->setSliceFrom(s.cond.from); }},
        {"to", [](SessionControls& b, const S& s) { b.ui.procCtrl->setSliceTo(s.cond.to); }},
        {"step", [](SessionControls& b, const S& s) { b.ui.procCtrl->setSliceStep(std::abs(s.cond.step)); }},
        {"threads", [](SessionControls& b, const S& s) { b.ui.procCtrl->setThreads(s.cond.threads); }},
        {"cor", [](SessionControls& b, const S& s) { b.ui.procCtrl->setCor(s.cond.cor); }},
        {"filter", [](SessionControls& b, const S& s) { b.ui.procCtrl->setFilter(s.cond.filter); }},
        // 0 clears the size.
        {"pixelSize", [](SessionControls& b, const S& s) { b.ui.procCtrl->setPixelSize(s.cond.pixelSizeUm); }},
        {"rings", [](SessionControls& b, const S& s) { b.ui.procCtrl->setRingSize(s.cond.ringSize); }},
        {"angles", [](SessionControls& b, const S& s) { b.ui.procCtrl->setAngles(s.cond.angles); }},
        {"zinger", [](SessionControls& b, const S& s) { b.ui.procCtrl->setZinger(s.cond.zingerThreshold); }},
        {"phaseRetrieval", [](SessionControls& b, const S& s) { b.ui.procCtrl->setPaganin(s.cond.paganin); }},
        {"binning", [](SessionControls& b, const S& s) { b.ui.procCtrl->setBinning(s.cond.binning); }},
        {"ct1", [](SessionControls& b, const S& s) { b.selectCt(b.ui.SelectCt1, s.cond.ct1); }},
        {"ct2", [](SessionControls& b, const S& s) { b.selectCt(b.ui.SelectCt2, s.cond.ct2); }},
        {"showImage", [](SessionControls& b, const S& s) { b.ui.ShowCalcRes->setChecked(s.showImage); }},
        {"saveImage", [](SessionControls& b, const S& s) { b.ui.AutoSaveImage->setChecked(s.image.on); }},
        {"saveData", [](SessionControls& b, const S& s) { b.ui.AutoSaveData->setChecked(s.data.on); }},
        {"saveTiff", [](SessionControls& b, const S& s) { b.ui.AutoSaveTiff->setChecked(s.tiff.on); }},
        {"imageName", [](SessionControls& b, const S& s) { b.ui.SelectImageSaveDir->nameField()->setText(s.image.name); }},
        {"imageTag", [](SessionControls& b, const S& s) { b.ui.SelectImageSaveDir->tagField()->setText(s.image.tag); }},
        {"dataName", [](SessionControls& b, const S& s) { b.ui.SelectDataSaveDir->nameField()->setText(s.data.name); }},
        {"dataTag", [](SessionControls& b, const S& s) { b.ui.SelectDataSaveDir->tagField()->setText(s.data.tag); }},
        {"tiffName", [](SessionControls& b, const S& s) { b.ui.SelectTiffSaveDir->nameField()->setText(s.tiff.name); }},
        {"imagePath", [](SessionControls& b, const S& s) { b.ui.SelectImageSaveDir->setPath(s.image.path); }},
        {"dataPath", [](SessionControls& b, const S& s) { b.ui.SelectDataSaveDir->setPath(s.data.path); }},
        {"tiffPath", [](SessionControls& b, const S& s) { b.ui.SelectTiffSaveDir->setPath(s.tiff.path); }},
        {"region", [](SessionControls& b, const S& s) { b.displays.setCalcRegion(s.region); }},
        // A range named by a batch program replaces the box's choice.
        {"loadLines", [](SessionControls& b, const S&) { b.ui.procCtrl->setSliceRowsOnly(false); }},
    };
    for (const Row& r : rows)
        if (key == QLatin1String(r.key))
            r.show(*this, session.settings);
}

void SessionControls::applyFixedColours()
{
    if (ui.FixColorScale->isChecked())
        displays.fixColours(true);
}

void SessionControls::selectCt(QAbstractButton* button, bool on)
{
    // An exclusive group refuses to clear its checked button.
    if (!on && button->isChecked()) {
        ctSelGroup->setExclusive(false);
        button->setChecked(false);
        ctSelGroup->setExclusive(true);
        return;
    }
    button->setChecked(on);
}
