// The batch command set without a window: words change the session's values
// (which the window would show), walk a data directory and choose an I0 by
// energy; only window words reach the window.  Links the core alone.
#include "Batch.h"
#include "CommandWindow.h"
#include "ItexWriter.h"
#include "Session.h"
#include "SessionCommands.h"
#include "XafsBatch.h"
#include "XafsJob.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <vector>

namespace {
// Records what the words ask of the window.
class RecordingWindow : public CommandWindow
{
public:
    QStringList asked;
    bool showTab(int index, const QString&, QString*) override { return note(QStringLiteral("tab %1").arg(index)); }
    bool showCt2(int, QString*) override { return note("ct2"); }
    bool showXafs(QString*) override { return note("xafs"); }
    bool saveDisplay(const BatchArgs&, Failures::Kind*, QString*) override { return note("save"); }
    void showImage(int i) override { note(QStringLiteral("image %1").arg(i)); }
    void showSweep() override { note("sweep"); }
    bool saveSweep(const QString&, QString*) override { return note("save sweep"); }
    XafsJob job;
    XafsJob* xafsJob() override { return &job; }
    void xafsChanged() override { note("xafs changed"); }
    void xafsRegionAdded(const XafsRoi&) override { note("region"); }
    void showXafsView(int) override { note("view"); }
    bool calcRegion(CtRegion*) const override { return false; }
    void setRegions(const CtRegion&) override { note("regions"); }

private:
    bool note(const QString& what)
    {
        asked << what;
        return true;
    }
};
} // namespace

class TstSessionCommands : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void wordsChangeTheSession_data();
    void wordsChangeTheSession();

private:
    QTemporaryDir dir;
};

void TstSessionCommands::initTestCase()
{
    // Two energy sets as sub-directories and an I0 file for each energy.
    QVERIFY(dir.isValid());
    QDir d(dir.path());
    QVERIFY(d.mkpath("sets/7_1keV") && d.mkpath("sets/7_2keV") && d.mkpath("i0") && d.mkpath("ct"));
    const std::vector<quint16> px(16, 100);
    for (const char* f : {"i0/I0-7_1keV-1.img", "i0/I0-7_2keV-1.img"})
        QVERIFY(ItexWriter(4, 4, 2).write16(d.filePath(f), px.data()));
    // A tiny series for a run.
    const std::vector<quint16> ct(64, 100);
    for (int i = 1; i <= 4; ++i)
        QVERIFY(ItexWriter(8, 8, 2).write16(d.filePath(QStringLiteral("ct/ct-%1.img").arg(i)), ct.data()));
}

void TstSessionCommands::wordsChangeTheSession_data()
{
    // Lines ("%D": the test directory), whether the program stays "ok", and
    // what the session (or the window) then holds.
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");
    QTest::newRow("files added on load") << QStringList{"images_new_on_load 0"} << true << "replace" << "0";
    QTest::newRow("one file many times") << QStringList{"images_multi 1 12"} << true << "multi" << "1 12";
    QTest::newRow("too many times") << QStringList{"images_multi 1 3601"} << false << "multi" << "0 0";
    QTest::newRow("colour range") << QStringList{"fix_color_scale 1", "fix_color_min -2.5"} << true << "colour"
                                  << "1 -2.5 0";
    QTest::newRow("I0 of raw images") << QStringList{"add_inf_raw_i0_xafs /x/fe.dat", "add_inf_raw_i0_val 3"} << true
                                      << "rawI0" << "3 /x/fe.dat";
    QTest::newRow("I0 of I0 images") << QStringList{"add_inf_i0_i0_xafs /y/i0.dat", "add_inf_i0_i0_val 5"} << true << "i0I0"
                                     << "5 /y/i0.dat (raw 0)";
    QTest::newRow("clearing one I0 file") << QStringList{"add_inf_raw_i0_xafs /x", "add_inf_i0_i0_xafs /y",
                                                         "add_inf_i0_i0_xafs_clear"}
                                          << true << "rawI0" << "0 /x";
    QTest::newRow("exposure times") << QStringList{"images_exp_time 4", "i0_exp_time 2", "bg_exp_time 3"} << true
                                    << "times" << "4 2 3";
    QTest::newRow("a save panel cleared") << QStringList{"auto_save_image_path %D/img", "auto_save_data_path %D/dat",
                                                         "auto_save_image_clear"}
                                          << true << "outputs" << "|%D/dat";
    QTest::newRow("centre kept exactly") << QStringList{"ct_cor 123.4567891"} << true << "cor" << "123.4567891";
    QTest::newRow("walk of sets") << QStringList{"seq_exec_kvt_std 0", "seq_exec_dir %D/sets", "seq_exec_next"} << true
                                  << "set" << "7_2keV";
    QTest::newRow("walk ends") << QStringList{"seq_exec_kvt_std 0", "seq_exec_dir %D/sets", "seq_exec_next",
                                              "seq_exec_next"}
                               << false << "set" << "7_2keV";
    QTest::newRow("I0 by energy") << QStringList{"seq_exec_kvt_std 0", "seq_exec_dir %D/sets", "seq_exec_next",
                                                 "i0_files_load %D/i0 *.img", "seq_exec_select_i0"}
                                  << true << "i0" << "I0-7_2keV-1.img";
    QTest::newRow("no I0 files") << QStringList{"seq_exec_select_i0"} << false << "i0" << "";
    QTest::newRow("set without a directory") << QStringList{"seq_exec_set"} << false << "window" << "";
    QTest::newRow("a window word") << QStringList{"show_tab 3", "images_seek 2"} << true << "window" << "tab 3, image 2";
    QTest::newRow("tabs by name") << QStringList{"show_orig", "show_sinogram", "show_ct1", "show_i0", "show_bg"} << true
                                  << "window" << "tab 0, tab 1, tab 2, tab 3, tab 4";
    // A misspelt directory or pattern leaves the series alone.
    QTest::newRow("series from no directory") << QStringList{"images_load %D/none *.img"} << false << "series" << "0";
    QTest::newRow("series from a file") << QStringList{"images_load %D/i0/I0-7_1keV-1.img *.img"} << false << "series"
                                        << "0";
    QTest::newRow("no file matches") << QStringList{"images_load %D/i0 *.tif"} << false << "series" << "0";
    // A run starts and ends in the session; the window is asked nothing.
    QTest::newRow("a run") << QStringList{"images_load %D/ct ct-*.img", "calc_ct1 1", "ct_cor 4", "calc_exec"} << true << "run"
                           << "ran; ";
    QTest::newRow("a refused run") << QStringList{"calc_exec"} << false << "run" << "no projection images loaded; ";
    // Words are found whatever their case, also those the XAFS tab's job runs.
    QTest::newRow("an XAFS word in capitals") << QStringList{"XAFS_LCF_SUM_TO_ONE 1"} << true << "sumToOne" << "1";
    QTest::newRow("a mistyped word") << QStringList{"images_clera"} << false << "window" << "";
}

