// Flats and darks: several I0 or BG images averaged, and I0 taken before
// and after a scan interpolated by projection index.
#include "AveragedImage.h"
#include "CorSearch.h"
#include "CtRun.h"
#include "HSgm.h"
#include "ImgDatas.h"
#include "SinogramGen.h"

#include <QtTest>

#include <cmath>
#include <functional>

namespace {

// An image whose pixel (x, y) is f(x, y), held in memory.
class FnImage : public ImgData
{
public:
    FnImage(int w, int h, std::function<double(int, int)> f) : f(std::move(f))
    {
        width = w;
        height = h;
        fileName = QStringLiteral("fn-%1x%2.img").arg(w).arg(h);
        ready = true;
    }
    void resetReader() override {}
    bool readProps(const QString&, qint32&, qint32&) override { return true; }
    bool openData() override { return true; }
    double* readRow(int iy, double* out) override
    {
        for (int x = 0; x < width; ++x)
            out[x] = f(x, iy);
        return out;
    }
    double* readColumn(int ix, double* out) override
    {
        for (int y = 0; y < height; ++y)
            out[y] = f(ix, y);
        return out;
    }

private:
    std::function<double(int, int)> f;
};

} // namespace

class TestReferences : public QObject
{
    Q_OBJECT
private slots:
    void averages_data();
    void averages();
    void i0BeforeAndAfterInterpolated_data();
    void i0BeforeAndAfterInterpolated();
    void samplesWithoutLogarithmCountedOrRepaired_data();
    void samplesWithoutLogarithmCountedOrRepaired();
    void i0NotAboveBgRefusesTheRun_data();
    void i0NotAboveBgRefusesTheRun();
    void centreSearchRefusesWhatTheRunRefuses_data();
    void centreSearchRefusesWhatTheRunRefuses();
};

void TestReferences::averages_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("mismatch");
    QTest::newRow("one") << 1 << false;
    QTest::newRow("three") << 3 << false;
    QTest::newRow("sizes differ") << 2 << true;
    QTest::newRow("none") << 0 << false;
}

void TestReferences::averages()
{
    QFETCH(int, count);
    QFETCH(bool, mismatch);
    QList<ImgData*> imgs;
    for (int k = 0; k < count; ++k) {
        const int w = mismatch && k == 1 ? 9 : 8;
        imgs << new FnImage(w, 5, [k](int x, int y) { return 100.0 * k + 10.0 * y + x; });
    }
    QString why;
    std::unique_ptr<AveragedImage> a(AveragedImage::average(imgs, &why));
    qDeleteAll(imgs);
    if (count == 0 || mismatch) {
        QVERIFY(!a);
        QVERIFY(!why.isEmpty());
        if (mismatch)
            QVERIFY2(why.contains("9 x 5"), qPrintable(why));
        return;
    }
    QVERIFY(a && a->ready);
    QCOMPARE(a->count(), count);
    QCOMPARE(a->width, 8);
    std::vector<double> row(8), col(5);
    a->readRow(3, row.data());
    a->readColumn(6, col.data());
    const double mean = 100.0 * (count - 1) / 2.0;
    for (int x = 0; x < 8; ++x)
        QCOMPARE(row[size_t(x)], mean + 30 + x);
    for (int y = 0; y < 5; ++y)
        QCOMPARE(col[size_t(y)], mean + 10 * y + 6);
}

void TestReferences::i0BeforeAndAfterInterpolated_data()
{
    QTest::addColumn<bool>("after");
    QTest::newRow("before and after") << true;
    QTest::newRow("before only") << false;
}

