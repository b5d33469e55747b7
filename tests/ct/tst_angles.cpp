// Series whose projections come with their own rotation angles: uneven steps,
// a half turn that ends on 180 degrees, a full turn.  Each reconstructs
// through the worker pool about as well as an evenly spread series, and
// evenly spread angles given explicitly change nothing at all.
#include "CtCalc2.h"
#include "CtRun.h"
#include "FbpKernel.h"
#include "HSgm.h"
#include "ImgDataMem.h"
#include "ImgDatas.h"
#include "Phantom.h"
#include "SinogramImage.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <random>

namespace {
constexpr int width = 129;   // detector columns; the axis is vertical
constexpr int height = 3;
constexpr double cor = 64;
constexpr int slice = 1;
constexpr double i0Counts = 1000;

ImgData* image(const QString& name, const std::vector<double>& v)
{
    QByteArray bytes(reinterpret_cast<const char*>(v.data()), qsizetype(v.size() * sizeof(double)));
    return ImgDataMem::fromPixels(name, width, height, ImgDataMem::F64, bytes);
}

// The counts of the head phantom seen at each angle (degrees), with a flat
// I0 and no dark signal.
void makeScan(ImgDatas& set, const QVector<double>& deg, bool giveAngles)
{
    const Phantom ph = Phantom::head(50, 10);
    QList<ImgData*> projs;
    std::vector<double> line(width), v(size_t(width) * height);
    for (int p = 0; p < deg.size(); ++p) {
        for (int r = 0; r < height; ++r) {
            ph.projectLine(deg[p] * M_PI / 180.0, r - slice, -cor, width, line.data());
            for (int c = 0; c < width; ++c)
                v[size_t(r) * width + c] = i0Counts * std::exp(-line[size_t(c)]);
        }
        projs << image(QStringLiteral("p%1").arg(p), v);
    }
    set.setScan(projs, image("i0", std::vector<double>(v.size(), i0Counts)),
                image("bg", std::vector<double>(v.size(), 0.0)), giveAngles ? deg : QVector<double>());
}

// Correlation and least-squares gain of the slice (scaled to mu) against the
// phantom inside 0.9 of the circle.
void compare(const CtSlice& s, int nProj, double& corr, double& gain)
{
    const Phantom ph = Phantom::head(50, 10);
    const double h = s.n / 2.0;
    double n = 0, sr = 0, st = 0, srt = 0, srr = 0, stt = 0;
    for (int pass = 0; pass < 2; ++pass)
        for (int z = 0; z < s.n; ++z)
            for (int x = 0; x < s.n; ++x) {
                if (std::hypot(x - h, z - h) >= 0.9 * h)
                    continue;
                const double r = s.image[size_t(z) * s.n + x] / (2.0 * nProj);
                const double t = ph.mu(x - h, 0, z - h);
                if (pass == 0) {
                    n += 1; sr += r; st += t;
                } else {
                    const double a = r - sr / n, b = t - st / n;
                    srt += a * b; srr += a * a; stt += b * b;
                }
            }
    corr = srt / std::sqrt(srr * stt);
    gain = srt / stt;
}

QVector<double> evenly(int n, double span, int last)
{
    QVector<double> d;
    for (int p = 0; p < n; ++p)
        d << span * p / last;
    return d;
}
} // namespace

class TstAngles : public QObject
{
    Q_OBJECT
private slots:
    void radiansOf_data();
    void radiansOf();
    void reconstructs_data();
    void reconstructs();
    void evenAnglesChangeNothing_data();
    void evenAnglesChangeNothing();
    void sinogramRowsByAngle_data();
    void sinogramRowsByAngle();

private:
    // Reconstructs the slice of set through a one-worker pool; the data file
    // goes to dataFile when given.
    std::shared_ptr<const CtSlice> reconstruct(ImgDatas& set, const QString& dataFile = QString(),
                                               AngularRange range = AngularRange::Half);
    QTemporaryDir tmp;
};

