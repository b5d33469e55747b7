// The CT1 calculator: reconstruction of the sinogram panel's slice at once
// and one projection per event, stopping, the pacing thread's lifetime, and
// its values against a plain kernel run.
#include "ColorBar.h"
#include "CtCalc.h"
#include "Failures.h"
#include "CtProgress.h"
#include "FbpKernel.h"
#include "HSgm.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ProcCtrl.h"
#include "SampleWriter.h"
#include "SinogramGen.h"
#include "Sinogram.h"

#include <QSignalSpy>
#include <QDir>
#include <QScopeGuard>
#include <QThread>
#include <QtTest>

#include <cmath>
#include <memory>
#include <set>

namespace {
constexpr int sampleW = 200;
constexpr int sampleH = 64;
constexpr int sampleProj = 180;
constexpr double sampleCor = 97.5;

// The sinogram panel and the process control panel the calculator reads.
struct Rig
{
    explicit Rig(ImgDatas* set)
    {
        sgm.procCtrl = &pc;
        sgm.imgs = set;
        pc.rotAxIsV = true;
        pc.cor = sampleCor;
        pc.sliceNo = sampleH / 2;
        calc.sinogram = &sgm;
    }
    ProcCtrl pc;
    Sinogram sgm;
    CtCalc calc;
};

// Handles events as they arrive until cond holds (at once, not on a polling
// beat: a paced run is hundreds of round trips).  Generous, for sanitizer
// builds on a loaded machine.
template <class F>
bool spinUntil(F cond)
{
    QTimer tick;  // wakes the wait for conditions no event announces
    tick.start(20);
    QDeadlineTimer deadline(60000);
    while (!cond() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return cond();
}

// Once the pacing thread has ended, nothing more can come from it: deliver
// what it sent before, so a test sees every step and end there will ever be.
bool settle(CtCalc& c)
{
    if (!spinUntil([&] { return c.progressThread->isFinished(); }))
        return false;
    QCoreApplication::sendPostedEvents();
    return true;
}

// The plain kernel on a record: the sum of the back-projections.
std::vector<double> kernelResult(const HSgm& h, double x0, double x1, double z0, double z1)
{
    const int n = h.nx - 1;
    FbpKernel k;
    k.setup(n, h.nth);
    k.resetImage(n);
    for (int p = 0; p < h.nth; ++p)
        k.transform(h.absorbRow(p), p);
    for (int p = 0; p < h.nth; ++p)
        k.filter(p);
    for (int p = 0; p < h.nth; ++p)
        k.backProject(p, x0, x1, z0, z1);
    return k.image;
}
} // namespace

class TstCtCalc : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void panel();
    void atOnce();
    void reconstructsAboutTheRunsCentre();
    void sumOfKernel_data();
    void sumOfKernel();
    void oneByOne();
    void stopDuringOneByOne();
    void restartWhileRunning_data();
    void restartWhileRunning();
    void noSinogram_data();
    void noSinogram();
    void clampedLogarithmsRefuseTheSlice_data();
    void clampedLogarithmsRefuseTheSlice();
    void destroyWhileRunning();
    void savesCompletedResult_data();
    void savesCompletedResult();

private:
    QTemporaryDir dir;
    ImgDatas set;
    ImgData* i0 = nullptr;
    ImgData* bg = nullptr;
    std::unique_ptr<SampleWriter> writer;
};

void TstCtCalc::initTestCase()
{
    QVERIFY(dir.isValid());
    SampleOptions o = SampleOptions::small(dir.path(), sampleW, sampleH, sampleProj);
    o.cor = sampleCor;
    writer.reset(new SampleWriter(o));
    QVERIFY(writer->valid());
    QVERIFY(writer->write());
    for (int p = 0; p < sampleProj; ++p)
        QVERIFY(set.addFile(dir.filePath(writer->seriesName(p, 0))));
    i0 = loadImgData(dir.filePath(writer->i0Name(0)));
    bg = loadImgData(dir.filePath(writer->bgName()));
    QVERIFY(i0 && i0->ready && bg && bg->ready);
    set.i0Img = &i0;
    set.bgImg = &bg;
}

