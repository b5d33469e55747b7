// Filters of the back-projection: the name table, padded lengths, weights,
// and the absolute values of reconstructions of objects with known mu.
#include "CtFiles.h"
#include "FbpFilter.h"
#include "FbpKernel.h"
#include "Phantom.h"
#include "RingRemoval.h"

#include <QtTest>

#include <cmath>
#include <functional>
#include <map>
#include <vector>

namespace {

constexpr double pi = 3.141592653589793;

FbpFilter named(const QString& name, double cutoff = 1.0)
{
    FbpFilter f;
    f.name = name;
    f.cutoff = cutoff;
    return f;
}

// Reconstructs an n x n slice from exact line integrals P(theta, u) sampled
// as the sinogram samples them (u = j - n/2 for sample j), and returns mu per
// pixel: the slice values / (2 nProj).
std::vector<double> reconstruct(const std::function<void(double, double, int, double*)>& project, int n,
                                int nProj, const FbpFilter& filter, int ringSize = 0, bool fullTurn = false)
{
    const int nx = n + 1;
    FbpKernel k;
    k.setup(n, nProj, filter, fullTurn);
    std::vector<double> sgm(size_t(nx) * size_t(nProj));
    for (int p = 0; p < nProj; ++p)
        project((fullTurn ? 2 * pi : pi) * p / nProj, -0.5 * n, nx, sgm.data() + size_t(p) * size_t(nx));
    removeRings(sgm.data(), nx, nProj, ringSize);
    for (int p = 0; p < nProj; ++p)
        k.transform(sgm.data() + size_t(p) * size_t(nx), p);
    for (int p = 0; p < nProj; ++p)
        k.filter(p);
    k.resetImage(n);
    k.backProjectAll(0, n, 0, n);
    std::vector<double> mu(k.image);
    for (double& v : mu)
        v /= 2.0 * nProj;
    return mu;
}

} // namespace

class TestFbpFilter : public QObject
{
    Q_OBJECT
private slots:
    void namesAndCutoffs_data();
    void namesAndCutoffs();
    void paddedLengths_data();
    void paddedLengths();
    void weightsAreTheWindowedRamp_data();
    void weightsAreTheWindowedRamp();
    void uniformDiscKeepsItsLevel_data();
    void uniformDiscKeepsItsLevel();
    void headRegionsKeepTheirMu();
    void unpaddedRampWritesTheEarlierDataFile();
    void deadColumnRing_data();
    void deadColumnRing();
    void fullTurnKeepsScaleAndPlace();
};

void TestFbpFilter::namesAndCutoffs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("cutoff");
    QTest::newRow("ramp") << "ramp" << true << "ramp" << 1.0;
    QTest::newRow("hann with cutoff") << "hann:0.8" << true << "hann" << 0.8;
    QTest::newRow("shepp-logan") << "shepp-logan" << true << "shepp-logan" << 1.0;
    QTest::newRow("cosine cutoff 1") << "cosine:1" << true << "cosine" << 1.0;
    QTest::newRow("hamming small cutoff") << "hamming:0.05" << true << "hamming" << 0.05;
    QTest::newRow("unpadded") << "ramp-unpadded" << true << "ramp-unpadded" << 1.0;
    QTest::newRow("unpadded with cutoff") << "ramp-unpadded:0.5" << false << "" << 0.0;
    QTest::newRow("unknown") << "parzen" << false << "" << 0.0;
    QTest::newRow("case matters") << "Ramp" << false << "" << 0.0;
    QTest::newRow("cutoff 0") << "hann:0" << false << "" << 0.0;
    QTest::newRow("cutoff above 1") << "hann:1.5" << false << "" << 0.0;
    QTest::newRow("cutoff not a number") << "hann:x" << false << "" << 0.0;
    QTest::newRow("cutoff nan") << "hann:nan" << false << "" << 0.0;
    QTest::newRow("two cutoffs") << "hann:0.5:0.5" << false << "" << 0.0;
    QTest::newRow("empty") << "" << false << "" << 0.0;
}

void TestFbpFilter::namesAndCutoffs()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    FbpFilter f;
    QString why;
    QCOMPARE(FbpFilter::parse(text, f, &why), ok);
    if (!ok) {
        QVERIFY(!why.isEmpty());
        QCOMPARE(f, FbpFilter());  // a refused text changes nothing
        return;
    }
    QFETCH(QString, name);
    QFETCH(double, cutoff);
    QCOMPARE(f.name, name);
    QCOMPARE(f.cutoff, cutoff);
    FbpFilter back;
    QVERIFY(FbpFilter::parse(f.text(), back, nullptr));
    QCOMPARE(back, f);
}