// The beam falls from 1000 to 600 counts during the scan; the object's
// absorbance is 0.5 everywhere.  With I0 before and after, every projection
// reads 0.5; with I0 before alone the later ones read too much.
void TestReferences::i0BeforeAndAfterInterpolated()
{
    QFETCH(bool, after);
    const int w = 40, h = 4, nProj = 11;
    ImgDatas set;
    for (int p = 0; p < nProj; ++p) {
        const double beam = 1000.0 - 400.0 * p / (nProj - 1);
        set.imgs << new FnImage(w, h, [beam](int, int) { return 100.0 + (beam - 100.0) * std::exp(-0.5); });
    }
    set.width = w;
    set.height = h;
    ImgData* i0 = new FnImage(w, h, [](int, int) { return 1000.0; });
    ImgData* i0End = new FnImage(w, h, [](int, int) { return 600.0; });
    ImgData* bg = new FnImage(w, h, [](int, int) { return 100.0; });
    ImgData* noAfter = nullptr;
    set.i0Img = &i0;
    set.bgImg = &bg;
    set.i0AfterImg = after ? &i0End : &noAfter;
    HSgm s;
    genSinogram(set, &s, true, 19.0, 2);
    QCOMPARE(s.nth, nProj);
    for (int p = 0; p < nProj; ++p) {
        const double a = s.absorbRow(p)[s.nx / 2];
        if (after || p == 0)
            QVERIFY2(std::fabs(a - 0.5) < 1e-12, qPrintable(QString("projection %1: %2").arg(p).arg(a)));
        else
            QVERIFY2(a > 0.5 + 0.01 * p, qPrintable(QString("projection %1: %2").arg(p).arg(a)));
    }
    delete i0;
    delete i0End;
    delete bg;
}

void TestReferences::samplesWithoutLogarithmCountedOrRepaired_data()
{
    // Pixel values: I0 and BG (0: no such image), projections; bad pixels
    // as "x,p=value" (p = -1: in I0; p = -2: in every projection).
    QTest::addColumn<double>("i0");
    QTest::addColumn<double>("bg");
    QTest::addColumn<double>("counts");
    QTest::addColumn<QStringList>("bad");
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("invalid");
    QTest::addColumn<int>("repaired");
    QTest::addColumn<int>("blankRow");
    const int n = 7;  // projections
    QTest::newRow("clean") << 1000.0 << 10.0 << 500.0 << QStringList() << 6.0 << 0 << 0 << -1;
    QTest::newRow("no references") << 0.0 << 0.0 << 500.0 << QStringList() << 6.0 << 0 << 0 << -1;
    QTest::newRow("BG alone: I0 is 1 by choice") << 0.0 << 10.0 << 500.0 << QStringList() << 6.0 << 0 << 0 << -1;
    QTest::newRow("one zero I0 pixel") << 1000.0 << 10.0 << 500.0 << QStringList{"6,-1=0"} << 6.0 << n << n << -1;
    QTest::newRow("dead detector pixel") << 1000.0 << 10.0 << 500.0 << QStringList{"5,-2=3"} << 6.0 << n << n << -1;
    QTest::newRow("not a number") << 1000.0 << 10.0 << 500.0 << QStringList{"6,3=nan"} << 6.0 << 1 << 1 << -1;
    QTest::newRow("two dead pixels side by side") << 1000.0 << 10.0 << 500.0 << QStringList{"5,-2=0", "6,-2=0"}
                                                   << 6.0 << 2 * n << 0 << -1;
    QTest::newRow("I0 equal to BG") << 500.0 << 500.0 << 600.0 << QStringList() << 6.0 << 9 * n << 0 << -1;
    QTest::newRow("projection without counts") << 1000.0 << 10.0 << 500.0
                                               << QStringList{"2,4=0", "3,4=0", "4,4=0", "5,4=0", "6,4=0", "7,4=0",
                                                              "8,4=0", "9,4=0", "10,4=0"}
                                               << 6.0 << 9 << 0 << 4;
    // Between pixels a bad one is taken at half weight by two samples, whose
    // values would look plausible: both are invalid, and repaired together.
    QTest::newRow("one zero I0 pixel, centre between pixels") << 1000.0 << 10.0 << 500.0 << QStringList{"6,-1=0"}
                                                              << 5.5 << 2 * n << 2 * n << -1;
    QTest::newRow("one negative I0 pixel, centre between pixels") << 1000.0 << 10.0 << 500.0 << QStringList{"6,-1=-5"}
                                                                  << 5.5 << 2 * n << 2 * n << -1;
    QTest::newRow("dead detector pixel, centre between pixels") << 1000.0 << 10.0 << 500.0 << QStringList{"5,-2=3"}
                                                                << 5.5 << 2 * n << 2 * n << -1;
    QTest::newRow("two dead pixels, centre between pixels") << 1000.0 << 10.0 << 500.0
                                                            << QStringList{"5,-2=0", "6,-2=0"} << 5.5 << 3 * n << 0 << -1;
}

