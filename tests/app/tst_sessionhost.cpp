// Batch programs on a session host without a window (`zuvo2 -nw`): runs
// write their slices, words that only show something pass, a tab the window
// would not have is refused, a display's picture is refused by name, and the
// centre sweep's picture is drawn by the core.
#include "Failures.h"
#include "SampleWriter.h"
#include "SessionHost.h"
#include "TextFile.h"

#include <QGuiApplication>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QMutex logLock;
QStringList echoes;

void recordEchoes(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    QMutexLocker l(&logLock);
    if (msg.startsWith(QLatin1String(":echo ")))
        echoes << msg.mid(6);
}
} // namespace

class TstSessionHost : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void programsRunWithoutAWindow_data();
    void programsRunWithoutAWindow();

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
    qInstallMessageHandler(recordEchoes);
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
    SessionHost host(4);
    host.begin();
    QSignalSpy stopped(&host, &SessionHost::batchStopped);
    host.loadBatch("prog.bat");
    host.execBatch();
    QVERIFY(stopped.wait(20000));
    QCOMPARE(echoes, said);
    QCOMPARE(QDir("out").entryList(QDir::Files, QDir::Name), files);
}

QTEST_GUILESS_MAIN(TstSessionHost)
#include "tst_sessionhost.moc"
