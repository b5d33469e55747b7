// Batch programs on a session host without a window (`zuvo2 -nw`): runs
// write their slices, words that only show something pass, a tab the window
// would not have is refused, a display's picture is refused by name, and the
// centre sweep's picture is drawn by the core.
#include "CtRun.h"
#include "Failures.h"
#include "SampleWriter.h"
#include "SessionCommands.h"
#include "SessionHost.h"
#include "TextFile.h"

#include <QGuiApplication>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {
QMutex logLock;
QStringList echoes;
// The host whose run state follows each echo line, and the directory whose
// data files are counted then.
SessionHost* watched = nullptr;
QString watchedDir;

void recordEchoes(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    QMutexLocker l(&logLock);
    if (!msg.startsWith(QLatin1String(":echo ")))
        return;
    echoes << msg.mid(6);
    // The run's end is written before the report that lets the next line run.
    const CtRun* run = watched ? &watched->session().run() : nullptr;
    if (run)
        echoes << (run->endTime.isValid() && !run->active ? "run had ended" : "run still going");
    if (run && !watchedDir.isEmpty())
        echoes << QString("%1 files, sequence %2")
                      .arg(QDir(watchedDir).entryList({"*.dat"}, QDir::Files).size())
                      .arg(watched->driver().isActive() ? "active" : "ended");
}

// Echo lines are recorded while it lives; the test's own handler is back after.
struct EchoCapture
{
    QtMessageHandler old = qInstallMessageHandler(recordEchoes);
    ~EchoCapture() { qInstallMessageHandler(old); }
};
} // namespace

class TstSessionHost : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void programsRunWithoutAWindow_data();
    void programsRunWithoutAWindow();
    void failedLinesClearTheFlag_data();
    void failedLinesClearTheFlag();
    void batchWaitsForCalcAndSeesNg();
    void seqCalcWaitsForTheSequence();

private:
    QTemporaryDir dir;
    QString sample;
};

void TstSessionHost::initTestCase()
{
    QVERIFY(dir.isValid());
    SampleOptions o = SampleOptions::small(dir.filePath("ct"), 24, 8, 16);
    SampleWriter w(o);
    QVERIFY2(w.valid() && w.write(), qPrintable(w.error()));
    sample = o.outDir;
}

// Each row: the lines after the series is loaded, the echoes expected and
// the files in the output folder.
void TstSessionHost::programsRunWithoutAWindow_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QStringList>("files");
    const QString run = "calc_ct2 1\nct_auto_exec 1\nct_slice_from 2\nct_slice_to 4\nauto_save_data 1\n"
                        "auto_save_image 1\ncalc_exec\n:ifok :echo ran\n";
    QTest::newRow("a series writes the whole image") << run << QStringList{"ran"}
                                                     << QStringList{"s-00002.dat", "s-00002.png", "s-00003.dat", "s-00003.png",
                                                                    "s-00004.dat", "s-00004.png", "s-run.json"};
    QTest::newRow("showing passes") << "show_ct1\nshow_ct2 0\nshow_tab 9\nimages_seek 3\nshow_xafs\n:ifok :echo shown\n"
                                    << QStringList{"shown"} << QStringList{};
    QTest::newRow("a tab the window lacks") << "show_tab 10\n:ifng :echo no tab\nshow_ct2 4\n:ifng :echo no display\n"
                                            << QStringList{"no tab", "no display"} << QStringList{};
    QTest::newRow("a display's picture needs the window") << "save_image raw out/raw.png\n:ifng :echo refused\n"
                                                          << QStringList{"refused"} << QStringList{};
    QTest::newRow("the sweep's picture is the core's") << "ct_cor_sweep 10 13 1 out/sweep.png\n:ifok :echo swept\n"
                                                       << QStringList{"swept"} << QStringList{"sweep.csv", "sweep.png"};
}