void TstCtCalc::cleanupTestCase()
{
    set.clear();
    delete i0;
    delete bg;
}

void TstCtCalc::panel()
{
    CtCalc c;
    QCOMPARE(c.progress->thread(), c.progressThread);
    QSignalSpy ask(&c, &CtCalc::askToStartCalc);
    c.StartCalc->click();
    QCOMPARE(ask.count(), 1);
    // Without a sinogram panel nothing starts and nothing is shown.
    QSignalSpy fin(&c, &CtCalc::calcFinished);
    c.startCt();
    QVERIFY(c.StartT->text().isEmpty());
    QVERIFY(!c.progressThread->isRunning());
    QCOMPARE(fin.count(), 0);
}

// At once: one calcAll event reconstructs the phantom slice; the first start
// takes the whole image as calculation region.
void TstCtCalc::atOnce()
{
    Rig r(&set);
    QSignalSpy fin(&r.calc, &CtCalc::calcFinished);
    QSignalSpy cr(&r.calc, &CtCalc::cRUpdated);
    QSignalSpy one(&r.calc, &CtCalc::finishedCalcOne);
    r.calc.startCt();
    QVERIFY(!r.calc.busy);
    QVERIFY(!r.calc.StartT->text().isEmpty());
    const HSgm& h = r.sgm.hSgm;
    const int n = h.nx - 1;
    QCOMPARE(r.calc.n, n);
    QCOMPARE(r.calc.nProj, sampleProj);
    QCOMPARE(r.calc.hSgm, &r.sgm.hSgm);
    QCOMPARE(r.calc.ShowSliceNo->text(), QString::number(sampleH / 2));
    QCOMPARE(cr.count(), 1);
    QCOMPARE(cr.first().at(2).toDouble(), double(n));
    QVERIFY(r.calc.regionSet);
    QVERIFY(r.calc.progressThread->isRunning());
    QVERIFY(spinUntil([&] { return fin.count() == 1; }));
    QCOMPARE(one.count(), 0);
    QVERIFY(!r.calc.EndT->text().isEmpty());
    QVERIFY(spinUntil([&] { return r.calc.progressThread->isFinished(); }));
    QCOMPARE(r.calc.DispCt->image.size(), QSize(n, n));

    // Compare with the phantom's slice: CT1 values are the mean of the
    // back-projections, and half of that is mu here.  Correlation and
    // least-squares gain inside the skull's outer edge.
    const Phantom ph = writer->phantom(0);
    const double Y = sampleH / 2 - writer->axisCentre();
    const double hh = n / 2.0;
    double sr = 0, st = 0, m = 0;
    std::vector<double> rec, truth;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const double rv = r.calc.kernel.imageRow(z)[x] / 2;
            const double tv = ph.mu(x - hh, Y, z - hh);
            if (std::hypot(x - hh, z - hh) < 0.9 * hh) {
                rec.push_back(rv);
                truth.push_back(tv);
                sr += rv;
                st += tv;
                m += 1;
            }
        }
    double srt = 0, srr = 0, stt = 0;
    for (size_t i = 0; i < rec.size(); ++i) {
        const double a = rec[i] - sr / m, b = truth[i] - st / m;
        srt += a * b;
        srr += a * a;
        stt += b * b;
    }
    const double corr = srt / std::sqrt(srr * stt);
    const double gain = srt / stt;
    qInfo("CT1 against the phantom: correlation %.4f, gain %.3f", corr, gain);
    QVERIFY2(corr >= 0.9, qPrintable(QString::number(corr)));
    QVERIFY2(std::fabs(gain - 1) <= 0.2, qPrintable(QString::number(gain)));

    // Read-out of the result, out of range nothing.
    QLineEdit* val = r.calc.DispCt->Val;
    r.calc.noticedNewPos(30.7, 150.2);
    QCOMPARE(val->text(), QString::number(r.calc.kernel.imageRow(150)[30], 'g', 6));
    val->setText("untouched");
    r.calc.noticedNewPos(n, 3);
    r.calc.noticedNewPos(3, -1);
    QCOMPARE(val->text(), QString("untouched"));
    // The picture spans the colour bar's automatic range.
    QCOMPARE(r.calc.cbar->getVMin(), r.calc.kernel.minV);
    QCOMPARE(r.calc.cbar->getVMax(), r.calc.kernel.maxV);
    QCOMPARE(r.calc.cbar->ui.CMaxLE->text(), QString::number(r.calc.kernel.maxV, 'g', 6));
}

