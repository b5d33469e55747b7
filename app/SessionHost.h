#pragma once
// The session with what runs it: its batch command table, the batch
// interpreter and the sequential driver (each in a thread of its own), the
// XAFS job, the driver's steps waiting for the images to be free, Stop, and
// quitting on a signal.  The window holds one and shows it; `zuvo2 -nw` runs
// one alone, with no widget.
#include "Batch.h"
#include "BatchCmd.h"
#include "CommandWindow.h"
#include "Session.h"
#include "XafsBatch.h"
#include "XafsJob.h"

#include <QObject>

#include <functional>
#include <memory>

class NoWindow;
class QThread;
class SessionCommands;

class SessionHost : public QObject
{
    Q_OBJECT
public:
    // A session with a pool of `workers` threads.
    explicit SessionHost(int workers, QObject* parent = nullptr);
    // The threads end first (a load in progress is cancelled), then the
    // command table, the XAFS job (it waits for its work) and the session.
    ~SessionHost() override;

    // Builds the command table on window (null: none; words that only show
    // something then do nothing) and starts the batch and driver threads.
    // Called once, after the window has connected what it shows, so it sees
    // a load's or a run's end before the batch line waiting for it goes on.
    void begin(CommandWindow* window = nullptr);
    // Ends the batch and driver threads and the load thread.
    void stopThreads();

    Session& session() { return *sess; }
    const Session& session() const { return *sess; }
    Batch& batch() { return interpreter; }
    XafsBatch& driver() { return seqDriver; }
    XafsJob& xafsJob() { return xafs; }
    // Null before begin().
    SessionCommands* commands() { return table.get(); }

    // The batch program file (no run output may overwrite it) and its start,
    // in the interpreter's thread.
    void loadBatch(const QString& file);
    void execBatch();
    // One batch line, as the interpreter hands it over.
    void runCommand(const BatchCmd& cmd);

    // Starts a run of the session's settings; a step of the sequence waits
    // until the slices still computing are done.
    void startRun();
    // The data directory's current set into the series (refused while the
    // images are in use; a sequence's load waits for them instead).
    void loadDataSet();
    // Stop: a load is cancelled, else the XAFS job, and a sequence and a run
    // end (the slices in progress are finished).
    void stopWork();
    // A quit signal: the batch program and a sequence stop, nothing new
    // starts, and finishing() follows once the slices in progress are written.
    void quitOnSignal();
    bool isQuitting() const { return quitting; }

    // How many CT2 displays a run uses: min(Threads, workers, processors),
    // and that said for a message.
    int ct2DisplaysInUse() const;
    QString ct2DisplaysReason() const;

signals:
    // The series changed after a load (the settings fitted to it): the
    // window shows it.  Followed by seriesLoadEnded.
    void loadShown(const Session::LoadEnd& end);
    // A load ended: ok unless cancelled, refused or a file failed.
    void seriesLoadEnded(bool ok);
    // Nothing reads the images any more: inputs may change again.
    void imagesFree();
    // The interpreter stopped running the batch program.
    void batchStopped();
    // After a quit signal, once the slices in progress are written.
    void finishing();

private:
    // The settings and state the window's controls start with.
    void startAsTheWindow(int workers);
    // The session's load ended: the settings follow the series, the window
    // shows it, then the driver and the waiting batch line go on.
    void loadEnded(const Session::LoadEnd& e);
    // Slice, centre, slice range and region outside the new series are
    // brought inside it, with a message; values nobody set are fitted
    // quietly; values inside are left alone.
    void fitSettingsToSeries();
    // The sequence's request waits (true, work kept) while the images are in use.
    bool deferWhileInUse(const QString& what, std::function<void()> work);
    // After a slice, a run or a load: what waited for the images goes on.
    void imagesMayBeFree();
    // The driver asks for the first (or the next) set of the data directory:
    // it is loaded, or the driver learns there is none.
    void walkSets(bool first);

    std::unique_ptr<Session> sess;
    XafsJob xafs;
    Batch interpreter;
    XafsBatch seqDriver;
    // What the words that need a window do without one.
    std::unique_ptr<NoWindow> noWindow;
    CommandWindow* window = nullptr;
    QThread* batchThread = nullptr;
    QThread* seqThread = nullptr;
    bool quitting = false;
    bool finishSent = false;
    std::function<void()> waitingForImages;
    // The settings as the session started: fitted to a series without a
    // message while nobody has changed them.
    struct StartValues
    {
        int slice = 0;
        double cor = 0;
        int from = 0;
        int to = 0;
    } startValues;
    // Last: it is connected to the objects above and goes first.
    std::unique_ptr<SessionCommands> table;
};