void TestFbpFilter::paddedLengths_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("length");
    QTest::newRow("1") << 1 << 2;
    QTest::newRow("11 -> 12") << 11 << 24;
    QTest::newRow("121 -> 125") << 121 << 250;
    QTest::newRow("1022 -> 1024") << 1022 << 2048;
    QTest::newRow("2046 -> 2048") << 2046 << 4096;
    QTest::newRow("1999 -> 2000") << 1999 << 4000;
    QTest::newRow("4373 -> 4374") << 4373 << 8748;
    QTest::newRow("0") << 0 << 0;
}

void TestFbpFilter::paddedLengths()
{
    QFETCH(int, n);
    QFETCH(int, length);
    QCOMPARE(FbpFilter::paddedLength(n), length);
    QCOMPARE(named("ramp-unpadded").transformLength(n), n);
}

void TestFbpFilter::weightsAreTheWindowedRamp_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("cutoff");
    QTest::newRow("ramp") << "ramp" << 1.0;
    QTest::newRow("shepp-logan") << "shepp-logan" << 1.0;
    QTest::newRow("cosine 0.7") << "cosine" << 0.7;
    QTest::newRow("hamming") << "hamming" << 1.0;
    QTest::newRow("hann 0.5") << "hann" << 0.5;
}

// Away from zero frequency the band-limited ramp is |omega|; at zero it is
// small but positive, which is what keeps the zero level of a slice.
void TestFbpFilter::weightsAreTheWindowedRamp()
{
    QFETCH(QString, name);
    QFETCH(double, cutoff);
    const FbpFilter f = named(name, cutoff);
    FbpKernel k;
    k.setup(300, 2, f);
    QCOMPARE(k.m, 600);
    QVERIFY(k.weight(0) > 0 && k.weight(0) < 2 * pi / k.m);
    for (int b = 4; b <= k.m / 2; b += 7) {
        const double frac = 2.0 * b / k.m;
        const double expect = 2 * pi * b / k.m * f.window(frac);
        QVERIFY2(std::fabs(k.weight(b) - expect) < 2e-3 * f.window(frac) * pi + 1e-12,
                 qPrintable(QString("bin %1: %2 vs %3").arg(b).arg(k.weight(b)).arg(expect)));
        if (frac > cutoff)
            QCOMPARE(k.weight(b), 0.0);
    }
}

void TestFbpFilter::uniformDiscKeepsItsLevel_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("diameter");  // fraction of the field
    QTest::addColumn<bool>("quantitative");
    QTest::newRow("ramp 0.8") << "ramp" << 0.8 << true;
    QTest::newRow("ramp 0.95") << "ramp" << 0.95 << true;
    QTest::newRow("shepp-logan 0.8") << "shepp-logan" << 0.8 << true;
    QTest::newRow("hann 0.8") << "hann" << 0.8 << true;
    // The unpadded ramp loses the zero level: its centre sits far below mu.
    QTest::newRow("ramp-unpadded 0.8") << "ramp-unpadded" << 0.8 << false;
}

void TestFbpFilter::uniformDiscKeepsItsLevel()
{
    QFETCH(QString, name);
    QFETCH(double, diameter);
    QFETCH(bool, quantitative);
    const int n = 256, nProj = 400;
    const double mu = 0.01, r = 0.5 * diameter * n;
    auto project = [&](double, double u0, int count, double* out) {
        for (int j = 0; j < count; ++j) {
            const double u = u0 + j;
            out[j] = std::fabs(u) < r ? 2.0 * std::sqrt(r * r - u * u) * mu : 0.0;
        }
    };
    const std::vector<double> img = reconstruct(project, n, nProj, named(name));
    const double h = 0.5 * n;
    double centre = 0, outside = 0;
    int cn = 0, on = 0;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const double d = std::hypot(x - h, z - h);
            const double v = img[size_t(z) * n + x];
            if (d < 0.1 * n) {
                centre += v;
                ++cn;
            } else if (d > r + 3 && d < h - 2) {
                outside += v;
                ++on;
            }
        }
    centre /= cn;
    qInfo("%s: centre %.4f mu, outside %.4f mu", qPrintable(name), centre / mu, on ? outside / on / mu : 0.0);
    if (!quantitative) {
        QVERIFY(centre < 0.9 * mu);
        return;
    }
    QVERIFY2(std::fabs(centre - mu) < 0.01 * mu, qPrintable(QString::number(centre / mu)));
    if (on > 0)
        QVERIFY2(std::fabs(outside / on) < 0.01 * mu, qPrintable(QString::number(outside / on / mu)));
}