void TstSessionHost::programsRunWithoutAWindow()
{
    QFETCH(QString, lines);
    QFETCH(QStringList, said);
    QFETCH(QStringList, files);
#if defined(__SANITIZE_THREAD__)
    // Qt scales the sweep's pictures in its own thread pool, ordered by locks
    // the thread sanitizer cannot see.
    if (files.contains("sweep.png"))
        QSKIP("the sweep's pictures are drawn in Qt's own threads");
#endif
    QTemporaryDir work;
    QVERIFY(work.isValid());
    QVERIFY(QDir::setCurrent(work.path()));
    QVERIFY(writeTextFile("prog.bat", QString("images_load \"%1\" ct-*.img\ni0_load \"%1/i0/I0.img\"\nbg_load \"%1/bg/BG.img\"\n"
                                              "ct_rot_ax_is_v 1\nct_cor 11.5\nct_proc_slice 3\n"
                                              "auto_save_data_path out\nauto_save_data_name s.dat\n"
                                              "auto_save_image_path out\nauto_save_image_name s.png\n")
                                          .arg(sample)
                                          + lines));
    echoes.clear();
    const EchoCapture capture;
    SessionHost host(4);
    host.begin();
    QSignalSpy stopped(&host, &SessionHost::batchStopped);
    host.loadBatch("prog.bat");
    host.execBatch();
    QVERIFY(stopped.wait(20000));
    QCOMPARE(echoes, said);
    QCOMPARE(QDir("out").entryList(QDir::Files, QDir::Name), files);
}

