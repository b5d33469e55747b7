#include "Body.h"

#include "Logging.h"
#include "ChCoord.h"
#include "ColorBar.h"
#include "ConfigStore.h"
#include "CorSearch.h"
#include "CorrectedSeries.h"
#include "CorSweepPanel.h"
#include "CtFiles.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "ConfigStore.h"
#include "CtRun.h"
#include "Failures.h"
#include "FileEnergy.h"
#include "FieldWidth.h"
#include "H5Scan.h"
#include "HSgm.h"
#include "ImgData.h"
#include "SeriesFit.h"
#include "SgmGeom.h"
#include "WindowFit.h"
#include "PopDockBase.h"
#include "SessionCommands.h"
#include "XafsPanel.h"
#include "ProcCtrl.h"
#include "MessagePanel.h"
#include "WorkStatus.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QScrollArea>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextDocument>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QPainter>
#include <QScreen>
#include <QThread>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {
const char* const runningStyle = "background-color: rgb(255, 255, 128);";
const char* const idleStyle = "background-color: rgb(240, 240, 240);";
const char* const timeFormat = "yy/MM/dd hh:mm:ss.zzz";

// A picked coordinate as a slice number; NaN and far-off values never reach int.
int toSlice(double v)
{
    if (!(v > -2147483648.0 && v < 2147483648.0))
        return 0;
    return int(v);
}

// Every overlay pen is one pixel wide.
QPen pen(int r, int g, int b)
{
    QPen p(QColor(r, g, b));
    p.setWidth(1);
    return p;
}
} // namespace

Body::Body(QWidget* parent)
    : QFrame(parent),
      crossPen(pen(255, 255, 0)),
      slicePen(pen(255, 232, 232)),
      corPen(pen(255, 232, 232)),
      selectingPen(pen(255, 0, 0)),
      selectedPen(pen(232, 255, 0)),
      host(std::make_unique<SessionHost>(32)),
      session(&host->session()),
      ctRun(&session->run()),
      corSweep(&session->sweep()),
      rawImages(session->series())
{
    ui.setupUi(this);
    // Fits the screen: the controls scroll beside the pictures.
    if (const QScreen* sc = screen())
        resize(WindowFit::firstSize(sc->availableGeometry().size()));
    WindowFit::arrange(ui.BodyLayout, ui.ImgsTab);
    corPen.setDashPattern({10, 3, 4, 3});

    prepareForms();
    bindControls();
    connectPanels();
    createPool(32);
    createXafsPanel();
    connectCentreSearch();
    connectInputs();
    connectRunControl();
    showWorkArea();
    connect(host.get(), &SessionHost::finishing, this, &QWidget::close);
    // Last: the session's ends reach the window before the batch line and the driver.
    host->begin(this);
    connect(host->commands(), &SessionCommands::lineFinished, this, &Body::callBatchCheckEnd);
}

// Titles, save panels, field widths, the calculator choice and the tabs' contents.
void Body::prepareForms()
{
    ui.CTFiles->setTitle(tr("Row Images"));
    ui.SelI0Files->setTitle(tr("I0 File Set"));
    ui.I0ofRawImage_->setTitle(tr("I0 of Raw Image"));
    ui.I0ofI0Image_->setTitle(tr("I0 of I0 Image"));
    ui.SelectImageSaveDir->setMode(1);
    ui.SelectImageSaveDir->nameField()->show();
    ui.SelectDataSaveDir->setMode(1);
    ui.SelectDataSaveDir->nameField()->show();
    ui.SelectTiffSaveDir->setMode(1);
    ui.SelectTiffSaveDir->nameField()->show();
    // The float TIFFs carry the data files' tag (a data set's energy).
    ui.SelectTiffSaveDir->tagField()->hide();
    ui.AdditionalInfo->setVisible(ui.ShowAdditionalInfo->isChecked());
    ui.CalcCT->setStyleSheet(idleStyle);
    FieldWidth::fit(ui.ColorMin, FieldWidth::number());
    FieldWidth::fit(ui.ColorMax, FieldWidth::number());
    FieldWidth::fit(ui.CalcStartT, FieldWidth::dateTime());
    FieldWidth::fit(ui.CalcEndT, FieldWidth::dateTime());
    FieldWidth::fit(ui.CalcSpentT, FieldWidth::seconds());
    FieldWidth::fit(ui.DeltaET, QStringLiteral("888888888"));

    ctSelGroup = new QButtonGroup(this);
    ctSelGroup->addButton(ui.SelectCt1);
    ctSelGroup->addButton(ui.SelectCt2);
    ctSelGroup->setExclusive(true);
    ui.SelectCt1->setChecked(true);

    ui.RawImgBase->setContent(&rawDisp, tr("Measured Raw Image"));
    ui.SinogramImgBase->setContent(&sinogram, tr("Check Sinogram"));
    ui.CtImgBase->setContent(&ctCalc, tr("CT Reconstruction"));
    ui.I0ImgBase->setContent(ui.I0ImgSel->display(), tr("I0 Image"));
    ui.BGImgBase->setContent(ui.BGImgSel->display(), tr("BG Image"));
}

// The controls whose values the session's settings hold: each writes its value
// there now and on every change, and the runs take them from there.
void Body::bindControls()
{
    ReconSettings& s = session->settings;
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
    connect(session, &Session::settingChanged, this, &Body::showSetting);
    bindState();
}

