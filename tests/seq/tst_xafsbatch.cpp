// The sequential driver in a thread of its own, stepping a real data-directory
// panel, with a stand-in main window that loads and calculates on request.
#include "SelectDataDir.h"
#include "XafsBatch.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QComboBox>
#include <QtTest>

// A control of the panel's private form, by its object name.
template <class W>
W* part(const QObject& panel, const char* name)
{
    return panel.findChild<W*>(QLatin1String(name));
}

// Stands in for the main window: "loads" a handed-over set at once and
// finishes a calculation at once unless told to hold it.
class FakeWindow : public QObject
{
    Q_OBJECT
public:
    QStringList loaded; // first file of each set handed over
    int calcRequests = 0;
    bool holdCalc = false;

signals:
    void seqCalcClicked();
    void finishedLoadingCTFiles();
    void calcFinished();

public slots:
    void selectedFileInfoList(QFileInfoList infos)
    {
        loaded << (infos.isEmpty() ? QString() : infos.first().fileName());
        emit finishedLoadingCTFiles();
    }
    void startCalcCt()
    {
        ++calcRequests;
        if (!holdCalc)
            emit calcFinished();
    }
};

class TstXafsBatch : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void threeSets();
    void noSetsEndsTheRun();
    void restartDuringRun();
    void idleCompletionsMoveNothing_data();
    void idleCompletionsMoveNothing();
    void staleCompletionDuringLoading();
    void finishBeforeAnyStart();

private:
    void makeThreeSets();
    // Lets the driver's thread work off everything posted so far, then
    // delivers what it sent back.
    void drain();

    QTemporaryDir* tmp = nullptr;
    SelectDataDir* panel = nullptr;
    DataDirSets* sets = nullptr;
    FakeWindow* win = nullptr;
    XafsBatch* driver = nullptr;
    QThread* thread = nullptr;
    QStringList stages;
    QList<qint64> dEts;
    int startingCount = 0;
    int finishedCount = 0;
    int requests = 0; // setFirstImageSet + setNextSet + execCalculation
};

void TstXafsBatch::init()
{
    tmp = new QTemporaryDir;
    panel = new SelectDataDir;
    sets = new DataDirSets;
    panel->useSets(sets);
    win = new FakeWindow;
    driver = new XafsBatch;
    thread = new QThread;
    stages.clear();
    dEts.clear();
    startingCount = finishedCount = requests = 0;

    connect(win, &FakeWindow::seqCalcClicked, driver, &XafsBatch::start);
    // The walk through the sets the session host takes for the driver.
    for (bool first : {true, false})
        connect(driver, first ? &XafsBatch::setFirstImageSet : &XafsBatch::setNextSet, this, [this, first] {
            const bool there = first ? sets->first() : sets->advance();
            panel->refresh();
            if (there)
                panel->set();
            else
                QMetaObject::invokeMethod(driver, &XafsBatch::noMoreSets, Qt::QueuedConnection);
        });
    connect(panel, &SelectDataDir::selectedFileInfoList, win, &FakeWindow::selectedFileInfoList);
    connect(win, &FakeWindow::finishedLoadingCTFiles, driver, &XafsBatch::loadedDataSet);
    connect(driver, &XafsBatch::execCalculation, win, &FakeWindow::startCalcCt);
    connect(win, &FakeWindow::calcFinished, driver, &XafsBatch::calcFinished);
    connect(driver, &XafsBatch::stage, this, [this](QString msg, qint64 dEt) {
        QVERIFY(QThread::currentThread() == thread->thread());
        stages << msg;
        dEts << dEt;
    });
    connect(driver, &XafsBatch::starting, this, [this] { ++startingCount; });
    connect(driver, &XafsBatch::finished, this, [this] { ++finishedCount; });
    for (auto sig : {&XafsBatch::setFirstImageSet, &XafsBatch::setNextSet,
                     &XafsBatch::execCalculation})
        connect(driver, sig, this, [this] { ++requests; });

    driver->moveToThread(thread);
    thread->start(QThread::InheritPriority);
}

void TstXafsBatch::cleanup()
{
    thread->quit();
    thread->wait();
    delete driver;
    delete thread;
    delete win;
    delete panel;
    delete sets;
    delete tmp;
}

