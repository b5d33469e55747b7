// The worker pool on a small generated sample: which slices a run computes,
// when it ends, what it writes, and how good a reconstructed slice is.
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CtRun.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "Phantom.h"
#include "SampleWriter.h"
#include "Sinogram.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {
QList<int> ints(std::initializer_list<int> l)
{
    return QList<int>(l);
}
} // namespace

class TstCt2Run : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void series_data();
    void series();
    void nothingToDeal_data();
    void nothingToDeal();
    void corOutsideRunsThrough();
    void panelShowsResult();
    void regionBeyondImage();
    void phantomSlice();
    void poolOfNone();
    void savedPictureAndFailedData();
    void stopAndRestart();

private:
    CtCond cond(int from, int to, int step, int threads, bool autoExec = true) const;
    // Starts a run and waits for its end; the slices dealt, in order.
    QList<int> runAndWait(const CtCond& c, QList<int>* dealtAtOnce = nullptr, QList<int>* workersUsed = nullptr);
    QStringList dataFiles() const;

    QTemporaryDir tmp;
    SampleWriter* writer = nullptr;
    ImgDatas set;
    ImgData* i0 = nullptr;
    ImgData* bg = nullptr;
    Sinogram* sinogram = nullptr;
    CtRun* run = nullptr;
    QString outDir;
};

void TstCt2Run::initTestCase()
{
    QVERIFY(tmp.isValid());
    SampleOptions o;
    o.outDir = tmp.filePath("sample");
    o.width = 200;
    o.height = 16;
    o.nProj = 180;
    o.noise = false;
    o.cor = 97.5;
    writer = new SampleWriter(o);
    QVERIFY(writer->valid() && writer->write());
    for (int p = 0; p < o.nProj; ++p)
        QVERIFY(set.addFile(o.outDir + "/" + writer->seriesName(p, 0)));
    i0 = loadImgData(o.outDir + "/" + writer->i0Name(0));
    bg = loadImgData(o.outDir + "/" + writer->bgName());
    set.i0Img = &i0;
    set.bgImg = &bg;
    sinogram = new Sinogram;
    sinogram->imgs = &set;
}

void TstCt2Run::cleanupTestCase()
{
    delete sinogram;
    delete i0;
    delete bg;
    delete writer;
}

void TstCt2Run::init()
{
    const QString name = QString("%1-%2").arg(QTest::currentTestFunction(), QTest::currentDataTag());
    outDir = tmp.filePath(QString(name).replace(QLatin1Char(' '), QLatin1Char('_')));
    QDir().mkpath(outDir);
    run = new CtRun;
    run->sinogram = sinogram;
    run->createPool(4);
    run->saveDat = true;
    run->datPath = outDir;
    run->datName = QStringLiteral("res.dat");
}

void TstCt2Run::cleanup()
{
    delete run;
    run = nullptr;
}

CtCond TstCt2Run::cond(int from, int to, int step, int threads, bool autoExec) const
{
    CtCond c;
    c.ct2 = true;
    c.rotAxIsV = true;
    c.cor = writer->cor();
    c.sliceNo = from;
    c.autoExec = autoExec;
    c.setSeries(QString::number(from), QString::number(to), QString::number(step));
    c.threads = threads;
    return c;
}

QList<int> TstCt2Run::runAndWait(const CtCond& c, QList<int>* dealtAtOnce, QList<int>* workersUsed)
{
    QSignalSpy dealt(run, qOverload<CtCalc2*, bool, double, int, bool>(&CtRun::startCt));
    QSignalSpy finished(run, &CtRun::calcFinished);
    run->startCalcCtWith(c);
    if (dealtAtOnce)
        for (const auto& a : dealt)
            *dealtAtOnce << a.at(3).toInt();
    if (finished.isEmpty())
        finished.wait(60000);
    // Every request handed out has reported back, so no late worker signal can
    // start anything more; deliver the panel updates they posted.
    [&] { QVERIFY(QTest::qWaitFor([&] { return run->pendingCount() == 0; }, 60000)); }();
    QCoreApplication::sendPostedEvents();
    QList<int> slices;
    for (const auto& a : dealt) {
        slices << a.at(3).toInt();
        if (workersUsed)
            *workersUsed << run->workerList().indexOf(a.at(0).value<CtCalc2*>());
    }
    [&] { QCOMPARE(finished.count(), 1); }();
    [&] { QVERIFY(!run->active); }();
    [&] { QCOMPARE(run->pendingCount(), 0); }();
    return slices;
}

QStringList TstCt2Run::dataFiles() const
{
    return QDir(outDir).entryList(QDir::Files, QDir::Name);
}