// The panels among themselves, the batch interpreter and the sequential driver.
void Body::connectPanels()
{
    sinogram.procCtrl = ui.procCtrl;
    sinogram.imgs = &rawImages;
    ctCalc.setCalc(&ctRun->ct1());
    // The selectors show the session's references and hand it the files chosen.
    ui.I0ImgSel->useSet(&session->i0());
    ui.BGImgSel->useSet(&session->bg());
    ui.I0AfterImgSel->useSet(&session->i0After());
    ui.SelDDir->useSets(&session->dataSets());
    connect(session, &Session::referenceChanged, this, [this](Session::Reference r) {
        (r == Session::Reference::I0 ? ui.I0ImgSel : r == Session::Reference::Bg ? ui.BGImgSel : ui.I0AfterImgSel)->refresh();
    });
    // Clearing the I0 clears the I0 taken after the scan as well: it is only
    // ever used together with the one before.
    connect(ui.I0ImgSel, &SelectAFile::clear, ui.I0AfterImgSel, &SelectAFile::clear0);

    connect(ui.procCtrl, &ProcCtrl::sliceNoUpdated, &sinogram, &Sinogram::sliceNoUpdated);
    connect(ui.procCtrl, &ProcCtrl::corUpdated, &sinogram, &Sinogram::corUpdated);
    connect(ui.procCtrl, &ProcCtrl::rotAxUpdated, &sinogram, &Sinogram::rotAxUpdated);
    connect(ui.procCtrl, &ProcCtrl::autoUpdateUpdated, &sinogram, &Sinogram::autoUpdateUpdated);
    connect(ui.procCtrl, &ProcCtrl::correctionsUpdated, &sinogram, &Sinogram::autoUpdateUpdated);
    // The sinogram pictures show what ring removal takes away.
    connect(ui.procCtrl, &ProcCtrl::ringSizeUpdated, &sinogram, &Sinogram::genImage);

    connect(this, &Body::callBatchLoad, host.get(), &SessionHost::loadBatch);
    connect(this, &Body::callBatchExec, host.get(), &SessionHost::execBatch);
    connect(host.get(), &SessionHost::batchStopped, this, &Body::batchProgramStopped);

    XafsBatch* driver = &host->driver();
    connect(ui.SeqCalc, &QPushButton::clicked, driver, &XafsBatch::start);
    connect(driver, &XafsBatch::starting, this, [this] { ui.SeqCalc->setStyleSheet(runningStyle); });
    connect(driver, &XafsBatch::finished, this, [this] { ui.SeqCalc->setStyleSheet(idleStyle); });
    connect(driver, &XafsBatch::stage, this, [this](const QString& msg, qint64 dEt) {
        ui.ProgressMsg->setText(msg);
        ui.DeltaET->setText(QString::number(dEt));
    });
}

// The Auto and Sweep buttons and the sweep's window.
void Body::connectCentreSearch()
{
    connect(ctSelGroup, &QButtonGroup::buttonClicked, this, &Body::changedCtSel);
    connect(ui.procCtrl, &ProcCtrl::autoExecUpdated, this, &Body::changedAutoExec);
    connect(ui.procCtrl, &ProcCtrl::corAutoRequested, this,
            [this] { session->findCentre(session->settings.cond, session->settings.cond.sliceNo); });
    corSweepPanel = new CorSweepPanel(this);
    corSweepPanel->setWindowFlag(Qt::Window);
    corSweepPanel->setSweep(corSweep);
    // Ten pixels either side of the current centre, whole steps.
    connect(ui.procCtrl, &ProcCtrl::corSweepRequested, this, [this] {
        const double c = ui.procCtrl->cor;
        corSweepPanel->setRange(c - 10, c + 10, 1);
        startSweep(c - 10, c + 10, 1);
        corSweepPanel->show();
        corSweepPanel->raise();
    });
    connect(corSweepPanel, &CorSweepPanel::sweepRequested, this,
            [this](double from, double to, double step) { startSweep(from, to, step); });
    connect(session, &Session::sweepRefused, corSweepPanel,
            [this](const QString& why) { corSweepPanel->setStatus(tr("Sweep refused: %1").arg(why)); });
    connect(corSweepPanel, &CorSweepPanel::centreChosen, this, [this](double c) {
        ui.procCtrl->setCor(c);
        qCDebug(lcApp).noquote() << QStringLiteral("Centre of rotation %1 (from the sweep)").arg(c, 0, 'f', 2);
    });
    connect(session, &Session::centreFound, ui.procCtrl, &ProcCtrl::setCor);
}