void TstXafsBatch::makeThreeSets()
{
    for (const char* n : {"Fe-7_100keV-0001.img", "Fe-7_100keV-0002.img", "Fe-7_110keV-0001.img",
                          "Fe-7_110keV-0002.img", "Fe-7_120keV-0001.img", "Fe-7_120keV-0002.img"}) {
        QFile f(tmp->filePath(QString::fromLatin1(n)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    panel->aDirSelected(tmp->path());
    QCOMPARE(part<QComboBox>(*panel, "SubDirs")->count(), 3);
}

void TstXafsBatch::drain()
{
    QMetaObject::invokeMethod(driver, [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::processEvents();
}

void TstXafsBatch::threeSets()
{
    makeThreeSets();
    emit win->seqCalcClicked();
    QTRY_COMPARE(finishedCount, 1);
    QCOMPARE(stages, (QStringList{"Data Loading", "Calculating", "Finished Calc.", "Calculating",
                                  "Finished Calc.", "Calculating", "Finished Calc.", "Finished"}));
    QCOMPARE(win->loaded, (QStringList{"Fe-7_100keV-0001.img", "Fe-7_110keV-0001.img",
                                       "Fe-7_120keV-0001.img"}));
    QCOMPARE(win->calcRequests, 3);
    QCOMPARE(startingCount, 1);
    QVERIFY(!driver->active);
    // The first report comes right at the start.
    QVERIFY(dEts.first() >= 0 && dEts.first() < 1000);
    for (qint64 d : dEts)
        QVERIFY(d >= 0);
}

void TstXafsBatch::noSetsEndsTheRun()
{
    emit win->seqCalcClicked();
    QTRY_COMPARE(finishedCount, 1);
    QCOMPARE(stages, (QStringList{"Data Loading", "Finished"}));
    QCOMPARE(startingCount, 1);
    QVERIFY(win->loaded.isEmpty());
    QCOMPARE(win->calcRequests, 0);
    QVERIFY(!driver->active);
}

void TstXafsBatch::restartDuringRun()
{
    makeThreeSets();
    win->holdCalc = true;
    emit win->seqCalcClicked();
    QTRY_COMPARE(win->calcRequests, 1);
    QVERIFY(driver->active);

    emit win->seqCalcClicked();
    QTRY_COMPARE(win->calcRequests, 2);
    drain();
    QCOMPARE(stages, (QStringList{"Data Loading", "Calculating", "Finished", "Data Loading",
                                  "Calculating"}));
    QCOMPARE(finishedCount, 1);
    QCOMPARE(startingCount, 2);
    // Started again from the first set.
    QCOMPARE(win->loaded, (QStringList{"Fe-7_100keV-0001.img", "Fe-7_100keV-0001.img"}));

    win->holdCalc = false;
    emit win->calcFinished();
    QTRY_COMPARE(finishedCount, 2);
    QCOMPARE(win->loaded.size(), 4);
    QCOMPARE(win->loaded.last(), QStringLiteral("Fe-7_120keV-0001.img"));
    QCOMPARE(stages.last(), QStringLiteral("Finished"));
}

void TstXafsBatch::idleCompletionsMoveNothing_data()
{
    QTest::addColumn<bool>("afterARun");
    QTest::newRow("never started") << false;
    QTest::newRow("after a finished run") << true;
}

void TstXafsBatch::idleCompletionsMoveNothing()
{
    QFETCH(bool, afterARun);
    makeThreeSets();
    if (afterARun) {
        emit win->seqCalcClicked();
        QTRY_COMPARE(finishedCount, 1);
    }
    const int stagesBefore = stages.size();
    const int requestsBefore = requests;
    const int loadsBefore = win->loaded.size();

    emit win->finishedLoadingCTFiles();
    emit win->calcFinished();
    drain();
    QCOMPARE(stages.size(), stagesBefore);
    QCOMPARE(requests, requestsBefore);
    QCOMPARE(win->loaded.size(), loadsBefore);
    QVERIFY(!driver->active);
}

void TstXafsBatch::staleCompletionDuringLoading()
{
    // The loader never answers; a calculation end that the driver did not
    // ask for must not move it on to the next set.
    makeThreeSets();
    disconnect(win, &FakeWindow::finishedLoadingCTFiles, driver, &XafsBatch::loadedDataSet);
    emit win->seqCalcClicked();
    QTRY_COMPARE(win->loaded.size(), 1);
    emit win->calcFinished();
    drain();
    QCOMPARE(stages, QStringList{"Data Loading"});
    QCOMPARE(requests, 1);
    QCOMPARE(part<QComboBox>(*panel, "SubDirs")->currentIndex(), 0);
    QVERIFY(driver->active);
}

void TstXafsBatch::finishBeforeAnyStart()
{
    QMetaObject::invokeMethod(driver, "finish");
    QTRY_COMPARE(finishedCount, 1);
    QCOMPARE(stages, QStringList{"Finished"});
    QCOMPARE(dEts, QList<qint64>{0});
}

QTEST_MAIN(TstXafsBatch)
#include "tst_xafsbatch.moc"
