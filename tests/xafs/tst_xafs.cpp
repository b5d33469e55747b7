// Energy stacks, normalisation and maps against spectra whose edge and jump
// are known exactly; stacks with faulty files keep the rest.
#include "CtFiles.h"
#include "Phantom.h"
#include "TiffWriter.h"
#include "XafsAlign.h"
#include "XafsMaps.h"
#include "XafsNormalize.h"
#include "XafsSession.h"
#include "XafsStack.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cmath>
#include <random>

namespace {
// A XANES scan: 15 eV steps below, 2 eV across the edges, 15-20 eV above.
std::vector<double> grid()
{
    std::vector<double> e{7040, 7055, 7070, 7085, 7095};
    for (double x = 7100; x <= 7136; x += 2)
        e.push_back(x);
    for (double x : {7145, 7160, 7180, 7200, 7220})
        e.push_back(x);
    return e;
}

// Two discs of absorber with different edges and amounts in an empty slice.
struct Scene
{
    int n = 40;
    double edgeA = 7112, edgeB = 7122, amountA = 1.0, amountB = 0.6;
    int region(int x, int z) const
    {
        if ((x - 12) * (x - 12) + (z - 20) * (z - 20) <= 25)
            return 1;
        if ((x - 28) * (x - 28) + (z - 20) * (z - 20) <= 25)
            return 2;
        return 0;
    }
    double mu(int x, int z, double e) const
    {
        switch (region(x, z)) {
        case 1: return amountA * Phantom::edgeAbsorber(e, edgeA);
        case 2: return amountB * Phantom::edgeAbsorber(e, edgeB);
        }
        return 0.0;
    }
};

std::vector<double> image(const Scene& s, double e, double noise, std::mt19937& g)
{
    std::normal_distribution<double> d(0.0, noise > 0 ? noise : 1.0);
    std::vector<double> v(size_t(s.n) * size_t(s.n));
    for (int z = 0; z < s.n; ++z)
        for (int x = 0; x < s.n; ++x)
            v[size_t(z) * size_t(s.n) + size_t(x)] = s.mu(x, z, e) + (noise > 0 ? noise * d(g) : 0.0);
    return v;
}

QString name(double e, const QString& suffix = "dat")
{
    return QString("Fe-%1_%2keV-00007.%3").arg(int(e) / 1000).arg(int(e) % 1000, 3, 10, QChar('0')).arg(suffix);
}

// One data file per energy of the scene into dir.
bool writeScene(const QString& dir, const Scene& s, const std::vector<double>& energies, double noise = 0)
{
    std::mt19937 g(5);
    for (double e : energies) {
        const std::vector<double> v = image(s, e, noise, g);
        if (!CtFiles::saveData(dir + "/" + name(e), v.data(), s.n, 0, 0, s.n, s.n))
            return false;
    }
    return true;
}

// A data file whose header asks for 1 GB of floats.
QByteArray huge()
{
    return "#ZUVO-CTImg\n# Range_X0       : 0\n# Range_Y0       : 0\n# Range_X1       : 16000\n"
           "# Range_Y1       : 16000\n# sx,sy, ex,ey   : 0\t0\t16000\t16000\n0\t0\t1\n";
}

bool writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}
} // namespace

class TstXafs : public QObject
{
    Q_OBJECT
private slots:
    void normalisationFindsEdgeAndJump_data();
    void normalisationFindsEdgeAndJump();
    void unusableRangesAndSpectraAreRefused_data();
    void unusableRangesAndSpectraAreRefused();
    void e0MethodsFindTheEdge_data();
    void e0MethodsFindTheEdge();
    void thinRangesAreNamedWithTheirEnergies();
    void shiftsBetweenEnergiesAreMeasured_data();
    void shiftsBetweenEnergiesAreMeasured();
    void faultyFilesAreLeftOutByName_data();
    void faultyFilesAreLeftOutByName();
    void floatTiffsTakeTheirRegionFromTheDescription();
    void mapsAreThePixelArithmetic();
    void exportsAreWholeAndListedInTheReport();
};