// Projections, references, data directories, colour range and the raw display.
void Body::connectInputs()
{
    session->state.sliceLinesOnly = ui.procCtrl->sliceRowsOnly();
    connect(ui.procCtrl, &ProcCtrl::sliceRowsOnlyUpdated, this, [this](bool on) {
        session->state.sliceLinesOnly = on;
        if (!on)
            rawImages.band = LineBand();
    });
    // The list panel shows the session's series and hands it the files chosen.
    connect(ui.CTFiles, &SelectDataFiles::filesSelected, this,
            [this](const QStringList& files, bool replace) { session->loadFiles(files, replace); });
    connect(session, &Session::seriesDropped, this, [this] {
        resetSeriesView();
        ui.CTFiles->clearList();
        updateRawImage();
    });
    connect(host.get(), &SessionHost::seriesLoadEnded, this, &Body::seriesLoadEnded);
    connect(session, &Session::loadRefused, this, &Body::finishedLoadingCTFiles);
    // The I0 list by energy is the session's: the panel shows it and hands it the files chosen.
    connect(ui.SelI0Files, &SelectDataFiles::filesSelected, this,
            [this](const QStringList& files, bool replace) { session->setI0Files(files, replace); });
    connect(ui.SelI0Files, &SelectDataFiles::filesCleared, this, [this] { session->clearI0Files(); });
    connect(ui.SelI0Files, &SelectDataFiles::optionsEdited, this,
            [this](const SessionState::SeriesOptions& o) { session->state.i0FilesReplace = o.replace; });
    connect(session, &Session::i0FilesChanged, this, [this] {
        ui.SelI0Files->clearList();
        for (const QString& f : session->i0Files())
            ui.SelI0Files->addEntry(f);
    });
    connect(ui.CTFiles, &SelectDataFiles::filesCleared, this, [this] { session->clearSeries(); });
    connect(ui.LoadScanH5, &QPushButton::clicked, this, [this] { chooseSeriesFile(true); });
    connect(ui.LoadStackTiff, &QPushButton::clicked, this, [this] { chooseSeriesFile(false); });
    connect(&rawDisp, &DispAWLayout::drawImage2, this, &Body::draw);
    connect(&rawDisp, &ImgDispWPV::newPosInvY, this, &Body::newPosOnRawImg);
    connect(&rawDisp, &ImgDispWCBar::newBar, this, &Body::updateRawImage);
    connect(&rawDisp, &ImgDisp::selectedAPoint, this, &Body::selectedAPointInRawImg);
    connect(&rawDisp, &ImgDisp::selectionMade, this, &Body::selectionMade);
    connect(ui.seekCtrl, &SeekCtrl::newIndex, this, &Body::updateRawImage);
    connect(&rawImages, &ImgDatas::imageUpdated, &rawDisp, qOverload<>(&QWidget::update));
    connect(&ctCalc, &CtCalc::askToStartCalc, this, &Body::toggleCalcCt);
    connect(ui.CalcCT, &QPushButton::clicked, this, &Body::toggleCalcCt);
    connect(&ctCalc, &CtCalcBase::cRUpdated, this, &Body::cRUpdated);
    connect(&ctCalc, &CtCalcBase::dRUpdated, this, &Body::dRUpdated);
    // The overlay lives on the display's paint area.
    connect(ui.procCtrl, &ProcCtrl::rotAxUpdated, rawDisp.dispA, qOverload<>(&QWidget::update));
    connect(ui.procCtrl, &ProcCtrl::sliceNoUpdated, rawDisp.dispA, qOverload<>(&QWidget::update));
    connect(ui.procCtrl, &ProcCtrl::corUpdated, rawDisp.dispA, qOverload<>(&QWidget::update));
    // The panel's Set: the current set into the series.
    connect(ui.SelDDir, &SelectDataDir::selected, host.get(), &SessionHost::loadDataSet);
    connect(ui.SelDDir, &SelectDataDir::selectedFileInfoList, host.get(), &SessionHost::loadDataSet);
}

// The run control reports to the window, which shows times and colours.
void Body::connectRunControl()
{
    // The run control reports to the window, which shows times and colours.
    connect(ctRun, &CtRun::runStarted, this, &Body::runStarted);
    connect(ctRun, &CtRun::runStopped, this, &Body::runStopped);
    connect(host.get(), &SessionHost::imagesFree, this, [this] { enableInputs(true); });
    connect(ctRun, &CtRun::correctionProgress, this, &Body::showWork);
    // I0 and BG are replaced or cleared only when no worker reads them.
    for (SelectAImgFile* sel : {ui.I0ImgSel, ui.BGImgSel, ui.I0AfterImgSel})
        sel->locked = [this](const QString& what) { return refuseWhileInUse(what); };
}

// The operator area with its progress.
void Body::showWorkArea()
{
    buildOperatorArea();
    connect(ui.procCtrl, &ProcCtrl::threadsUpdated, this, &Body::showCt2Tabs);
    showCt2Tabs();
    // Queued: the run has counted the slice by then.
    connect(ctRun, &CtRun::sliceFinished, this, &Body::showWork, Qt::QueuedConnection);
    connect(&host->driver(), &XafsBatch::starting, this, &Body::showWork);
    connect(&host->driver(), &XafsBatch::finished, this, &Body::showWork);
    connect(session, &Session::loadStarted, this, &Body::loadBegun);
    connect(session, &Session::loadProgressed, this, &Body::showWork);
    connect(host.get(), &SessionHost::loadShown, this, &Body::loadFinished);
}

Body::~Body()
{
    host->stopThreads();
    // The XAFS tab's work may read the tab: it ends first.
    host->xafsJob().end();
    // The panels show the sweep and the energy stack (whose job waits for its
    // work); they go before the session they use.
    delete corSweepPanel;
    corSweepPanel = nullptr;
    delete xafsPanel;
    xafsPanel = nullptr;
    // Workers finish the slice they are computing (its files are written
    // whole) and are gone before the images they read.
    corSweep = nullptr;
    ctRun = nullptr;
    for (SelectAImgFile* sel : {ui.I0ImgSel, ui.BGImgSel, ui.I0AfterImgSel})
        sel->useSet(nullptr);
    session = nullptr;
    host.reset();
    // The selectors' displays sit in the image tabs but belong to the selectors;
    // their tabs must not take them back while the window is taken apart.
    ui.I0ImgBase->setContent(nullptr, QString());
    ui.BGImgBase->setContent(nullptr, QString());
    ui.I0ImgSel->display()->setParent(nullptr);
    ui.BGImgSel->display()->setParent(nullptr);
}