std::shared_ptr<const CtSlice> TstAngles::reconstruct(ImgDatas& set, const QString& dataFile, AngularRange range)
{
    CtRun run;
    run.images = &set;
    run.createPool(1);
    ReconSettings s;
    s.showImage = false;
    if (!dataFile.isEmpty())
        s.data = ReconOutput{true, tmp.path(), dataFile, QString()};
    CtCond& c = s.cond;
    c.ct2 = true;
    c.rotAxIsV = true;
    c.cor = cor;
    c.sliceNo = slice;
    c.threads = 1;
    c.angles = range;
    QSignalSpy done(&run, &CtRun::sliceFinished);
    run.start(s);
    if (!run.refusal().isEmpty() || !done.wait(20000))
        return nullptr;
    return done.first().first().value<CtResult>().data;
}

void TstAngles::radiansOf_data()
{
    QTest::addColumn<QVector<double>>("deg");
    QTest::addColumn<bool>("kept");
    QTest::newRow("evenly spread") << evenly(6, 180, 6) << false;
    QVector<double> f;
    for (double d : evenly(7, 180, 7))
        f << double(float(d));
    QTest::newRow("evenly spread, stored as float") << f << false;
    QTest::newRow("ends on 180") << evenly(6, 180, 5) << true;
    QTest::newRow("offset by 1e-4 degrees") << QVector<double>{0, 60, 120.0001} << true;
    QTest::newRow("full turn") << evenly(6, 360, 6) << true;
}

void TstAngles::radiansOf()
{
    QFETCH(QVector<double>, deg);
    QFETCH(bool, kept);
    const std::vector<double> r = FbpKernel::radiansOf(deg.constData(), int(deg.size()));
    QCOMPARE(r.empty(), !kept);
    if (kept)
        QCOMPARE(r.back(), deg.last() * M_PI / 180);
}

void TstAngles::reconstructs_data()
{
    const int n = 120;
    QTest::addColumn<QVector<double>>("deg");
    // Steps far from even reconstruct worse when taken as even (small
    // jitter only blurs a little, about as much as the uneven steps cost).
    QTest::addColumn<bool>("farFromEven");
    QTest::newRow("evenly spread") << evenly(n, 180, n) << false;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> jitter(-0.45, 0.45);
    QVector<double> j;
    for (int p = 0; p < n; ++p)
        j << (p + jitter(rng)) * 180.0 / n;
    QTest::newRow("jittered steps") << j << false;
    QTest::newRow("0 to 180 inclusive") << evenly(n + 1, 180, n) << true;
    // Three quarters of the projections crowd the first quarter turn.
    QVector<double> crowd;
    for (int p = 0; p < 90; ++p)
        crowd << 90.0 * p / 90;
    for (int p = 0; p < 30; ++p)
        crowd << 90 + 90.0 * p / 30;
    QTest::newRow("crowded first half") << crowd << true;
    QTest::newRow("full turn, shuffled") << [&] {
        QVector<double> d = evenly(2 * n, 360, 2 * n);
        std::shuffle(d.begin(), d.end(), rng);
        return d;
    }() << true;
}

void TstAngles::reconstructs()
{
    QFETCH(QVector<double>, deg);
    QFETCH(bool, farFromEven);
    ImgDatas even, given, ignored;
    makeScan(even, evenly(120, 180, 120), false);
    makeScan(given, deg, true);
    QCOMPARE(given.anglesDeg, deg);
    makeScan(ignored, deg, false);

    double corrEven, gainEven, corr, gain, corrIgnored, gainIgnored;
    auto s = reconstruct(even);
    QVERIFY(s);
    compare(*s, int(even.count()), corrEven, gainEven);
    s = reconstruct(given);
    QVERIFY(s);
    compare(*s, int(deg.size()), corr, gain);
    s = reconstruct(ignored);
    QVERIFY(s);
    compare(*s, int(deg.size()), corrIgnored, gainIgnored);
    qInfo("correlation %.4f (evenly spread %.4f, angles ignored %.4f), gain %.3f", corr, corrEven, corrIgnored,
          gain);
    QVERIFY2(corrEven > 0.9, qPrintable(QString::number(corrEven)));
    QVERIFY(corr >= corrEven - 0.01);
    // The scale to mu holds whatever the steps.
    QVERIFY2(std::fabs(gain / gainEven - 1) < 0.05, qPrintable(QString::number(gain / gainEven)));
    // The angles matter: taken as evenly spread, uneven steps reconstruct worse.
    if (farFromEven)
        QVERIFY2(corrIgnored < corr - 0.005, qPrintable(QString::number(corrIgnored)));
}

