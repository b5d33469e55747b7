// The centre sweep on phantom series with known centres: the sharpest trial
// is the true centre, the table holds every trial; and the sweeps refused.
#include "CorSweep.h"
#include "CtCalc2.h"
#include "CtRun.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "SampleWriter.h"
#include "WorkerPool.h"

#include <QDir>

#include <QFont>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {
// A written sample with its projections and references loaded.
struct Loaded
{
    std::unique_ptr<SampleWriter> writer;
    ImgDatas set;
    ImgData* i0 = nullptr;
    ImgData* bg = nullptr;
    ~Loaded()
    {
        delete i0;
        delete bg;
    }
    bool load(const SampleOptions& o)
    {
        writer = std::make_unique<SampleWriter>(o);
        if (!writer->valid() || !writer->write())
            return false;
        for (int p = 0; p < o.nProj; ++p)
            if (!set.addFile(o.outDir + "/" + writer->seriesName(p, 0)))
                return false;
        i0 = loadImgData(o.outDir + "/" + writer->i0Name(0));
        bg = loadImgData(o.outDir + "/" + writer->bgName());
        set.i0Img = &i0;
        set.bgImg = &bg;
        return i0 && bg;
    }
};
} // namespace

class TstCorSweep : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sharpestTrialIsTheTrueCentre_data();
    void sharpestTrialIsTheTrueCentre();
    void refused_data();
    void refused();
    void cancelledSweepEndsEarly();
    void sweepAndRunShareOnePool();

private:
    QTemporaryDir tmp;
    Loaded small;   // 200 wide, 8 slices, centre 97.5
};

void TstCorSweep::initTestCase()
{
    QVERIFY(tmp.isValid());
    SampleOptions o;
    o.outDir = tmp.filePath("small");
    o.width = 200;
    o.height = 8;
    o.nProj = 90;
    o.noise = false;
    o.cor = 97.5;
    o.truthSlices = 0;
    QVERIFY(small.load(o));
}

void TstCorSweep::sharpestTrialIsTheTrueCentre_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<double>("cor");
    QTest::addColumn<bool>("noise");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<double>("step");
    QTest::newRow("vertical axis, x.5, whole steps") << true << 97.5 << false << 88.0 << 108.0 << 1.0;
    QTest::newRow("horizontal axis, off the middle, noise, half steps") << false << 112.3 << true << 107.0 << 117.0 << 0.5;
    QTest::newRow("true centre at the range's end") << true << 80.0 << false << 70.0 << 80.0 << 2.0;
}