void Body::createPool(int count)
{
    if (count <= 0)
        return;
    ct2FirstTab = ui.ImgsTab->count();
    for (int i = 0; i < ctRun->count(); ++i) {
        auto* page = new QWidget;
        auto* grid = new QGridLayout(page);
        grid->setContentsMargins(2, 2, 2, 2);
        auto* base = new PopDockBase(page);
        grid->addWidget(base, 0, 0);
        ui.ImgsTab->addTab(page, tr("CT2 %1").arg(i + 1));
        auto* p = new CtCalc2Ui;
        p->setCalc(ctRun->worker(i));
        base->setContent(p, tr("CT Calc2 %1").arg(i + 1));
        connect(p, &CtCalcBase::cRUpdated, this, &Body::cRUpdated);
        connect(p, &CtCalcBase::dRUpdated, this, &Body::dRUpdated);
        ct2Panels << p;
    }
    // The panels publish their state to the run when a slice is dealt.
    ctRun->viewOf = [this](int i) {
        const CtCalcBase* p = i < 0 ? static_cast<const CtCalcBase*>(&ctCalc) : ct2Panels.value(i);
        return p ? p->view() : CtView();
    };
    ui.procCtrl->setThreads(32, 32);
}

void Body::createXafsPanel()
{
    // Last of the tabs, so the tab numbers batch programs use stay as they were.
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(2, 2, 2, 2);
    auto* base = new PopDockBase(page);
    grid->addWidget(base, 0, 0);
    xafsTab = ui.ImgsTab->addTab(page, tr("XAFS"));
    xafsPanel = new XafsPanel(session->xafs(), host->xafsJob());
    // Scrolls rather than widening the pictures' side past the controls' share.
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(xafsPanel);
    base->setContent(scroll, tr("XAFS Spectra"));
    connect(this, &Body::xafsStackChanged, xafsPanel, &XafsPanel::refresh);
    connect(xafsPanel, &XafsPanel::jobProgressed, this, &Body::showWork);
    // The tab's alignment is applied by the runs that follow.
    connect(xafsPanel, &XafsPanel::shiftsWritten, this, [this](const QString& path) { session->settings.shiftsFile = path; });
}

void Body::buildOperatorArea()
{
    messages = new MessagePanel;
    connect(&logRelay, &LogRelay::messages, messages, &MessagePanel::appendLines);
    connect(messages, &MessagePanel::countsChanged, this, &Body::showCounts);
    auto* messagesBase = new PopDockBase(this);
    messagesBase->setObjectName(QStringLiteral("MessagesBase"));
    messagesBase->setContent(messages, tr("Messages"));
    // Four lines at least under the images; the splitter above lets the
    // user give it more, and popped out it can be as tall as wanted.
    const int fourLines = 4 * messages->view->fontMetrics().lineSpacing() + 2 * messages->view->frameWidth()
                          + int(messages->view->document()->documentMargin() * 2) + 2;
    messages->view->setMinimumHeight(fourLines);
    messagesBase->setMinimumHeight(messagesBase->minimumSizeHint().height());

    status = new WorkStatus(this);
    connect(status, &WorkStatus::stopRequested, this, &Body::stopWork);

    // Under the pictures, sharing their height through a splitter, so the
    // controls column keeps the whole height of a small screen.
    if (auto* split = findChild<QSplitter*>(QStringLiteral("ControlsAndImages"))) {
        auto* column = new QSplitter(Qt::Vertical);
        column->setObjectName(QStringLiteral("ImagesAndMessages"));
        column->setChildrenCollapsible(false);
        split->replaceWidget(split->indexOf(ui.ImgsTab), column);
        column->addWidget(ui.ImgsTab);
        column->addWidget(messagesBase);
        column->setStretchFactor(0, 1);
        column->setStretchFactor(1, 0);
        column->setSizes({1000, messagesBase->minimumHeight()});
    }
    if (auto* box = qobject_cast<QBoxLayout*>(layout()))
        box->addWidget(status, 0);
    showCounts(0, 0);
    showWork();
}

void Body::showCounts(int warnings, int errors)
{
    status->showCounts(warnings, errors);
}

void Body::showWork()
{
    if (status)
        status->showWork(*session, host->driver().isActive(), &host->xafsJob());
}

void Body::showCt2Tabs()
{
    const int used = host->ct2DisplaysInUse();
    for (int i = 0; i < ct2Panels.size(); ++i)
        ui.ImgsTab->setTabVisible(ct2FirstTab + i, i < used);
}

bool Body::isCalcActive() const
{
    return ctRun->active;
}

bool Body::imagesInUse() const
{
    return session->imagesInUse();
}

bool Body::refuseWhileInUse(const QString& what)
{
    return session->refuseWhileInUse(what);
}

void Body::quitOnSignal()
{
    host->quitOnSignal();
}

void Body::cancelLoad()
{
    session->cancelLoad();
}

void Body::stopWork()
{
    host->stopWork();
    showWork();
}

void Body::enableInputs(bool f)
{
    ui.CTFiles->enableChoosing(f);
    for (QWidget* w : {static_cast<QWidget*>(ui.LoadScanH5), static_cast<QWidget*>(ui.LoadStackTiff)})
        w->setEnabled(f);
    for (SelectAImgFile* sel : {ui.I0ImgSel, ui.BGImgSel, ui.I0AfterImgSel}) {
        sel->enableChoosing(f);
        if (!f)
            sel->fileDialog()->hide();
    }
    if (!f)
        ui.CTFiles->fileDialog()->hide();
}

// ---- projection images

void Body::resetSeriesView()
{
    ui.seekCtrl->reset();
    rawDisp.scaleSet = false;
    rawDisp.selecting = rawDisp.selValid = false;
}

void Body::loadBegun(int files)
{
    // The list's dialog opens where the series was listed from.
    if (!session->seriesDir().isEmpty())
        ui.CTFiles->fileDialog()->setDirectory(session->seriesDir());
    enableInputs(false);
    showWork();
    emit seriesLoadStarted(files);
}