void TstCt2Run::series_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("threads");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<QList<int>>("atOnce");
    QTest::newRow("0 to 10 by 5, 2 threads") << 0 << 10 << 5 << 2 << ints({0, 5, 10}) << ints({0, 5});
    QTest::newRow("10 to 0 by 5") << 10 << 0 << 5 << 2 << ints({10, 5, 0}) << ints({10, 5});
    QTest::newRow("10 to 0 by -5") << 10 << 0 << -5 << 4 << ints({10, 5, 0}) << ints({10, 5, 0});
    QTest::newRow("from equals to") << 7 << 7 << 3 << 4 << ints({7}) << ints({7});
    QTest::newRow("one thread") << 2 << 6 << 2 << 1 << ints({2, 4, 6}) << ints({2});
    QTest::newRow("step 0") << 3 << 9 << 0 << 4 << ints({3}) << ints({3});
    QTest::newRow("more threads than slices") << 0 << 1 << 1 << 4 << ints({0, 1}) << ints({0, 1});
    QTest::newRow("threads beyond the pool") << 0 << 5 << 1 << 32 << ints({0, 1, 2, 3, 4, 5})
                                             << ints({0, 1, 2, 3});
}

void TstCt2Run::series()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, step);
    QFETCH(int, threads);
    QFETCH(QList<int>, expected);
    QFETCH(QList<int>, atOnce);
    QList<int> first, used;
    const QList<int> slices = runAndWait(cond(from, to, step, threads), &first, &used);
    QCOMPARE(slices, expected);
    // No more slices go out at once than the machine computes at once.
    QCOMPARE(first, atOnce.mid(0, qMax(1, QThread::idealThreadCount())));
    for (int w : used)
        QVERIFY(w >= 0 && w < qMin(threads, run->count()));
    QStringList names;
    for (int s : expected)
        names << QString::asprintf("res-%05d.dat", s);
    names.sort();
    QCOMPARE(dataFiles(), names);
}

void TstCt2Run::nothingToDeal_data()
{
    QTest::addColumn<bool>("autoExec");
    QTest::addColumn<bool>("ct1");
    QTest::addColumn<bool>("ct2");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("ct1Runs");
    QTest::newRow("series with no threads") << true << false << true << 0 << 0;
    QTest::newRow("series with CT1 only") << true << true << false << 4 << 0;
    QTest::newRow("single with neither") << false << false << false << 4 << 0;
}

void TstCt2Run::nothingToDeal()
{
    QFETCH(bool, autoExec);
    QFETCH(bool, ct1);
    QFETCH(bool, ct2);
    QFETCH(int, threads);
    QFETCH(int, ct1Runs);
    CtCond c = cond(0, 4, 1, threads, autoExec);
    c.ct1 = ct1;
    c.ct2 = ct2;
    QSignalSpy ct1Spy(run, &CtRun::execCt1);
    QSignalSpy stopped(run, &CtRun::runStopped);
    const QList<int> slices = runAndWait(c);
    QVERIFY(slices.isEmpty());
    QCOMPARE(ct1Spy.count(), ct1Runs);
    QCOMPARE(stopped.count(), 1);
    QVERIFY(run->endTime.isValid());
    QVERIFY(run->spentSeconds() >= 0);
    QVERIFY(dataFiles().isEmpty());
}

void TstCt2Run::corOutsideRunsThrough()
{
    for (double cor : {0.5, 199.5, 198.5}) { // below 1, at the far edge, within a pixel of it
        CtCond c = cond(0, 6, 2, 2);
        c.cor = cor;
        QCOMPARE(runAndWait(c), ints({0, 2, 4, 6}));
        QVERIFY(dataFiles().isEmpty());
        QVERIFY(!run->worker(0)->lastResult());
    }
    // A good slice after a bad one is not reconstructed from stale data.
    QCOMPARE(runAndWait(cond(3, 3, 1, 1)), ints({3}));
    CtCond bad = cond(4, 4, 1, 1);
    bad.cor = 0.5;
    QCOMPARE(runAndWait(bad), ints({4}));
    QCOMPARE(dataFiles(), QStringList{"res-00003.dat"});
    QCOMPARE(run->worker(0)->lastResult()->slice, 3);
}

// The panel follows the worker in the GUI thread: slice number, times,
// region reset to the image, picture and value read-out.
void TstCt2Run::panelShowsResult()
{
    CtCalc2Ui* p = run->panel(0);
    p->resize(400, 400);
    QCOMPARE(runAndWait(cond(9, 9, 1, 1, false)), ints({9}));
    QCoreApplication::processEvents();
    const auto r = run->worker(0)->lastResult();
    QVERIFY(r);
    const int n = r->n;
    QCOMPARE(n, 2 * 97 - 2);
    QCOMPARE(p->ShowSliceNo->text(), QStringLiteral("9"));
    QVERIFY(!p->StartT->text().isEmpty());
    QVERIFY(!p->EndT->text().isEmpty());
    QCOMPARE(p->Crx1->text(), QString::number(n));
    QVERIFY(p->regionSet);
    QCOMPARE(p->DispCt->image.size(), QSize(n, n));
    QCOMPARE(p->cbar->getVMax(), r->maxV);
    // Read-out of the completed result.
    const int x = n / 2, z = n / 3;
    p->noticedNewPos(x + 0.7, z + 0.2);
    QCOMPARE(p->DispCt->Val->text(), QString::number(r->image[size_t(z) * n + x], 'g', 6));
    p->DispCt->Val->setText("none");
    p->noticedNewPos(n, 0);
    p->noticedNewPos(qQNaN(), 0);
    QCOMPARE(p->DispCt->Val->text(), QStringLiteral("none"));
    // The header announces the region the worker used.
    QFile f(outDir + "/res-00009.dat");
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readLine().startsWith("#ZUVO-CTImg"));
    f.readLine(); f.readLine(); f.readLine(); f.readLine();
    QCOMPARE(f.readLine(), QString("# sx,sy, ex,ey   : 0\t0\t%1\t%1\n").arg(n).toLatin1());
    int lines = 0;
    while (!f.readLine().isEmpty())
        ++lines;
    QCOMPARE(lines, n * n);
}

