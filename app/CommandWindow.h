#pragma once
// What batch words ask of the window rather than of the session: showing a
// tab, an image or the sweep, saving a display's picture, the XAFS tab's
// views; and, until they move into the session, the series list, the run
// start with the single-slice calculator and the data-directory sets.  The
// window implements it; without a window every word here is refused.
#include "BatchArgs.h"
#include "Failures.h"

#include <QString>
#include <QStringList>

class XafsJob;
struct XafsRoi;

class CommandWindow
{
public:
    virtual ~CommandWindow() = default;

    // Only about the window.  False with *why when refused.
    virtual bool showTab(int index, const QString& noSuchTab, QString* why) = 0;
    virtual bool showCt2(int display, QString* why) = 0;
    virtual bool showXafs(QString* why) = 0;
    // The picture of a.display (a.integer: the CT2 number) into a.text.
    virtual bool saveDisplay(const BatchArgs& a, Failures::Kind* kind, QString* why) = 0;
    // Projection `index` in the raw display.
    virtual void showImage(int index) = 0;
    // The sweep's window, when the main window shows.
    virtual void showSweep() = 0;
    // The last sweep's grid picture at file (empty: beside the saved
    // pictures or data files, nothing when neither is saved).
    virtual bool saveSweep(const QString& file, QString* why) = 0;
    // The XAFS tab's job (null: none), its redraw, a region and a view.
    virtual XafsJob* xafsJob() = 0;
    virtual void xafsChanged() = 0;
    virtual void xafsRegionAdded(const XafsRoi& roi) = 0;
    virtual void showXafsView(int view) = 0;

    // Still in the window.  The series list: files of dir matching patterns
    // (false when refused, the failure counted), one file that is the whole
    // series, emptying it.
    virtual bool loadSeriesDir(const QString& dir, const QStringList& patterns) = 0;
    virtual bool loadSeriesFile(const QString& file, bool h5) = 0;
    virtual void clearSeries() = 0;
    // Starts a run for the batch program; the window reports its end.
    virtual void startBatchRun() = 0;
    // The data directory of a sequence: its sets, its pattern, the next
    // set (false: none left), handing the current set to the series list.
    virtual void setDataDir(const QString& dir) = 0;
    virtual void setDataPattern(const QString& pattern) = 0;
    virtual bool nextDataSet() = 0;
    virtual bool applyDataSet(QString* why) = 0;
    // The "KVT Std." naming of a data directory.
    virtual void setKvtLayout(bool on) = 0;
    // The I0 files chosen by energy: loading them, emptying the list and
    // taking the one nearest the current set (false with *why).
    virtual bool loadI0Files(const QString& dir, const QStringList& patterns) = 0;
    virtual void clearI0Files() = 0;
    virtual bool selectI0ByEnergy(QString* why) = 0;
};