void Body::loadFinished(const Session::LoadEnd& e)
{
    status->loadEnded(e.cancelled, session->loadMs() / 1000.0);
    showWork();
    if (e.cancelled && !e.wholeFile)
        return;
    // The series is in the session already; the list and the view follow it.
    if (e.replaced && !e.wholeFile) {
        resetSeriesView();
        ui.CTFiles->clearList();
    }
    for (const QString& f : e.adopted)
        ui.CTFiles->addEntry(f);
    ui.seekCtrl->setLast(std::max(rawImages.count() - 1, 0));
    updateRawImage();
    if (session->state.autoSinogram) {
        sinogram.genSinogram();
        sinogram.genImage();
    }
    emit finishedLoadingCTFiles();
}

bool Body::loadSeriesFile(const QString& file, bool h5)
{
    return session->loadSeriesFile(file, h5);
}

void Body::chooseSeriesFile(bool h5)
{
    const QString file = QFileDialog::getOpenFileName(
        this, h5 ? tr("Scan (HDF5)") : tr("Stack (TIFF)"), ui.CTFiles->fileDialog()->directory().absolutePath(),
        h5 ? tr("HDF5 files (*.h5 *.hdf5 *.hdf *.nxs);;All files (*)") : tr("TIFF files (*.tif *.tiff);;All files (*)"));
    if (!file.isEmpty())
        loadSeriesFile(file, h5);
}

void Body::newPosOnRawImg(double x, double y)
{
    double v = 0;
    ImgData* img = rawImages.at(ui.seekCtrl->index());
    if (img && x > -1.0 && x < img->width && y > -1.0 && y < img->height) {
        std::vector<double> row(size_t(img->width));
        v = img->readRow(int(y), row.data())[int(x)];
    }
    rawDisp.setVal(v);
}

void Body::updateRawImage()
{
    if (rawImages.count() == 0) {
        rawDisp.image = QImage();
        rawDisp.dispA->update();
        return;
    }
    if (rawImages.render(ui.seekCtrl->index(), rawDisp.image, rawDisp.CBar))
        rawDisp.newImage();
}

void Body::draw(QPainter* p)
{
    if (rawImages.count() < 1 || !p)
        return;
    const ChCoord* c = rawDisp.coord;
    const QRectF v = rawDisp.view;
    const double l = c->r2sX(v.left()), r = c->r2sX(v.right());
    const double t = c->r2sY(v.top()), b = c->r2sY(v.bottom());
    const bool vertical = ui.procCtrl->rotAxIsV;

    p->save();
    p->setPen(crossPen);
    const double mx = rawDisp.mouse->x, my = rawDisp.mouse->y;
    p->drawLine(QPointF(mx, t), QPointF(mx, b));
    p->drawLine(QPointF(l, my), QPointF(r, my));

    p->setPen(slicePen);
    if (vertical) {
        const double y = c->r2sY(ui.procCtrl->sliceNo);
        p->drawLine(QPointF(l, y), QPointF(r, y));
    } else {
        const double x = c->r2sX(ui.procCtrl->sliceNo);
        p->drawLine(QPointF(x, t), QPointF(x, b));
    }
    p->setPen(corPen);
    if (vertical) {
        const double x = c->r2sX(ui.procCtrl->cor);
        p->drawLine(QPointF(x, t), QPointF(x, b));
    } else {
        const double y = c->r2sY(ui.procCtrl->cor);
        p->drawLine(QPointF(l, y), QPointF(r, y));
    }

    const double sx = rawDisp.selX, sy = rawDisp.selY, sw = rawDisp.selW, sh = rawDisp.selH;
    const QRectF screenSel(QPointF(c->r2sX(sx), c->r2sY(sy)), QPointF(c->r2sX(sx + sw), c->r2sY(sy + sh)));
    if (rawDisp.selecting) {
        p->setPen(selectingPen);
        p->drawRect(screenSel.normalized());
    }
    if (rawDisp.selValid) {
        p->setPen(selectedPen);
        p->drawRect(screenSel.normalized());
    }
    p->restore();
}

void Body::selectionMade(QRectF r)
{
    // Rows (vertical axis) or columns give the slice range; the span across
    // the axis gives the CT regions, taken into the field around the CoR.
    const bool vertical = ui.procCtrl->rotAxIsV;
    const double lo = vertical ? r.left() : r.top();
    const double hi = vertical ? r.right() : r.bottom();
    const int from = toSlice(vertical ? r.top() : r.left());
    const int to = toSlice(vertical ? r.bottom() : r.right());
    ui.procCtrl->setSliceFrom(from);
    ui.procCtrl->setSliceTo(to);
    const double cor = session->corFor(from, to);
    const SgmGeom g = makeSgmGeom(vertical, vertical ? rawImages.width : rawImages.height, cor);
    if (g.half < 2) {
        qCInfo(lcApp).noquote() << QStringLiteral("No slice field at centre %1: the selection sets the slices only")
                                       .arg(cor, 0, 'g', 6);
        return;
    }
    const double x0 = slicePosition(g, lo), x1 = slicePosition(g, hi);
    setDispRegion(nullptr, x0, x0, x1, x1);
    setCalcRegion(nullptr, x0, x0, x1, x1);
}

void Body::selectedAPointInRawImg(double x, double y, MouseC::MStat s)
{
    const bool vertical = ui.procCtrl->rotAxIsV;
    if (s == MouseC::L)
        ui.procCtrl->setSliceNo(toSlice(vertical ? y : x));
    else if (s == MouseC::R)
        ui.procCtrl->setCor(vertical ? x : y);
}

