// What the operator sees of the program's work: the progress bar of a run
// and of a load, the Stop button, the message panel with its counts, a load
// that leaves the window live and can be cancelled, the CT2 tabs in use.
#include "Body.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CtRun.h"
#include "Failures.h"
#include "ImgData.h"
#include "ItexWriter.h"
#include "Logging.h"
#include "MessagePanel.h"
#include "SampleWriter.h"
#include "TiffSampleWriter.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <thread>

namespace {
void exec(Body& b, const QString& line)
{
    b.sessionHost().runCommand(BatchCmd(line));
    QVERIFY(QTest::qWaitFor([&] { return !b.isLoading(); }, 60000));
}

QString quoted(const QString& s)
{
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QStringList received;
QtMessageHandler before = nullptr;
void recordMessage(QtMsgType t, const QMessageLogContext& c, const QString& msg)
{
    received << msg;
    if (before)
        before(t, c, msg);
}
} // namespace

class TstOperator : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void runProgressAndStop_data();
    void runProgressAndStop();
    void warningsFromOtherThreadsReachThePanel();
    void cancelledLoadFailsTheLine_data();
    void cancelledLoadFailsTheLine();
    void windowRespondsWhileLoading();
    void ct2TabsFollowThreads_data();
    void ct2TabsFollowThreads();

private:
    QTemporaryDir tmp;
    QString ctDir;
    QString stackFile;
    double cor = 0;
};

void TstOperator::initTestCase()
{
    QVERIFY(tmp.isValid());
    SampleOptions o = SampleOptions::small(tmp.filePath("ct"), 64, 40, 12);
    SampleWriter w(o);
    QVERIFY2(w.valid() && w.write(), qPrintable(w.error()));
    ctDir = o.outDir;
    cor = w.cor();
    stackFile = tmp.filePath("stack.tif");
    const std::vector<double> page(64, 500.0);
    TiffSampleWriter tw;
    QVERIFY2(tw.write(stackFile, 8, 8, {page.data(), page.data(), page.data()}), qPrintable(tw.error()));
}

// Each row: slices of the series, and after how many the operator presses
// Stop (0: never).
void TstOperator::runProgressAndStop_data()
{
    QTest::addColumn<int>("slices");
    QTest::addColumn<int>("stopAfter");
    QTest::newRow("runs to its end") << 9 << 0;
    QTest::newRow("stopped after two slices") << 30 << 2;
}

