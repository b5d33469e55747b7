// Reconstruction kernel: ramp weights, sizing, geometry of the back-projection,
// the fast loops against the plain one, and reconstructions of known objects.
#include "FbpKernel.h"
#include "Phantom.h"
#include "SgmGeom.h"

#include <QtTest>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double pi = 3.141592653589793;

struct Disc
{
    double cx, cz, r, mu;
};

// Parallel-beam line integral at detector offset u (from the CoR) and angle th:
// the chord of each disc times its absorption coefficient.
double lineIntegral(const std::vector<Disc>& discs, double u, double th)
{
    const double c = std::cos(th), s = std::sin(th);
    double sum = 0;
    for (const Disc& d : discs) {
        const double dist = u - (d.cx * c - d.cz * s);
        if (std::fabs(dist) < d.r)
            sum += 2.0 * std::sqrt(d.r * d.r - dist * dist) * d.mu;
    }
    return sum;
}

double truth(const std::vector<Disc>& discs, double X, double Z)
{
    double v = 0;
    for (const Disc& d : discs)
        if ((X - d.cx) * (X - d.cx) + (Z - d.cz) * (Z - d.cz) < d.r * d.r)
            v += d.mu;
    return v;
}

// Fills every projection of k from random rows and returns the largest |filtered|.
void randomFiltered(FbpKernel& k, int n, int nProj, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> row(size_t(n) + 1);
    for (int p = 0; p < nProj; ++p) {
        for (double& v : row)
            v = u(rng);
        k.transform(row.data(), p);
        k.filter(p);
    }
}

double maxAbs(const std::vector<double>& v)
{
    double m = 0;
    for (double x : v)
        m = std::max(m, std::fabs(x));
    return m;
}

struct Match
{
    double corr = 0;
    double gain = 0;
    double rms = 0;
};

// Detector lines of width `width` with the true CoR at trueCor, I0 1000 and BG 100,
// sampled about `cor`, turned into absorbance and reconstructed over the whole circle.
Match reconstructDiscs(const std::vector<Disc>& discs, int width, double trueCor, double cor,
                       int nProj, FbpKernel& k)
{
    const SgmGeom g = makeSgmGeom(true, width, cor);
    const int n = g.nx - (g.nx % 2);
    k.setup(n, nProj);
    std::vector<double> line(static_cast<size_t>(width));
    std::vector<double> sampled(static_cast<size_t>(g.nx)), absorb(static_cast<size_t>(g.nx));
    std::vector<double> i0(size_t(g.nx), 1000.0), bg(size_t(g.nx), 100.0);
    for (int p = 0; p < nProj; ++p) {
        const double th = pi * p / nProj;
        for (int x = 0; x < width; ++x)
            line[size_t(x)] = 100.0 + 900.0 * std::exp(-lineIntegral(discs, x - trueCor, th));
        sampleLine(line.data(), sampled.data(), g);
        absorbanceRow(i0.data(), bg.data(), sampled.data(), absorb.data(), g.nx);
        k.transform(absorb.data(), p);
    }
    for (int p = 0; p < nProj; ++p)
        k.filter(p);
    k.resetImage(n);
    k.backProjectAll(0, n, 0, n);

    // Compare inside 90 % of the circle, where the object and some background lie.
    const double h = 0.5 * n;
    double sr = 0, st = 0, srr = 0, stt = 0, srt = 0, cnt = 0, err = 0;
    double num = 0, den = 0;
    for (int z = 0; z < n; ++z) {
        for (int x = 0; x < n; ++x) {
            const double X = x - h, Z = z - h;
            if (X * X + Z * Z >= 0.81 * h * h)
                continue;
            const double r = k.imageRow(z)[x] / (2.0 * nProj);
            const double t = truth(discs, X, Z);
            sr += r; st += t; srr += r * r; stt += t * t; srt += r * t; ++cnt;
            err += (r - t) * (r - t);
            if (t > 0) {
                num += r;
                den += t;
            }
        }
    }
    Match m;
    const double cov = srt / cnt - sr / cnt * st / cnt;
    const double vr = srr / cnt - sr / cnt * sr / cnt;
    const double vt = stt / cnt - st / cnt * st / cnt;
    m.corr = cov / std::sqrt(vr * vt);
    m.gain = num / den;
    m.rms = std::sqrt(err / cnt);
    return m;
}

} // namespace

