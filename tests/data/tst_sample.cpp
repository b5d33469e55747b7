#include "FileEnergy.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "Phantom.h"
#include "SampleWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <vector>

class TstSample : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    static double pixel(ImgData* img, int c, int r)
    {
        std::vector<double> row(size_t(img->width));
        img->readRow(r, row.data());
        return row[size_t(c)];
    }

private slots:
    void fastProjectionMatchesExact_data();
    void fastProjectionMatchesExact();
    void lineIntegralMatchesMu_data();
    void lineIntegralMatchesMu();
    void ctSeries_data();
    void ctSeries();
    void truthFile();
    void xafsSeries();
    void seedReproducible();
    void tool();
};

void TstSample::fastProjectionMatchesExact_data()
{
    QTest::addColumn<double>("theta");
    QTest::addColumn<double>("Y");
    QTest::newRow("0 deg centre") << 0.0 << 0.0;
    QTest::newRow("30 deg low") << M_PI / 6 << -12.5;
    QTest::newRow("90 deg") << M_PI / 2 << -9.0;
    QTest::newRow("131 deg high") << 131.0 * M_PI / 180 << 17.0;
    QTest::newRow("outside") << 1.0 << 40.0;
}

void TstSample::fastProjectionMatchesExact()
{
    QFETCH(double, theta);
    QFETCH(double, Y);
    const Phantom ph = Phantom::head(30.0, 20.0);
    const int n = 80;
    std::vector<double> line(n);
    ph.projectLine(theta, Y, -40.3, n, line.data());
    double peak = 0;
    for (int k = 0; k < n; ++k) {
        const double exact = ph.lineIntegral(theta, -40.3 + k, Y);
        QVERIFY2(std::fabs(line[k] - exact) < 1e-9, qPrintable(QString("k %1: %2 vs %3").arg(k).arg(line[k]).arg(exact)));
        peak = std::max(peak, exact);
    }
    if (std::fabs(Y) < 18)
        QVERIFY(peak > 0.5 && peak < 3.0); // realistic absorbance
    else
        QCOMPARE(peak, 0.0);
}

void TstSample::lineIntegralMatchesMu_data()
{
    QTest::addColumn<double>("theta");
    QTest::addColumn<double>("u");
    QTest::addColumn<double>("Y");
    QTest::newRow("axis") << 0.3 << 0.0 << 0.0;
    QTest::newRow("ventricles") << 0.0 << -6.0 << -5.0;
    QTest::newRow("skull edge") << 2.0 << 19.5 << 3.0;
    QTest::newRow("steep") << 2.9 << -4.0 << -5.0;
}

void TstSample::lineIntegralMatchesMu()
{
    QFETCH(double, theta);
    QFETCH(double, u);
    QFETCH(double, Y);
    const Phantom ph = Phantom::xafs(30.0, 20.0, 7120.0);
    // Midpoint sum of mu along the same line.
    const double step = 0.001;
    double sum = 0;
    for (double t = -40 + step / 2; t < 40; t += step)
        sum += ph.mu(u * std::cos(theta) + t * std::sin(theta), Y, -u * std::sin(theta) + t * std::cos(theta)) * step;
    QVERIFY(sum > 0.05);
    QVERIFY2(std::fabs(sum - ph.lineIntegral(theta, u, Y)) < 2e-3 * sum,
             qPrintable(QString("%1 vs %2").arg(sum).arg(ph.lineIntegral(theta, u, Y))));
}

void TstSample::ctSeries_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<double>("cor");
    QTest::newRow("axis vertical") << true << 30.25;
    QTest::newRow("axis horizontal") << false << 21.5;
}