void TstCt2Run::regionBeyondImage()
{
    const int n = 2 * 97 - 2;
    for (CtCalc2Ui* p : run->panelList())
        p->setCR(n - 8, -2, n + 4, 1);
    QCOMPARE(runAndWait(cond(5, 5, 1, 1)), ints({5}));
    QCOMPARE(run->worker(0)->lastResult()->n, n);
    QFile f(outDir + "/res-00005.dat");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    // Six header lines, 12 x 3 grid lines, and the empty piece after the last line end.
    QCOMPARE(lines.size(), 6 + 36 + 1);
    QCOMPARE(lines[6], QString("%1\t-2\t0").arg(n - 8).toLatin1());
    QCOMPARE(lines[6 + 24 + 8], QString("%1\t0\t0").arg(n).toLatin1());
    QCOMPARE(lines[41], QString("%1\t0\t0").arg(n + 3).toLatin1());
}

void TstCt2Run::phantomSlice()
{
    const int slice = int(writer->axisCentre());
    QCOMPARE(runAndWait(cond(slice, slice, 1, 1)), ints({slice}));
    const auto r = run->worker(0)->lastResult();
    QVERIFY(r);
    const int n = r->n;
    const Phantom ph = writer->phantom(0);
    const double Y = slice - writer->axisCentre();
    const double h = n / 2.0;
    double sn = 0, sr = 0, st = 0;
    std::vector<double> rec, truth;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x)
            if (std::hypot(x - h, z - h) < 0.9 * h) {
                rec.push_back(r->image[size_t(z) * n + x] / (2.0 * writer->options().nProj));
                truth.push_back(ph.mu(x - h, Y, z - h));
                sn += 1;
                sr += rec.back();
                st += truth.back();
            }
    double srt = 0, srr = 0, stt = 0;
    for (size_t i = 0; i < rec.size(); ++i) {
        const double a = rec[i] - sr / sn, b = truth[i] - st / sn;
        srt += a * b;
        srr += a * a;
        stt += b * b;
    }
    const double corr = srt / std::sqrt(srr * stt);
    const double gain = srt / stt;
    QVERIFY2(corr >= 0.9, qPrintable(QString::number(corr)));
    QVERIFY2(std::fabs(gain - 1) <= 0.2, qPrintable(QString::number(gain)));
}

void TstCt2Run::poolOfNone()
{
    CtRun empty;
    empty.createPool(0);
    empty.createPool(-3);
    QCOMPARE(empty.count(), 0);
    QVERIFY(!empty.worker(0));
    run->createPool(2);  // a pool exists already
    QCOMPARE(run->count(), 4);
}

void TstCt2Run::savedPictureAndFailedData()
{
    run->panel(0)->resize(300, 300);
    run->saveImg = true;
    run->imgPath = outDir;
    run->imgName = QStringLiteral("x.tif");
    run->imgTag = QStringLiteral("A");
    run->datPath = outDir + "/missing";
    const QString datPath = QDir(outDir + "/missing").absoluteFilePath("res-00007.dat");
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Can't open " + datPath + " to write CT data"));
    QCOMPARE(runAndWait(cond(7, 7, 1, 1)), ints({7}));
    QCOMPARE(dataFiles(), QStringList{"x-A-00007.png"});
    const QImage saved(outDir + "/x-A-00007.png");
    QCOMPARE(saved.size(), QSize(192, 192));
    QCOMPARE(saved, run->panel(0)->DispCt->image.convertToFormat(saved.format()));
}

// A stop hands out nothing more; slices in progress still finish, and a new
// run waits for a worker still busy with the old one.
void TstCt2Run::stopAndRestart()
{
    QSignalSpy dealt(run, qOverload<CtCalc2*, bool, double, int, bool>(&CtRun::startCt));
    run->startCalcCtWith(cond(0, 15, 1, 2));
    QCOMPARE(dealt.count(), 2);
    run->stopCalcCt();
    QVERIFY(!run->active);
    run->startCalcCtWith(cond(12, 12, 1, 1, false));
    QTRY_VERIFY_WITH_TIMEOUT(!run->active, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(run->pendingCount(), 0, 60000);
    QList<int> slices;
    for (const auto& a : dealt)
        slices << a.at(3).toInt();
    QCOMPARE(slices, ints({0, 1, 12}));
    QCOMPARE(dataFiles(), QStringList({"res-00000.dat", "res-00001.dat", "res-00012.dat"}));
    QCOMPARE(run->worker(0)->lastResult()->slice, 12);
}

QTEST_MAIN(TstCt2Run)
#include "tst_ct2run.moc"
