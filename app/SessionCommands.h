#pragma once
// The batch command set: one table row per command word with the kind of
// argument it takes and the handler, which works on the session and its
// settings (and asks the window, through CommandWindow, only for what is the
// window's).  Each line is looked up once; the arguments are checked before
// anything is applied.
#include "BatchArgs.h"
#include "BatchCmd.h"
#include "CommandLookup.h"
#include "Failures.h"
#include "Session.h"
#include "SettingTable.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <vector>

class Batch;
class CommandWindow;
class XafsJob;
class XafsBatch;

class SessionCommands : public QObject
{
    Q_OBJECT
public:
    // The lines come from batch, whose result flag they set; seq_calc
    // starts driver.
    SessionCommands(Session& session, CommandWindow& window, Batch& batch, XafsBatch& driver);

    // Runs one line and reports it finished (lineFinished): at once, or for
    // calc_exec and seq_calc when the run or the sequence has ended, and
    // for a line that began loading projections when they are in.  A line
    // fails (the interpreter's result flag goes false, so :ifng sees it)
    // when its word is a mistyped command, its arguments are refused, its
    // action is refused or fails, or any failure is counted meanwhile.
    void execute(const BatchCmd& cmd);
    // Every command word: the table's, then the settings' batch words.
    static QStringList words();
    // A calc_exec line waits for its run to end.
    bool waitsForRun() const { return waiting == Wait::Run; }

signals:
    // The line is done; the interpreter may take the next one.
    void lineFinished();

public slots:
    // The ends the waiting lines wait for.
    void runEnded();
    void sequenceEnded();
    void loadEnded(bool ok);

private:
    void sweepEnded();

    enum class Outcome { Ok, Ng, Waits };
    using Handler = Outcome (*)(SessionCommands& x, const BatchCmd& c, const BatchArgs& a);
    struct Row
    {
        const char* word;
        BatchArgs::Rule rule;
        Handler handler;
    };
    static const std::vector<Row>& table();
    // The table's parts, in its order.
    static std::vector<Row> seriesRows();
    static std::vector<Row> referenceRows();
    static std::vector<Row> centreAndViewRows();
    static std::vector<Row> additionalInfoRows();
    static std::vector<Row> tabAndRunRows();
    static std::vector<Row> dataDirRows();
    static std::vector<Row> xafsRows();
    static std::vector<Row> withXafsAnalysis(std::vector<Row> rows);
    // The settings with a batch word, in their table's order.
    static const std::vector<const SettingTable::Setting*>& settingRows();
    // A setting's batch word: checked and stored by its table row.
    void setSetting(const BatchCmd& c, const SettingTable::Setting& row);

    // Counts a failure of kind with "word, line n: why" and fails the line.
    Outcome fail(Failures::Kind kind, const BatchCmd& c, const QString& why);
    // True (and the line failed) when the images are in use by a run.
    bool refusedInUse(const BatchCmd& c, const QString& what);
    // Reports the line back; it failed unless ok and no failure was
    // counted since failuresAtStart.
    void finishLine(bool ok, int failuresAtStart);
    // The line ends with the XAFS tab's job.
    Outcome waitForXafs(XafsJob& job, bool redraw);
    // A state part changed by a word: the window shows it.
    Outcome told(SessionState::Part part);
    // The I0 of raw images (raw) or of I0 images, changed by change.
    Outcome changeI0(bool raw, const BatchArgs& a, void (*change)(SessionState::I0Source&, const BatchArgs&));

    Outcome loadSeriesDir(const BatchCmd& c, const BatchArgs& a);
    // A file-loading word: refused while in use or without a name; a load
    // that fails without counting why is counted here.
    Outcome loadFile(const BatchCmd& c, const BatchArgs& a, const QString& what, const std::function<bool()>& load);
    Outcome loadSeriesFile(const BatchCmd& c, const BatchArgs& a, bool h5, const QString& what);
    Outcome loadReference(const BatchCmd& c, const BatchArgs& a, Session::Reference r, const QString& what);
    Outcome addReference(const BatchCmd& c, const BatchArgs& a, Session::Reference r, const QString& what);
    Outcome clearReference(const BatchCmd& c, Session::Reference r, const QString& what);
    Outcome clearOutput(ReconOutput ReconSettings::*out, const char* pathKey, const char* nameKey);
    Outcome showTab(const BatchCmd& c, int index, const QString& noSuchTab);
    Outcome calcExec(const BatchCmd& c);
    Outcome seqCalc(const BatchCmd& c);
    Outcome saveImage(const BatchCmd& c, const BatchArgs& a);
    Outcome corSweep(const BatchCmd& c, const BatchArgs& a);
    Outcome xafsMap(const BatchCmd& c, const BatchArgs& a, int kind);

    Session& s;
    CommandWindow& w;
    Batch& batch;
    XafsBatch& driver;
    CommandLookup lookup;
    enum class Wait { Nothing, Run, Sequence, Sweep, Load };
    Wait waiting = Wait::Nothing;
    // The ct_cor_sweep line waited for, and the picture it names.
    BatchCmd sweepLine;
    QString sweepFile;
    // The failure count when the current line, and the line now waited
    // for, began.
    int lineFailuresAtStart = 0;
    int waitFailuresAtStart = 0;
};
