#pragma once
// The main window: holds the session with its host (batch interpreter,
// sequential driver, command table) and shows it in its panels; the panels'
// edits and buttons go to the session as requests.
#include "Batch.h"
#include "CommandWindow.h"
#include "CtCalc.h"
#include "CtDisplays.h"
#include "ImgDatas.h"
#include "LogRelay.h"
#include "RawDisp.h"
#include "RawImageView.h"
#include "Session.h"
#include "SessionControls.h"
#include "SessionHost.h"
#include "Sinogram.h"
#include "WorkStatus.h"
#include "XafsBatch.h"
#include "ui_Body.h"

#include <QFrame>

#include <memory>

class CorSweepPanel;
class CtCalc2Ui;
class MessagePanel;
class QLabel;
class QProgressBar;
class QPushButton;
class XafsPanel;

class Body : public QFrame, private CommandWindow
{
    Q_OBJECT

public:
    explicit Body(QWidget* parent = nullptr);
    ~Body() override;

    // For tools and tests: the session's host and the objects the window shows.
    SessionHost& sessionHost() { return *host; }
    Batch* batchInterpreter() { return &host->batch(); }
    XafsBatch* sequentialDriver() { return &host->driver(); }
    RawDisp* rawDisplay() { return rawView->display(); }
    Sinogram* sinogramPanel() { return &sinogram; }
    CtCalc* ct1Panel() { return displays->ct1(); }
    CtRun* run() { return ctRun; }
    CorSweep* centreSweep() { return corSweep; }
    CorSweepPanel* sweepPanel() { return corSweepPanel; }
    // The result panel of worker i, or null.
    CtCalc2Ui* ct2Panel(int i) const { return displays->ct2(i); }
    ImgDatas* images() { return &rawImages; }
    // The process control (tests reach the other form widgets by name).
    ProcCtrl* processControl() const { return ui.procCtrl; }
    const QList<double>& i0EnergyList() const { return session->i0Energies(); }
    bool isBatchCalcActive() const;
    bool isCalcActive() const;
    // A run is active or a worker still finishes a slice of a stopped one:
    // the projections, I0 and BG are being read and must not change.
    bool imagesInUse() const;
    // Makes one file the whole series: an HDF5 Data Exchange scan (with its
    // own I0, BG and angles) or every page of a multi-page TIFF file, read
    // in the load thread.  False when the images are in use; otherwise the
    // load has begun and seriesLoadEnded() tells whether it loaded whole
    // (a failure is counted by the reader).
    bool loadSeriesFile(const QString& file, bool h5);
    // A quit signal: the batch program and a sequence stop, nothing new is
    // started, and the window closes once the slices in progress are written.
    void quitOnSignal();
    // Projection files are being read (in a thread of their own).
    bool isLoading() const { return session->loading; }
    // The load in progress stops before its next file; the series stays as
    // it was.  Ends with seriesLoadEnded(false).
    void cancelLoad();
    // The operator's Stop: a load is cancelled; a run deals no further
    // slice (those in progress are finished) and a sequence ends.
    void stopWork();
    // The log panel, the progress bar with its Stop button and the count of
    // warnings and errors below the images.
    MessagePanel* messagePanel() const { return messages; }
    QProgressBar* workProgressBar() const { return status->bar(); }
    QPushButton* stopButton() const { return status->stopButton(); }
    QLabel* problemCount() const { return status->counts(); }

signals:
    void finishing();
    void finishedLoadingCTFiles();
    void calcFinished();
    // The energy stack, its fit ranges or threshold changed (panels redraw).
    void xafsStackChanged();
    // Load and start a batch program on the host.
    void callBatchLoad(QString fname);
    void callBatchExec();
    // A batch line is done (relayed from the command table).
    void callBatchCheckEnd();
    // Relayed from the interpreter: the batch program stopped running.
    void batchProgramStopped();
    // A load of projection files began (files read in the load thread) and
    // ended: ok unless cancelled or refused.
    void seriesLoadStarted(int files);
    void seriesLoadEnded(bool ok);

private slots:
    void toggleCalcCt();
    void startCalcCt();
    void stopCalcCt();

public slots:
    void batchLoad(QString fname);
    void batchExec();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    // The constructor's parts, in the order they run (connections to one
    // signal keep their order).
    void prepareForms();
    void connectPanels();
    void createXafsPanel();
    void connectCentreSearch();
    void connectInputs();
    void connectRunControl();
    void showWorkArea();
    // The message panel and the status row under the image tabs.
    void buildOperatorArea();
    // A load has begun: inputs off, bar shown, seriesLoadStarted.
    void loadBegun(int files);
    // The session's load ended: the list and the view follow the series.
    void loadFinished(const Session::LoadEnd& e);
    // Progress bar, its text and the Stop button follow the load or run.
    void showWork();
    void showCounts(int warnings, int errors);
    // The run control reports its start and end; the window shows them.
    void runStarted();
    void runStopped();
    // A run of one energy offers its slices to the XAFS tab.
    void suggestXafsStack();
    // Controls that replace the projections or references; off during a run.
    void enableInputs(bool f);
    // A load asked for while the images are in use is refused with a message.
    bool refuseWhileInUse(const QString& what);
    // The window's file choice for loadSeriesFile.
    void chooseSeriesFile(bool h5);
    // Sweeps the current slice over centres from .. to.
    void startSweep(double from, double to, double step);

    // What the batch words ask of the window (CommandWindow).
    bool showTab(int index, const QString& noSuchTab, QString* why) override;
    bool showCt2(int display, QString* why) override;
    bool showXafs(QString* why) override;
    bool saveDisplay(const BatchArgs& a, Failures::Kind* kind, QString* why) override;
    void showImage(int index) override;
    void showSweep() override;
    bool saveSweep(const QString& file, QString* why) override;
    XafsJob* xafsJob() override;
    void xafsChanged() override { emit xafsStackChanged(); }
    void xafsRegionAdded(const XafsRoi& roi) override;
    void showXafsView(int view) override;
    bool calcRegion(CtRegion* r) const override;
    void setRegions(const CtRegion& r) override;

    Ui::Body ui;
    // First: messages of everything built after it reach the panel.
    LogRelay logRelay;
    Sinogram sinogram;
    // The session and what runs it; the window shows them.
    std::unique_ptr<SessionHost> host;
    Session* session = nullptr;
    CtRun* ctRun = nullptr;
    CorSweep* corSweep = nullptr;
    // The session's series.
    ImgDatas& rawImages;
    std::unique_ptr<RawImageView> rawView;
    std::unique_ptr<CtDisplays> displays;
    std::unique_ptr<SessionControls> controls;
    // Shows the session's energy stack; a child of the window like every panel.
    XafsPanel* xafsPanel = nullptr;
    int xafsTab = -1;
    // The centre sweep's window.
    CorSweepPanel* corSweepPanel = nullptr;
    MessagePanel* messages = nullptr;
    WorkStatus* status = nullptr;
};