void TstXafs::normalisationFindsEdgeAndJump_data()
{
    QTest::addColumn<double>("edge");
    QTest::addColumn<double>("curve");   // quadratic term added above the edge, per eV^2
    QTest::addColumn<int>("order");
    QTest::newRow("edge on a grid point") << 7112.0 << 0.0 << 1;
    QTest::newRow("edge between grid points") << 7117.0 << 0.0 << 1;
    QTest::newRow("second state, quadratic fit") << 7122.0 << 0.0 << 2;
    QTest::newRow("curved post-edge, quadratic fit") << 7112.0 << -4e-6 << 2;
}

void TstXafs::normalisationFindsEdgeAndJump()
{
    QFETCH(double, edge);
    QFETCH(double, curve);
    QFETCH(int, order);
    const std::vector<double> e = grid();
    std::vector<double> mu;
    for (double x : e) {
        const double above = x > edge ? curve * (x - edge) * (x - edge) : 0.0;
        mu.push_back(Phantom::edgeAbsorber(x, edge) + above);
    }
    XafsRanges r;
    r.postOrder = order;
    XafsNormalize fit(r);
    QVERIFY2(fit.fit(e.data(), mu.data(), int(e.size())), qPrintable(fit.why()));
    QVERIFY2(std::fabs(fit.e0 - edge) <= 1.0, qPrintable(QString::number(fit.e0)));
    // 0.4 - 0.1 at the edge, where (edge / E)^3 is 1.
    QVERIFY2(std::fabs(fit.jump - 0.3) <= 0.003, qPrintable(QString::number(fit.jump)));
    const std::vector<double> norm = fit.normalised(e.data(), mu.data(), int(e.size()));
    QVERIFY(std::fabs(norm.front()) < 0.01);
    // Above the edge the normalised spectrum keeps the (edge / E)^3 fall.
    QVERIFY(std::fabs(norm.at(size_t(std::find(e.begin(), e.end(), 7145.0) - e.begin())) - 1.0) < 0.05);
}

void TstXafs::unusableRangesAndSpectraAreRefused_data()
{
    QTest::addColumn<QList<double>>("ranges");   // pre1 pre2 post1 post2
    QTest::addColumn<int>("points");             // first points of the grid used
    QTest::addColumn<QString>("message");
    QTest::newRow("ranges not rising") << QList<double>{-15, -60, 20, 100} << 29 << "fit ranges must rise";
    QTest::newRow("overlapping ranges") << QList<double>{-60, 30, 20, 100} << 29 << "fit ranges must rise";
    QTest::newRow("pre-edge range between points") << QList<double>{-200, -190, 20, 100} << 29
                                                   << "fewer than 2 energies in the pre-edge range";
    QTest::newRow("scan ends before the post-edge") << QList<double>{-60, -15, 20, 100} << 14
                                                    << "fewer than 2 energies in the post-edge range";
    QTest::newRow("four energies") << QList<double>{-60, -15, 20, 100} << 4 << "too few for a normalisation";
}

void TstXafs::unusableRangesAndSpectraAreRefused()
{
    QFETCH(QList<double>, ranges);
    QFETCH(int, points);
    QFETCH(QString, message);
    const std::vector<double> e = grid();
    std::vector<double> mu;
    for (double x : e)
        mu.push_back(Phantom::edgeAbsorber(x, 7112));
    XafsRanges r;
    r.pre1 = ranges[0];
    r.pre2 = ranges[1];
    r.post1 = ranges[2];
    r.post2 = ranges[3];
    XafsNormalize fit(r);
    QVERIFY(!fit.fit(e.data(), mu.data(), points));
    QVERIFY2(fit.why().contains(message), qPrintable(fit.why()));
}

namespace {
// A rounded step of height h at edge, width w (eV), without long tails.
double step(double e, double edge, double w, double h)
{
    return h * 0.5 * (1.0 + std::erf((e - edge) / w));
}
} // namespace

