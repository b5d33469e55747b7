#pragma once
// Sequential CT-XAFS driver: turns "set loaded" and "calculation finished"
// into the next request, set by set, reporting each stage with its duration.
// Lives in a thread of its own; touches no widget.
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <atomic>

class XafsBatch : public QObject
{
    Q_OBJECT
public:
    explicit XafsBatch(QObject* parent = nullptr);

    // Read by the main window in the GUI thread when a calculation starts.
    bool isActive() const { return active; }

    std::atomic<bool> active{false};

signals:
    void stage(QString msg, qint64 dEt);
    void starting();
    void setFirstImageSet();
    void setNextSet();
    void execCalculation();
    void finished();

public slots:
    void start();
    void loadedDataSet();
    void calcFinished();
    void noMoreSets();
    // Ends the sequence.  On return active is false and finished() has been
    // emitted; a load or a run already asked for still completes in the
    // window, and its completion is ignored here.  Callers in other threads
    // reach this through a queued call, so they learn of the end from
    // finished().
    void finish();

private:
    // What the driver waits for; completions of another kind are stale
    // (a load or a run it did not ask for) and move nothing.
    enum class Phase { Idle, Loading, Calculating };

    void report(const QString& text);

    QElapsedTimer timer;
    qint64 lastMs = 0;
    Phase phase = Phase::Idle;
};