// A run with a fitted centre line hands CT1 the line's centre at the slice;
// the panel's own centre is not used.
void TstCtCalc::reconstructsAboutTheRunsCentre()
{
    Rig r(&set);
    r.pc.cor = sampleCor - 20;
    r.calc.startCt(sampleCor);
    QVERIFY(spinUntil([&] { return !r.calc.busy; }));
    HSgm want;
    genSinogram(set, &want, true, sampleCor, sampleH / 2);
    QCOMPARE(r.sgm.hSgm.nx, want.nx);
    QCOMPARE(r.sgm.hSgm.absorb, want.absorb);
    QVERIFY(settle(r.calc));
}

// CT1 x nProj is the plain kernel's sum at every pixel, in the whole image and
// in a region set beforehand.
void TstCtCalc::sumOfKernel_data()
{
    QTest::addColumn<bool>("region");
    QTest::newRow("whole image") << false;
    QTest::newRow("calculation region set before") << true;
}

void TstCtCalc::sumOfKernel()
{
    QFETCH(bool, region);
    Rig r(&set);
    if (region)
        r.calc.setCR(20.5, 10, 60, 45);
    QSignalSpy fin(&r.calc, &CtCalc::calcFinished);
    r.calc.startCt();
    QVERIFY(spinUntil([&] { return fin.count() == 1; }));
    const HSgm& h = r.sgm.hSgm;
    const int n = h.nx - 1;
    const std::vector<double> ref = region ? kernelResult(h, 20.5, 60, 10, 45)
                                           : kernelResult(h, 0, n, 0, n);
    double big = 0;
    for (double v : ref)
        big = std::max(big, std::fabs(v));
    QVERIFY(big > 0);
    QCOMPARE(r.calc.kernel.image.size(), ref.size());
    int outside = 0;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const double a = r.calc.kernel.imageRow(z)[x] * sampleProj;
            const double b = ref[size_t(z) * n + x];
            QVERIFY2(std::fabs(a - b) <= 1e-9 * big,
                     qPrintable(QString("(%1, %2): %3 != %4").arg(x).arg(z).arg(a).arg(b)));
            if (region && (x < 20 || x >= 60 || z < 10 || z >= 45)) {
                QCOMPARE(r.calc.kernel.imageRow(z)[x], 0.0);
                ++outside;
            }
        }
    QCOMPARE(outside > 0, region);
}