Q_DECLARE_METATYPE(FbpKernel::Loop)

class TestFbpKernel : public QObject
{
    Q_OBJECT
private slots:
    void rampWeights_data();
    void rampWeights();
    void filterScalesCosine_data();
    void filterScalesCosine();
    void setupReuse();
    void degenerateSizes_data();
    void degenerateSizes();
    void spikeKernel();
    void projectionAngles();
    void regions_data();
    void regions();
    void fastEqualsPlain_data();
    void fastEqualsPlain();
    void singleWithinBound_data();
    void singleWithinBound();
    void sizeMismatchIsSkipped();
    void reconstructsDiscs_data();
    void reconstructsDiscs();
    void offCentreIsWorse();
    void calcRange();
};

void TestFbpKernel::rampWeights_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("k");
    QTest::addColumn<double>("steps");
    const int n = 998;
    QTest::newRow("dc") << n << 0 << 0.0;
    QTest::newRow("first") << n << 1 << 1.0;
    QTest::newRow("498") << n << 498 << 498.0;
    QTest::newRow("nyquist") << n << 499 << 499.0;
    QTest::newRow("500") << n << 500 << 498.0;
    QTest::newRow("last") << n << 997 << 1.0;
    QTest::newRow("odd middle") << 5 << 2 << 2.0;
    QTest::newRow("odd upper") << 5 << 3 << 2.0;
}

void TestFbpKernel::rampWeights()
{
    QFETCH(int, n);
    QFETCH(int, k);
    QFETCH(double, steps);
    QCOMPARE(FbpKernel::rampWeight(k, n), steps * 2.0 * pi / n);
    if (n == 998 && k == 499)
        QVERIFY(std::fabs(FbpKernel::rampWeight(k, n) - pi) < 1e-12);
}

// A cosine of bin k0 comes back multiplied by the weight of that bin.
void TestFbpKernel::filterScalesCosine_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("k0");
    QTest::newRow("998 bin 1") << 998 << 1;
    QTest::newRow("998 bin 250") << 998 << 250;
    QTest::newRow("998 nyquist") << 998 << 499;
    QTest::newRow("64 constant") << 64 << 0;
    QTest::newRow("odd 5 middle bin") << 5 << 2;
    QTest::newRow("odd 9 bin 4") << 9 << 4;
}

void TestFbpKernel::filterScalesCosine()
{
    QFETCH(int, n);
    QFETCH(int, k0);
    FbpKernel k;
    FbpFilter unpadded;
    unpadded.name = QStringLiteral("ramp-unpadded");
    k.setup(n, 3, unpadded);
    std::vector<double> row(size_t(n) + 1), junk(size_t(n) + 1, 1e6);
    for (int j = 0; j <= n; ++j)
        row[size_t(j)] = std::cos(2.0 * pi * k0 * j / n);
    // Projection 0 leaves big values in the work buffers; they must not leak into 1.
    k.transform(junk.data(), 0);
    k.filter(0);
    k.transform(row.data(), 1);
    k.filter(1);
    const double w = FbpKernel::rampWeight(k0, n);
    const double* f = k.filteredRow(1);
    for (int j = 0; j < n; ++j)
        QVERIFY2(std::fabs(f[j] - w * row[size_t(j)]) < 1e-9,
                 qPrintable(QString("sample %1: %2 vs %3").arg(j).arg(f[j]).arg(w * row[size_t(j)])));
}

void TestFbpKernel::setupReuse()
{
    FbpKernel k;
    k.setup(64, 4);
    std::vector<double> row(65, 0.0);
    row[10] = 1.0;
    k.transform(row.data(), 2);
    k.filter(2);
    const double before = k.filteredRow(2)[10];
    QVERIFY(before > 0.1);
    k.setup(64, 4);  // same sizes: buffers and contents kept
    QCOMPARE(k.filteredRow(2)[10], before);
    k.setup(64, 5);  // other count: rebuilt
    QCOMPARE(k.nProj, 5);
    QVERIFY(k.ready());
    QCOMPARE(k.filteredRow(2)[10], 0.0);
    k.setup(32, 5);
    QCOMPARE(k.n, 32);
    k.transform(row.data(), 4);
    k.filter(4);
    QVERIFY(k.filteredRow(4)[10] > 0.1);
    k.release();
    QVERIFY(!k.ready());
    QCOMPARE(k.n, 0);
}

