// Corrections of projections before the sinogram, each against known truth:
// phase retrieval of a Fresnel-propagated cylinder, zingers in a noisy
// image, the join of an offset-axis full turn, binning.
#include "FbpKernel.h"
#include "ImageBinning.h"
#include "OffsetAxis.h"
#include "PaganinFilter.h"
#include "PhaseSample.h"
#include "ZingerRemoval.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {
// An n x n slice (mu per pixel) from lines line(p, u, out) of n + 1 samples
// at u = j - n/2, nProj of them over a half turn.
std::vector<double> reconstruct(const std::function<void(int, double*)>& line, int n, int nProj)
{
    FbpKernel k;
    k.setup(n, nProj, FbpFilter());
    std::vector<double> row(size_t(n) + 1);
    for (int p = 0; p < nProj; ++p) {
        line(p, row.data());
        k.transform(row.data(), p);
    }
    for (int p = 0; p < nProj; ++p)
        k.filter(p);
    k.resetImage(n);
    k.backProjectAll(0, n, 0, n);
    std::vector<double> mu(k.image);
    for (double& v : mu)
        v /= 2.0 * nProj;
    return mu;
}

// Linear interpolation of v (n values) at x, 0 outside.
double sampleAt(const std::vector<double>& v, double x)
{
    const int n = int(v.size());
    if (x < 0 || x > n - 1)
        return 0;
    const int i = std::min(int(x), n - 2);
    return v[size_t(i)] + (x - i) * (v[size_t(i) + 1] - v[size_t(i)]);
}

// Line integral through a Gaussian blob exp(-r^2 / s^2) centred at (cx, cz)
// from the axis, at angle theta and signed distance u.
double blobIntegral(double cx, double cz, double s, double theta, double u)
{
    const double d = u - (cx * std::cos(theta) + cz * std::sin(theta));
    return std::sqrt(M_PI) * s * std::exp(-d * d / (s * s));
}
} // namespace

class TestCorrections : public QObject
{
    Q_OBJECT
private slots:
    void paganinRetrievesCylinderThickness_data();
    void paganinRetrievesCylinderThickness();
    void paganinRefusesIncompleteSettings_data();
    void paganinRefusesIncompleteSettings();
    void zingersAreReplacedAndCleanPixelsKept();
    void noiseFreeImagesKeepTheirMaxima_data();
    void noiseFreeImagesKeepTheirMaxima();
    void offsetAxisJoinMatchesFullDetector_data();
    void offsetAxisJoinMatchesFullDetector();
    void offsetAxisNeedsAnAxisNearAnEdge();
    void binningSumsBlocksAndMovesPositions();
};

void TestCorrections::paganinRetrievesCylinderThickness_data()
{
    QTest::addColumn<double>("deltaBeta");
    QTest::addColumn<double>("distanceMm");
    QTest::addColumn<double>("energyKeV");
    QTest::addColumn<double>("pixelUm");
    QTest::newRow("delta/beta 100") << 100.0 << 100.0 << 20.0 << 2.0;
    QTest::newRow("delta/beta 300, 30 keV") << 300.0 << 100.0 << 30.0 << 1.0;
    QTest::newRow("delta/beta 1000") << 1000.0 << 50.0 << 20.0 << 1.0;
}