void TstXafs::e0MethodsFindTheEdge_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("shape");
    QTest::addColumn<double>("gridStep");
    QTest::addColumn<double>("truth");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<bool>("questionable");
    // A metal's edge: a sharp first rise, then a broader and larger one 8 eV higher.
    QTest::newRow("derivative, metal on 1 eV") << "derivative" << "metal" << 1.0 << 7112.0 << 0.5 << false;
    QTest::newRow("smoothed misses the metal's first rise") << "smoothed" << "metal" << 1.0 << 7120.0 << 1.0 << true;
    QTest::newRow("half-jump, metal on 1 eV") << "half-jump" << "metal" << 1.0 << 7118.8 << 0.5 << false;
    QTest::newRow("derivative, smooth edge on 0.5 eV") << "derivative" << "smooth" << 0.5 << 7112.3 << 0.1 << false;
    // Half a step either way is all a coarse grid can tell.
    QTest::newRow("half-jump, smooth edge on 15 eV") << "half-jump" << "smooth" << 15.0 << 7112.3 << 7.5 << false;
    QTest::newRow("derivative, smooth edge on 15 eV") << "derivative" << "smooth" << 15.0 << 7112.3 << 7.5 << false;
    QTest::newRow("fixed") << "fixed" << "smooth" << 2.0 << 7110.0 << 0.0 << false;
    QTest::newRow("two equal rises are questionable") << "derivative" << "double" << 1.0 << 7112.0 << 0.5 << true;
}

void TstXafs::e0MethodsFindTheEdge()
{
    QFETCH(QString, method);
    QFETCH(QString, shape);
    QFETCH(double, gridStep);
    QFETCH(double, truth);
    QFETCH(double, tolerance);
    QFETCH(bool, questionable);
    std::vector<double> e, mu;
    for (double x = 7000; x <= 7300; x += gridStep) {
        e.push_back(x);
        double m = 0.2 - 1e-4 * (x - 7000);
        if (shape == "metal")
            m += step(x, 7112, 0.5, 0.3) + step(x, 7120, 3, 0.7);
        else if (shape == "double")
            m += step(x, 7112, 1, 0.5) + step(x, 7127, 1, 0.5);
        else
            m += step(x, 7112.3, 2, 1.0);
        mu.push_back(m);
    }
    XafsRanges r;
    QVERIFY(XafsRanges::methodOf(method, r.e0Method));
    r.fixedE0 = 7110;
    r.post1 = 40;
    r.post2 = 180;
    XafsNormalize fit(r);
    QVERIFY2(fit.fit(e.data(), mu.data(), int(e.size())), qPrintable(fit.why()));
    QVERIFY2(std::fabs(fit.e0 - truth) <= tolerance + 1e-9, qPrintable(QString::number(fit.e0, 'f', 3)));
    QCOMPARE(fit.questionable, questionable);
    // A sensible jump whichever the method (the ranges follow E0).
    QVERIFY2(std::fabs(fit.jump - 1.0) < 0.05, qPrintable(QString::number(fit.jump)));
}

void TstXafs::thinRangesAreNamedWithTheirEnergies()
{
    // The scan's post-edge holds 7145 and 7160 eV from E0 + 30 on.
    const std::vector<double> e = {7040, 7055, 7070, 7085, 7095, 7100, 7105, 7110, 7115, 7120, 7130, 7145, 7160};
    std::vector<double> mu;
    for (double x : e)
        mu.push_back(Phantom::edgeAbsorber(x, 7112));
    XafsRanges r;
    r.post1 = 30;
    XafsNormalize fit(r);
    QVERIFY2(fit.fit(e.data(), mu.data(), int(e.size())), qPrintable(fit.why()));
    QVERIFY2(fit.warning.contains("post-edge range") && fit.warning.contains("holds 2 energies (7145, 7160 eV)"),
             qPrintable(fit.warning));
    QVERIFY(!fit.warning.contains("pre-edge"));
    r.post1 = 15;
    XafsNormalize wide(r);
    QVERIFY(wide.fit(e.data(), mu.data(), int(e.size())));
    QVERIFY(wide.warning.isEmpty());
}

namespace {
// Absorbance of a projection of blobs seen shifted by (dx, dz), the second
// kind of blob `contrast` times as dark (an edge crossed), counted with
// Poisson noise at i0 counts (0: none).
std::vector<float> projection(int w, int h, double dx, double dz, double contrast, double i0, unsigned seed)
{
    std::mt19937 layout(42), noise(seed);
    std::uniform_real_distribution<double> u(0, 1);
    struct Blob { double x, z, s, a; bool edge; };
    std::vector<Blob> blobs;
    for (int k = 0; k < 40; ++k)
        blobs.push_back({8 + u(layout) * (w - 16), 8 + u(layout) * (h - 16), 1.5 + 4 * u(layout), 0.1 + 0.4 * u(layout), k % 2 == 1});
    std::vector<float> v(size_t(w) * size_t(h));
    for (int z = 0; z < h; ++z)
        for (int x = 0; x < w; ++x) {
            double p = 0;
            for (const Blob& b : blobs) {
                const double rx = x - dx - b.x, rz = z - dz - b.z;
                p += b.a * (b.edge ? contrast : 1.0) * std::exp(-(rx * rx + rz * rz) / (2 * b.s * b.s));
            }
            if (i0 > 0) {
                std::poisson_distribution<int> counts(i0 * std::exp(-p));
                p = -std::log(std::max(1, counts(noise)) / i0);
            }
            v[size_t(z) * size_t(w) + size_t(x)] = float(p);
        }
    return v;
}
} // namespace

