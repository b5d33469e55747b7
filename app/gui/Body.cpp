#include "Body.h"

#include "ConfigStore.h"
#include "CorSweepPanel.h"
#include "CtCalc2Ui.h"
#include "CtFiles.h"
#include "CtRun.h"
#include "FieldWidth.h"
#include "Logging.h"
#include "MessagePanel.h"
#include "PopDockBase.h"
#include "ProcCtrl.h"
#include "SessionCommands.h"
#include "WindowFit.h"
#include "XafsPanel.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QTextDocument>

namespace {
const char* const runningStyle = "background-color: rgb(255, 255, 128);";
const char* const idleStyle = "background-color: rgb(240, 240, 240);";
const char* const timeFormat = "yy/MM/dd hh:mm:ss.zzz";
} // namespace

Body::Body(QWidget* parent)
    : QFrame(parent),
      host(std::make_unique<SessionHost>(32)),
      session(&host->session()),
      ctRun(&session->run()),
      corSweep(&session->sweep()),
      rawImages(session->series())
{
    ui.setupUi(this);
    rawView = std::make_unique<RawImageView>(*session, ui.procCtrl, ui.seekCtrl);
    displays = std::make_unique<CtDisplays>(*host, ui.ImgsTab);
    // Fits the screen: the controls scroll beside the pictures.
    if (const QScreen* sc = screen())
        resize(WindowFit::firstSize(sc->availableGeometry().size()));
    WindowFit::arrange(ui.BodyLayout, ui.ImgsTab);

    prepareForms();
    controls = std::make_unique<SessionControls>(ui, *session, *displays);
    connectPanels();
    ui.procCtrl->setThreads(32, 32);
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

// Titles, save panels, field widths and the tabs' contents.
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

    ui.RawImgBase->setContent(rawView->display(), tr("Measured Raw Image"));
    ui.SinogramImgBase->setContent(&sinogram, tr("Check Sinogram"));
    ui.CtImgBase->setContent(displays->ct1(), tr("CT Reconstruction"));
    ui.I0ImgBase->setContent(ui.I0ImgSel->display(), tr("I0 Image"));
    ui.BGImgBase->setContent(ui.BGImgSel->display(), tr("BG Image"));
}

// The panels among themselves, the batch interpreter and the sequential driver.
void Body::connectPanels()
{
    sinogram.procCtrl = ui.procCtrl;
    sinogram.imgs = &rawImages;
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
        rawView->reset();
        ui.CTFiles->clearList();
        rawView->update();
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
    connect(rawView.get(), &RawImageView::regionsChosen, displays.get(), &CtDisplays::setRegions);
    connect(displays->ct1(), &CtCalc::askToStartCalc, this, &Body::toggleCalcCt);
    connect(ui.CalcCT, &QPushButton::clicked, this, &Body::toggleCalcCt);
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
    connect(ui.procCtrl, &ProcCtrl::threadsUpdated, displays.get(), &CtDisplays::showTabsInUse);
    displays->showTabsInUse();
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
        rawView->reset();
        ui.CTFiles->clearList();
    }
    for (const QString& f : e.adopted)
        ui.CTFiles->addEntry(f);
    ui.seekCtrl->setLast(std::max(rawImages.count() - 1, 0));
    rawView->update();
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

// ---- public slots

void Body::batchLoad(QString fname)
{
    emit callBatchLoad(fname);
}

void Body::batchExec()
{
    emit callBatchExec();
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
    const int tab = display < ctRun->count() ? displays->ct2Tab(display) : -1;
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
    case BatchArgs::Raw: d = rawView->display(); break;
    case BatchArgs::Sinogram: d = sinogram.DispSinogram; break;
    case BatchArgs::Ct1: d = displays->ct1()->display(); break;
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
    return displays->calcRegion(r);
}

void Body::setRegions(const CtRegion& r)
{
    displays->setRegions(r);
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