// ---- reconstruction runs

void Body::toggleCalcCt()
{
    if (rawImages.count() < 1)
        return;
    if (ctRun->active)
        stopCalcCt();
    else
        startCalcCt();
}

void Body::startCalcCt()
{
    host->startRun();
}

bool Body::isBatchCalcActive() const
{
    return host->commands()->waitsForRun();
}

void Body::stopCalcCt()
{
    ctRun->stopCalcCt();
}

void Body::runStarted()
{
    ui.CalcStartT->setText(ctRun->startTime.toString(QString::fromLatin1(timeFormat)));
    ui.CalcEndT->setText(QString());
    ui.CalcCT->setStyleSheet(runningStyle);
    // Pressing it again stops the run: say so on it.
    ui.CalcCT->setText(tr("Stop"));
    status->runStarted();
    enableInputs(false);
    showWork();
}

void Body::runStopped()
{
    ui.CalcEndT->setText(ctRun->endTime.toString(QString::fromLatin1(timeFormat)));
    ui.CalcSpentT->setText(QString::number(ctRun->spentSeconds(), 'g', 6));
    ui.CalcCT->setStyleSheet(idleStyle);
    ui.CalcCT->setText(tr("Calc"));
    showWork();
    // Slices still computing read the inputs until they are done.
    enableInputs(!imagesInUse());
    suggestXafsStack();
    emit calcFinished();
}

void Body::suggestXafsStack()
{
    // A run of one energy (its data files tagged with it) offers its first
    // slice over every energy to the XAFS tab.
    const CtRunReport& r = ctRun->report();
    const ReconOutput& data = ctRun->settings().data;
    if (!data.on || data.tag.isEmpty())
        return;
    for (const QString& w : r.written) {
        if (!w.endsWith(QLatin1String(".dat")))
            continue;
        const QFileInfo fi(w);
        const QString name = fi.fileName();
        const QString tag = QLatin1Char('-') + data.tag + QLatin1Char('-');
        const int at = name.lastIndexOf(tag);
        if (at < 0)
            return;
        xafsPanel->suggestSource(fi.absolutePath(), name.left(at) + QStringLiteral("-*-") + name.mid(at + tag.size()));
        return;
    }
}

// ---- panels and regions

void Body::changedCtSel(QAbstractButton*)
{
    if (ui.SelectCt1->isChecked())
        ui.procCtrl->setAutoExec(false);
}

void Body::changedAutoExec()
{
    if (ui.procCtrl->autoExec())
        ui.SelectCt2->setChecked(true);
}

QList<CtCalcBase*> Body::ctPanels(QObject* except) const
{
    QList<CtCalcBase*> out;
    if (static_cast<const QObject*>(&ctCalc) != except)
        out << const_cast<CtCalc*>(&ctCalc);
    for (CtCalc2Ui* p : ct2Panels)
        if (p != except)
            out << p;
    return out;
}

void Body::setDispRegion(QObject* except, double rx0, double rz0, double rx1, double rz1)
{
    session->state.displayRegion = {rx0, rz0, rx1, rz1};
    for (CtCalcBase* p : ctPanels(except))
        p->setDR(rx0, rz0, rx1, rz1);
}

void Body::setCalcRegion(QObject* except, double rx0, double rz0, double rx1, double rz1)
{
    for (CtCalcBase* p : ctPanels(except))
        p->setCR(rx0, rz0, rx1, rz1);
}

void Body::dRUpdated(double rx0, double rz0, double rx1, double rz1)
{
    setDispRegion(sender(), rx0, rz0, rx1, rz1);
}

void Body::cRUpdated(double rx0, double rz0, double rx1, double rz1)
{
    setCalcRegion(sender(), rx0, rz0, rx1, rz1);
}

void Body::fixColorScaleToggled(bool f)
{
    const double lo = session->state.colour.min;
    const double hi = session->state.colour.max;
    for (CtCalcBase* p : ctPanels(nullptr)) {
        p->setFixColorScale(f);
        if (f)
            p->setCBarMinMaxForced(lo, hi);
    }
}

// ---- public slots

void Body::batchLoad(QString fname)
{
    emit callBatchLoad(fname);
}

void Body::batchExec()
{
    emit callBatchExec();
}

void Body::applyFixedColorRange()
{
    if (ui.FixColorScale->isChecked())
        fixColorScaleToggled(true);
}

void Body::selectCt(QAbstractButton* button, bool f)
{
    // An exclusive group refuses to clear its checked button; a batch
    // program may clear it all the same (no calculator is selected then).
    if (!f && button->isChecked()) {
        ctSelGroup->setExclusive(false);
        button->setChecked(false);
        ctSelGroup->setExclusive(true);
        return;
    }
    button->setChecked(f);
}

void Body::closeEvent(QCloseEvent* e)
{
    emit finishing();
    e->accept();
}

void Body::startSweep(double from, double to, double step)
{
    // A refusal shows in the sweep's window (sweepRefused).
    session->startSweep(session->settings.cond, from, to, step);
}

bool Body::saveSweep(const QString& file, QString* why)
{
    const QString png = file.isEmpty() ? CtFiles::sweepPath(session->settings, corSweep->request().slice) : file;
    if (png.isEmpty())
        return true;
    QStringList written;
    if (!corSweepPanel->save(png, why, &written))
        return false;
    qCDebug(lcApp).noquote() << QStringLiteral("Centre sweep saved: ") + written.join(QStringLiteral(", "));
    return true;
}