// A field-filling head: every region (pixels 2 away from any other value)
// has its mean within 2 % of its mu; regions of mu 0 (the ventricles) are
// held to 2 % of the brain's.
void TestFbpFilter::headRegionsKeepTheirMu()
{
    const int n = 256, nProj = 400;
    const double radius = 0.5 * n, Y = -0.25 * 50.0;
    const Phantom ph = Phantom::head(radius, 50.0);
    auto project = [&](double th, double u0, int count, double* out) { ph.projectLine(th, Y, u0, count, out); };
    const std::vector<double> img = reconstruct(project, n, nProj, named("ramp"));
    const double h = 0.5 * n;
    std::vector<double> truth(size_t(n) * n);
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x)
            truth[size_t(z) * n + x] = ph.mu(x - h, Y, z - h);
    std::map<long long, std::pair<double, int>> regions;  // key: mu in 1e-9
    for (int z = 2; z < n - 2; ++z)
        for (int x = 2; x < n - 2; ++x) {
            const double t = truth[size_t(z) * n + x];
            bool inner = std::hypot(x - h, z - h) < h - 3;
            for (int dz = -2; inner && dz <= 2; ++dz)
                for (int dx = -2; inner && dx <= 2; ++dx)
                    inner = truth[size_t(z + dz) * n + x + dx] == t;
            // Outside the head (mu 0 as well) is not a region of it.
            const double ex = (x - h) / (0.69 * radius), ez = (z - h) / (0.92 * radius);
            if (!inner || ex * ex + ez * ez > 1)
                continue;
            auto& acc = regions[std::llround(t * 1e9)];
            acc.first += img[size_t(z) * n + x];
            ++acc.second;
        }
    const double brain = ph.mu(0, Y, -0.3 * radius);
    int checked = 0;
    for (const auto& [key, acc] : regions) {
        if (acc.second < 20)
            continue;
        const double t = key * 1e-9, mean = acc.first / acc.second;
        const double tol = 0.02 * std::max(std::fabs(t), brain);
        qInfo("mu %.6f: mean %.6f over %d pixels (%.2f %%)", t, mean, acc.second,
              100.0 * (mean - t) / std::max(std::fabs(t), brain));
        QVERIFY2(std::fabs(mean - t) < tol, qPrintable(QString("mu %1: %2").arg(t).arg(mean)));
        ++checked;
    }
    QVERIFY(checked >= 4);
}

// The slice the unpadded ramp gave before filters could be chosen, written
// as a data file: byte for byte the same file.
void TestFbpFilter::unpaddedRampWritesTheEarlierDataFile()
{
    const int half = 24, nx = 2 * half - 1, n = nx - 1, nProj = 60;
    const Phantom ph = Phantom::head(20.0, 20.0);
    FbpKernel k;
    k.setup(n, nProj, named("ramp-unpadded"));
    std::vector<double> row(static_cast<size_t>(nx));
    for (int p = 0; p < nProj; ++p) {
        ph.projectLine(M_PI * p / nProj, 0.0, -(half - 1), nx, row.data());
        k.transform(row.data(), p);
    }
    for (int p = 0; p < nProj; ++p)
        k.filter(p);
    k.resetImage(n);
    for (int p = 0; p < nProj; ++p)
        k.backProjectReference(p, 0, n, 0, n);
    QTemporaryDir dir;
    const QString path = dir.filePath("now.dat");
    QVERIFY(CtFiles::saveData(path, k.imageRow(0), n, 0, 0, n, n));
    QFile now(path), before(QStringLiteral(ZUVO2_SOURCE_DIR "/tests/ct/data/head-ramp-unpadded.dat"));
    QVERIFY(now.open(QIODevice::ReadOnly));
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray a = now.readAll(), b = before.readAll();
    QVERIFY(b.size() > 20000);
    QVERIFY(a == b);
}

void TestFbpFilter::deadColumnRing_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("ring");
    QTest::newRow("off") << 0 << true;
    QTest::newRow("size 9") << 9 << false;
    QTest::newRow("size 15") << 15 << false;
    QTest::newRow("size 4 (widened to 5)") << 4 << false;
}