void TstXafs::shiftsBetweenEnergiesAreMeasured_data()
{
    QTest::addColumn<double>("i0");          // counts per pixel, 0 for none
    QTest::addColumn<double>("contrast");    // the edge's change of the second absorber
    QTest::addColumn<unsigned>("seed");
    QTest::newRow("no noise, same contrast") << 0.0 << 1.0 << 1u;
    QTest::newRow("I0 20000, across the edge") << 20000.0 << 1.8 << 2u;
    QTest::newRow("I0 20000, below the edge") << 20000.0 << 0.6 << 3u;
}

void TstXafs::shiftsBetweenEnergiesAreMeasured()
{
    QFETCH(double, i0);
    QFETCH(double, contrast);
    QFETCH(unsigned, seed);
    const int w = 96, h = 80;
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> shift(-8, 8);
    const std::vector<float> ref = projection(w, h, 0, 0, 1.0, i0, seed * 7);
    XafsAlign align;
    double worst = 0;
    // Eight energies, each its own random drift; four "angles" each (other noise).
    for (int energy = 0; energy < 8; ++energy) {
        const double dx = shift(g), dz = shift(g);
        std::vector<XafsShift> angles;
        for (int a = 0; a < 4; ++a) {
            XafsShift s;
            QString why;
            QVERIFY2(align.measure(ref.data(), projection(w, h, dx, dz, contrast, i0, seed * 100 + energy * 10 + a).data(), w, h, s, &why),
                     qPrintable(why));
            angles.push_back(s);
        }
        const XafsEnergyShift e = align.combine(7100 + energy, angles);
        worst = std::max({worst, std::fabs(e.dx - dx), std::fabs(e.dz - dz)});
        QVERIFY2(std::fabs(e.dx - dx) <= 0.2 && std::fabs(e.dz - dz) <= 0.2,
                 qPrintable(QString("true %1 %2, measured %3 %4").arg(dx).arg(dz).arg(e.dx).arg(e.dz)));
        QVERIFY(!e.questionable);
    }
    qInfo("largest error %.3f px", worst);
    // Unrelated pictures give no trustworthy shift.
    std::vector<XafsShift> noise;
    for (unsigned a = 0; a < 4; ++a) {
        std::mt19937 r(a);
        std::normal_distribution<float> n(0, 1);
        std::vector<float> x(size_t(w) * size_t(h));
        for (float& v : x)
            v = n(r);
        XafsShift s;
        QVERIFY(align.measure(ref.data(), x.data(), w, h, s, nullptr));
        noise.push_back(s);
    }
    QVERIFY(align.combine(7200, noise).questionable);
}

void TstXafs::faultyFilesAreLeftOutByName_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("energies");      // left in the stack
    QTest::addColumn<QString>("reported");  // in skipped or notes
    const std::vector<double> e = grid();
    const int all = int(e.size());
    QTest::newRow("missing energy") << "missing" << all - 1 << "No file between 7102 and 7106 eV";
    QTest::newRow("file of another size") << "size" << all - 1 << name(7104) + ": 30 x 30 at (0, 0), the stack is 40 x 40";
    QTest::newRow("broken data line") << "broken" << all - 1 << name(7104) + ": line 8 is no \"x z value\" line";
    QTest::newRow("lines missing") << "short" << all - 1 << name(7104) + ": 1599 pixel lines, the region has 1600";
    QTest::newRow("header claims a huge region") << "huge" << all - 1
                                                 << name(7104) + ": " + QString::number(huge().size()) + " bytes cannot hold the 16000 x 16000 pixels";
    QTest::newRow("no energy in the name") << "noenergy" << all << "Fe-00007.dat: no energy in the name";
    QTest::newRow("energy given twice") << "twice" << all << "energy 7104 eV already taken";
}

