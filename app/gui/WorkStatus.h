#pragma once
// The status row under the images: the progress of the load or run under
// way (or how the last one ended), its Stop/Cancel button and the count of
// warnings and errors.  It shows the session; the window says when.
#include <QStatusBar>

class QLabel;
class QProgressBar;
class QPushButton;
class Session;
class XafsJob;

class WorkStatus : public QStatusBar
{
    Q_OBJECT
public:
    explicit WorkStatus(QWidget* parent = nullptr);

    // The bar, its text and the button follow the session's load or run;
    // a sequence keeps the button live between its runs.
    // xafs: the XAFS tab's job, shown while it works (null: none).
    void showWork(const Session& s, bool sequenceActive, const XafsJob* xafs = nullptr);
    void showCounts(int warnings, int errors);
    // What the idle bar shows: the last load or the last run, whichever came later.
    void loadEnded(bool cancelled, double seconds);
    void runStarted() { lastWorkWasLoad = false; }

    QProgressBar* bar() const { return workBar; }
    QPushButton* stopButton() const { return stopBtn; }
    QLabel* counts() const { return countText; }

signals:
    void stopRequested();

private:
    QProgressBar* workBar = nullptr;
    QLabel* workText = nullptr;
    QPushButton* stopBtn = nullptr;
    QLabel* countText = nullptr;
    bool lastWorkWasLoad = false;
    bool lastLoadCancelled = false;
    double lastLoadSeconds = 0;
};