void TstSample::ctSeries()
{
    QFETCH(bool, vertical);
    QFETCH(double, cor);
    SampleOptions o;
    o.outDir = tmp.filePath(QStringLiteral("ct-%1").arg(vertical));
    o.width = 64;
    o.height = 48;
    o.nProj = 36;
    o.axisVertical = vertical;
    o.cor = cor;
    o.noise = false;
    o.truthSlices = 2;
    SampleWriter sw(o);
    QVERIFY(sw.write());

    QDir dir(o.outDir);
    const QStringList files = dir.entryList({ "*.img" }, QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 36);
    QCOMPARE(files.first(), QStringLiteral("ct-0001.img"));
    QCOMPARE(files.last(), QStringLiteral("ct-0036.img"));
    ImgDatas set;
    for (const QString& f : files)
        QVERIFY(set.addFile(dir.filePath(f)));
    QCOMPARE(set.width, 64);
    QCOMPARE(set.height, 48);
    QVERIFY(set.addFile(dir.filePath("i0/I0.img")));
    QVERIFY(set.addFile(dir.filePath("bg/BG.img")));
    ImgData* i0 = set.at(36);
    ImgData* bg = set.at(37);

    const Phantom ph = sw.phantom(0);
    const double centre = vertical ? 24 : 32;
    QCOMPARE(sw.axisCentre(), centre);
    // Counts I = BG + (I0 - BG) exp(-P) at pixels across the object.
    const int probes[][3] = { { 0, 20, 24 }, { 9, 30, 22 }, { 17, 12, 25 }, { 26, 40, 18 }, { 35, 25, 30 } };
    int inside = 0;
    for (const auto& pr : probes) {
        const int p = pr[0], c = pr[1], r = pr[2];
        const double u = vertical ? c - cor : r - cor;
        const double Y = vertical ? r - centre : c - centre;
        const double P = ph.lineIntegral(M_PI * p / 36, u, Y);
        inside += P > 0.1;
        const double b = pixel(bg, c, r), a = pixel(i0, c, r);
        const double want = b + (a - b) * std::exp(-P);
        const double got = pixel(set.at(p), c, r);
        QVERIFY2(std::fabs(got - want) <= 1.5, qPrintable(QString("p %1 (%2,%3): %4 vs %5").arg(p).arg(c).arg(r).arg(got).arg(want)));
    }
    QVERIFY(inside >= 3);
    // Realistic counts: beam 10 000..40 000, dark about 100, object well above dark.
    double mn, mx;
    i0->getMinMax(mn, mx);
    QVERIFY(mn > 10000 && mx < 40000);
    bg->getMinMax(mn, mx);
    QVERIFY(mn > 90 && mx < 110);
    for (int p = 0; p < 36; p += 7) {
        set.at(p)->getMinMax(mn, mx);
        QVERIFY(mn > 1000);
    }
}

void TstSample::truthFile()
{
    SampleOptions o = SampleOptions::small(tmp.filePath("truth"), 40, 32, 4);
    o.cor = 19;
    SampleWriter sw(o);
    QVERIFY(sw.write());
    const int n = 2 * 19 - 2; // half = min(19, 40 - 19 - 1)
    QCOMPARE(sw.truthSize(), n);
    QCOMPARE(sw.truthIndices(), QList<int> { 16 });
    QFile f(QDir(o.outDir).filePath("truth/truth-00016.dat"));
    QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 6 + n * n);
    QCOMPARE(lines.at(0), QStringLiteral("#ZUVO-CTImg"));
    QCOMPARE(lines.at(3), QStringLiteral("# Range_X1       : %1").arg(n));
    QCOMPARE(lines.at(5), QStringLiteral("# sx,sy, ex,ey   : 0\t0\t%1\t%1").arg(n));
    const Phantom ph = sw.phantom(0);
    int nonzero = 0;
    for (int k = 6; k < lines.size(); k += 37) {
        const QStringList f3 = lines.at(k).split('\t');
        QCOMPARE(f3.size(), 3);
        const int x = f3[0].toInt(), z = f3[1].toInt();
        QCOMPARE((k - 6) % n, x);
        QCOMPARE((k - 6) / n, z);
        const double want = ph.mu(x - n / 2.0, 0.0, z - n / 2.0);
        QVERIFY(std::fabs(f3[2].toDouble() - want) <= 1e-5 * std::max(1.0, std::fabs(want)));
        nonzero += std::fabs(want) > 1e-6;
    }
    QVERIFY(nonzero > 3);
}