// Each row: one line and how it ends: the result flag :ifng tests, and the
// failure counted (kind, -1 for none) with its message.
void TstSessionHost::failedLinesClearTheFlag_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");
    const int none = -1;
    QTest::newRow("mistyped word") << "calc_exce" << false << int(Failures::Command) << "Not a command, line 0: calc_exce";
    QTest::newRow("label") << "Loop" << true << none << "";
    QTest::newRow("untaken ifok") << ":ifok calc_exec" << true << none << "";
    QTest::newRow("comma decimal") << "ct_cor 34,5" << false << int(Failures::Command) << "ct_cor, line 0: \"34,5\" is not a number";
    QTest::newRow("slice with point") << "ct_proc_slice 8.0" << false << int(Failures::Command) << "ct_proc_slice, line 0: \"8.0\" is not an integer";
    QTest::newRow("rows with one end") << "images_load_rows 12" << false << int(Failures::Command)
                                       << "images_load_rows, line 0: an integer is missing";
    QTest::newRow("negative row") << "images_load_rows -1 5" << false << int(Failures::Command)
                                  << "images_load_rows, line 0: -1 is out of range (0 to 2147483647)";
    QTest::newRow("precision") << "ct_precision double" << true << none << "";
    QTest::newRow("unknown precision") << "ct_precision half" << false << int(Failures::Command) << "ct_precision, line 0: \"half\" is not double or single";
    QTest::newRow("angle unit") << "images_angle_unit rad" << true << none << "";
    QTest::newRow("unknown angle unit") << "images_angle_unit grad" << false << int(Failures::Command)
                                        << "images_angle_unit, line 0: \"grad\" is not one of auto, deg, rad";
    QTest::newRow("invalid fraction") << "ct_max_invalid 1.5" << false << int(Failures::Command)
                                      << "ct_max_invalid, line 0: 1.5 is out of range (0 to 1)";
    // A series with a projection missing, and one with a FIFO among them.
    const QString gapDir = dir.filePath("gap"), fifoDir = dir.filePath("fifo");
    QDir().mkpath(gapDir);
    QDir().mkpath(fifoDir);
    for (const char* n : {"ct-0001.img", "ct-0003.img"})
        QFile::copy(sample + "/" + n, gapDir + "/" + n);
    QFile::copy(sample + "/ct-0001.img", fifoDir + "/ct-0001.img");
    ::mkfifo(QFile::encodeName(fifoDir + "/ct-0002.img").constData(), 0600);
    QTest::newRow("projection missing") << "images_load \"" + gapDir + "\" ct-*.img" << false << int(Failures::Load)
                                        << "Series not loaded: numbers missing from ct-0001.img to ct-0003.img: 2 (a gap is "
                                           "accepted with images_allow_gaps 1 or --allow-gaps) (in " + gapDir + ")";
    QTest::newRow("FIFO among the projections") << "images_load \"" + fifoDir + "\" ct-*.img" << false << int(Failures::Load)
                                                << "Series not loaded: 1 of 2 matching entries are not readable files: "
                                                   "ct-0002.img (a FIFO) (in " + fifoDir + ")";
    QTest::newRow("missing directory") << "images_load /no/such/dir *.img" << false << int(Failures::Load) << "No such directory, nothing loaded: /no/such/dir";
    QTest::newRow("nothing matches") << "images_load \"" + sample + "\" none-*.img" << false << int(Failures::Load)
                                     << "No file matches none-*.img in " + sample + ", nothing loaded";
    QTest::newRow("I0 that does not load") << "i0_load /no/such.img" << false << int(Failures::Load) << "Image not loaded (no such file): /no/such.img";
    QTest::newRow("I0 added that does not load") << "i0_add /no/such.img" << false << int(Failures::Load) << "Image not loaded (no such file): /no/such.img";
    QTest::newRow("BG added that does not load") << "bg_add /no/such.img" << false << int(Failures::Load) << "Image not loaded (no such file): /no/such.img";
    QTest::newRow("I0 after the scan that does not load") << "i0_after_add /no/such.img" << false << int(Failures::Load) << "Image not loaded (no such file): /no/such.img";
    QTest::newRow("I0 added without a name") << "i0_add" << false << int(Failures::Command) << "i0_add, line 0: a file name is missing";
    QTest::newRow("tab that does not exist") << "show_tab 99" << false << int(Failures::Command) << "show_tab, line 0: no tab 99";
    QTest::newRow("a display's picture") << "save_image raw nothing.png" << false << int(Failures::Write)
                                         << "save_image, line 0: the raw image display's picture needs the window; run without -nw";
    QTest::newRow("no CT2 display") << "save_image ct2 32 x.png" << false << int(Failures::Command) << "save_image, line 0: no CT2 display 32";
    QTest::newRow("calc without images") << "calc_exec" << false << int(Failures::Run) << "Run refused: no projection images loaded";
    QTest::newRow("no set left is no failure") << "seq_exec_next" << false << none << "";
    QTest::newRow("sweep step 0") << "ct_cor_sweep 70 90 0" << false << int(Failures::Command) << "ct_cor_sweep, line 0: step 0 is not above 0";
    QTest::newRow("sweep backwards") << "ct_cor_sweep 90 70 1" << false << int(Failures::Command) << "ct_cor_sweep, line 0: from 90 is above to 70";
    QTest::newRow("sweep too long") << "ct_cor_sweep 0 300 1" << false << int(Failures::Command)
                                    << "ct_cor_sweep, line 0: 0 to 300 in steps of 1 makes 301 trial centres, more than 201";
    QTest::newRow("sweep without images") << "ct_cor_sweep 70 90 1" << false << int(Failures::Command) << "ct_cor_sweep, line 0: no projection series loaded";
    QTest::newRow("sweep without step") << "ct_cor_sweep 70 90" << false << int(Failures::Command) << "ct_cor_sweep, line 0: a number is missing";
    QTest::newRow("good number") << "ct_cor 12.5" << true << none << "";
    QTest::newRow("stack from a missing directory") << "xafs_stack_load /no/such/dir *.dat" << false << int(Failures::Load)
                                                    << "xafs_stack_load, line 0: no directory /no/such/dir";
    QTest::newRow("stack without a pattern") << "xafs_stack_load /tmp" << false << int(Failures::Command)
                                             << "xafs_stack_load, line 0: give a directory and one file-name pattern";
    QTest::newRow("stack of no slices") << "xafs_stack_load \"" + sample + "\" *.img" << false << int(Failures::Load)
                                        << "xafs_stack_load, line 0: no usable file matches *.img in " + sample;
    QTest::newRow("fit ranges not rising") << "xafs_fit_ranges -15 -60 20 100" << false << int(Failures::Command)
                                           << "xafs_fit_ranges, line 0: fit ranges must rise: PRE1 < PRE2 < POST1 < POST2 (eV from E0), got -15 -60 20 100";
    QTest::newRow("region spectrum without a file") << "xafs_roi_spectrum 1 2 3 4" << false << int(Failures::Command)
                                                    << "xafs_roi_spectrum, line 0: a file name is missing";
    QTest::newRow("spectrum without a stack") << "xafs_roi_spectrum 1 2 3 4 s.csv" << false << int(Failures::Write)
                                              << "xafs_roi_spectrum, line 0: no energy stack loaded (xafs_stack_load DIR PATTERN)";
    QTest::newRow("map without a stack") << "xafs_jump_map j.tif" << false << int(Failures::Write)
                                         << "xafs_jump_map, line 0: no energy stack loaded (xafs_stack_load DIR PATTERN)";
    QTest::newRow("lenient flag") << "calc_ct1 1.0" << true << none << "";
}

void TstSessionHost::failedLinesClearTheFlag()
{
    QFETCH(QString, line);
    QFETCH(bool, ok);
    QFETCH(int, kind);
    QFETCH(QString, message);
    SessionHost host(32);
    host.begin();
    Failures::reset();
    host.batch().setOkFlag(true);
    QSignalSpy reports(host.commands(), &SessionCommands::lineFinished);
    if (!message.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(message));
    host.runCommand(BatchCmd(line));
    // Projections load in a thread of their own; the line waits for them.
    QVERIFY(QTest::qWaitFor([&] { return !host.session().loading; }, 30000));
    QCOMPARE(reports.count(), 1);
    QCOMPARE(host.batch().ok(), ok);
    QCOMPARE(Failures::total(), kind < 0 ? 0 : 1);
    if (kind >= 0)
        QCOMPARE(Failures::count(Failures::Kind(kind)), 1);
    Failures::reset();
}