// Nine samples (pixels 2 .. 10 about centre 6, or between pixels 1 .. 10
// about 5.5) of 7 projections.
void TestReferences::samplesWithoutLogarithmCountedOrRepaired()
{
    QFETCH(double, i0);
    QFETCH(double, bg);
    QFETCH(double, counts);
    QFETCH(QStringList, bad);
    QFETCH(double, cor);
    QFETCH(int, invalid);
    QFETCH(int, repaired);
    QFETCH(int, blankRow);
    const int w = 12, h = 3, nProj = 7;
    auto value = [bad](int x, int p, double normal) {
        for (const QString& b : bad) {
            const QStringList xp = b.section('=', 0, 0).split(',');
            if (xp[0].toInt() == x && (xp[1].toInt() == p || (xp[1].toInt() == -2 && p >= 0)))
                return b.section('=', 1) == "nan" ? std::nan("") : b.section('=', 1).toDouble();
        }
        return normal;
    };
    ImgDatas set;
    for (int p = 0; p < nProj; ++p)
        set.imgs << new FnImage(w, h, [=](int x, int) { return value(x, p, counts); });
    set.width = w;
    set.height = h;
    ImgData* i0Img = i0 > 0 ? new FnImage(w, h, [=](int x, int) { return value(x, -1, i0); }) : nullptr;
    ImgData* bgImg = bg > 0 ? new FnImage(w, h, [=](int, int) { return bg; }) : nullptr;
    set.i0Img = &i0Img;
    set.bgImg = &bgImg;
    HSgm s;
    genSinogram(set, &s, true, cor, 1);
    QCOMPARE(s.nx, 9);
    QCOMPARE(s.invalid, invalid);
    QCOMPARE(s.repaired, repaired);
    QCOMPARE(s.blankRow, blankRow);
    // A clean or repaired sinogram is the even absorbance everywhere.
    if (invalid == repaired) {
        const double want = std::log((i0 > 0 ? i0 - bg : 1.0) / (counts - bg));
        for (int p = 0; p < nProj; ++p)
            for (int j = 0; j < s.nx; ++j)
                QVERIFY2(std::fabs(s.absorbRow(p)[j] - want) < 1e-12,
                         qPrintable(QString("p %1 j %2: %3").arg(p).arg(j).arg(s.absorbRow(p)[j])));
    }
    delete i0Img;
    delete bgImg;
}

void TestReferences::i0NotAboveBgRefusesTheRun_data()
{
    QTest::addColumn<double>("i0");
    QTest::addColumn<double>("bg");
    QTest::addColumn<bool>("refused");
    QTest::newRow("I0 above BG") << 1000.0 << 10.0 << false;
    QTest::newRow("I0 equal to BG") << 500.0 << 500.0 << true;
    QTest::newRow("swapped") << 10.0 << 1000.0 << true;
}

