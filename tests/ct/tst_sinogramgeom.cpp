// Sinogram arithmetic: sampling geometry, line sampling, absorbance, the record,
// and the run-condition series rules.
#include "CtCond.h"
#include "HSgm.h"
#include "SgmGeom.h"

#include <QtTest>

#include <climits>
#include <cmath>
#include <vector>

class TestSinogramGeom : public QObject
{
    Q_OBJECT
private slots:
    void geometry_data();
    void geometry();
    void sampling_data();
    void sampling();
    void absorbance_data();
    void absorbance();
    void absorbanceRowDefaults();
    void recordResize_data();
    void recordResize();
    void seriesStep_data();
    void seriesStep();
    void sliceNumber_data();
    void sliceNumber();
    void inSeries();
};

void TestSinogramGeom::geometry_data()
{
    QTest::addColumn<int>("dim");
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("half");
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("corInt");
    QTest::addColumn<double>("corFrac");
    QTest::newRow("2048 at 1000") << 2048 << 1000.0 << 1000 << 1999 << 1000 << 0.0;
    QTest::newRow("2048 at 1000.5") << 2048 << 1000.5 << 1000 << 1999 << 1000 << 0.5;
    QTest::newRow("2048 at 1700") << 2048 << 1700.0 << 347 << 693 << 1700 << 0.0;
    QTest::newRow("2048 at 0.9") << 2048 << 0.9 << 0 << 0 << 0 << 0.9;
    QTest::newRow("2048 at 2048") << 2048 << 2048.0 << 0 << 0 << 2048 << 0.0;
    QTest::newRow("within a pixel of the far edge") << 2048 << 2046.5 << 0 << 0 << 2046 << 0.5;
    QTest::newRow("2047 on 2048") << 2048 << 2047.0 << 0 << 0 << 2047 << 0.0;
    QTest::newRow("one sample") << 2048 << 1.0 << 1 << 1 << 1 << 0.0;
    QTest::newRow("negative") << 2048 << -5.0 << 0 << 0 << -5 << 0.0;
    QTest::newRow("nan") << 2048 << qQNaN() << 0 << 0 << 0 << 0.0;
    QTest::newRow("infinite") << 2048 << qInf() << 0 << 0 << 0 << 0.0;
    QTest::newRow("empty line") << 0 << 3.0 << 0 << 0 << 3 << 0.0;
}

void TestSinogramGeom::geometry()
{
    QFETCH(int, dim);
    QFETCH(double, cor);
    QFETCH(int, half);
    QFETCH(int, nx);
    QFETCH(int, corInt);
    QFETCH(double, corFrac);
    const SgmGeom g = makeSgmGeom(false, dim, cor);
    QCOMPARE(g.half, half);
    QCOMPARE(g.nx, nx);
    QCOMPARE(g.corInt, corInt);
    QVERIFY(std::fabs(g.corFrac - corFrac) < 1e-12);
    QCOMPARE(g.rotAxIsV, false);
    QVERIFY(makeSgmGeom(true, dim, cor).rotAxIsV);
}

// A ramp line v[k] = k shows where every sample lies: at cor + j - (half - 1).
void TestSinogramGeom::sampling_data()
{
    QTest::addColumn<int>("dim");
    QTest::addColumn<double>("cor");
    QTest::newRow("2048 at 1000") << 2048 << 1000.0;
    QTest::newRow("2048 at 1000.5") << 2048 << 1000.5;
    QTest::newRow("2048 at 1700") << 2048 << 1700.0;
    QTest::newRow("small at 3.25") << 10 << 3.25;
    QTest::newRow("odd at 4.75") << 11 << 4.75;
}

void TestSinogramGeom::sampling()
{
    QFETCH(int, dim);
    QFETCH(double, cor);
    const SgmGeom g = makeSgmGeom(true, dim, cor);
    QVERIFY(g.nx > 0);
    std::vector<double> v(static_cast<size_t>(dim));
    for (int k = 0; k < dim; ++k)
        v[size_t(k)] = k;
    // One guard value past the samples catches writes beyond nx.
    std::vector<double> out(size_t(g.nx) + 1, -99.0);
    sampleLine(v.data(), out.data(), g);
    for (int j = 0; j < g.nx; ++j)
        QVERIFY2(std::fabs(out[size_t(j)] - (cor + j - (g.half - 1))) < 1e-9, qPrintable(QString::number(j)));
    QCOMPARE(out[size_t(g.nx)], -99.0);
    QCOMPARE(out[size_t(g.half - 1)], cor);
    if (dim == 2048 && cor == 1000.0) {
        QCOMPARE(out.front(), 1.0);
        QCOMPARE(out[size_t(g.nx - 1)], 1999.0);
    }
    // Every sample of a half-pixel CoR is the mean of two neighbours.
    if (cor == 1000.5) {
        std::vector<double> w(static_cast<size_t>(dim));
        for (int k = 0; k < dim; ++k)
            w[size_t(k)] = (k % 7) * (k % 3);
        sampleLine(w.data(), out.data(), g);
        for (int j = 0; j < g.nx; ++j) {
            const int k = j + 1;
            QCOMPARE(out[size_t(j)], 0.5 * (w[size_t(k)] + w[size_t(k + 1)]));
        }
    }
}