void TstCorSweep::sharpestTrialIsTheTrueCentre()
{
    QFETCH(bool, vertical);
    QFETCH(double, cor);
    QFETCH(bool, noise);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(double, step);
    SampleOptions o;
    o.outDir = tmp.filePath(QString("phantom-%1").arg(QTest::currentDataTag()).replace(' ', '_').replace(',', '_'));
    o.width = vertical ? 160 : 12;
    o.height = vertical ? 12 : 160;
    o.axisVertical = vertical;
    o.nProj = 120;
    o.noise = noise;
    o.cor = cor;
    o.truthSlices = 0;
    Loaded data;
    QVERIFY(data.load(o));

    CorSweep sweep;
    sweep.maxThreads = 2;
    sweep.tileSize = 64;
    CorSweepRequest r;
    r.images = &data.set;
    r.rotAxIsV = vertical;
    r.slice = 6;
    r.from = from;
    r.to = to;
    r.step = step;
    QSignalSpy done(&sweep, &CorSweep::finished);
    QSignalSpy each(&sweep, &CorSweep::trialFinished);
    QString why;
    QVERIFY2(sweep.start(r, &why), qPrintable(why));
    QVERIFY(!sweep.start(r, &why));
    QCOMPARE(why, QString("a centre sweep is already running"));
    QVERIFY(done.wait(60000));
    QVERIFY(!sweep.isActive());

    const int n = int(std::lround((to - from) / step)) + 1;
    QCOMPARE(int(sweep.trials().size()), n);
    QCOMPARE(each.count(), n);
    for (const CorTrial& t : sweep.trials()) {
        QVERIFY2(t.ok, qPrintable(QString::number(t.cor)));
        QVERIFY(t.measure > 0);
        QVERIFY(!t.tile.isNull() && t.tile.width() <= 64 && t.tile.height() <= 64);
    }
    const int b = sweep.best();
    QVERIFY(b >= 0);
    const double found = sweep.trials()[size_t(b)].cor;
    QVERIFY2(std::fabs(found - cor) <= step, qPrintable(QString("sharpest at %1, true %2").arg(found).arg(cor)));

    const QString file = o.outDir + "/sweep.csv";
    QVERIFY2(sweep.saveTable(file, &why), qPrintable(why));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), n + 1);
    QCOMPARE(lines.first(), QString("centre,measure"));
    const QStringList bestLine = lines.at(b + 1).split(',');
    QCOMPARE(bestLine.value(0).toDouble(), found);
    const double m = sweep.trials()[size_t(b)].measure;
    QVERIFY(std::fabs(bestLine.value(1).toDouble() - m) <= 1e-7 * m);

    // Saved without a GUI application (no fonts): the tiles alone, only the
    // sharpest framed in red, and the table beside the picture.
    QStringList written;
    QVERIFY2(sweep.save(o.outDir + "/grid", QFont(), &why, &written), qPrintable(why));
    QCOMPARE(written, QStringList({o.outDir + "/grid.png", o.outDir + "/grid.csv"}));
    const QImage grid = QImage(written.first()).convertToFormat(QImage::Format_RGB32);
    const int cols = sweep.columns(), cell = 64 + 8;
    QCOMPARE(grid.size(), QSize(cols * cell, (n + cols - 1) / cols * cell));
    for (int k = 0; k < n; ++k) {
        int red = 0;
        for (int y = 0; y < cell; ++y)
            for (int x = 0; x < cell; ++x)
                red += grid.pixel(k % cols * cell + x, k / cols * cell + y) == qRgb(255, 0, 0);
        QVERIFY2((red > 0) == (k == b), qPrintable(QString("tile %1: %2 red pixels").arg(k).arg(red)));
    }
}

void TstCorSweep::refused_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("slice");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("why"); // empty: accepted
    QTest::newRow("step 0") << 90.0 << 100.0 << 0.0 << 3 << true << "step 0 is not above 0";
    QTest::newRow("negative step") << 90.0 << 100.0 << -1.0 << 3 << true << "step -1 is not above 0";
    QTest::newRow("not a number") << qQNaN() << 100.0 << 1.0 << 3 << true << "from, to and step must be numbers";
    QTest::newRow("from above to") << 110.0 << 90.0 << 1.0 << 3 << true << "from 110 is above to 90";
    QTest::newRow("202 trials") << 50.0 << 150.5 << 0.5 << 3 << true
                                << "50 to 150.5 in steps of 0.5 makes 202 trial centres, more than 201";
    QTest::newRow("201 trials") << 50.0 << 150.0 << 0.5 << 3 << true << "";
    QTest::newRow("one trial") << 97.5 << 97.5 << 1.0 << 3 << true << "";
    QTest::newRow("centre beyond the detector") << 190.0 << 199.0 << 1.0 << 3 << true
                                                << "centre of rotation 199 is outside the image (usable 2 to 197 on 200 pixels)";
    QTest::newRow("negative centre") << -5.0 << 5.0 << 1.0 << 3 << true
                                     << "centre of rotation -5 is outside the image (usable 2 to 197 on 200 pixels)";
    QTest::newRow("slice outside") << 90.0 << 100.0 << 1.0 << 8 << true << "slice 8 is outside the image (valid slices 0 to 7)";
    QTest::newRow("no series") << 90.0 << 100.0 << 1.0 << 3 << false << "no projection series loaded";
}

void TstCorSweep::refused()
{
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(double, step);
    QFETCH(int, slice);
    QFETCH(bool, loaded);
    QFETCH(QString, why);
    ImgDatas empty;
    CorSweepRequest r;
    r.images = loaded ? &small.set : &empty;
    r.rotAxIsV = true;
    r.slice = slice;
    r.from = from;
    r.to = to;
    r.step = step;
    QCOMPARE(CorSweep::refusal(r), why);
    if (why.isEmpty())
        return;
    CorSweep sweep;
    QSignalSpy started(&sweep, &CorSweep::started);
    QString got;
    QVERIFY(!sweep.start(r, &got));
    QCOMPARE(got, why);
    QCOMPARE(started.count(), 0);
    QVERIFY(sweep.trials().empty());
}