// ---- the session's values in the controls

void Body::bindState()
{
    SessionState& st = session->state;
    st.series = ui.CTFiles->options();
    connect(ui.CTFiles, &SelectDataFiles::optionsEdited, this, [this](const SessionState::SeriesOptions& o) {
        session->state.series = o;
    });
    st.i0ExpTime = ui.I0ImgSel->expTimeField()->text().toDouble();
    st.bgExpTime = ui.BGImgSel->expTimeField()->text().toDouble();
    connect(ui.I0ImgSel->expTimeField(), &QLineEdit::textEdited, this, [this](const QString& v) { session->state.i0ExpTime = v.toDouble(); });
    connect(ui.BGImgSel->expTimeField(), &QLineEdit::textEdited, this, [this](const QString& v) { session->state.bgExpTime = v.toDouble(); });
    st.rawI0 = ui.I0ofRawImage_->source();
    st.i0I0 = ui.I0ofI0Image_->source();
    connect(ui.I0ofRawImage_, &I0ofImage::edited, this, [this](const SessionState::I0Source& s) { session->state.rawI0 = s; });
    connect(ui.I0ofI0Image_, &I0ofImage::edited, this, [this](const SessionState::I0Source& s) { session->state.i0I0 = s; });
    st.additionalInfo = ui.ShowAdditionalInfo->isChecked();
    connect(ui.ShowAdditionalInfo, &QCheckBox::toggled, this, [this](bool on) {
        session->state.additionalInfo = on;
        ui.AdditionalInfo->setVisible(on);
    });
    st.colour = {ui.FixColorScale->isChecked(), ui.ColorMin->text().toDouble(), ui.ColorMax->text().toDouble()};
    connect(ui.FixColorScale, &QCheckBox::toggled, this, [this](bool on) {
        session->state.colour.fixed = on;
        fixColorScaleToggled(on);
    });
    connect(ui.ColorMin, &QLineEdit::textEdited, this, [this](const QString& v) { session->state.colour.min = v.toDouble(); });
    connect(ui.ColorMax, &QLineEdit::textEdited, this, [this](const QString& v) { session->state.colour.max = v.toDouble(); });
    connect(ui.ColorMin, &QLineEdit::editingFinished, this, &Body::applyFixedColorRange);
    connect(ui.ColorMax, &QLineEdit::editingFinished, this, &Body::applyFixedColorRange);
    st.autoSinogram = ui.procCtrl->autoSinogram();
    connect(ui.procCtrl, &ProcCtrl::autoUpdateUpdated, this, [this] { session->state.autoSinogram = ui.procCtrl->autoSinogram(); });
    connect(session, &Session::stateChanged, this, &Body::showState);
}

void Body::showState(SessionState::Part part)
{
    using P = SessionState::Part;
    const SessionState& st = session->state;
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
            applyFixedColorRange();
        break;
    case P::DisplayRegion: {
        const CtRegion r = st.displayRegion;
        setDispRegion(nullptr, r.x0, r.z0, r.x1, r.z1);
        break;
    }
    case P::AutoSinogram: ui.procCtrl->setAutoSinogram(st.autoSinogram); break;
    case P::DataSets: ui.SelDDir->refresh(); break;
    }
}

void Body::showSetting(const QString& key)
{
    using S = ReconSettings;
    struct Row
    {
        const char* key;
        void (*show)(Body& b, const S& s);
    };
    const auto axis = [](Body& b, const S& s) {
        b.ui.procCtrl->showRotAx(s.cond.rotAxIsV);
    };
    // Settings without a control (the precision, the volume, the shifts, the
    // invalid-sample limit, gaps, the angle unit) are only the session's.
    static const Row rows[] = {
        {"axisIsH", axis},
        {"axisIsV", axis},
        {"slice", [](Body& b, const S& s) { b.ui.procCtrl->setSliceNo(s.cond.sliceNo); }},
        {"series", [](Body& b, const S& s) { b.ui.procCtrl->setAutoExec(s.cond.autoExec); }},
        {"from", [](Body& b, const S& s) { b.ui.procCtrl->setSliceFrom(s.cond.from); }},
        {"to", [](Body& b, const S& s) { b.ui.procCtrl->setSliceTo(s.cond.to); }},
        {"step", [](Body& b, const S& s) { b.ui.procCtrl->setSliceStep(std::abs(s.cond.step)); }},
        {"threads", [](Body& b, const S& s) { b.ui.procCtrl->setThreads(s.cond.threads); }},
        {"cor", [](Body& b, const S& s) { b.ui.procCtrl->setCor(s.cond.cor); }},
        {"filter", [](Body& b, const S& s) { b.ui.procCtrl->setFilter(s.cond.filter); }},
        // 0 clears the size.
        {"pixelSize", [](Body& b, const S& s) { b.ui.procCtrl->setPixelSize(s.cond.pixelSizeUm); }},
        {"rings", [](Body& b, const S& s) { b.ui.procCtrl->setRingSize(s.cond.ringSize); }},
        {"angles", [](Body& b, const S& s) { b.ui.procCtrl->setAngles(s.cond.angles); }},
        {"zinger", [](Body& b, const S& s) { b.ui.procCtrl->setZinger(s.cond.zingerThreshold); }},
        {"phaseRetrieval", [](Body& b, const S& s) { b.ui.procCtrl->setPaganin(s.cond.paganin); }},
        {"binning", [](Body& b, const S& s) { b.ui.procCtrl->setBinning(s.cond.binning); }},
        {"ct1", [](Body& b, const S& s) { b.selectCt(b.ui.SelectCt1, s.cond.ct1); }},
        {"ct2", [](Body& b, const S& s) { b.selectCt(b.ui.SelectCt2, s.cond.ct2); }},
        {"showImage", [](Body& b, const S& s) { b.ui.ShowCalcRes->setChecked(s.showImage); }},
        {"saveImage", [](Body& b, const S& s) { b.ui.AutoSaveImage->setChecked(s.image.on); }},
        {"saveData", [](Body& b, const S& s) { b.ui.AutoSaveData->setChecked(s.data.on); }},
        {"saveTiff", [](Body& b, const S& s) { b.ui.AutoSaveTiff->setChecked(s.tiff.on); }},
        {"imageName", [](Body& b, const S& s) { b.ui.SelectImageSaveDir->nameField()->setText(s.image.name); }},
        {"imageTag", [](Body& b, const S& s) { b.ui.SelectImageSaveDir->tagField()->setText(s.image.tag); }},
        {"dataName", [](Body& b, const S& s) { b.ui.SelectDataSaveDir->nameField()->setText(s.data.name); }},
        {"dataTag", [](Body& b, const S& s) { b.ui.SelectDataSaveDir->tagField()->setText(s.data.tag); }},
        {"tiffName", [](Body& b, const S& s) { b.ui.SelectTiffSaveDir->nameField()->setText(s.tiff.name); }},
        {"imagePath", [](Body& b, const S& s) { b.ui.SelectImageSaveDir->setPath(s.image.path); }},
        {"dataPath", [](Body& b, const S& s) { b.ui.SelectDataSaveDir->setPath(s.data.path); }},
        {"tiffPath", [](Body& b, const S& s) { b.ui.SelectTiffSaveDir->setPath(s.tiff.path); }},
        {"region", [](Body& b, const S& s) { b.setCalcRegion(nullptr, s.region.x0, s.region.z0, s.region.x1, s.region.z1); }},
        // A range named by a batch program replaces the box's choice.
        {"loadLines", [](Body& b, const S&) { b.ui.procCtrl->setSliceRowsOnly(false); }},
    };
    for (const Row& r : rows)
        if (key == QLatin1String(r.key))
            r.show(*this, session->settings);
}