void TstSessionCommands::wordsChangeTheSession()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, ok);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    Session session(2);
    RecordingWindow window;
    Batch batch;
    XafsBatch driver;
    SessionCommands commands(session, window, batch, driver);
    QSignalSpy finished(&commands, &SessionCommands::lineFinished);
    // The window's part: the end of a load ends its line.
    connect(&session, &Session::loadEnded, &commands, [&](const Session::LoadEnd& e) { commands.loadEnded(e.whole); });
    // A line that loads or runs ends later.
    for (const QString& l : lines) {
        const qsizetype before = finished.count();
        commands.execute(BatchCmd(QString(l).replace("%D", dir.path())));
        QVERIFY(QTest::qWaitFor([&] { return finished.count() > before; }, 5000));
    }
    QCOMPARE(finished.count(), lines.size());
    QCOMPARE(batch.ok(), ok);
    const SessionState& st = session.state;
    const std::map<QString, std::function<QString()>> fields = {
        {"replace", [&] { return QString::number(st.series.replace); }},
        {"multi", [&] { return QStringLiteral("%1 %2").arg(st.series.multi).arg(st.series.multiTimes); }},
        {"colour", [&] { return QStringLiteral("%1 %2 %3").arg(st.colour.fixed).arg(st.colour.min).arg(st.colour.max); }},
        {"rawI0", [&] { return QStringLiteral("%1 %2").arg(st.rawI0.value).arg(st.rawI0.xafsFile); }},
        {"i0I0", [&] { return QStringLiteral("%1 %2 (raw %3)").arg(st.i0I0.value).arg(st.i0I0.xafsFile).arg(st.rawI0.value); }},
        {"times", [&] { return QStringLiteral("%1 %2 %3").arg(st.series.expTime).arg(st.i0ExpTime).arg(st.bgExpTime); }},
        {"outputs", [&] { return session.settings.image.path + "|" + session.settings.data.path; }},
        {"cor", [&] { return QString::number(session.settings.cond.cor, 'g', 10); }},
        {"set", [&] { return session.dataSets().currentEnergyText(); }},
        {"i0", [&] { return QFileInfo(session.i0().name()).fileName(); }},
        {"window", [&] { return window.asked.join(", "); }},
        {"run", [&] { return (session.run().refusal().isEmpty() ? QStringLiteral("ran") : session.run().refusal()) + "; " + window.asked.join(", "); }},
        {"sumToOne", [&] { return QString::number(session.xafs().sumToOne()); }},
        {"series", [&] { return QString::number(session.series().count() + int(session.loading)); }},
    };
    QCOMPARE(fields.at(field)(), QString(expected).replace("%D", dir.path()));
}

QTEST_GUILESS_MAIN(TstSessionCommands)
#include "tst_sessioncommands.moc"