// A dead detector pixel (absorbance ln 900 in every projection) inside a
// head draws a ring at its distance from the axis; ring removal takes it out.
// Measured as the ring's mean against the annuli 3 pixels inside and outside.
void TestFbpFilter::deadColumnRing()
{
    QFETCH(int, size);
    QFETCH(bool, ring);
    const int n = 200, nProj = 300, dead = n / 2 + 37;
    const Phantom ph = Phantom::head(0.5 * n, 50.0);
    auto project = [&](double th, double u0, int count, double* out) {
        ph.projectLine(th, 0.0, u0, count, out);
        out[dead] = std::log(900.0);
    };
    const std::vector<double> img = reconstruct(project, n, nProj, named("ramp"), size);
    auto cleanProject = [&](double th, double u0, int count, double* out) { ph.projectLine(th, 0.0, u0, count, out); };
    const std::vector<double> truth = reconstruct(cleanProject, n, nProj, named("ramp"));
    // The same removal on the slice without the dead pixel: what is left is
    // the dead pixel's ring alone.
    const std::vector<double> clean = reconstruct(cleanProject, n, nProj, named("ramp"), size);
    const double h = 0.5 * n, rr = dead - h;
    auto annulus = [&](const std::vector<double>& im, double r0) {
        double s = 0;
        int c = 0;
        for (int z = 0; z < n; ++z)
            for (int x = 0; x < n; ++x) {
                const double d = std::hypot(x - h, z - h);
                if (std::fabs(d - r0) < 0.5) {
                    s += im[size_t(z) * n + x];
                    ++c;
                }
            }
        return s / c;
    };
    // The head itself varies with radius: compare with the slice without the dead pixel.
    auto contrast = [&](const std::vector<double>& im) {
        return annulus(im, rr) - 0.5 * (annulus(im, rr - 3) + annulus(im, rr + 3));
    };
    const double brain = ph.mu(0, 0, -0.3 * h);
    const double c = contrast(img) - contrast(clean);
    const double kept = contrast(clean) - contrast(truth);
    qInfo("ring contrast %.3f %% of brain mu; the removal changes the head there by %.3f %%", 100 * c / brain,
          100 * kept / brain);
    if (ring) {
        QVERIFY2(std::fabs(c) > 0.2 * brain, qPrintable(QString::number(c / brain)));
        return;
    }
    // From some 18 brains' worth to a few per cent of one brain.
    QVERIFY2(std::fabs(c) < 0.04 * brain, qPrintable(QString::number(c / brain)));
    QVERIFY2(std::fabs(kept) < 0.05 * brain, qPrintable(QString::number(kept / brain)));
}

// A full turn of n projections: the same slice, at the same place and on
// the same scale (value / (2 nProj) = mu), as a half turn of n.
void TestFbpFilter::fullTurnKeepsScaleAndPlace()
{
    const int n = 160, nProj = 360;
    const double cx = 30, cz = -20, r = 15, mu = 0.02;
    auto project = [&](double th, double u0, int count, double* out) {
        const double centre = cx * std::cos(th) - cz * std::sin(th);
        for (int j = 0; j < count; ++j) {
            const double d = u0 + j - centre;
            out[j] = std::fabs(d) < r ? 2.0 * std::sqrt(r * r - d * d) * mu : 0.0;
        }
    };
    const std::vector<double> half = reconstruct(project, n, nProj, named("ramp"));
    const std::vector<double> full = reconstruct(project, n, nProj, named("ramp"), 0, true);
    const int x = int(cx + n / 2), z = int(cz + n / 2);
    auto at = [&](const std::vector<double>& im, int px, int pz) { return im[size_t(pz) * n + px]; };
    QVERIFY2(std::fabs(at(full, x, z) - mu) < 0.01 * mu, qPrintable(QString::number(at(full, x, z) / mu)));
    QVERIFY2(std::fabs(at(half, x, z) - mu) < 0.01 * mu, qPrintable(QString::number(at(half, x, z) / mu)));
    // Mirrored about the centre nothing is there (a turn the wrong way
    // round would put the disc there).
    QVERIFY(std::fabs(at(full, n - x, n - z)) < 0.05 * mu);
    double diff = 0;
    for (size_t i = 0; i < full.size(); ++i)
        diff = std::max(diff, std::fabs(full[i] - half[i]));
    QVERIFY2(diff < 0.05 * mu, qPrintable(QString::number(diff / mu)));
}

QTEST_GUILESS_MAIN(TestFbpFilter)
#include "tst_fbpfilter.moc"