// Trials not yet begun give nothing; the sweep still ends, its threads gone.
void TstCorSweep::cancelledSweepEndsEarly()
{
    CorSweep sweep;
    sweep.maxThreads = 1;
    CorSweepRequest r;
    r.images = &small.set;
    r.rotAxIsV = true;
    r.slice = 3;
    r.from = 60;
    r.to = 140;
    r.step = 1;
    QSignalSpy done(&sweep, &CorSweep::finished);
    QVERIFY(sweep.start(r));
    sweep.cancel();
    QVERIFY(done.wait(20000));
    QVERIFY(!sweep.isActive());
    QVERIFY(sweep.wasCancelled());
    int made = 0;
    for (const CorTrial& t : sweep.trials())
        made += t.ok ? 1 : 0;
    QVERIFY2(made <= 1, qPrintable(QString::number(made)));
    QCOMPARE(sweep.table().count('\n'), 82);
}

// Names of this process's threads, as the system has them.
QStringList threadNames()
{
    QStringList names;
    for (const QString& t : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(QStringLiteral("/proc/self/task/%1/comm").arg(t));
        if (f.open(QIODevice::ReadOnly))
            names << QString::fromUtf8(f.readAll()).trimmed();
    }
    return names;
}

// Threads a run or a sweep would start of its own.
int ownThreads()
{
    const QStringList names = threadNames();
    return int(std::count_if(names.begin(), names.end(), [](const QString& n) {
        return n.startsWith(QLatin1String("Sweep")) || n.startsWith(QLatin1String("CT2"));
    }));
}

// A run and a sweep given one pool compute side by side in its threads: no
// thread of their own is started, every slice is computed in a pool thread,
// and both give their results.
void TstCorSweep::sweepAndRunShareOnePool()
{
    WorkerPool pool(2);
    CtRun run;
    run.images = &small.set;
    run.createPool(4, &pool);
    QCOMPARE(run.count(), 2);
    QSet<QThread*> computedIn;
    QMutex lock;
    for (int i = 0; i < run.count(); ++i)
        connect(run.worker(i), &CtCalc2::calcStarted, this, [&] {
            QMutexLocker l(&lock);
            computedIn << QThread::currentThread();
        }, Qt::DirectConnection);
    CorSweep sweep;
    sweep.pool = &pool;
    sweep.maxThreads = 4;
    QTRY_VERIFY(threadNames().contains(QStringLiteral("Worker 2")));

    ReconSettings s;
    s.showImage = false;
    s.cond.ct2 = s.cond.autoExec = s.cond.rotAxIsV = true;
    s.cond.cor = 97.5;
    s.cond.from = 0;
    s.cond.to = 7;
    s.cond.step = 1;
    s.cond.threads = 2;
    CorSweepRequest r;
    r.images = &small.set;
    r.rotAxIsV = true;
    r.slice = 3;
    r.from = 90;
    r.to = 105;
    r.step = 2.5;
    QSignalSpy slices(&run, &CtRun::sliceFinished);
    QSignalSpy runDone(&run, &CtRun::calcFinished);
    QSignalSpy sweepDone(&sweep, &CorSweep::finished);
    run.start(s);
    QVERIFY(sweep.start(r));
    QCOMPARE(ownThreads(), 0);
    QVERIFY(sweepDone.count() == 1 || sweepDone.wait(60000));
    QTRY_COMPARE_WITH_TIMEOUT(slices.count(), 8, 60000);
    QTRY_VERIFY(!run.active && run.pendingCount() == 0);
    QVERIFY(computedIn.size() >= 1 && computedIn.size() <= 2);
    for (QThread* t : computedIn)
        QVERIFY(t == pool.thread(0) || t == pool.thread(1));
    QCOMPARE(sweep.trials().at(size_t(sweep.best())).cor, 97.5);
}

QTEST_GUILESS_MAIN(TstCorSweep)
#include "tst_corsweep.moc"