// One by one: a new picture after every projection, the end once, and the
// same result as at once.
void TstCtCalc::oneByOne()
{
    Rig r(&set);
    r.calc.CalcAtOnce->setChecked(false);
    QSignalSpy fin(&r.calc, &CtCalc::calcFinished);
    std::set<qint64> pictures;
    int steps = 0;
    connect(&r.calc, &CtCalc::finishedCalcOne, this, [&] {
        ++steps;
        pictures.insert(r.calc.DispCt->image.cacheKey());
        QVERIFY(r.calc.busy);
    });
    r.calc.startCt();
    QVERIFY(r.calc.busy);
    QCOMPARE(r.calc.progress->count.load(), sampleProj);
    QVERIFY(spinUntil([&] { return fin.count() > 0; }));
    QCOMPARE(steps, sampleProj);
    QCOMPARE(int(pictures.size()), sampleProj);
    QVERIFY(!r.calc.busy);
    QVERIFY(settle(r.calc));
    QCOMPARE(fin.count(), 1);
    const std::vector<double> paced = r.calc.kernel.image;

    r.calc.CalcAtOnce->setChecked(true);
    r.calc.startCt();
    QVERIFY(spinUntil([&] { return fin.count() == 2; }));
    QCOMPARE(r.calc.kernel.image.size(), paced.size());
    for (size_t i = 0; i < paced.size(); ++i)
        QVERIFY(std::fabs(paced[i] - r.calc.kernel.image[i]) <= 1e-12 * (1 + std::fabs(paced[i])));
}

// calcCt during a one-by-one run stops after the current projection, while
// the pacer already has the next step on its way.
void TstCtCalc::stopDuringOneByOne()
{
    Rig r(&set);
    r.calc.CalcAtOnce->setChecked(false);
    QSignalSpy fin(&r.calc, &CtCalc::calcFinished);
    int steps = 0;
    bool busyAfterStop = true;
    int endsAtStop = -1;
    connect(&r.calc, &CtCalc::finishedCalcOne, this, [&] {
        if (++steps != 5)
            return;
        r.calc.calcCt();
        busyAfterStop = r.calc.busy;
        endsAtStop = int(fin.count());
    });
    r.calc.calcCt();
    QVERIFY(r.calc.busy);
    QVERIFY(spinUntil([&] { return steps >= 5; }));
    QVERIFY(!busyAfterStop);
    QCOMPARE(endsAtStop, 1);
    QVERIFY(settle(r.calc));
    QCOMPARE(steps, 5);
    QCOMPARE(fin.count(), 1);
}

// A start while one-by-one steps are still on their way: the new run takes
// every projection once, whatever is left over from the first.
void TstCtCalc::restartWhileRunning_data()
{
    QTest::addColumn<int>("after");       // steps of the first run before the restart
    QTest::addColumn<bool>("firstAtOnce");
    QTest::newRow("at once, restarted at once") << 0 << true;
    QTest::newRow("before the first step") << 0 << false;
    QTest::newRow("after one step") << 1 << false;
    QTest::newRow("after a few steps") << 7 << false;
    QTest::newRow("after many steps") << 150 << false;
}

void TstCtCalc::restartWhileRunning()
{
    QFETCH(int, after);
    QFETCH(bool, firstAtOnce);
    Rig r(&set);
    r.calc.CalcAtOnce->setChecked(firstAtOnce);
    QSignalSpy fin(&r.calc, &CtCalc::calcFinished);
    int steps = 0;
    bool restarted = false;
    auto restart = [&] {
        restarted = true;
        steps = 0;
        r.calc.CalcAtOnce->setChecked(false);
        r.calc.startCt();
    };
    connect(&r.calc, &CtCalc::finishedCalcOne, this, [&] {
        ++steps;
        if (!restarted && steps == after)
            restart();
    });
    r.calc.startCt();
    if (after == 0)
        restart();
    QVERIFY(spinUntil([&] { return fin.count() > 0; }));
    QVERIFY(settle(r.calc));
    QCOMPARE(fin.count(), 1);
    QCOMPARE(steps, sampleProj);
    const HSgm& h = r.sgm.hSgm;
    const int n = h.nx - 1;
    const std::vector<double> ref = kernelResult(h, 0, n, 0, n);
    double big = 0;
    for (double v : ref)
        big = std::max(big, std::fabs(v));
    for (size_t i = 0; i < ref.size(); ++i)
        QVERIFY(std::fabs(r.calc.kernel.image[i] * sampleProj - ref[i]) <= 1e-9 * big);
}