// Lengths that leave nothing to transform, and absurd sizes: no effect, no crash.
void TestFbpKernel::degenerateSizes_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("nProj");
    QTest::addColumn<bool>("logs");
    QTest::newRow("one sample") << 0 << 10 << false;
    QTest::newRow("length 1") << 1 << 10 << false;
    QTest::newRow("negative") << -4 << 10 << false;
    QTest::newRow("no projections") << 64 << 0 << false;
    QTest::newRow("absurd side") << 1 << 2 << false;
    QTest::newRow("huge") << 20000 << 1000000 << true;
}

void TestFbpKernel::degenerateSizes()
{
    QFETCH(int, n);
    QFETCH(int, nProj);
    QFETCH(bool, logs);
    FbpKernel k;
    if (logs)
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Reconstruction size too large, skipped: "));
    k.setup(n, nProj);
    QVERIFY(!k.ready());
    std::vector<double> row(8, 1.0);
    k.transform(row.data(), 0);
    k.filter(0);
    if (logs)
        QTest::ignoreMessage(QtDebugMsg, "Image size too large: 20000");
    k.resetImage(std::max(n, 0));
    k.backProject(0, 0, 8, 0, 8);
    k.backProjectAll(0, 8, 0, 8);
    QVERIFY(!k.done);
    k.minV = 3;
    k.calcRange();
    QCOMPARE(k.minV, 3.0);
    QTest::ignoreMessage(QtDebugMsg, "Image size too large: 100000");
    k.resetImage(100000);
    QCOMPARE(k.imageSide, 0);
}

// Every projection a spike at the CoR: a symmetric kernel, maximum at the centre.
void TestFbpKernel::spikeKernel()
{
    const int n = 128, nProj = 60;
    FbpKernel k;
    k.setup(n, nProj);
    std::vector<double> row(n + 1, 0.0);
    row[n / 2] = 1.0;
    for (int p = 0; p < nProj; ++p) {
        k.transform(row.data(), p);
        k.filter(p);
    }
    const double* f = k.filteredRow(7);
    QVERIFY(f[n / 2] > 0);
    for (int j = 1; j < n / 2; ++j)
        QVERIFY(std::fabs(f[n / 2 + j] - f[n / 2 - j]) < 1e-12);
    k.resetImage(n);
    for (int p = 0; p < nProj; ++p)
        k.backProject(p, 0, n, 0, n);
    int bx = -1, bz = -1;
    double best = -1e300;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x)
            if (k.imageRow(z)[x] > best) {
                best = k.imageRow(z)[x];
                bx = x;
                bz = z;
            }
    QCOMPARE(bx, n / 2);
    QCOMPARE(bz, n / 2);
}

// With two projections the angles are 0 (t = x) and pi/2 (t = n - z).
void TestFbpKernel::projectionAngles()
{
    const int n = 64;
    FbpKernel k;
    k.setup(n, 2);
    std::vector<double> row(n + 1, 0.0);
    row[n / 2 + 10] = 1.0;
    k.transform(row.data(), 0);
    k.filter(0);
    k.resetImage(n);
    k.backProject(0, 0, n, 0, n);
    // Along the middle row the maximum lies in column n/2 + 10.
    const double* mid = k.imageRow(n / 2);
    QCOMPARE(int(std::max_element(mid, mid + n) - mid), n / 2 + 10);

    k.transform(row.data(), 1);
    k.filter(1);
    k.resetImage(n);
    k.backProject(1, 0, n, 0, n);
    double best = -1e300;
    int bz = -1;
    for (int z = 0; z < n; ++z)
        if (k.imageRow(z)[n / 2] > best) {
            best = k.imageRow(z)[n / 2];
            bz = z;
        }
    QCOMPARE(bz, n / 2 - 10);
}