void TstXafs::faultyFilesAreLeftOutByName()
{
    QFETCH(QString, fault);
    QFETCH(int, energies);
    QFETCH(QString, reported);
    QTemporaryDir d;
    const Scene s;
    const std::vector<double> e = grid();
    QVERIFY(writeScene(d.path(), s, e));
    const QString victim = d.filePath(name(7104));
    QFile f(victim);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray text = f.readAll();
    f.close();
    if (fault == "missing") {
        QVERIFY(QFile::remove(victim));
    } else if (fault == "size") {
        const std::vector<double> small(900, 1.0);
        QVERIFY(CtFiles::saveData(victim, small.data(), 30, 0, 0, 30, 30));
    } else if (fault == "broken") {
        text.replace("\n1\t0\t", "\n1\t0\tx");
        QVERIFY(writeText(victim, text));
    } else if (fault == "short") {
        text.chop(text.size() - text.lastIndexOf('\n', text.size() - 2) - 1);
        QVERIFY(writeText(victim, text));
    } else if (fault == "huge") {
        QVERIFY(writeText(victim, huge()));
    } else if (fault == "noenergy") {
        QVERIFY(writeText(d.filePath("Fe-00007.dat"), text));
    } else if (fault == "twice") {
        QVERIFY(writeText(d.filePath("Fe-7104eV-00007.dat"), text));
    }
    XafsStack st;
    QString why;
    QVERIFY2(st.load(d.path(), "Fe-*.dat", &why), qPrintable(why));
    QCOMPARE(st.count(), energies);
    const QString said = (st.skipped + st.notes).join('\n');
    QVERIFY2(said.contains(reported), qPrintable(said));
    // What is left is analysed as usual.
    XafsSession session;
    QVERIFY(session.loadStack(d.path(), "Fe-*.dat", &why));
    XafsSpectrum sp;
    XafsNormalize fit;
    QVERIFY2(session.spectrum(XafsRoi::rect(9, 17, 16, 24), sp, fit, &why), qPrintable(why));
    QCOMPARE(sp.pixels, 49);
    QVERIFY(std::fabs(fit.e0 - s.edgeA) <= 2.0);
    QVERIFY(std::fabs(fit.jump - 0.3) < 0.01);
}

void TstXafs::floatTiffsTakeTheirRegionFromTheDescription()
{
    QTemporaryDir d;
    const std::vector<double> e{7100, 7110, 7120};
    for (double x : e) {
        const std::vector<float> v(20 * 10, float(x - 7000));
        QVERIFY(writeFloatTiff(d.filePath(name(x, "tif")), v.data(), 20, 10,
                               "ZUVO-CTImg slice=7 x0=30 z0=45 width=20 height=10 image=100 projections=90", nullptr));
    }
    XafsStack st;
    QString why;
    QVERIFY2(st.load(d.path(), "*.tif", &why), qPrintable(why));
    QCOMPARE(st.count(), 3);
    QCOMPARE(st.x0, 30LL);
    QCOMPARE(st.z0, 45LL);
    QCOMPARE(st.circleR, 50.0);
    const XafsSpectrum sp = st.spectrum(XafsRoi::pixel(35.5, 47.2));
    QCOMPARE(sp.pixels, 1);
    QCOMPARE(sp.mu, (std::vector<double>{100, 110, 120}));
    // Outside the stored region there is nothing.
    QCOMPARE(st.spectrum(XafsRoi::rect(0, 0, 30, 45)).pixels, 0);
}

