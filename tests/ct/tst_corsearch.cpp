// Automatic centre of rotation on phantom series with known centres.
#include "CorSearch.h"
#include "Phantom.h"

#include <QtTest>

#include <cmath>
#include <random>
#include <vector>

namespace {
struct Series
{
    int dim = 256;
    int nth = 180;
    double cor = 128;
    double counts = 0;       // beam counts for Poisson noise; 0: exact
    bool with180 = false;    // nth projections from 0 to 180 degrees inclusive
    bool uniform = false;    // a featureless slab instead of the head
    double period = 0;       // above 0: a grating of this period instead of the head
    double shiftX = 0;       // object centre off the axis, pixels
    double radius = 50;      // of the head
    double y = 0;            // height of the slice on the axis
};

// Absorbance lines of one slice, projection p at pi p / nth (or pi p / (nth - 1)
// when the series ends at 180 degrees), detector pixel k at u = k - cor.
std::vector<double> makeLines(const Series& s)
{
    Phantom ph = Phantom::head(s.radius, 40);
    for (Ellipsoid& e : ph.ellipsoids) {
        e.cx += s.shiftX;
        e.cz -= 0.5 * s.shiftX;
    }
    std::mt19937 rng(7);
    std::vector<double> lines(size_t(s.dim) * size_t(s.nth));
    for (int p = 0; p < s.nth; ++p) {
        const double th = M_PI * p / (s.with180 ? s.nth - 1 : s.nth);
        double* row = lines.data() + size_t(p) * size_t(s.dim);
        if (s.uniform)
            std::fill(row, row + s.dim, 0.5);
        else if (s.period > 0)
            for (int k = 0; k < s.dim; ++k)
                row[k] = 0.5 + 0.3 * std::sin(2 * M_PI * k / s.period);
        else
            ph.projectLine(th, s.y, -s.cor, s.dim, row);
        if (s.counts > 0)
            for (int k = 0; k < s.dim; ++k) {
                std::poisson_distribution<int> d(s.counts * std::exp(-row[k]));
                row[k] = std::log(s.counts / std::max(1, d(rng)));
            }
    }
    return lines;
}
} // namespace

Q_DECLARE_METATYPE(Series)

class TestCorSearch : public QObject
{
    Q_OBJECT
private slots:
    void knownCentreIsFoundAndSound_data();
    void knownCentreIsFoundAndSound();
    void ambiguousSeriesIsQuestionable_data();
    void ambiguousSeriesIsQuestionable();
    void rangeLimitsTheSearch();
    void tooSmallInputIsInvalid();
    void tiltedAxisFollowsTheFittedLine_data();
    void tiltedAxisFollowsTheFittedLine();
};

void TestCorSearch::knownCentreIsFoundAndSound_data()
{
    QTest::addColumn<Series>("s");
    auto row = [](const char* name, Series s) { QTest::newRow(name) << s; };
    Series s;
    s.cor = 128.3;
    row("near the middle", s);
    s.cor = 188.0;
    row("60 px right of the middle", s);
    s.cor = 67.6;
    row("60 px left of the middle", s);
    s.cor = 127.5;
    row("at x.5", s);
    s.cor = 130.2;
    s.shiftX = 20;
    row("object off the axis", s);
    s.shiftX = 0;
    s.counts = 5000;
    row("Poisson noise at 5000 counts", s);
    s.with180 = true;
    s.nth = 181;
    s.cor = 121.7;
    row("noise, last projection at 180 degrees", s);
    s.counts = 0;
    s.cor = 180.5;
    row("180 degrees, far off the middle", s);
    s.nth = 90;
    s.cor = 130.5;
    s.with180 = false;
    s.counts = 30000;
    row("90 projections", s);
    s.radius = 110;
    s.counts = 0;
    row("90 projections, wide object", s);
    s.nth = 180;
    row("180 projections, wide object", s);
    s.radius = 50;
    s.dim = 512;
    s.nth = 400;
    s.with180 = false;
    s.counts = 5000;
    s.cor = 312.4;
    row("512 wide, 400 projections, noise", s);
}

void TestCorSearch::knownCentreIsFoundAndSound()
{
    QFETCH(Series, s);
    const std::vector<double> lines = makeLines(s);
    const CorResult r = findCor(lines.data(), s.dim, s.nth);
    QVERIFY(r.valid);
    QVERIFY2(std::fabs(r.cor - s.cor) < 0.2, qPrintable(QStringLiteral("found %1, true %2").arg(r.cor).arg(s.cor)));
    QVERIFY2(r.sound, qPrintable(r.text()));
    QCOMPARE(r.text(), QString::number(r.cor, 'f', 2) + QStringLiteral(" (sound)"));
}