// Regions: which pixels are touched, for the fast loops and the plain one alike.
void TestFbpKernel::regions_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("x1");
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("z1");
    QTest::addColumn<int>("firstX");  // first column written, -1: nothing written
    QTest::addColumn<int>("lastX");
    QTest::addColumn<int>("firstZ");
    QTest::addColumn<int>("lastZ");
    const int n = 256;
    QTest::newRow("whole") << 0.0 << double(n) << 0.0 << double(n) << 1 << n - 1 << 1 << n - 1;
    QTest::newRow("fractional start") << 100.7 << 150.0 << 100.0 << 110.0 << 100 << 149 << 100 << 109;
    QTest::newRow("fractional end") << 100.0 << 150.2 << 100.0 << 109.5 << 100 << 150 << 100 << 109;
    QTest::newRow("beyond the image") << -50.5 << 1e9 << -3.0 << 1e300 << 1 << n - 1 << 1 << n - 1;
    QTest::newRow("empty x") << 120.0 << 120.0 << 0.0 << double(n) << -1 << 0 << 0 << 0;
    QTest::newRow("end before truncated start") << 120.9 << 120.0 << 0.0 << double(n) << -1 << 0 << 0 << 0;
    QTest::newRow("inverted z") << 0.0 << double(n) << 200.0 << 100.0 << -1 << 0 << 0 << 0;
    QTest::newRow("outside right") << 300.0 << 400.0 << 0.0 << double(n) << -1 << 0 << 0 << 0;
    QTest::newRow("nan") << qQNaN() << double(n) << 0.0 << double(n) << -1 << 0 << 0 << 0;
    QTest::newRow("huge negative start") << -1e300 << 130.0 << 120.0 << 130.0 << 1 << 129 << 120 << 129;
    QTest::newRow("corner outside circle") << 0.0 << 20.0 << 0.0 << 20.0 << -1 << 0 << 0 << 0;
}

void TestFbpKernel::regions()
{
    QFETCH(double, x0);
    QFETCH(double, x1);
    QFETCH(double, z0);
    QFETCH(double, z1);
    QFETCH(int, firstX);
    QFETCH(int, lastX);
    QFETCH(int, firstZ);
    QFETCH(int, lastZ);
    const int n = 256, nProj = 12;
    FbpKernel k;
    k.setup(n, nProj);
    // Random projections: a touched pixel is non-zero.
    randomFiltered(k, n, nProj, 11);
    for (int variant = 0; variant < 3; ++variant) {
        k.resetImage(n);
        if (variant == 0)
            for (int p = 0; p < nProj; ++p)
                k.backProjectReference(p, x0, x1, z0, z1);
        else if (variant == 1)
            for (int p = 0; p < nProj; ++p)
                k.backProject(p, x0, x1, z0, z1);
        else
            k.backProjectAll(x0, x1, z0, z1);
        QVERIFY(k.done);
        int fx = n, lx = -1, fz = n, lz = -1;
        for (int z = 0; z < n; ++z)
            for (int x = 0; x < n; ++x)
                if (k.imageRow(z)[x] != 0.0) {
                    fx = std::min(fx, x);
                    lx = std::max(lx, x);
                    fz = std::min(fz, z);
                    lz = std::max(lz, z);
                }
        if (firstX < 0) {
            QVERIFY2(lx < 0, qPrintable(QString("variant %1 wrote column %2").arg(variant).arg(lx)));
            continue;
        }
        QCOMPARE(fx, firstX);
        QCOMPARE(lx, lastX);
        QCOMPARE(fz, firstZ);
        QCOMPARE(lz, lastZ);
        for (int z = 0; z < n; ++z)
            QCOMPARE(k.imageRow(z)[0], 0.0);
    }
}