void TstXafs::mapsAreThePixelArithmetic()
{
    const Scene s;
    const std::vector<double> e = grid();
    std::mt19937 g(11);
    std::vector<float> values;
    for (double x : e)
        for (double v : image(s, x, 0.01, g))
            values.push_back(float(v));
    XafsStack st;
    QString why;
    QVERIFY2(st.setImages(e, s.n, s.n, values, &why), qPrintable(why));
    XafsRanges r;
    const double threshold = 0.1;
    const XafsMaps m = XafsMaps::compute(st, r, threshold, 2);
    QCOMPARE(m.width, s.n);
    int checked = 0, masked = 0;
    for (int z = 0; z < s.n; ++z)
        for (int x = 0; x < s.n; ++x) {
            const size_t at = size_t(z) * size_t(s.n) + size_t(x);
            if (!st.inCircle(x, z)) {
                QCOMPARE(m.jump[at], 0.0f);
                QCOMPARE(m.mask[at], quint8(0));
                continue;
            }
            const XafsSpectrum sp = st.spectrum(XafsRoi::pixel(x + 0.5, z + 0.5));
            XafsNormalize fit(r);
            if (!fit.fit(sp.energy.data(), sp.mu.data(), int(sp.energy.size())))
                continue;
            QCOMPARE(m.jump[at], float(fit.jump));
            QCOMPARE(m.mask[at] != 0, fit.jump >= threshold);
            QCOMPARE(m.mask[at] == 2, fit.jump >= threshold && fit.questionable);
            QCOMPARE(m.e0[at], m.mask[at] ? float(fit.e0) : 0.0f);
            masked += m.mask[at];
            ++checked;
            if (s.region(x, z) == 1 && m.mask[at]) {
                QVERIFY(std::fabs(m.e0[at] - s.edgeA) <= 2.0);
            } else if (s.region(x, z) == 2 && m.mask[at]) {
                QVERIFY(std::fabs(m.e0[at] - s.edgeB) <= 2.0);
            }
        }
    QCOMPARE(checked, m.fitted);
    // Both discs (81 pixels each) pass the threshold, the empty slice does not.
    QCOMPARE(masked, 162);
}

void TstXafs::exportsAreWholeAndListedInTheReport()
{
    QTemporaryDir d;
    const Scene s;
    QVERIFY(writeScene(d.path(), s, grid(), 0.002));
    XafsSession session;
    QString why;
    QVERIFY(session.loadStack(d.path(), "Fe-*.dat", &why));
    session.setThreshold(0.1);
    const QString out = d.filePath("out");
    QVERIFY2(session.exportSpectrum(XafsRoi::circle(28, 20, 4), out + "/b.csv", &why), qPrintable(why));
    QVERIFY2(session.exportSpectrum(XafsRoi::circle(28, 20, 4), out + "/b.xdi", &why), qPrintable(why));
    QVERIFY2(session.exportMap(XafsMaps::E0, out + "/e0.tif", &why), qPrintable(why));
    QVERIFY2(session.exportMap(XafsMaps::Jump, out + "/jump.png", &why), qPrintable(why));
    // A region outside the slice fails plainly and writes nothing.
    QVERIFY(!session.exportSpectrum(XafsRoi::rect(100, 100, 110, 110), out + "/none.csv", &why));
    QVERIFY(why.contains("no pixel"));
    QVERIFY(!QFile::exists(out + "/none.csv"));

    QFile csv(out + "/b.csv");
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().trimmed().split('\n');
    QCOMPARE(lines.first(), QByteArray("energy_eV,mu,sigma,norm"));
    QCOMPARE(lines.size(), 1 + int(grid().size()));
    const QList<QByteArray> last = lines.last().split(',');
    QCOMPARE(last.at(0).toDouble(), 7220.0);
    QVERIFY(std::fabs(last.at(3).toDouble() - 1.0) < 0.05);

    QFile xdi(out + "/b.xdi");
    QVERIFY(xdi.open(QIODevice::ReadOnly));
    const QByteArray x = xdi.readAll();
    QVERIFY(x.startsWith("# XDI/1.0 Zuvo2/"));
    const int at = x.indexOf("# Scan.edge_energy: ");
    QVERIFY(at > 0);
    QVERIFY(std::fabs(x.mid(at + 20, 12).split(' ').first().toDouble() - s.edgeB) <= 2.0);

    QImage png(out + "/jump.png");
    QCOMPARE(png.size(), QSize(s.n, s.n));
    QFile rep(out + "/xafs-run.json");
    QVERIFY(rep.open(QIODevice::ReadOnly));
    const QJsonObject o = QJsonDocument::fromJson(rep.readAll()).object();
    QCOMPARE(o.value("written").toArray().size(), 4);
    QCOMPARE(o.value("failures").toArray().size(), 1);
    QCOMPARE(o.value("energies").toArray().size(), int(grid().size()));
    QCOMPARE(QDir(out).entryList(QDir::Files).size(), 5);
}

QTEST_GUILESS_MAIN(TstXafs)
#include "tst_xafs.moc"