// The retrieved projection is the cylinder's thickness times mu, and its
// slice is flat inside and without fringes around it.
void TestCorrections::paganinRetrievesCylinderThickness()
{
    QFETCH(double, deltaBeta);
    QFETCH(double, distanceMm);
    QFETCH(double, energyKeV);
    QFETCH(double, pixelUm);
    const int w = 352, h = 16;
    PhaseCylinder cyl;
    cyl.deltaBeta = deltaBeta;
    cyl.distanceMm = distanceMm;
    cyl.energyKeV = energyKeV;
    cyl.pixelUm = pixelUm;
    cyl.radiusPx = 80;
    cyl.centreAbsorbance = 0.05;
    cyl.axisPx = w / 2;
    const std::vector<double> line = cyl.intensity(w);
    const std::vector<double> truth = cyl.thickness(w);
    // Edges really ring: the unretrieved absorbance overshoots the truth.
    double ringing = 0;
    for (int x = 0; x < w; ++x)
        ringing = std::max(ringing, std::fabs(-std::log(line[size_t(x)]) - cyl.mu() * truth[size_t(x)]));
    QVERIFY2(ringing > 0.05 * cyl.centreAbsorbance, qPrintable(QString::number(ringing)));

    std::vector<float> img(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img[size_t(y) * w + x] = float(line[size_t(x)]);
    PaganinFilter f;
    QString why;
    QVERIFY2(f.setup(w, h, cyl.pixelUm, PaganinParams{deltaBeta, distanceMm, energyKeV}, &why), qPrintable(why));
    f.apply(img.data(), img.data());
    const float* row = img.data() + size_t(h / 2) * w;
    const double centreTruth = cyl.mu() * truth[size_t(w / 2)];
    QVERIFY2(std::fabs(row[w / 2] - centreTruth) < 0.02 * centreTruth,
             qPrintable(QStringLiteral("%1 vs %2").arg(row[w / 2]).arg(centreTruth)));

    // The slice: every projection of a centred cylinder is this line. Its
    // fringes are measured against the slice of the true thickness, whose
    // sharp edge rings a little in any filtered back-projection.
    const int n = 2 * (w / 2 - 16);
    auto slice = [&](const std::vector<double>& absorb) {
        return reconstruct([&](int, double* out) {
            for (int j = 0; j <= n; ++j)
                out[j] = sampleAt(absorb, cyl.axisPx + j - n / 2);
        }, n, 180);
    };
    std::vector<double> trueAbsorb(truth);
    for (double& v : trueAbsorb)
        v *= cyl.mu();
    const std::vector<double> mu = slice(std::vector<double>(row, row + w));
    const std::vector<double> reference = slice(trueAbsorb);
    const double inside = cyl.mu() * cyl.pixelUm * 1e-6;
    // A fringe is a bright or dark extreme the true object's slice lacks.
    double worstInside = 0;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x)
            if (std::hypot(x - n / 2, z - n / 2) < 0.8 * cyl.radiusPx)
                worstInside = std::max(worstInside, std::fabs(mu[size_t(z) * n + x] - inside));
    const auto [refLo, refHi] = std::minmax_element(reference.begin(), reference.end());
    const auto [lo, hi] = std::minmax_element(mu.begin(), mu.end());
    const double worstOutside = std::max({0.0, *hi - std::max(*refHi, inside), *refLo - *lo});
    QVERIFY2(worstInside < 0.02 * inside, qPrintable(QString::number(worstInside / inside)));
    QVERIFY2(worstOutside < 0.01 * inside, qPrintable(QString::number(worstOutside / inside)));
}

void TestCorrections::paganinRefusesIncompleteSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("pixelUm");
    QTest::addColumn<QString>("problem");
    QTest::newRow("no pixel size") << "300,50,20" << 0.0 << "pixel size";
    QTest::newRow("negative delta/beta") << "-300,50,20" << 1.0 << "delta/beta";
    QTest::newRow("zero distance") << "300,0,20" << 1.0 << "distance";
    QTest::newRow("zero energy") << "300,50,0" << 1.0 << "energy";
    QTest::newRow("two values") << "300,50" << 1.0 << "DELTA_BETA";
}

void TestCorrections::paganinRefusesIncompleteSettings()
{
    QFETCH(QString, text);
    QFETCH(double, pixelUm);
    QFETCH(QString, problem);
    PaganinParams p;
    QString why;
    if (PaganinParams::parse(text, p, &why)) {
        PaganinFilter f;
        QVERIFY(!f.setup(64, 64, pixelUm, p, &why));
    }
    QVERIFY2(why.contains(problem), qPrintable(why));
    QVERIFY(PaganinParams::parse(QStringLiteral("0"), p, &why) && !p.on());
}

