#pragma once
// A row of trial slices for judging the centre of rotation by eye: one slice
// reconstructed about every centre from, from + step, ... to, on the threads
// of the shared worker pool (or a pool of its own without one), each with the centre search's sharpness measure and a
// small picture.  Lives in the GUI thread: start() reads the slice's lines
// and filters them (FFTW plans) once; the workers only read the result.
// Every trial covers the disk the outermost centres allow, so the measures
// compare like with like.
#include "CorTrial.h"
#include "CtCond.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class CorSweepWorker;
class QFont;
class ImgDatas;
class WorkerPool;

struct CorSweepRequest
{
    // Not owned; read in start() only.
    ImgDatas* images = nullptr;
    // The I0 and BG names the user gave (empty: none); a named one that did
    // not load refuses the sweep.
    QString i0Name, bgName;
    bool rotAxIsV = false;
    int slice = 0;
    // How the projections cover the turn (the series' own angles win).
    AngularRange angles = AngularRange::Half;
    // Lowest and highest centre, and the step between trials, detector pixels.
    double from = 0, to = 0, step = 1;
    // Fraction of the line's samples that may lack a logarithm (ct_max_invalid).
    double maxInvalid = 0.001;
};

class CorSweep : public QObject
{
    Q_OBJECT
public:
    // More trials than this are refused (each is a whole slice).
    static constexpr int maxTrials = 201;

    explicit CorSweep(QObject* parent = nullptr);
    // Trials not yet begun are dropped; waits for the ones computing.
    ~CorSweep() override;

    // Longest side of a trial's tile, pixels (default 160).
    int tileSize = 160;
    // Worker threads at most (default: the machine's processors).
    int maxThreads = 0;
    // The threads trials run in, shared with the reconstruction runs; not
    // owned.  Without one a sweep makes threads of its own while it runs.
    WorkerPool* pool = nullptr;

    // from, from + step, ... while not beyond to; empty when the three do not
    // make a sweep of 1 to maxTrials centres.
    static std::vector<double> centres(double from, double to, double step);
    // Why the request cannot be swept; empty when it can.
    static QString refusal(const CorSweepRequest& r);

    // False, with the reason in *why, when refused or already running.
    bool start(const CorSweepRequest& r, QString* why = nullptr);
    // Trials not yet begun give nothing; finished() follows once the ones
    // computing are done.
    void cancel();
    bool isActive() const { return active; }
    // The last sweep was cancelled: some trials may have given nothing.
    bool wasCancelled() const { return cancelled; }
    const CorSweepRequest& request() const { return req; }
    // Every trial of the last sweep in centre order; those not done have no tile.
    const std::vector<CorTrial>& trials() const { return results; }
    // The trial with the lowest measure; -1 when none gave a slice.
    int best() const;
    // "centre,measure" and one line per trial (measure empty when it gave nothing).
    QString table() const;
    // The table written whole or not at all; false with *error set.
    bool saveTable(const QString& path, QString* error) const;
    // A trial's label: its centre, and its measure ("-" when it gave nothing).
    static QString centreText(double cor);
    static QString measureText(const CorTrial& t);
    // Tiles in a row of the picture (1 to 15, about square).
    int columns() const;
    // The tiles with their labels in centre order, the sharpest framed in
    // red; labels in font (none without a GUI application, which fonts
    // need); null before the first sweep.
    QImage picture(const QFont& font) const;
    // picture() at png (".png" added when it has no suffix) and the table
    // beside it as .csv, each whole or not at all (the result files'
    // writer); false with *error set.  *written receives the files written.
    bool save(const QString& png, const QFont& font, QString* error, QStringList* written = nullptr) const;

signals:
    void started();
    void trialFinished(CorTrial trial);
    void finished();

private:
    void deal(int worker);
    void trialDone(int worker, const CorTrial& t);
    // Every worker out of its thread and deleted; waits for trials computing.
    void dropWorkers();

    CorSweepRequest req;
    std::vector<CorTrial> results;
    std::vector<CorSweepWorker*> workers;
    std::unique_ptr<WorkerPool> ownPool;
    size_t next = 0;
    int outstanding = 0;
    bool active = false;
    bool cancelled = false;
};