// Every row loop gives the plain loop's sums, on random rows and on a phantom's
// sinogram, over regions that cut tiles, the circle and the image edges, and
// at angles whose rays run along the rows (cosines of exactly or nearly 1 and
// -1, where four neighbouring pixels reach five samples).
void TestFbpKernel::fastEqualsPlain_data()
{
    QTest::addColumn<FbpKernel::Loop>("loop");
    QTest::addColumn<bool>("phantom");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("nProj");
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("x1");
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("z1");
    QTest::addColumn<bool>("writes");
    QTest::addColumn<QVector<double>>("angles");
    struct Case
    {
        const char* name;
        bool phantom;
        int n, nProj;
        double x0, x1, z0, z1;
        bool writes;
        QVector<double> angles = {};  // empty: evenly spread
    };
    const Case cases[] = {
        {"64 x 180 whole", false, 64, 180, 0, 64, 0, 64, true},
        {"300 x 37 whole", false, 300, 37, 0, 300, 0, 300, true},
        {"300 x 37 fractional", false, 300, 37, 17.3, 211.8, 40.6, 299.1, true},
        {"odd 257 x 7", false, 257, 7, -10, 400, 5.5, 250.5, true},
        {"2 projections", false, 130, 2, 0, 130, 0, 130, true},
        {"1 projection", false, 130, 1, 3, 127, 0, 130, true},
        {"tile edges", false, 520, 11, 127, 389, 31, 97, true},
        {"narrow", false, 200, 25, 99, 104, 0, 200, true},
        {"huge negative start", false, 256, 12, -1e300, 130, 120, 130, true},
        {"inverted z", false, 256, 12, 0, 256, 200, 100, false},
        {"nan", false, 256, 12, qQNaN(), 256, 0, 256, false},
        {"phantom 298 x 180 whole", true, 298, 180, 0, 298, 0, 298, true},
        {"phantom 400 x 90 region", true, 400, 90, 150.5, 333.2, 60, 261.9, true},
        // At 2^-44 (cosine exactly 1) row 501's positions x - 2^-44 round
        // to whole numbers from 513 on: pixels 510 .. 513, a run of four
        // from column 2, reach samples 509 .. 513.
        {"along the rows", false, 1000, 6, 2, 1000, 0, 1000, true,
         {std::ldexp(1.0, -44), 0, pi, pi - 4.5e-5, 4.4e-5, pi - 3e-9}},
    };
    for (FbpKernel::Loop l : {FbpKernel::Loop::Portable, FbpKernel::Loop::Avx2, FbpKernel::Loop::Avx512})
        for (const Case& c : cases)
            QTest::addRow("%s: %s", FbpKernel::loopName(l), c.name)
                << l << c.phantom << c.n << c.nProj << c.x0 << c.x1 << c.z0 << c.z1 << c.writes << c.angles;
}

void TestFbpKernel::fastEqualsPlain()
{
    QFETCH(FbpKernel::Loop, loop);
    QFETCH(bool, phantom);
    QFETCH(int, n);
    QFETCH(int, nProj);
    QFETCH(double, x0);
    QFETCH(double, x1);
    QFETCH(double, z0);
    QFETCH(double, z1);
    QFETCH(bool, writes);
    QFETCH(QVector<double>, angles);
    FbpKernel k;
    if (!k.useLoop(loop))
        QSKIP(qPrintable(QString("the %1 loop: this processor lacks its instructions")
                             .arg(FbpKernel::loopName(loop))));
    k.setup(n, nProj);
    k.setAngles(std::vector<double>(angles.begin(), angles.end()));
    if (phantom) {
        const std::vector<Disc> discs = {{0, 0, 0.4 * n, 0.01}, {0.15 * n, -0.1 * n, 0.12 * n, 0.02},
                                         {-0.2 * n, 0.15 * n, 0.05 * n, 0.03}};
        std::vector<double> row(size_t(n) + 1);
        for (int p = 0; p < nProj; ++p) {
            for (int j = 0; j <= n; ++j)
                row[size_t(j)] = lineIntegral(discs, j - 0.5 * n, pi * p / nProj);
            k.transform(row.data(), p);
            k.filter(p);
        }
    } else {
        randomFiltered(k, n, nProj, unsigned(n * 31 + nProj));
    }
    k.resetImage(n);
    for (int p = 0; p < nProj; ++p)
        k.backProjectReference(p, x0, x1, z0, z1);
    const std::vector<double> ref = k.image;
    const double tol = 1e-9 * maxAbs(ref);
    QCOMPARE(maxAbs(ref) > 0, writes);

    k.resetImage(n);
    for (int p = 0; p < nProj; ++p)
        k.backProject(p, x0, x1, z0, z1);
    const std::vector<double> one = k.image;
    k.resetImage(n);
    k.backProjectAll(x0, x1, z0, z1);
    const std::vector<double> all = k.image;
    double d1 = 0, d2 = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        d1 = std::max(d1, std::fabs(one[i] - ref[i]));
        d2 = std::max(d2, std::fabs(all[i] - ref[i]));
    }
    QVERIFY2(d1 <= tol, qPrintable(QString("per projection differs by %1").arg(d1)));
    QVERIFY2(d2 <= tol, qPrintable(QString("tiled differs by %1").arg(d2)));
}