// No sinogram to reconstruct: the start time only, no signal, image untouched.
void TstCtCalc::noSinogram_data()
{
    QTest::addColumn<double>("cor");
    QTest::addColumn<bool>("afterGood");
    QTest::newRow("CoR left of the image") << -5.0 << false;
    QTest::newRow("CoR beyond the image") << 500.0 << false;
    QTest::newRow("CoR at the far edge") << sampleW - 1.0 << false;
    QTest::newRow("one sample") << sampleW - 2.0 << false;
    // The sinogram panel keeps its last record for such a CoR: CT1 must not
    // reconstruct it again as the current slice.
    QTest::newRow("CoR beyond after a good slice") << 500.0 << true;
    QTest::newRow("CoR below 1 after a good slice") << 0.5 << true;
}

void TstCtCalc::noSinogram()
{
    QFETCH(double, cor);
    QFETCH(bool, afterGood);
    ImgDatas empty;
    Rig r(cor == -5.0 ? &empty : &set);
    const int goodN = afterGood ? 2 * 97 - 2 : 0;
    if (afterGood) {
        QSignalSpy done(&r.calc, &CtCalc::calcFinished);
        r.calc.startCt();
        QVERIFY(spinUntil([&] { return done.count() == 1; }));
        // The pacing thread ends after the calculation has reported.
        QVERIFY(settle(r.calc));
    }
    r.pc.cor = cor;
    QImage before(4, 4, QImage::Format_Grayscale8);
    before.fill(7);
    r.calc.DispCt->image = before;
    QSignalSpy fin(&r.calc, &CtCalc::calcFinished);
    QSignalSpy cr(&r.calc, &CtCalc::cRUpdated);
    if (cor == sampleW - 2.0)
        QTest::ignoreMessage(QtDebugMsg, "Sinogram too narrow to reconstruct, slice 32");
    QVERIFY(!r.calc.startCt());
    QVERIFY(!r.calc.StartT->text().isEmpty());
    // Nothing was started in another thread: whatever could follow is posted.
    QCoreApplication::sendPostedEvents();
    QCOMPARE(fin.count(), 0);
    QCOMPARE(cr.count(), 0);
    QVERIFY(!r.calc.busy);
    QVERIFY(!r.calc.progressThread->isRunning());
    QCOMPARE(r.calc.DispCt->image.cacheKey(), before.cacheKey());
    QCOMPARE(r.calc.n, goodN);
    QCOMPARE(r.calc.ShowSliceNo->text(), QString::number(afterGood ? sampleH / 2 : 0));
}

void TstCtCalc::clampedLogarithmsRefuseTheSlice_data()
{
    QTest::addColumn<bool>("swapped");      // I0 and BG swapped; else I0 equal to BG
    QTest::addColumn<double>("maxInvalid");
    QTest::addColumn<QString>("refusal");   // part of it; empty: the slice is computed
    QTest::newRow("I0 equal to BG") << false << 0.001 << "Slice 32 refused: 34740 of 34740 samples (100 %) have no logarithm";
    QTest::newRow("I0 and BG swapped") << true << 0.001 << "Slice 32 refused: projection 0 (";
    QTest::newRow("a limit of 1 takes them") << false << 1.0 << "";
}