void TestSinogramGeom::absorbance_data()
{
    QTest::addColumn<double>("i0");
    QTest::addColumn<double>("bg");
    QTest::addColumn<double>("i");
    QTest::addColumn<double>("expected");
    QTest::newRow("no I0/BG, value 1") << 1.0 << 0.0 << 1.0 << 0.0;
    QTest::newRow("no I0/BG, value 0.5") << 1.0 << 0.0 << 0.5 << std::log(2.0);
    QTest::newRow("no I0/BG, value 0") << 1.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("normal") << 1100.0 << 100.0 << 200.0 << std::log(10.0);
    QTest::newRow("below dark") << 1100.0 << 100.0 << 50.0 << std::log(1000.0);
    QTest::newRow("dead I0") << 100.0 << 100.0 << 150.0 << std::log(1.0 / 50.0);
    QTest::newRow("brighter than beam") << 101.0 << 1.0 << 201.0 << std::log(0.5);
}

void TestSinogramGeom::absorbance()
{
    QFETCH(double, i0);
    QFETCH(double, bg);
    QFETCH(double, i);
    QFETCH(double, expected);
    QVERIFY(std::fabs(::absorbance(i0, bg, i) - expected) < 1e-12);
    QVERIFY(std::isnan(::absorbance(i0, bg, qQNaN())));
}

void TestSinogramGeom::absorbanceRowDefaults()
{
    const double in[3] = {1.0, 0.5, 0.0};
    double out[3] = {9, 9, 9};
    absorbanceRow(nullptr, nullptr, in, out, 3);
    QCOMPARE(out[0], 0.0);
    QCOMPARE(out[1], std::log(2.0));
    QCOMPARE(out[2], 0.0);
    const double i0[3] = {11, 11, 11}, bg[3] = {1, 1, 1}, in2[3] = {2, 6, 11};
    absorbanceRow(i0, bg, in2, out, 3);
    QCOMPARE(out[0], std::log(10.0));
    QCOMPARE(out[1], std::log(2.0));
    QCOMPARE(out[2], 0.0);
}

void TestSinogramGeom::recordResize_data()
{
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("nth");
    QTest::addColumn<bool>("data");
    QTest::addColumn<bool>("logs");
    QTest::newRow("normal") << 1999 << 180 << true << false;
    QTest::newRow("empty") << 0 << 0 << false << false;
    QTest::newRow("no projections") << 1999 << 0 << false << false;
    QTest::newRow("negative") << -1 << 180 << false << false;
    QTest::newRow("absurd") << 100000 << 100000 << false << true;
}

void TestSinogramGeom::recordResize()
{
    QFETCH(int, nx);
    QFETCH(int, nth);
    QFETCH(bool, data);
    QFETCH(bool, logs);
    HSgm s;
    s.resize(5, 2);
    QVERIFY(s.hasData());
    if (logs)
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Sinogram too large, left empty: "));
    s.resize(nx, nth);
    QCOMPARE(s.hasData(), data);
    if (data) {
        QCOMPARE(s.absorb.size(), size_t(nx) * size_t(nth));
        QCOMPARE(s.intensity.size(), size_t(nx) * size_t(nth));
        QCOMPARE(s.absorbRow(nth - 1) + nx, s.absorb.data() + s.absorb.size());
    } else {
        QVERIFY(s.absorb.empty());
    }
}

void TestSinogramGeom::seriesStep_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("expected");
    QTest::newRow("down, positive step") << "10" << "0" << "5" << -5;
    QTest::newRow("down, negative step") << "10" << "0" << "-5" << -5;
    QTest::newRow("up, negative step") << "0" << "10" << "-5" << 5;
    QTest::newRow("up") << "0" << "2047" << "1" << 1;
    QTest::newRow("zero step") << "0" << "10" << "0" << 0;
    QTest::newRow("same") << "7" << "7" << "-3" << 3;
    QTest::newRow("text step") << "0" << "10" << "abc" << 0;
    QTest::newRow("smallest int") << "10" << "0" << "-2147483648" << -INT_MAX;
    QTest::newRow("text to") << "10" << "x" << "2" << -2;
}

void TestSinogramGeom::seriesStep()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, step);
    QFETCH(int, expected);
    CtCond c;
    c.setSeries(from, to, step);
    QCOMPARE(c.step, expected);
    QCOMPARE(c.from, CtCond::sliceNumber(from));
    QCOMPARE(c.to, CtCond::sliceNumber(to));
}

void TestSinogramGeom::sliceNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "1000" << 1000;
    QTest::newRow("negative") << "-12" << -12;
    QTest::newRow("spaces") << " 42 " << 42;
    QTest::newRow("text") << "abc" << 0;
    QTest::newRow("fraction") << "1.5" << 0;
    QTest::newRow("hex is not decimal") << "0x10" << 0;
    QTest::newRow("too big") << "99999999999" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestSinogramGeom::sliceNumber()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(CtCond::sliceNumber(text), value);
}

void TestSinogramGeom::inSeries()
{
    CtCond c;
    c.setSeries("10", "0", "5");
    QVERIFY(c.inSeries(10));
    QVERIFY(c.inSeries(0));
    QVERIFY(!c.inSeries(-5));
    QVERIFY(!c.inSeries(11));
    // Walking the series visits 10, 5, 0.
    QList<int> seen;
    for (long long s = c.from; c.inSeries(s); s += c.step)
        seen << int(s);
    QCOMPARE(seen, (QList<int>{10, 5, 0}));
    c.setSeries("3", "3", "1");
    QVERIFY(c.inSeries(3));
    QVERIFY(!c.inSeries(4));
}

QTEST_GUILESS_MAIN(TestSinogramGeom)
#include "tst_sinogramgeom.moc"