// ---- what batch words ask of the window

bool Body::showTab(int index, const QString& noSuchTab, QString* why)
{
    if (index < 0 || index >= ui.ImgsTab->count()) {
        *why = noSuchTab;
        return false;
    }
    // Only the CT2 displays of the threads in use are shown.
    if (!ui.ImgsTab->isTabVisible(index)) {
        *why = QStringLiteral("tab %1 is not in use (Threads %2)").arg(index).arg(ui.procCtrl->threads());
        return false;
    }
    ui.ImgsTab->setCurrentIndex(index);
    return true;
}

bool Body::showCt2(int display, QString* why)
{
    // Only CT2 tabs: the XAFS tab follows the last of them.
    const int tab = display < ctRun->count() ? ct2FirstTab + display : -1;
    if (tab >= 0 && !ui.ImgsTab->isTabVisible(tab)) {
        *why = QStringLiteral("CT2 display %1 is not in use (%2)").arg(display).arg(host->ct2DisplaysReason());
        return false;
    }
    return showTab(tab, QStringLiteral("no CT2 display %1").arg(display), why);
}

bool Body::showXafs(QString* why)
{
    return showTab(xafsTab, QString(), why);
}

bool Body::saveDisplay(const BatchArgs& a, Failures::Kind* kind, QString* why)
{
    ImgDisp* d = nullptr;
    switch (a.display) {
    case BatchArgs::Raw: d = &rawDisp; break;
    case BatchArgs::Sinogram: d = sinogram.DispSinogram; break;
    case BatchArgs::Ct1: d = ctCalc.display(); break;
    case BatchArgs::I0: d = ui.I0ImgSel->display(); break;
    case BatchArgs::Bg: d = ui.BGImgSel->display(); break;
    case BatchArgs::Ct2:
        if (a.integer >= ctRun->count()) {
            *why = QStringLiteral("no CT2 display %1").arg(a.integer);
            return false;
        }
        d = ct2Panel(a.integer)->display();
        break;
    }
    if (!d) {
        *why = QStringLiteral("no such display");
        return false;
    }
    // As the auto-save paths do, a missing folder is made, but only for a
    // picture there is to save.
    const QString folder = QFileInfo(a.text).absolutePath();
    *kind = Failures::Write;
    if (!d->image.isNull() && !QDir().mkpath(folder)) {
        *why = QStringLiteral("picture not saved: can't create directory ") + folder;
        return false;
    }
    QString reason;
    if (!d->saveImage(a.text, &reason)) {
        *why = QStringLiteral("picture not saved: ") + reason;
        return false;
    }
    return true;
}

bool Body::calcRegion(CtRegion* r) const
{
    *r = ctCalc.calcRegion();
    return ctCalc.regionSet;
}

void Body::setRegions(const CtRegion& r)
{
    setDispRegion(nullptr, r.x0, r.z0, r.x1, r.z1);
    setCalcRegion(nullptr, r.x0, r.z0, r.x1, r.z1);
}

void Body::showImage(int index)
{
    ui.seekCtrl->setIndex(index);
}

void Body::showSweep()
{
    // Shown as the button shows it, unless the window itself is hidden.
    if (isVisible())
        corSweepPanel->show();
}

XafsJob* Body::xafsJob()
{
    return &host->xafsJob();
}

void Body::xafsRegionAdded(const XafsRoi& roi)
{
    xafsPanel->addRegion(roi);
}

void Body::showXafsView(int view)
{
    xafsPanel->showView(view);
}