// Single precision against double with the same loop: within 2e-6 of the
// slice's value range on random rows, a head with sharp edges, few or
// unevenly spread projections, and regions that cut strips and the circle;
// pixels the double path leaves alone stay 0.
void TestFbpKernel::singleWithinBound_data()
{
    QTest::addColumn<FbpKernel::Loop>("loop");
    QTest::addColumn<bool>("head");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("nProj");
    QTest::addColumn<bool>("uneven");
    QTest::addColumn<QVector<double>>("region");
    QTest::addColumn<bool>("fullTurn");
    struct Case
    {
        const char* name;
        bool head;
        int n, nProj;
        bool uneven;
        QVector<double> region;  // x0, x1, z0, z1
        bool fullTurn = false;
    };
    const Case cases[] = {
        {"random 256 x 180", false, 256, 180, false, {0, 256, 0, 256}},
        {"random 300 x 7 fractional", false, 300, 7, false, {17.3, 211.8, 40.6, 299.1}},
        {"random 2 projections", false, 130, 2, false, {0, 130, 0, 130}},
        {"random 1 projection", false, 130, 1, false, {3, 127, 0, 130}},
        {"random uneven angles", false, 200, 50, true, {0, 200, 0, 200}},
        {"random beyond the image", false, 257, 33, false, {-10, 400, 5.5, 250.5}},
        {"random wider than a strip", false, 2100, 3, false, {0, 2100, 1040, 1047}},
        {"head 400 x 360", true, 400, 360, false, {0, 400, 0, 400}},
        {"head 512 x 90 region", true, 512, 90, false, {150.5, 333.2, 60, 261.9}},
        {"head 398 x 17", true, 398, 17, false, {0, 398, 0, 398}},
        // Angles 2 pi p / nProj: cosines of -1 and 0, the lowest lane last.
        {"random full turn", false, 300, 8, false, {0, 300, 0, 300}, true},
    };
    for (FbpKernel::Loop l : {FbpKernel::Loop::Portable, FbpKernel::Loop::Avx2, FbpKernel::Loop::Avx512})
        for (const Case& c : cases)
            QTest::addRow("%s: %s", FbpKernel::loopName(l), c.name)
                << l << c.head << c.n << c.nProj << c.uneven << c.region << c.fullTurn;
}

void TestFbpKernel::singleWithinBound()
{
    QFETCH(FbpKernel::Loop, loop);
    QFETCH(bool, head);
    QFETCH(int, n);
    QFETCH(int, nProj);
    QFETCH(bool, uneven);
    QFETCH(QVector<double>, region);
    QFETCH(bool, fullTurn);
    FbpKernel k;
    if (!k.useLoop(loop))
        QSKIP(qPrintable(QString("the %1 loop: this processor lacks its instructions")
                             .arg(FbpKernel::loopName(loop))));
    k.setup(n, nProj, FbpFilter(), fullTurn);
    std::vector<double> angles;
    for (int p = 0; uneven && p < nProj; ++p)
        angles.push_back(pi * (p + 0.3 * std::sin(p)) / nProj);
    k.setAngles(angles);
    if (head) {
        const Phantom ph = Phantom::head(0.45 * n, 20.0);
        std::vector<double> row(size_t(n) + 1);
        for (int p = 0; p < nProj; ++p) {
            ph.projectLine(pi * p / nProj, 0.0, -0.5 * n, n + 1, row.data());
            k.filterRow(row.data(), p);
        }
    } else {
        randomFiltered(k, n, nProj, unsigned(n * 7 + nProj));
    }
    const double x0 = region[0], x1 = region[1], z0 = region[2], z1 = region[3];
    k.resetImage(n);
    k.backProjectAll(x0, x1, z0, z1);
    const std::vector<double> twice = k.image;
    k.setPrecision(FbpKernel::Precision::Single);
    k.resetImage(n);
    k.backProjectAll(x0, x1, z0, z1);
    const auto [lo, hi] = std::minmax_element(twice.begin(), twice.end());
    const double range = *hi - *lo;
    QVERIFY(range > 0);
    double worst = 0;
    for (size_t i = 0; i < twice.size(); ++i) {
        if (twice[i] == 0.0)
            QCOMPARE(k.image[i], 0.0);
        worst = std::max(worst, std::fabs(k.image[i] - twice[i]));
    }
    QVERIFY2(worst <= 2e-6 * range, qPrintable(QString("differs by %1 of the range").arg(worst / range)));
}