void TstSessionHost::batchWaitsForCalcAndSeesNg()
{
    QTemporaryDir d;
    // One data set, whose files only need names.
    const QString xafsDir = d.filePath("xafs");
    QVERIFY(QDir().mkpath(xafsDir));
    for (const char* n : {"Fe-7_115keV-0001.img", "Fe-7_115keV-0002.img"})
        QVERIFY(writeTextFile(xafsDir + "/" + n, QString()));
    const QString prog = d.filePath("p.bat");
    QVERIFY(writeTextFile(prog, QString("images_load \"%1\" ct-*.img\n"
                    "ct_rot_ax_is_v 1\ncalc_ct2 1\nct_auto_exec 1\nct_slice_from 0\nct_slice_to 7\nct_slice_step 4\nct_threads 2\n"
                    "ct_cor 11.5\ncalc_exec\n:echo after calc\n"
                    "seq_exec_dir \"%2\"\nseq_exec_next\n:ifng :echo no more sets\n:ifok :echo more sets\n")
                .arg(sample, xafsDir)));

    SessionHost host(32);
    host.begin();
    QSignalSpy stopped(&host, &SessionHost::batchStopped);
    QSignalSpy finished(&host.session().run(), &CtRun::runStopped);
    watched = &host;
    echoes.clear();
    const EchoCapture capture;
    host.loadBatch(prog);
    host.execBatch();
    const bool done = QTest::qWaitFor([&] { return stopped.count() > 0; }, 20000);
    watched = nullptr;
    QVERIFY(done);
    const QStringList log = echoes;
    const int after = log.indexOf("after calc");
    QVERIFY(after >= 0);
    QCOMPARE(log.value(after + 1), QString("run had ended"));
    QCOMPARE(finished.count(), 1);
    QVERIFY(log.contains("no more sets"));
    QVERIFY(!log.contains("more sets"));
    QVERIFY(QTest::qWaitFor([&] { return !host.session().imagesInUse(); }, 10000));
}

void TstSessionHost::seqCalcWaitsForTheSequence()
{
    QTemporaryDir d;
    SampleOptions o = SampleOptions::small(d.filePath("xafs"), 64, 16, 8);
    o.kind = "xafs";
    o.energies = {7100, 7120};
    SampleWriter w(o);
    QVERIFY2(w.valid() && w.write(), qPrintable(w.error()));
    const QString out = d.filePath("out");
    const QString prog = d.filePath("seq.bat");
    QVERIFY(writeTextFile(prog, QString("images_new_on_load 1\nseq_exec_kvt_std 1\nseq_exec_file_pattern Fe-*.img\nseq_exec_dir \"%1\"\n"
                    "ct_rot_ax_is_v 1\nct_cor %2\ncalc_ct2 1\nct_auto_exec 1\nct_slice_from 4\nct_slice_to 8\n"
                    "ct_slice_step 4\nct_threads 2\nauto_save_data_path \"%3\"\nauto_save_data_name Fe.dat\n"
                    "auto_save_data 1\nseq_calc\n:echo after seq\n:ifok :echo seq ok\n")
                .arg(o.outDir)
                .arg(w.cor())
                .arg(out)));

    Failures::reset();
    SessionHost host(32);
    host.begin();
    QSignalSpy stopped(&host, &SessionHost::batchStopped);
    watched = &host;
    watchedDir = out;
    echoes.clear();
    const EchoCapture capture;
    host.loadBatch(prog);
    host.execBatch();
    const bool done = QTest::qWaitFor([&] { return stopped.count() > 0; }, 30000);
    watched = nullptr;
    watchedDir.clear();
    QVERIFY(done);
    const QStringList log = echoes;
    const int after = log.indexOf("after seq");
    QVERIFY(after >= 0);
    // Both energies' slices 4 and 8 were written before the next line ran.
    QCOMPARE(log.value(after + 2), QString("4 files, sequence ended"));
    QVERIFY(log.contains("seq ok"));
    QCOMPARE(Failures::total(), 0);
    QVERIFY(QTest::qWaitFor([&] { return !host.session().imagesInUse(); }, 10000));
}

QTEST_GUILESS_MAIN(TstSessionHost)
#include "tst_sessionhost.moc"