void TstAngles::evenAnglesChangeNothing_data()
{
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("images");
    QTest::addColumn<double>("span");   // of the angles given: span * p / (images - last)
    QTest::addColumn<int>("last");
    QTest::newRow("half turn") << int(AngularRange::Half) << 90 << 180.0 << 0;
    QTest::newRow("full turn") << int(AngularRange::Full) << 90 << 360.0 << 0;
    // The image at 180 degrees is not used; the others are evenly spread.
    QTest::newRow("half turn, ending on 180") << int(AngularRange::HalfInclusive) << 91 << 180.0 << 1;
}

void TstAngles::evenAnglesChangeNothing()
{
    QFETCH(int, range);
    QFETCH(int, images);
    QFETCH(double, span);
    QFETCH(int, last);
    const QString tag = QString::number(range);
    ImgDatas without, with;
    makeScan(without, evenly(images, span, images - last), false);
    makeScan(with, evenly(images, span, images - last), true);
    QCOMPARE(with.anglesDeg.size(), images);
    QVERIFY(reconstruct(without, "without" + tag + ".dat", AngularRange(range)));
    QVERIFY(reconstruct(with, "with" + tag + ".dat", AngularRange(range)));
    QFile a(tmp.filePath("without" + tag + "-00001.dat")), b(tmp.filePath("with" + tag + "-00001.dat"));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray bytes = a.readAll();
    QVERIFY(bytes.size() > 1000);
    QVERIFY(bytes == b.readAll());
}

void TstAngles::sinogramRowsByAngle_data()
{
    QTest::addColumn<QVector<double>>("deg");
    QTest::addColumn<QVector<int>>("rows");   // -1 - p: projection p mirrored
    QTest::newRow("no angles") << QVector<double>() << QVector<int>{0, 1, 2, -1, -2, -3};
    QTest::newRow("even, shuffled") << QVector<double>{90, 0, 135, 45} << QVector<int>{1, 3, 0, 2, -2, -4, -1, -3};
    QTest::newRow("uneven") << QVector<double>{0, 10, 100} << QVector<int>{0, 2, 2, -1, -3, -3};
    QTest::newRow("full turn") << QVector<double>{0, 120, 240} << QVector<int>{0, -3, 1, -1, 2, -2};
}

// The picture of the sinogram runs over the full turn by angle, each row from
// the projection nearest its angle, mirrored for the one half a turn away.
void TstAngles::sinogramRowsByAngle()
{
    QFETCH(QVector<double>, deg);
    QFETCH(QVector<int>, rows);
    HSgm h;
    const int nth = int(rows.size() / 2);
    h.resize(3, nth);
    for (int p = 0; p < nth; ++p)
        for (int j = 0; j < 3; ++j)
            h.intensityRow(p)[j] = 10 * p + j;
    for (double d : deg)
        h.theta.push_back(d * M_PI / 180);
    const std::vector<int> got = sinogramRows(h);
    QCOMPARE(QVector<int>(got.begin(), got.end()), rows);
    for (int y = 0; y < rows.size(); ++y) {
        const int p = rows[y] >= 0 ? rows[y] : -1 - rows[y];
        double v = 0;
        QVERIFY(sinogramValueAt(h, 0, y, v));
        QCOMPARE(v, rows[y] >= 0 ? 10.0 * p : 10.0 * p + 2);
    }
}

QTEST_GUILESS_MAIN(TstAngles)
#include "tst_angles.moc"
