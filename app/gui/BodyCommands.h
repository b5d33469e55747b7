#pragma once
// The main window's batch command set: one table row per command word with
// the kind of argument it takes and the handler that drives the window as an
// operator would. Body::batchExCmd hands every line here; the word is looked
// up once, the arguments are checked before anything is applied.
#include "BatchArgs.h"
#include "BatchCmd.h"
#include "CommandLookup.h"
#include "Failures.h"
#include "ReconSettings.h"
#include "Session.h"

#include <QObject>
#include <QStringList>

#include <vector>

class Body;
class SelectAFile;
class SelectDataFiles;

class BodyCommands : public QObject
{
    Q_OBJECT
public:
    explicit BodyCommands(Body* body);

    // Runs one line and reports it finished to the interpreter: at once, or
    // for calc_exec and seq_calc when the run or the sequence has ended, and
    // for a line that began loading projections when they are in. A
    // line fails (the interpreter's result flag goes false, so :ifng sees
    // it) when its word is a mistyped command, its arguments are refused,
    // its action is refused or fails, or any failure is counted meanwhile.
    void execute(const BatchCmd& cmd);
    // Every command word, in table order.
    static QStringList words();

private slots:
    void runEnded();
    void sequenceEnded();
    void sweepEnded();
    void loadEnded(bool ok);

private:
    enum class Outcome { Ok, Ng, Waits };
    using Handler = Outcome (*)(BodyCommands& x, const BatchCmd& c, const BatchArgs& a);
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
    // The window control each run setting with a batch word writes to; the
    // word, its argument and its range come from SettingTable.
    struct Binding
    {
        const char* key;
        void (*show)(BodyCommands& x, const ReconSettings& s);
        // After showing: why the value could not be put to use (a directory
        // not made), a write failure of the line; null or empty when it was.
        QString (*writeRefusal)(const ReconSettings& s) = nullptr;
    };
    static const std::vector<Binding>& bindings();
    // A setting's batch word: checked by its table row, then shown by its control.
    void setSetting(const BatchCmd& c, const Binding& bind);

    // Counts a failure of kind with "word, line n: why" and fails the line.
    Outcome fail(Failures::Kind kind, const BatchCmd& c, const QString& why);
    // True (and the line failed) when the images are in use by a run.
    bool refusedInUse(const BatchCmd& c, const QString& what);
    // Reports the line back; it failed unless ok and no failure was
    // counted since failuresAtStart.
    void finishLine(bool ok, int failuresAtStart);

    Outcome takeDir(const BatchCmd& c, const BatchArgs& a, SelectDataFiles* files, const QString& what);
    Outcome loadSeriesFile(const BatchCmd& c, const BatchArgs& a, bool h5, const QString& what);
    Outcome loadReference(const BatchCmd& c, const BatchArgs& a, Session::Reference r, const QString& what);
    Outcome addReference(const BatchCmd& c, const BatchArgs& a, Session::Reference r, const QString& what);
    Outcome clearReference(const BatchCmd& c, Session::Reference r, const QString& what);
    void setAxis(bool vertical);
    Outcome showTab(const BatchCmd& c, int index, const QString& what);
    Outcome calcExec(const BatchCmd& c);
    Outcome seqCalc(const BatchCmd& c);
    Outcome saveImage(const BatchCmd& c, const BatchArgs& a);
    Outcome corSweep(const BatchCmd& c, const BatchArgs& a);
    Outcome xafsMap(const BatchCmd& c, const BatchArgs& a, int kind);

    Body* b;
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