void TestCorSearch::ambiguousSeriesIsQuestionable_data()
{
    QTest::addColumn<Series>("s");
    QTest::addColumn<QString>("reason");
    Series s;
    s.uniform = true;
    QTest::newRow("uniform") << s << "flat measure";
    s.counts = 5000;
    QTest::newRow("uniform with noise") << s << "flat measure";
    s.uniform = false;
    s.counts = 0;
    s.period = 24;
    QTest::newRow("grating: a match every 12 px") << s << "two peaks of similar height";
}

void TestCorSearch::ambiguousSeriesIsQuestionable()
{
    QFETCH(Series, s);
    QFETCH(QString, reason);
    const std::vector<double> lines = makeLines(s);
    const CorResult r = findCor(lines.data(), s.dim, s.nth);
    QVERIFY(r.valid);
    QVERIFY(!r.sound);
    QCOMPARE(r.text(), QString::number(r.cor, 'f', 2) + " (questionable: " + reason + ")");
}

void TestCorSearch::rangeLimitsTheSearch()
{
    // The true centre lies outside the range: the answer sits at its edge and says so.
    Series s;
    s.cor = 150.3;
    const std::vector<double> lines = makeLines(s);
    CorSearchOptions o;
    o.from = 100;
    o.to = 149;
    const CorResult r = findCor(lines.data(), s.dim, s.nth, o);
    QVERIFY(r.valid);
    QVERIFY(r.cor <= 149.0 + 1e-9);
    QVERIFY(!r.sound);
    QCOMPARE(r.reason, QStringLiteral("peak at the edge of the range"));
}

void TestCorSearch::tooSmallInputIsInvalid()
{
    std::vector<double> lines(8 * 4, 1.0);
    QVERIFY(!findCor(lines.data(), 8, 4).valid);
    QVERIFY(!findCor(lines.data(), 8, 1).valid);
    QVERIFY(!findCor(nullptr, 256, 180).valid);
    Series s;
    const std::vector<double> big = makeLines(s);
    CorSearchOptions o;
    o.from = 300;
    o.to = 400;
    const CorResult r = findCor(big.data(), s.dim, s.nth, o);
    QVERIFY(!r.valid);
    QVERIFY(!r.reason.isEmpty());
}

void TestCorSearch::tiltedAxisFollowsTheFittedLine_data()
{
    QTest::addColumn<double>("shift"); // centre at the last slice minus the first
    QTest::addColumn<double>("counts");
    QTest::newRow("4 px to the right, noise") << 4.0 << 5000.0;
    QTest::newRow("3.3 px to the left") << -3.3 << 0.0;
}

// Slices 0 .. 63 through the head, the axis moving by shift from top to
// bottom: the line through eight searched slices is within 0.2 pixel of the
// true centre on every slice.
void TestCorSearch::tiltedAxisFollowsTheFittedLine()
{
    QFETCH(double, shift);
    QFETCH(double, counts);
    const int height = 64;
    auto trueCor = [&](int slice) { return 126.3 + shift * slice / (height - 1); };
    std::vector<int> slices;
    std::vector<CorResult> results;
    for (int i = 0; i < 8; ++i) {
        Series s;
        const int slice = 4 + 8 * i;
        s.cor = trueCor(slice);
        s.y = slice - height / 2;
        s.counts = counts;
        const std::vector<double> lines = makeLines(s);
        slices.push_back(slice);
        results.push_back(findCor(lines.data(), s.dim, s.nth));
    }
    const CorLine line = fitCorLine(slices, results);
    QVERIFY2(line.valid, qPrintable(line.text()));
    QCOMPARE(line.used, 8);
    QVERIFY(line.residual < 0.2);
    for (int slice = 0; slice < height; ++slice)
        QVERIFY2(std::fabs(line.at(slice) - trueCor(slice)) < 0.2,
                 qPrintable(QStringLiteral("slice %1: %2, true %3").arg(slice).arg(line.at(slice)).arg(trueCor(slice))));
    QVERIFY(line.text().startsWith(QStringLiteral("Centre of rotation ")));
}

QTEST_GUILESS_MAIN(TestCorSearch)
#include "tst_corsearch.moc"