void TstSample::xafsSeries()
{
    SampleOptions o;
    o.outDir = tmp.filePath("xafs");
    o.kind = "xafs";
    o.width = 48;
    o.height = 16;
    o.nProj = 3;
    o.energies = { 7100.0, 7112.5, 7130.0 };
    o.noise = false;
    o.truthSlices = 0;
    SampleWriter sw(o);
    QVERIFY(sw.write());
    QDir dir(o.outDir);
    QCOMPARE(dir.entryList({ "*.img" }, QDir::Files, QDir::Name),
             QStringList({ "Fe-7_100keV-0001.img", "Fe-7_100keV-0002.img", "Fe-7_100keV-0003.img",
                           "Fe-7_1125keV-0001.img", "Fe-7_1125keV-0002.img", "Fe-7_1125keV-0003.img",
                           "Fe-7_130keV-0001.img", "Fe-7_130keV-0002.img", "Fe-7_130keV-0003.img" }));
    const QStringList i0s = QDir(dir.filePath("i0")).entryList({ "*.img" }, QDir::Files, QDir::Name);
    QCOMPARE(i0s, QStringList({ "I0-7_100keV-0001.img", "I0-7_1125keV-0001.img", "I0-7_130keV-0001.img" }));
    QCOMPARE(fileEnergy(dir.filePath("Fe-7_1125keV-0002.img")), 7112.5);
    QCOMPARE(fileEnergy(dir.filePath("i0/" + i0s.at(2))), 7130.0);
    QVERIFY(QFile::exists(dir.filePath("bg/BG.img")));

    // The absorber's attenuation jumps across the edge; the rest changes little.
    const double below = Phantom::edgeAbsorber(7100, 7112), above = Phantom::edgeAbsorber(7130, 7112);
    QVERIFY(above > 3 * below);
    const Phantom lo = sw.phantom(7100), hi = sw.phantom(7130);
    const double Y = -0.25 * sw.halfHeight();
    const Ellipsoid v = lo.ellipsoids.at(2);
    QVERIFY(hi.mu(v.cx, v.cy, v.cz) > 3 * lo.mu(v.cx, v.cy, v.cz));
    QVERIFY(std::fabs(hi.mu(0, Y, 0) / lo.mu(0, Y, 0) - 1) < 0.05);

    ImgDatas set;
    QVERIFY(set.addFile(dir.filePath("Fe-7_100keV-0001.img")));
    QVERIFY(set.addFile(dir.filePath("Fe-7_130keV-0001.img")));
    QVERIFY(set.addFile(dir.filePath("i0/I0-7_100keV-0001.img")));
    QVERIFY(set.addFile(dir.filePath("i0/I0-7_130keV-0001.img")));
    QVERIFY(set.addFile(dir.filePath("bg/BG.img")));
    // Absorbance through the absorber rises across the edge.
    const int c = int(std::lround(sw.cor() + v.cx)), r = int(std::lround(sw.axisCentre() + v.cy));
    auto absorbance = [&](int img, int i0) {
        const double b = pixel(set.at(4), c, r);
        return std::log((pixel(set.at(i0), c, r) - b) / (pixel(set.at(img), c, r) - b));
    };
    QVERIFY(absorbance(1, 3) > absorbance(0, 2) + 0.1);
}

void TstSample::seedReproducible()
{
    auto run = [this](const QString& name, quint32 seed) {
        SampleOptions o;
        o.outDir = tmp.filePath(name);
        o.width = 24;
        o.height = 16;
        o.nProj = 4;
        o.seed = seed;
        o.truthSlices = 0;
        SampleWriter sw(o);
        if (!sw.write())
            return QByteArray();
        QFile f(QDir(o.outDir).filePath("ct-0003.img"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray a = run("seedA", 7), b = run("seedB", 7), c = run("seedC", 8);
    QVERIFY(!a.isEmpty());
    QCOMPARE(a, b);
    QVERIFY(a != c);
    QCOMPARE(a.size(), c.size());
}

void TstSample::tool()
{
    const QString exe = QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2-sample");
    if (!QFile::exists(exe))
        QSKIP("zuvo2-sample is not built");
    QProcess p;
    p.start(exe, { "-h" });
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().contains("Usage: zuvo2-sample"));

    const QStringList bad[] = { { "--width", "abc", "x" }, { "--bogus", "1", "x" }, { "-a", "d", "x" }, {}, { "-W", "4", "x" } };
    for (const QStringList& args : bad) {
        p.start(exe, args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
    }
    QVERIFY(!QFile::exists("x"));

    const QString out = tmp.filePath("tool");
    p.start(exe, { "-W", "32", "-H", "24", "-n", "6", "-a", "h", "-c", "11.5", "--noise", "off", out });
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QDir(out).entryList({ "*.img" }, QDir::Files).size(), 6);
    QFile info(QDir(out).filePath("sample.txt"));
    QVERIFY(info.open(QIODevice::ReadOnly));
    const QByteArray text = info.readAll();
    QVERIFY(text.contains("axis=h\n"));
    QVERIFY(text.contains("cor=11.5\n"));
    QVERIFY(text.contains("truthSize=20\n"));
}

QTEST_GUILESS_MAIN(TstSample)
#include "tst_sample.moc"