void TestFbpKernel::sizeMismatchIsSkipped()
{
    FbpKernel k;
    k.setup(64, 3);
    randomFiltered(k, 64, 3, 5);
    k.resetImage(32);  // smaller than the kernel: would write outside
    QTest::ignoreMessage(QtDebugMsg, "Image size differs from the kernel size, not projected: 32 / 64");
    k.backProject(0, 0, 64, 0, 64);
    QCOMPARE(maxAbs(k.image), 0.0);
}

// Discs of known absorption: the sum over projections divided by 2 * nProj
// is the absorption coefficient per pixel.
void TestFbpKernel::reconstructsDiscs_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("nProj");
    QTest::newRow("whole CoR, 180") << 300 << 150.0 << 180;
    QTest::newRow("half-pixel CoR, 180") << 301 << 150.5 << 180;
    QTest::newRow("off-centre CoR, 90") << 260 << 120.25 << 90;
}

void TestFbpKernel::reconstructsDiscs()
{
    QFETCH(int, width);
    QFETCH(double, cor);
    QFETCH(int, nProj);
    const std::vector<Disc> discs = {
        {0, 0, 60, 0.01}, {25, -15, 20, 0.02}, {-30, 25, 12, 0.03}};
    FbpKernel k;
    const Match m = reconstructDiscs(discs, width, cor, cor, nProj, k);
    qInfo("correlation %.4f  gain %.4f  rms %.5f", m.corr, m.gain, m.rms);
    QVERIFY2(m.corr >= 0.9, qPrintable(QString::number(m.corr)));
    QVERIFY2(std::fabs(m.gain - 1.0) <= 0.2, qPrintable(QString::number(m.gain)));
}

void TestFbpKernel::offCentreIsWorse()
{
    const std::vector<Disc> discs = {{0, 0, 60, 0.01}, {25, -15, 20, 0.02}, {-30, 25, 12, 0.03}};
    FbpKernel k;
    const Match right = reconstructDiscs(discs, 300, 150.0, 150.0, 180, k);
    const Match half = reconstructDiscs(discs, 300, 150.0, 150.5, 180, k);
    const Match two = reconstructDiscs(discs, 300, 150.0, 152.0, 180, k);
    qInfo("rms at the CoR %.5f, half a pixel off %.5f, two pixels off %.5f",
          right.rms, half.rms, two.rms);
    qInfo("1 - correlation at the CoR %.5f, half a pixel off %.5f, two pixels off %.5f",
          1 - right.corr, 1 - half.corr, 1 - two.corr);
    // The offset blurs every edge into a pair: the shape, not the level, suffers.
    QVERIFY(1 - half.corr > 1.5 * (1 - right.corr));
    QVERIFY(1 - two.corr > 3 * (1 - half.corr));
    QVERIFY(two.rms > right.rms);
}

void TestFbpKernel::calcRange()
{
    FbpKernel k;
    k.setup(16, 1);
    k.resetImage(16);
    k.calcRange();  // nothing projected yet: range untouched
    QCOMPARE(k.minV, 0.0);
    QCOMPARE(k.maxV, 0.0);
    std::vector<double> row(17, 0.0);
    row[8] = 1.0;
    k.transform(row.data(), 0);
    k.filter(0);
    k.backProject(0, 0, 16, 0, 16);
    k.imageRow(3)[5] = -7.5;
    k.imageRow(9)[2] = 42.0;
    k.calcRange();
    QCOMPARE(k.minV, -7.5);
    QCOMPARE(k.maxV, 42.0);
}

QTEST_GUILESS_MAIN(TestFbpKernel)
#include "tst_fbpkernel.moc"
