#pragma once
// The work of the window or of a batch program, apart from any widget: the
// projection series and the reference images, the lock that keeps them while
// they are read, reading projection files (in a load thread of its own), the
// worker threads, the reconstruction run control with its slice workers, the
// centre search and sweep, and the settings value of the window's runs.  The
// window shows it and hands it requests.
#include "CorSearch.h"
#include "CorSweep.h"
#include "CtRun.h"
#include "DataDirSets.h"
#include "ImgDatas.h"
#include "ReconSettings.h"
#include "ReferenceSet.h"
#include "SeriesLoader.h"
#include "SessionState.h"
#include "WorkerPool.h"
#include "XafsSession.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>

class Session : public QObject
{
    Q_OBJECT
public:
    // A pool of `workers` threads, shared by the run's slice workers (one
    // each) and the sweep's trials.
    explicit Session(int workers, QObject* parent = nullptr);
    // The sweep and the run go first (each waits for its workers), then the
    // threads.
    ~Session() override;

    WorkerPool& pool() { return *workerPool; }
    CtRun& run() { return *ctRun; }
    const CtRun& run() const { return *ctRun; }
    CorSweep& sweep() { return *corSweep; }

    // The projection series the runs read, with the references below as its
    // I0, BG and after-scan I0.
    ImgDatas& series() { return images; }
    ReferenceSet& i0() { return i0Set; }
    ReferenceSet& bg() { return bgSet; }
    ReferenceSet& i0After() { return i0AfterSet; }
    enum class Reference { I0, Bg, I0After };
    ReferenceSet& reference(Reference r);
    // Files into a reference (append: added to it); false when refused while
    // the images are in use (with a message naming what) or when a file did
    // not join (counted by the set).
    bool loadReference(Reference r, const QStringList& files, bool append, const QString& what);
    // Empties a reference; clearing the I0 clears the after-scan I0 too, as
    // it is only used with the one before.  False when refused.
    bool clearReference(Reference r, const QString& what);

    // Projection files are being read (in the load thread).
    bool loading = false;
    // Whether the single-slice calculator is stepping through a slice (it
    // reads the series too); none when null.
    std::function<bool()> ct1Busy;
    // The series and references are read (a run, a slice still finishing
    // after a stop, CT1) or being replaced (a load): they must not change.
    bool imagesInUse() const;
    // True, with a message naming what, when the images are in use.
    bool refuseWhileInUse(const QString& what) const;

    // Settings of the next runs.  The window's controls write their fields
    // on every edit; a batch word stores its value and calls settingSet.
    ReconSettings settings;
    // The field of key (a SettingTable key) was set from outside: what the
    // session keeps of it follows (the series' angle unit, the lines a load
    // keeps), and settingChanged lets the window show it.
    void settingSet(const QString& key);
    // The rest of what the window shows; stateSet after a change from outside.
    SessionState state;
    void stateSet(SessionState::Part part) { emit stateChanged(part); }
    // The CT-XAFS energy stack, its fit settings and maps.
    XafsSession& xafs() { return xafsStack; }
    // The data directory of a sequence and the set it is at.
    DataDirSets& dataSets() { return dataDir; }

    // The I0 files to choose from by energy, with the energy of each.
    const QStringList& i0Files() const { return i0Names; }
    const QList<double>& i0Energies() const { return i0Evs; }
    // Files in dir matching patterns, one per energy, replace (or are added
    // to) the list; false, with the failure counted, when the directory is
    // missing, nothing matches or two files share an energy.
    bool loadI0Files(const QString& dir, const QStringList& patterns, bool replace);
    void setI0Files(const QStringList& files, bool replace);
    void clearI0Files() { setI0Files({}, true); }
    // The file of the list nearest in energy to the current data set becomes
    // the I0.  False when there is none to choose from, when the images are
    // in use, or, with *why set, when the nearest is of another energy and
    // gaps are not accepted.
    bool chooseI0ByEnergy(QString* why);
    // The program is closing: no sweep starts.
    bool quitting = false;

    // Finds the centre of rotation on a slice of the series; with an answer
    // it becomes the runs' centre (centreFound).  The answer is logged.
    CorResult findCentre(const CtCond& c, int slice);
    // Fits the centre line of a tilted axis over the series' height and has
    // runs use it (on), or goes back to the one centre (off); false when no
    // line could be fitted (corLine().text() says why).
    bool setCorPerSlice(bool on, const CtCond& c);
    const CorLine& corLine() const { return line; }
    // The centre a run of slices from..to starts from: the line's at their
    // middle when runs use it, else the runs' centre.
    double corFor(int from, int to) const;
    // The centre, or the centre line, into the settings of a run.
    void applyCentre(ReconSettings& s) const;
    // The batch program loaded; no output of a run may overwrite it.
    QString batchFile;
    // The settings of the next run: the references' names, the centre, and
    // the files no output may overwrite.  inSequence: a step of the
    // sequential driver, whose I0 is chosen by energy.
    ReconSettings runSettings(bool inSequence);
    // Starts a run of runSettings on the series; its start and end come from
    // run().  False, with the failure counted, when the series is still
    // loading outside a sequence (it would read freed images), or while the
    // program closes.
    bool startRun(bool inSequence);
    // Sweeps slice over centres from..to by step on the series; the reason
    // when refused (also in sweepRefused).  The sweep's end is logged.
    QString startSweep(const CtCond& c, double from, double to, double step);

