// The single-slice calculator (CT1): its core stepper reconstructing a job's
// slice at once and one projection per event, stopping, the pacing thread's
// lifetime, its values against a plain kernel run and the files it writes,
// and the panel that shows it.
#include "ColorBar.h"
#include "CtCalc.h"
#include "Failures.h"
#include "FbpKernel.h"
#include "HSgm.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ImgDispWPV.h"
#include "SampleWriter.h"
#include "SinogramGen.h"
#include "SliceStepper.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
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

// A calculator shown by its panel, and the job a run would hand it.
struct Rig
{
    explicit Rig(ImgDatas* set) : images(set) { panel.setCalc(&calc); }
    CtJob job() const
    {
        CtJob j;
        j.images = images;
        j.rotAxIsV = true;
        j.cor = cor;
        j.slice = sampleH / 2;
        j.maxInvalid = maxInvalid;
        j.view = panel.view();
        j.imageFile = imageFile;
        j.dataFile = dataFile;
        return j;
    }
    bool start() { return calc.start(job()); }
    void atOnce(bool on) { panel.findChild<QCheckBox*>("CalcAtOnce")->setChecked(on); }
    QString field(const char* name) const { return panel.findChild<QLineEdit*>(name)->text(); }
    ImgDatas* images;
    double cor = sampleCor;
    double maxInvalid = 0.001;
    QString imageFile, dataFile;
    SliceStepper calc;
    CtCalc panel;
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

// The pacing thread has ended before finished(): deliver what it sent
// before, so a test sees every step and end there will ever be.
bool settle(SliceStepper& c)
{
    if (!spinUntil([&] { return !c.busy(); }))
        return false;
    QCoreApplication::sendPostedEvents();
    return true;
}

// The plain kernel on the sinogram of the rig's slice: the sum of the
// back-projections.
std::vector<double> kernelResult(ImgDatas& set, double x0, double x1, double z0, double z1)
{
    HSgm h;
    genSinogram(set, &h, true, sampleCor, sampleH / 2);
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

// The panel's "Calc" asks the window for a run; "At Once" sets the pacing.
void TstCtCalc::panel()
{
    Rig r(&set);
    QSignalSpy ask(&r.panel, &CtCalc::askToStartCalc);
    r.panel.findChild<QPushButton*>("StartCalc")->click();
    QCOMPARE(ask.count(), 1);
    QVERIFY(!r.calc.paced);
    r.atOnce(false);
    QVERIFY(r.calc.paced);
    // Without images nothing starts and nothing is shown.
    r.images = nullptr;
    QSignalSpy fin(&r.calc, &SliceStepper::finished);
    QVERIFY(!r.start());
    QVERIFY(r.field("StartT").isEmpty());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(fin.count(), 0);
}

// At once: one event reconstructs the phantom slice; the first start takes
// the whole image as calculation region.
void TstCtCalc::atOnce()
{
    Rig r(&set);
    QSignalSpy fin(&r.calc, &SliceStepper::finished);
    QSignalSpy cr(&r.panel, &CtCalc::cRUpdated);
    QSignalSpy steps(&r.calc, &SliceStepper::stepped);
    QVERIFY(r.start());
    QVERIFY(!r.calc.busy());
    QVERIFY(!r.field("StartT").isEmpty());
    const int n = 2 * 97 - 2;
    QCOMPARE(r.calc.side(), n);
    QCOMPARE(r.calc.projections(), sampleProj);
    QCOMPARE(r.field("ShowSliceNo"), QString::number(sampleH / 2));
    QCOMPARE(cr.count(), 1);
    QCOMPARE(cr.first().at(2).toDouble(), double(n));
    QVERIFY(r.panel.regionSet);
    QVERIFY(spinUntil([&] { return fin.count() == 1; }));
    QCOMPARE(steps.count(), 1);
    QVERIFY(!r.field("EndT").isEmpty());
    ImgDispWPV* disp = r.panel.display();
    QCOMPARE(disp->image.size(), QSize(n, n));
    const FbpKernel& k = r.calc.kernel();

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
            const double rv = k.imageRow(z)[x] / 2;
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
    QLineEdit* val = disp->Val;
    r.panel.noticedNewPos(30.7, 150.2);
    QCOMPARE(val->text(), QString::number(k.imageRow(150)[30], 'g', 6));
    val->setText("untouched");
    r.panel.noticedNewPos(n, 3);
    r.panel.noticedNewPos(3, -1);
    QCOMPARE(val->text(), QString("untouched"));
    // The picture spans the colour bar's automatic range.
    QCOMPARE(r.panel.cbar->getVMin(), k.minV);
    QCOMPARE(r.panel.cbar->getVMax(), k.maxV);
    QCOMPARE(r.panel.cbar->ui.CMaxLE->text(), QString::number(k.maxV, 'g', 6));
    // The result carries the mean and no files were asked for.
    const CtResult res = fin.first().at(0).value<CtResult>();
    QVERIFY(res.ok() && res.data->mean);
    QCOMPARE(res.data->image, k.image);
    QVERIFY(res.written.isEmpty() && res.failures.isEmpty());
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
        r.panel.setCR(20.5, 10, 60, 45);
    QSignalSpy fin(&r.calc, &SliceStepper::finished);
    QVERIFY(r.start());
    QVERIFY(spinUntil([&] { return fin.count() == 1; }));
    const int n = r.calc.side();
    const std::vector<double> ref = region ? kernelResult(set, 20.5, 60, 10, 45) : kernelResult(set, 0, n, 0, n);
    double big = 0;
    for (double v : ref)
        big = std::max(big, std::fabs(v));
    QVERIFY(big > 0);
    const FbpKernel& k = r.calc.kernel();
    QCOMPARE(k.image.size(), ref.size());
    int outside = 0;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const double a = k.imageRow(z)[x] * sampleProj;
            const double b = ref[size_t(z) * n + x];
            QVERIFY2(std::fabs(a - b) <= 1e-9 * big,
                     qPrintable(QString("(%1, %2): %3 != %4").arg(x).arg(z).arg(a).arg(b)));
            if (region && (x < 20 || x >= 60 || z < 10 || z >= 45)) {
                QCOMPARE(k.imageRow(z)[x], 0.0);
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
    r.atOnce(false);
    QSignalSpy fin(&r.calc, &SliceStepper::finished);
    std::set<qint64> pictures;
    int steps = 0, idleSteps = 0;
    const auto counting = connect(&r.calc, &SliceStepper::stepped, this, [&] {
        ++steps;
        pictures.insert(r.panel.display()->image.cacheKey());
        idleSteps += !r.calc.busy();
    });
    QVERIFY(r.start());
    QVERIFY(r.calc.busy());
    QVERIFY(spinUntil([&] { return fin.count() > 0; }));
    QCOMPARE(steps, sampleProj);
    QCOMPARE(idleSteps, 0);
    QCOMPARE(int(pictures.size()), sampleProj);
    QVERIFY(!r.calc.busy());
    QVERIFY(settle(r.calc));
    QCOMPARE(fin.count(), 1);
    const std::vector<double> paced = r.calc.kernel().image;
    disconnect(counting);

    r.atOnce(true);
    QVERIFY(r.start());
    QVERIFY(spinUntil([&] { return fin.count() == 2; }));
    QCOMPARE(r.calc.kernel().image, paced);
}

// A stop during a one-by-one slice ends it after the current projection,
// while the pacer already has the next step on its way: one end, no data.
void TstCtCalc::stopDuringOneByOne()
{
    Rig r(&set);
    r.atOnce(false);
    QSignalSpy fin(&r.calc, &SliceStepper::finished);
    int steps = 0;
    bool busyAfterStop = true;
    int endsAtStop = -1;
    connect(&r.calc, &SliceStepper::stepped, this, [&] {
        if (++steps != 5)
            return;
        r.calc.stop();
        busyAfterStop = r.calc.busy();
        endsAtStop = int(fin.count());
    });
    QVERIFY(r.start());
    QVERIFY(spinUntil([&] { return steps >= 5; }));
    QVERIFY(!busyAfterStop);
    QCOMPARE(endsAtStop, 1);
    QVERIFY(settle(r.calc));
    QCOMPARE(steps, 5);
    QCOMPARE(fin.count(), 1);
    QVERIFY(!fin.first().at(0).value<CtResult>().ok());
}

// A start while one-by-one steps are still on their way: the new slice takes
// every projection once, whatever is left over from the first.
void TstCtCalc::restartWhileRunning_data()
{
    QTest::addColumn<int>("after");       // steps of the first slice before the restart
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
    r.atOnce(firstAtOnce);
    QSignalSpy fin(&r.calc, &SliceStepper::finished);
    int steps = 0;
    bool restarted = false;
    auto restart = [&] {
        restarted = true;
        steps = 0;
        r.atOnce(false);
        r.start();
    };
    connect(&r.calc, &SliceStepper::stepped, this, [&] {
        ++steps;
        if (!restarted && steps == after)
            restart();
    });
    QVERIFY(r.start());
    if (after == 0)
        restart();
    QVERIFY(spinUntil([&] { return fin.count() > 0; }));
    QVERIFY(settle(r.calc));
    QCOMPARE(fin.count(), 1);
    QCOMPARE(steps, sampleProj);
    const int n = r.calc.side();
    const std::vector<double> ref = kernelResult(set, 0, n, 0, n);
    double big = 0;
    for (double v : ref)
        big = std::max(big, std::fabs(v));
    for (size_t i = 0; i < ref.size(); ++i)
        QVERIFY(std::fabs(r.calc.kernel().image[i] * sampleProj - ref[i]) <= 1e-9 * big);
}

// No sinogram to reconstruct: false, no signal, panel and image untouched.
void TstCtCalc::noSinogram_data()
{
    QTest::addColumn<double>("cor");
    QTest::addColumn<bool>("afterGood");
    QTest::newRow("CoR left of the image") << -5.0 << false;
    QTest::newRow("CoR beyond the image") << 500.0 << false;
    QTest::newRow("CoR at the far edge") << sampleW - 1.0 << false;
    QTest::newRow("one sample") << sampleW - 2.0 << false;
    // An earlier slice is never reconstructed again as this one.
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
        QSignalSpy done(&r.calc, &SliceStepper::finished);
        QVERIFY(r.start());
        QVERIFY(spinUntil([&] { return done.count() == 1; }));
        QVERIFY(settle(r.calc));
    }
    r.cor = cor;
    QImage before(4, 4, QImage::Format_Grayscale8);
    before.fill(7);
    r.panel.display()->image = before;
    QSignalSpy fin(&r.calc, &SliceStepper::finished);
    QSignalSpy started(&r.calc, &SliceStepper::started);
    QSignalSpy cr(&r.panel, &CtCalc::cRUpdated);
    if (cor == sampleW - 2.0)
        QTest::ignoreMessage(QtDebugMsg, "Sinogram too narrow to reconstruct, slice 32");
    QVERIFY(!r.start());
    QVERIFY(r.calc.result().failures.isEmpty());
    // Nothing was started in another thread: whatever could follow is posted.
    QCoreApplication::sendPostedEvents();
    QCOMPARE(fin.count() + started.count() + cr.count(), 0);
    QVERIFY(!r.calc.busy());
    QCOMPARE(r.panel.display()->image.cacheKey(), before.cacheKey());
    QCOMPARE(r.calc.side(), goodN);
    QCOMPARE(r.field("ShowSliceNo"), QString::number(afterGood ? sampleH / 2 : 0));
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
    r.maxInvalid = maxInvalid;
    set.i0Img = &bg;
    if (swapped)
        set.bgImg = &i0;
    const auto restore = qScopeGuard([this] {
        set.i0Img = &i0;
        set.bgImg = &bg;
    });
    QSignalSpy fin(&r.calc, &SliceStepper::finished);
    const int failures = Failures::total();
    if (!refusal.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(refusal)));
    const bool started = r.start();
    QCOMPARE(started, refusal.isEmpty());
    QCOMPARE(r.calc.result().invalidSamples, qint64(2 * 97 - 1) * sampleProj);
    if (started) {
        QVERIFY(spinUntil([&] { return fin.count() == 1; }));
        QVERIFY(settle(r.calc));
        QCOMPARE(Failures::total(), failures);
        QCOMPARE(fin.first().at(0).value<CtResult>().invalidSamples, qint64(2 * 97 - 1) * sampleProj);
        return;
    }
    QCOMPARE(Failures::total(), failures + 1);
    const QStringList why = r.calc.result().failures;
    QCOMPARE(why.size(), 1);
    QVERIFY2(why.first().startsWith(refusal), qPrintable(why.first()));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(fin.count(), 0);
    QVERIFY(!r.calc.busy());
}

// Destroying the calculator in the middle of a paced slice leaves nothing behind.
void TstCtCalc::destroyWhileRunning()
{
    auto rig = std::make_unique<Rig>(&set);
    rig->atOnce(false);
    QSignalSpy one(&rig->calc, &SliceStepper::stepped);
    QVERIFY(rig->start());
    QVERIFY(spinUntil([&] { return one.count() >= 2; }));
    rig.reset();
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

// A completed slice writes the files its job names, through the workers'
// writer; a stopped one writes nothing.
void TstCtCalc::savesCompletedResult()
{
    QFETCH(bool, atOnce);
    QFETCH(bool, stopEarly);
    QTemporaryDir out;
    Rig r(&set);
    r.atOnce(atOnce);
    const QString dat = out.filePath("ct1-A-00032.dat");
    const QString png = out.filePath("ct1-A-00032.png");
    r.imageFile = png;
    r.dataFile = dat;
    r.panel.setCR(10, 20, 40, 30);
    QSignalSpy fin(&r.calc, &SliceStepper::finished);
    QVERIFY(r.start());
    // Stopped before its first step: the pacing that follows finds it ended.
    if (stopEarly)
        r.calc.stop();
    QVERIFY(spinUntil([&] { return fin.count() >= 1; }));
    QVERIFY(settle(r.calc));
    QCOMPARE(fin.count(), 1);
    const CtResult res = fin.first().at(0).value<CtResult>();
    if (stopEarly) {
        QVERIFY(QDir(out.path()).isEmpty());
        QVERIFY(res.written.isEmpty());
        return;
    }
    QCOMPARE(res.written, QStringList({png, dat}));
    QCOMPARE(res.fileRecords.size(), 2);
    QVERIFY(res.failures.isEmpty());
    QFile f(dat);
    QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 6 + 30 * 10 + 1);
    QCOMPARE(lines[5], QByteArray("# sx,sy, ex,ey   : 10\t20\t40\t30"));
    const int n = r.calc.side();
    QCOMPARE(lines[6], "10\t20\t" + QByteArray::number(r.calc.kernel().image[size_t(20) * n + 10], 'g', 6));
    // The picture holds the calculation region, as the data file does.
    QCOMPARE(QImage(png).size(), QSize(30, 10));
}

QTEST_MAIN(TstCtCalc)
#include "tst_ctcalc.moc"