// CT1 takes the workers' rule: a slice of clamped logarithms is not
// started, and the failure names the cause.
void TstCtCalc::clampedLogarithmsRefuseTheSlice()
{
    QFETCH(bool, swapped);
    QFETCH(double, maxInvalid);
    QFETCH(QString, refusal);
    Rig r(&set);
    r.calc.maxInvalid = maxInvalid;
    set.i0Img = &bg;
    if (swapped)
        set.bgImg = &i0;
    const auto restore = qScopeGuard([this] {
        set.i0Img = &i0;
        set.bgImg = &bg;
    });
    QSignalSpy fin(&r.calc, &CtCalc::calcFinished);
    const int failures = Failures::total();
    if (!refusal.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(refusal)));
    const bool started = r.calc.startCt();
    QCOMPARE(started, refusal.isEmpty());
    QCOMPARE(r.calc.invalidSamples, qint64(2 * 97 - 1) * sampleProj);
    if (started) {
        QVERIFY(spinUntil([&] { return fin.count() == 1; }));
        QVERIFY(settle(r.calc));
        QCOMPARE(Failures::total(), failures);
        return;
    }
    QCOMPARE(Failures::total(), failures + 1);
    QCOMPARE(r.calc.lastFailures.size(), 1);
    QVERIFY2(r.calc.lastFailures.first().startsWith(refusal), qPrintable(r.calc.lastFailures.first()));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(fin.count(), 0);
    QVERIFY(!r.calc.busy);
}

// Destroying the panel in the middle of a paced run leaves nothing behind.
void TstCtCalc::destroyWhileRunning()
{
    auto rig = std::make_unique<Rig>(&set);
    rig->calc.CalcAtOnce->setChecked(false);
    QSignalSpy one(&rig->calc, &CtCalc::finishedCalcOne);
    rig->calc.startCt();
    QVERIFY(spinUntil([&] { return one.count() >= 2; }));
    QPointer<CtProgress> progress = rig->calc.progress;
    rig.reset();
    QVERIFY(progress.isNull());
    // The pacing thread is gone; steps it had sent find nobody and do nothing.
    QCoreApplication::sendPostedEvents();
}

void TstCtCalc::savesCompletedResult_data()
{
    QTest::addColumn<bool>("atOnce");
    QTest::addColumn<bool>("stopEarly");
    QTest::newRow("at once") << true << false;
    QTest::newRow("one by one") << false << false;
    QTest::newRow("one by one, stopped") << false << true;
}

// With automatic saving a completed CT1 calculation writes its data file and
// picture, named as CT2 names them; a stopped one writes nothing.
void TstCtCalc::savesCompletedResult()
{
    QFETCH(bool, atOnce);
    QFETCH(bool, stopEarly);
    QTemporaryDir out;
    Rig r(&set);
    r.calc.CalcAtOnce->setChecked(atOnce);
    r.calc.setSaveImage(true, out.path(), "ct1.png", "A");
    r.calc.setSaveData(true, out.path(), "ct1.dat", "A");
    r.calc.setCR(10, 20, 40, 30);
    QSignalSpy fin(&r.calc, &CtCalc::calcFinished);
    r.calc.startCt();
    // Stopped before its first step: the pacing that follows finds it ended.
    if (stopEarly)
        r.calc.stopCt();
    QVERIFY(spinUntil([&] { return fin.count() >= 1; }));
    QVERIFY(settle(r.calc));
    QCOMPARE(fin.count(), 1);
    const QString dat = out.filePath("ct1-A-00032.dat");
    const QString png = out.filePath("ct1-A-00032.png");
    if (stopEarly) {
        QVERIFY(QDir(out.path()).isEmpty());
        QVERIFY(r.calc.lastWritten.isEmpty());
        return;
    }
    QCOMPARE(r.calc.lastWritten, QStringList({png, dat}));
    QVERIFY(r.calc.lastFailures.isEmpty());
    QFile f(dat);
    QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 6 + 30 * 10 + 1);
    QCOMPARE(lines[5], QByteArray("# sx,sy, ex,ey   : 10\t20\t40\t30"));
    const int n = r.calc.n;
    QCOMPARE(lines[6], "10\t20\t" + QByteArray::number(r.calc.kernel.image[size_t(20) * n + 10], 'g', 6));
    // The picture holds the calculation region, as the data file does.
    QCOMPARE(QImage(png).size(), QSize(30, 10));
}

QTEST_MAIN(TstCtCalc)
#include "tst_ctcalc.moc"