void TstOperator::runProgressAndStop()
{
    QFETCH(int, slices);
    QFETCH(int, stopAfter);
    QTemporaryDir out;
    Body body;
    exec(body, "images_load " + quoted(ctDir) + " ct-*.img");
    for (const QString& c : {QString("ct_rot_ax_is_v 1"), QString("ct_cor %1").arg(cor), QString("calc_ct2 1"),
                             QString("ct_auto_exec 1"), QString("ct_slice_from 4"),
                             QString("ct_slice_to %1").arg(3 + slices), QString("ct_threads 2"),
                             "auto_save_data_path " + quoted(out.path()), QString("auto_save_data_name s.dat"),
                             QString("auto_save_data 1")})
        exec(body, c);

    QProgressBar* bar = body.workProgressBar();
    QList<int> values;
    bool stopPressed = false;
    int dealtAfterStop = 0;
    connect(body.run(), &CtRun::startCt, this, [&] { dealtAfterStop += stopPressed; });
    // Read after the window has shown the slice (its update is queued too).
    connect(body.run(), &CtRun::sliceFinished, this, [&] {
        QMetaObject::invokeMethod(this, [&] {
            values << bar->value();
            if (stopAfter > 0 && values.size() == stopAfter && !stopPressed) {
                QVERIFY(body.stopButton()->isEnabled());
                QCOMPARE(body.findChild<QPushButton*>(QStringLiteral("CalcCT"))->text(), QString("Stop"));
                stopPressed = true;
                body.stopButton()->click();
                // Nothing more is dealt, the run is over at once.
                QVERIFY(!body.isCalcActive());
            }
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    body.findChild<QPushButton*>(QStringLiteral("CalcCT"))->click();
    QVERIFY(body.isCalcActive());
    QCOMPARE(bar->maximum(), slices);
    QVERIFY(QTest::qWaitFor([&] { return !body.imagesInUse(); }, 60000));
    QTest::qWait(50);

    QVERIFY(!values.isEmpty());
    for (int i = 1; i < values.size(); ++i)
        QVERIFY2(values[i] >= values[i - 1], "the bar never goes back");
    const int files = int(QDir(out.path()).entryList({"s-*.dat"}, QDir::Files).size());
    QCOMPARE(body.findChild<QPushButton*>(QStringLiteral("CalcCT"))->text(), QString("Calc"));
    QVERIFY(!body.stopButton()->isEnabled());
    if (stopAfter == 0) {
        QCOMPARE(values.size(), slices);
        QCOMPARE(values.last(), slices);
        QCOMPARE(files, slices);
    } else {
        // The slices in progress were finished and written; none followed.
        QCOMPARE(dealtAfterStop, 0);
        QCOMPARE(files, values.size());
        QCOMPARE(bar->value(), files);
        QVERIFY(files < slices);
    }
}

void TstOperator::warningsFromOtherThreadsReachThePanel()
{
    received.clear();
    before = qInstallMessageHandler(recordMessage);
    {
        Body body;
        MessagePanel* panel = body.messagePanel();
        std::thread worker([] {
            qCWarning(lcCt) << "disk nearly full";
            qCritical() << "worker lost";
            qCDebug(lcCt) << "plain note";
            qWarning() << "a remark of Qt's";
        });
        worker.join();
        qCDebug(lcApp) << "last line";
        // Lines arrive in order: once the last is in, all are.
        QTRY_VERIFY(panel->view->toPlainText().contains("last line"));
        QCOMPARE(panel->warningCount(), 1);
        QCOMPARE(panel->errorCount(), 1);
        const QString text = panel->view->toPlainText();
        for (const char* m : {"disk nearly full", "worker lost", "plain note"})
            QVERIFY2(text.contains(m), m);
        // Qt's own remarks stay on standard error.
        QVERIFY(!text.contains("a remark of Qt's"));
        QVERIFY(body.problemCount()->text().contains("1"));
        // The handler that was there before still gets every message.
        for (const char* m : {"disk nearly full", "worker lost", "plain note"})
            QVERIFY2(received.contains(m), m);
        panel->clearButton->click();
        QCOMPARE(panel->warningCount() + panel->errorCount(), 0);
    }
    // The window gone, the handler it replaced is back.
    const QtMessageHandler now = qInstallMessageHandler(before);
    QVERIFY(now == &recordMessage);
}

// Each row: the load line, and whether the series loaded before stays
// (a series from one file drops it when it begins).
void TstOperator::cancelledLoadFailsTheLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("kept");
    QTest::newRow("image files") << "images_load " + quoted(ctDir) + " ct-*.img" << true;
    QTest::newRow("TIFF stack") << "images_load_stack " + quoted(stackFile) << false;
}

void TstOperator::cancelledLoadFailsTheLine()
{
    QFETCH(QString, line);
    QFETCH(bool, kept);
    Body body;
    exec(body, "images_load " + quoted(ctDir) + " ct-*.img");
    const int loaded = body.images()->count();
    QVERIFY(loaded > 0);
    const QString firstFile = body.images()->at(0)->fileName;

    // The operator cancels as soon as the next load begins.
    connect(&body, &Body::seriesLoadStarted, this, [&] { body.stopButton()->click(); }, Qt::DirectConnection);
    QFile prog(tmp.filePath("cancel.bat"));
    QVERIFY(prog.open(QIODevice::WriteOnly | QIODevice::Truncate));
    prog.write((line + "\n:ifng :echo load failed\n:ifok :echo load went through\n:end\n").toUtf8());
    prog.close();
    QSignalSpy stopped(&body, &Body::batchProgramStopped);
    const int loadFailures = Failures::count(Failures::Load);
    body.batchLoad(prog.fileName());
    body.batchExec();
    QVERIFY(stopped.wait(30000));
    QTRY_VERIFY(body.messagePanel()->view->toPlainText().contains(":echo load failed"));
    QVERIFY(!body.messagePanel()->view->toPlainText().contains("went through"));
    QCOMPARE(Failures::count(Failures::Load), loadFailures + 1);
    QCOMPARE(body.images()->count(), kept ? loaded : 0);
    QCOMPARE(body.findChild<SelectDataFiles*>(QStringLiteral("CTFiles"))->findChild<QComboBox*>("Selected")->count(), kept ? loaded : 0);
    if (kept)
        QCOMPARE(body.images()->at(0)->fileName, firstFile);
    QVERIFY(body.findChild<SelectDataFiles*>(QStringLiteral("CTFiles"))->findChild<QPushButton*>("Select")->isEnabled());
}

void TstOperator::windowRespondsWhileLoading()
{
    // Enough data that reading it takes a noticeable while.
    const int side = 1024, count = 200;
    const QString dir = tmp.filePath("big");
    QVERIFY(QDir().mkpath(dir));
    std::vector<quint16> px(size_t(side) * side, 1000);
    ItexWriter w(side, side);
    for (int i = 0; i < count; ++i)
        QVERIFY(w.write16(QString("%1/p-%2.img").arg(dir).arg(i, 4, 10, QChar('0')), px.data()));

    Body body;
    // The panel's first lines lay out its font once; not part of any load.
    exec(body, "ct_threads 2");
    qCDebug(lcApp) << "first line";
    QTRY_VERIFY(body.messagePanel()->view->toPlainText().contains("first line"));
    QElapsedTimer clock;
    qint64 last = 0, longestGap = 0;
    int ticks = 0;
    qint64 loadStart = 0;
    QTimer timer;
    timer.setInterval(5);
    // Ticks while the files are read; adopting them afterwards is the GUI's own work.
    connect(&timer, &QTimer::timeout, this, [&] {
        const qint64 now = clock.elapsed();
        if (body.isLoading()) {
            longestGap = std::max(longestGap, now - last);
            ++ticks;
        }
        last = now;
    });
    QList<int> barValues;
    connect(body.workProgressBar(), &QProgressBar::valueChanged, this, [&](int v) { barValues << v; });
    // From the moment the files are handed to the loader until they are all read.
    qint64 took = 0;
    connect(&body, &Body::seriesLoadStarted, this, [&] { last = loadStart = clock.elapsed(); }, Qt::DirectConnection);
    connect(&body, &Body::seriesLoadEnded, this, [&] { took = clock.elapsed() - loadStart; });
    clock.start();
    timer.start();
    exec(body, "images_load " + quoted(dir) + " p-*.img");
    timer.stop();
    QCOMPARE(body.images()->count(), count);
    qDebug("%d images of %d x %d loaded in %lld ms; GUI timer: %d ticks, longest gap %lld ms", count, side, side, took,
           ticks, longestGap);
    QVERIFY2(ticks >= 5, qPrintable(QString("%1 ticks in %2 ms").arg(ticks).arg(took)));
    // Read in the GUI thread, the whole load would be one gap and no tick.
    QVERIFY2(longestGap * 2 < took, qPrintable(QString("longest gap %1 ms of %2 ms").arg(longestGap).arg(took)));
    QVERIFY(!barValues.isEmpty());
    QCOMPARE(barValues.last(), count);
    QCOMPARE(body.workProgressBar()->maximum(), count);
    QDir(dir).removeRecursively();
}

// Each row: the threads in use and a CT2 display to show.  The tabs shown
// are those a run can use, min(Threads, processors).
void TstOperator::ct2TabsFollowThreads_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("display");
    const int processors = std::max(1, QThread::idealThreadCount());
    QTest::newRow("two threads, first display") << 2 << 0;
    QTest::newRow("two threads, third display") << 2 << 2;
    QTest::newRow("all threads, last display") << 32 << 31;
    QTest::newRow("all threads, one beyond the processors") << 32 << std::min(processors, 31);
    QTest::newRow("all threads, last processor's display") << 32 << std::min(processors, 32) - 1;
}

void TstOperator::ct2TabsFollowThreads()
{
    QFETCH(int, threads);
    QFETCH(int, display);
    const int usable = std::min(threads, std::max(1, QThread::idealThreadCount()));
    const bool shown = display < usable;
    Body body;
    exec(body, QString("ct_threads %1").arg(threads));
    int visible = 0;
    for (int i = 5; i < 5 + body.run()->count(); ++i)
        visible += body.findChild<QTabWidget*>(QStringLiteral("ImgsTab"))->isTabVisible(i);
    QCOMPARE(visible, usable);
    const int failures = Failures::count(Failures::Command);
    exec(body, QString("show_ct2 %1").arg(display));
    QCOMPARE(Failures::count(Failures::Command), failures + (shown ? 0 : 1));
    if (shown)
        QCOMPARE(body.findChild<QTabWidget*>(QStringLiteral("ImgsTab"))->currentIndex(), 5 + display);
    else  // the number typed, not the tab's index
        QTRY_VERIFY(body.messagePanel()->view->toPlainText().contains(
            QString("CT2 display %1 is not in use (Threads %2").arg(display).arg(threads)));
    // The CT2 panels have no start button of their own.
    QVERIFY(body.ct2Panel(0)->findChild<QWidget*>("StartCalc")->isHidden());
    QVERIFY(body.ct2Panel(0)->findChild<QWidget*>("CalcAtOnce")->isHidden());
}

QTEST_MAIN(TstOperator)
#include "tst_operator.moc"
