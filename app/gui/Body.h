#pragma once
// The main window: holds the session with its host (batch interpreter,
// sequential driver, command table) and shows it in its panels; the panels'
// edits and buttons go to the session as requests.
#include "Batch.h"
#include "CommandWindow.h"
#include "CtCalc.h"
#include "CorSearch.h"
#include "CorSweep.h"
#include "CtCond.h"
#include "ReconSettings.h"
#include "Session.h"
#include "SessionHost.h"
#include "ImgDatas.h"
#include "LogRelay.h"
#include "MouseC.h"
#include "RawDisp.h"
#include "Sinogram.h"
#include "XafsBatch.h"
#include "WorkStatus.h"
#include "ui_Body.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfoList>
#include <QFrame>
#include <QList>
#include <QPen>
#include <QStringList>

#include <functional>
#include <memory>

class CorSweepPanel;
class SessionCommands;
class XafsPanel;
class CtCalc2;
class CtCalc2Ui;
class CtCalcBase;
class CtRun;
class MessagePanel;
class QAbstractButton;
class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QButtonGroup;
class QPainter;
class QThread;

class Body : public QFrame, private CommandWindow
{
    Q_OBJECT

public:
    explicit Body(QWidget* parent = nullptr);
    ~Body() override;

    // For tools and tests: the objects the window owns.
    SessionHost& sessionHost() { return *host; }
    Batch* batchInterpreter() { return &host->batch(); }
    XafsBatch* sequentialDriver() { return &host->driver(); }
    RawDisp* rawDisplay() { return &rawDisp; }
    Sinogram* sinogramPanel() { return &sinogram; }
    CtCalc* ct1Panel() { return &ctCalc; }
    CtRun* run() { return ctRun; }
    CorSweep* centreSweep() { return corSweep; }
    CorSweepPanel* sweepPanel() { return corSweepPanel; }
    // The result panel of worker i, or null.
    CtCalc2Ui* ct2Panel(int i) const { return ct2Panels.value(i); }
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
    void callBatchLoad(QString fname);
    void callBatchExec();
    void callBatchCheckEnd();
    // Relayed from the interpreter: the batch program stopped running.
    void batchProgramStopped();
    // A load of projection files began (files read in the load thread) and
    // ended: ok unless cancelled or refused.
    void seriesLoadStarted(int files);
    void seriesLoadEnded(bool ok);

private slots:
    void newPosOnRawImg(double x, double y);
    void updateRawImage();
    void draw(QPainter* p);
    void selectedAPointInRawImg(double x, double y, MouseC::MStat s);
    void selectionMade(QRectF r);
    void toggleCalcCt();
    void startCalcCt();
    void stopCalcCt();
    void changedCtSel(QAbstractButton* button);
    void changedAutoExec();
    void dRUpdated(double rx0, double rz0, double rx1, double rz1);
    void cRUpdated(double rx0, double rz0, double rx1, double rz1);
    void fixColorScaleToggled(bool f);

public slots:
    void batchLoad(QString fname);
    void batchExec();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    // The constructor's parts, in the order they run (connections to one
    // signal keep their order).
    void prepareForms();
    void bindControls();
    // The session's other values, in the controls that show and edit them.
    void bindState();
    // A setting or a state part changed from outside: its control shows it.
    void showSetting(const QString& key);
    void showState(SessionState::Part part);
    void connectPanels();
    void connectCentreSearch();
    void connectInputs();
    void connectRunControl();
    void showWorkArea();
    void createPool(int count);
    // The message panel and the status row under the image tabs.
    void buildOperatorArea();
    // A load has begun: inputs off, bar shown, seriesLoadStarted.
    void loadBegun(int files);
    // The session's load ended: the list and the view follow the series.
    void loadFinished(const Session::LoadEnd& e);
    // Progress bar, its text and the Stop button follow the load or run.
    void showWork();
    void showCounts(int warnings, int errors);
    // Only the CT2 tabs of the workers a run would use.
    void showCt2Tabs();
    // The run control reports its start and end; the window shows them.
    void runStarted();
    void runStopped();
    // Every CT panel but except (the one that announced the change).
    QList<CtCalcBase*> ctPanels(QObject* except) const;
    void setDispRegion(QObject* except, double rx0, double rz0, double rx1, double rz1);
    void setCalcRegion(QObject* except, double rx0, double rz0, double rx1, double rz1);
    // Controls that replace the projections or references; off during a run.
    void enableInputs(bool f);
    // A load asked for while the images are in use is refused with a message.
    bool refuseWhileInUse(const QString& what);
    void selectCt(QAbstractButton* button, bool f);
    // The seek range, overlay and scale of the raw display, for a new series.
    void resetSeriesView();
    // The window's file choice for loadSeriesFile.
    void chooseSeriesFile(bool h5);
    // With the scale fixed, the CT bars follow ColorMin and ColorMax at once.
    void applyFixedColorRange();
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
    QPen crossPen;
    QPen slicePen;
    QPen corPen;
    QPen selectingPen;
    QPen selectedPen;

    // Shows the session's energy stack; a child of the window like every panel.
    XafsPanel* xafsPanel = nullptr;
    int xafsTab = -1;
    // Index of the tab of CT2 worker 0; the others follow it.
    int ct2FirstTab = -1;
    void createXafsPanel();
    void suggestXafsStack();
    RawDisp rawDisp;
    Sinogram sinogram;
    CtCalc ctCalc;
    // The session and what runs it; the window shows them.
    std::unique_ptr<SessionHost> host;
    Session* session = nullptr;
    CtRun* ctRun = nullptr;
    CorSweep* corSweep = nullptr;
    // The centre sweep's window.
    CorSweepPanel* corSweepPanel = nullptr;
    // The workers' result panels, in worker order (placed in the tabs).
    QList<CtCalc2Ui*> ct2Panels;
    // The session's series.
    ImgDatas& rawImages;

    MessagePanel* messages = nullptr;
    WorkStatus* status = nullptr;
    QButtonGroup* ctSelGroup = nullptr;
};