void TestReferences::i0NotAboveBgRefusesTheRun()
{
    QFETCH(double, i0);
    QFETCH(double, bg);
    QFETCH(bool, refused);
    const int w = 40, h = 4;
    ImgDatas set;
    for (int p = 0; p < 5; ++p)
        set.imgs << new FnImage(w, h, [](int, int) { return 400.0; });
    set.width = w;
    set.height = h;
    ImgData* i0Img = new FnImage(w, h, [=](int x, int) { return i0 + (x % 2 ? 1 : -1); });
    ImgData* bgImg = new FnImage(w, h, [=](int, int) { return bg; });
    set.i0Img = &i0Img;
    set.bgImg = &bgImg;
    CtRun run;
    run.images = &set;
    run.createPool(1);
    ReconSettings c;
    c.cond.ct2 = true;
    c.cond.rotAxIsV = true;
    c.cond.cor = 19.5;
    c.cond.threads = 1;
    const QString why = run.whyRefused(c);
    QCOMPARE(why.contains("is not above the BG image's mean"), refused);
    if (!refused)
        QCOMPARE(why, QString());
    delete i0Img;
    delete bgImg;
}

void TestReferences::centreSearchRefusesWhatTheRunRefuses_data()
{
    // I0 and BG levels, the pixel columns dead in every projection, a
    // projection without counts (-1: none), the fraction allowed.
    QTest::addColumn<double>("i0");
    QTest::addColumn<double>("bg");
    QTest::addColumn<QList<int>>("deadColumns");
    QTest::addColumn<int>("blank");
    QTest::addColumn<double>("maxInvalid");
    QTest::addColumn<QString>("refusal");  // part of it; empty: lines given
    QTest::newRow("clean") << 1000.0 << 10.0 << QList<int>() << -1 << 0.001 << "";
    QTest::newRow("one dead pixel is repaired") << 1000.0 << 10.0 << QList<int>{17} << -1 << 0.001 << "";
    QTest::newRow("I0 equal to BG") << 10.0 << 10.0 << QList<int>() << -1 << 0.001
                                    << "400 of 400 samples (100 %) have no logarithm";
    QTest::newRow("two dead pixels side by side") << 1000.0 << 10.0 << QList<int>{17, 18} << -1 << 0.001
                                                  << "20 of 400 samples (5 %)";
    QTest::newRow("the fraction allows them") << 1000.0 << 10.0 << QList<int>{17, 18} << -1 << 0.05 << "";
    QTest::newRow("projection without counts") << 1000.0 << 10.0 << QList<int>() << 3 << 0.001
                                               << "projection 3 (fn-40x4.img) has no count above BG";
}

// The centre search and the sweep take absorbance lines under the run's
// rule: a centre found on clamped logarithms would be a wrong one.
void TestReferences::centreSearchRefusesWhatTheRunRefuses()
{
    QFETCH(double, i0);
    QFETCH(double, bg);
    QFETCH(QList<int>, deadColumns);
    QFETCH(int, blank);
    QFETCH(double, maxInvalid);
    QFETCH(QString, refusal);
    const int w = 40, h = 4, nProj = 10;
    auto counts = [](int x) { return 400.0 * (1 + 0.01 * x); };
    ImgDatas set;
    for (int p = 0; p < nProj; ++p)
        set.imgs << new FnImage(w, h, [=](int x, int) {
            return p == blank || deadColumns.contains(x) ? bg : counts(x);
        });
    set.width = w;
    set.height = h;
    ImgData* i0Img = new FnImage(w, h, [=](int, int) { return i0; });
    ImgData* bgImg = new FnImage(w, h, [=](int, int) { return bg; });
    set.i0Img = &i0Img;
    set.bgImg = &bgImg;
    std::vector<double> lines;
    int dim = 0;
    QString why;
    const bool ok = absorbanceLines(set, true, 1, lines, dim, &why, maxInvalid);
    QVERIFY2(ok == refusal.isEmpty(), qPrintable(why));
    QVERIFY2(why.contains(refusal), qPrintable(why));
    if (ok) {
        QCOMPARE(dim, w);
        // A repaired sample is close to the absorbance it stands for.
        for (int p = 0; p < nProj && deadColumns.size() == 1; ++p) {
            const int x = deadColumns.first();
            QVERIFY(std::fabs(lines[size_t(p * w + x)] - std::log((i0 - bg) / (counts(x) - bg))) < 1e-3);
        }
    }
    delete i0Img;
    delete bgImg;
}

QTEST_GUILESS_MAIN(TestReferences)
#include "tst_references.moc"