    // A projection series from the files of dir matching patterns: the
    // numbering is checked (a gap refuses it unless settings.allowGaps), the
    // reference files are left out, and the files are taken as state.series
    // says (takeFiles).  False, with the failure counted, when refused.
    bool loadSeriesDir(const QString& dir, const QStringList& patterns);
    // Files into the series as state.series says: replacing it or added to
    // it, the first one read multiTimes times when asked (gaps: numbers
    // missing from the names, kept with the series).
    void takeFiles(const QStringList& files, const QString& gaps = QString());
    // Files replace the series (replace) or are added to it, read in the
    // load thread with the lines the settings need; refused while the images
    // are in use, and, with the failure counted (loadRefused), when they
    // would not fit in memory.
    void loadFiles(const QStringList& files, bool replace, const QString& gaps = QString());
    // One file is the whole series: an HDF5 scan (h5) or a TIFF stack; the
    // old series goes first.  False when the images are in use.
    bool loadSeriesFile(const QString& file, bool h5);
    // Empties the series; false when the images are in use.
    bool clearSeries();
    // The current set of the data directory into the series, its energy
    // tagging the names of saved pictures and data files.
    void loadDataSet();
    // The directory the last series was listed from.
    const QString& seriesDir() const { return listedDir; }

    // Reading projections in the load thread; the series changes only when
    // the files are in, and loadEnded() follows.  startLoad reads files with
    // the lines given and adds them to the series, or replaces it (replace;
    // droppedOld: the old series was already cleared to make room; gaps:
    // numbers missing from the names, kept with a replaced series).
    // startFileLoad reads one file that is the whole series (h5: an HDF5
    // scan, else a TIFF stack) into prepared (owned from here on), replacing
    // the series, which the caller has cleared.  Both return the load's id.
    int startLoad(const QStringList& files, bool replace, const LineBand& lines, bool droppedOld, const QString& gaps);
    int startFileLoad(const QString& file, bool h5, ImgDatas* prepared);
    // The load in progress stops before its next file; the series stays.
    void cancelLoad();
    // Ends the load thread (a load in progress is cancelled); before the window goes.
    void stopLoading();
    // The load now or last under way: its id, files read of files, time.
    int loadId() const { return loadNo; }
    int loadDone() const { return filesDone; }
    int loadTotal() const { return filesTotal; }
    qint64 loadMs() const { return loadClock.elapsed(); }

    // How the last load ended.
    struct LoadEnd
    {
        bool cancelled = false;
        // The series was replaced (and so cleared before the new files).
        bool replaced = false;
        // One file was the whole series.
        bool wholeFile = false;
        // Every file read (a single-file series: it loaded whole).
        bool whole = true;
        // Files that joined the series, in order.
        QStringList adopted;
    };

signals:
    // The series was emptied (cleared, or dropped before a load): the
    // window's list and view follow.
    void seriesDropped();
    // Files were refused before any was read (memory); no load follows.
    void loadRefused();
    // A load begins (emitted before the load thread may start reading).
    void loadStarted(int files);
    // Files of the load in progress were read.
    void loadProgressed();
    // The load ended; the series holds what it read.
    void loadEnded(const Session::LoadEnd& end);
    // A centre was found: the runs use it from now on.
    void centreFound(double cor);
    // A reference changed (loaded, added to, failed, cleared): the window shows it.
    void referenceChanged(Session::Reference r);
    // A setting or a part of the state was changed from outside the window.
    void settingChanged(const QString& key);
    void stateChanged(SessionState::Part part);
    void sweepRefused(const QString& why);
    // The I0 files to choose from by energy changed.
    void i0FilesChanged();

private:
    void sweepFinished();
    void progressed(int id, int done, int total);
    void finished(SeriesLoadPtr r);

    ImgDatas images;
    XafsSession xafsStack;
    DataDirSets dataDir;
    QString listedDir;
    QStringList i0Names;
    QList<double> i0Evs;
    ReferenceSet i0Set, bgSet, i0AfterSet;
    std::unique_ptr<WorkerPool> workerPool;
    std::unique_ptr<CtRun> ctRun;
    std::unique_ptr<CorSweep> corSweep;

    // Runs reconstruct each slice about line (ct_cor_per_slice).
    bool corPerSlice = false;
    CorLine line;

    SeriesLoader loader;
    QThread* loadThread = nullptr;
    int loadNo = 0;
    int filesDone = 0;
    int filesTotal = 0;
    QElapsedTimer loadClock;
    bool loadReplaces = false;
    bool loadDroppedOld = false;
    QString loadGaps;
};