// 0.1 % of the pixels of a noisy image are spiked; every spike goes and
// nothing else changes.
void TestCorrections::zingersAreReplacedAndCleanPixelsKept()
{
    const int w = 200, h = 150;
    std::mt19937 gen(7);
    std::normal_distribution<float> noise(0.0f, 30.0f);
    std::vector<float> clean(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            clean[size_t(y) * w + x] = 5000.0f + 1000.0f * std::sin(x * 0.05f) * std::cos(y * 0.07f) + noise(gen);
    std::vector<float> img = clean;
    QCOMPARE(removeZingers(img.data(), w, h, 8.0), 0);
    QCOMPARE(img, clean);

    std::uniform_int_distribution<int> pick(0, w * h - 1);
    std::vector<int> spiked;
    while (spiked.size() < size_t(w * h / 1000)) {
        const int i = pick(gen);
        if (std::find(spiked.begin(), spiked.end(), i) == spiked.end())
            spiked.push_back(i);
    }
    for (int i : spiked)
        img[size_t(i)] += 2000.0f + 20000.0f * float(i % 7) / 7.0f;
    QCOMPARE(removeZingers(img.data(), w, h, 8.0), int(spiked.size()));
    for (int i = 0; i < w * h; ++i) {
        if (std::find(spiked.begin(), spiked.end(), i) == spiked.end())
            QCOMPARE(img[size_t(i)], clean[size_t(i)]);
        else
            QVERIFY2(std::fabs(img[size_t(i)] - clean[size_t(i)]) < 200.0f, qPrintable(QString::number(i)));
    }
    QCOMPARE(removeZingers(img.data(), w, h, 0.0), 0);
}

void TestCorrections::noiseFreeImagesKeepTheirMaxima_data()
{
    QTest::addColumn<float>("level");
    QTest::addColumn<bool>("rounded");
    QTest::newRow("dark counts") << 100.0f << true;
    QTest::newRow("bright counts") << 20000.0f << true;
    QTest::newRow("transmissions") << 0.8f << false;
}

// Without noise the measured spread is zero: the gentle maxima of a smooth
// image (and the rounding of counts) are no zingers; a spike still is.
void TestCorrections::noiseFreeImagesKeepTheirMaxima()
{
    QFETCH(float, level);
    QFETCH(bool, rounded);
    const int w = 120, h = 90;
    std::vector<float> clean(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float v = level * (1.0f + 0.05f * std::sin(x * 0.3f) * std::cos(y * 0.2f));
            clean[size_t(y) * w + x] = rounded ? std::round(v) : v;
        }
    std::vector<float> img = clean;
    QCOMPARE(removeZingers(img.data(), w, h, 5.0), 0);
    QCOMPARE(img, clean);
    img[size_t(40) * w + 60] += level;
    QCOMPARE(removeZingers(img.data(), w, h, 5.0), 1);
}

void TestCorrections::offsetAxisJoinMatchesFullDetector_data()
{
    QTest::addColumn<bool>("axisLeft");
    QTest::newRow("axis at 20 % from the left") << true;
    QTest::newRow("axis at 20 % from the right") << false;
}

// A full turn on a detector with the axis at 20 % of its width, joined,
// gives the slice a detector as wide as the join gives, within 1 % of its
// range and without a seam where the halves meet.
void TestCorrections::offsetAxisJoinMatchesFullDetector()
{
    QFETCH(bool, axisLeft);
    const int w = 200, nProj = 360;
    const double cor = axisLeft ? 40.3 : w - 1 - 40.3;
    QString why;
    const OffsetJoin j = OffsetJoin::make(w, cor, &why);
    QVERIFY2(j.joinedWidth > 0, qPrintable(why));
    QCOMPARE(j.axisLeft, axisLeft);
    // Blobs on both sides and one on the axis, where the halves meet.
    auto project = [](double theta, double u) {
        return blobIntegral(-60, 20, 25, theta, u) + 0.5 * blobIntegral(70, -40, 30, theta, u)
               + 0.8 * blobIntegral(5, 0, 12, theta, u);
    };
    auto detectorLine = [&](double theta, std::vector<double>& out) {
        out.resize(size_t(w));
        for (int x = 0; x < w; ++x)
            out[size_t(x)] = project(theta, x - cor);
    };
    const int half = int(std::floor(std::min(j.joinedCor, j.joinedWidth - 1 - j.joinedCor)));
    const int n = 2 * (half - 1);
    std::vector<double> a, b, joined(size_t(j.joinedWidth));
    const std::vector<double> offset = reconstruct([&](int p, double* out) {
        detectorLine(M_PI * p / nProj, a);
        detectorLine(M_PI * p / nProj + M_PI, b);
        j.join(a.data(), b.data(), joined.data());
        for (int k = 0; k <= n; ++k)
            out[k] = sampleAt(joined, j.joinedCor + k - n / 2);
    }, n, nProj);
    const std::vector<double> reference = reconstruct([&](int p, double* out) {
        for (int k = 0; k <= n; ++k)
            out[k] = project(M_PI * p / nProj, k - n / 2);
    }, n, nProj);
    const auto [lo, hi] = std::minmax_element(reference.begin(), reference.end());
    double worst = 0;
    for (size_t i = 0; i < reference.size(); ++i)
        worst = std::max(worst, std::fabs(offset[i] - reference[i]));
    QVERIFY2(worst < 0.01 * (*hi - *lo), qPrintable(QString::number(worst / (*hi - *lo))));
}

void TestCorrections::offsetAxisNeedsAnAxisNearAnEdge()
{
    QString why;
    QCOMPARE(OffsetJoin::make(200, 99.5, &why).joinedWidth, 0);
    QVERIFY2(why.contains(QStringLiteral("near the middle")), qPrintable(why));
    QCOMPARE(OffsetJoin::make(200, -3, &why).joinedWidth, 0);
    QVERIFY2(why.contains(QStringLiteral("outside")), qPrintable(why));
    // Axis on pixel 40: the mirrored line adds 199 - 80 pixels on the left.
    const OffsetJoin j = OffsetJoin::make(200, 40, &why);
    QCOMPARE(j.added, 119);
    QCOMPARE(j.joinedCor, 159.0);
    QCOMPARE(j.joinedWidth, 319);
}

void TestCorrections::binningSumsBlocksAndMovesPositions()
{
    const int w = 8, h = 4;
    std::vector<float> in(size_t(w) * h);
    for (int i = 0; i < w * h; ++i)
        in[size_t(i)] = float(i);
    std::vector<float> out(size_t(w / 2) * (h / 2));
    binImage(in.data(), w, h, 2, out.data());
    // Top left block: 0 + 1 + 8 + 9; bottom right: 22 + 23 + 30 + 31.
    QCOMPARE(out.front(), 18.0f);
    QCOMPARE(out.back(), 106.0f);
    // Pixels 2 and 3 become binned pixel 1: 2.5 -> 1.
    QCOMPARE(binnedPosition(2.5, 2), 1.0);
    QCOMPARE(binnedPosition(5.5, 4), 1.0);
    QVERIFY(binningProblem(8, 4, 2).isEmpty());
    QVERIFY(binningProblem(8, 6, 4).contains(QStringLiteral("does not divide")));
    QVERIFY(binningProblem(8, 8, 3).contains(QStringLiteral("not 1, 2 or 4")));
}

QTEST_GUILESS_MAIN(TestCorrections)
#include "tst_corrections.moc"
