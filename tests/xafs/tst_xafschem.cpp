// Chemistry from energy stacks: linear-combination fits against measured
// Fe(II) and Fe(III) spectra mixed in known fractions, principal components
// and classes of regions of known spectra, reference files and XDI headers,
// and bad input that fails without writing.
#include "XafsClusters.h"
#include "XafsCommands.h"
#include "XafsLcf.h"
#include "XafsPca.h"
#include "XafsReference.h"
#include "XafsSession.h"
#include "XafsStack.h"

#include "CtFiles.h"
#include "FbpKernel.h"
#include "SgmGeom.h"
#include "TiffPage.h"

#include <QProcess>
#include <QtTest>

#include <cmath>
#include <random>

namespace {
QString dataFile(const char* name)
{
    return QStringLiteral(ZUVO2_SOURCE_DIR "/tests/xafs/data/") + QLatin1String(name);
}

// The stack's energies: a XANES scan, 15 eV below, 2 eV across, 15-20 eV above.
std::vector<double> grid()
{
    std::vector<double> e{7040, 7055, 7070, 7085, 7095};
    for (double x = 7100; x <= 7136; x += 2)
        e.push_back(x);
    for (double x : {7145, 7160, 7180, 7200, 7220})
        e.push_back(x);
    return e;
}

// Linear interpolation of a measured spectrum.
double at(const XafsReference& r, double e)
{
    const size_t j = size_t(std::upper_bound(r.energy.begin(), r.energy.end(), e) - r.energy.begin());
    const size_t k = std::min(std::max<size_t>(j, 1), r.energy.size() - 1);
    const double t = (e - r.energy[k - 1]) / (r.energy[k] - r.energy[k - 1]);
    return r.value[k - 1] + t * (r.value[k] - r.value[k - 1]);
}

// The two states per iron atom: each measured mu over its own edge jump
// (its pre-edge background stays, as the absorber's matter would have it).
struct States
{
    XafsReference feo, fe2o3;
    double jumpFeo = 0, jumpFe2o3 = 0;
    bool load()
    {
        QString why;
        if (!feo.load(dataFile("feo_rt1.xdi"), &why) || !fe2o3.load(dataFile("fe2o3_rt1.xmu"), &why))
            return false;
        XafsNormalize a, b;
        if (!a.fit(feo.energy.data(), feo.value.data(), int(feo.energy.size()))
            || !b.fit(fe2o3.energy.data(), fe2o3.value.data(), int(fe2o3.energy.size())))
            return false;
        jumpFeo = a.jump;
        jumpFe2o3 = b.jump;
        return true;
    }
    // mu of `amount` iron atoms (in jumps), share f of them Fe(II).
    double mu(double e, double amount, double f) const
    {
        return amount * (f * at(feo, e) / jumpFeo + (1 - f) * at(fe2o3, e) / jumpFe2o3);
    }
};

// A w x w slice: the left half holds Fe(II) share fLeft, the right fRight;
// amount 0.5 per pixel, Gaussian noise of sigma.
std::vector<float> slice(const States& s, const std::vector<double>& e, int w, double fLeft, double fRight, double sigma,
                         unsigned seed)
{
    std::mt19937 g(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<float> v;
    for (double x : e)
        for (int j = 0; j < w; ++j)
            for (int i = 0; i < w; ++i)
                v.push_back(float(s.mu(x, 0.5, i < w / 2 ? fLeft : fRight) + sigma * noise(g)));
    return v;
}

bool writeStack(const QString& dir, const std::vector<double>& e, int w, const std::vector<float>& v)
{
    for (size_t k = 0; k < e.size(); ++k) {
        std::vector<double> img(v.begin() + long(k * size_t(w) * size_t(w)), v.begin() + long((k + 1) * size_t(w) * size_t(w)));
        const QString name = QString("Fe-%1_%2keV-00050.dat").arg(int(e[k]) / 1000).arg(int(e[k]) % 1000, 3, 10, QChar('0'));
        if (!CtFiles::saveData(dir + "/" + name, img.data(), w, 0, 0, w, w))
            return false;
    }
    return true;
}

bool run(XafsSession& s, const QString& line, QString* why = nullptr)
{
    XafsCommands::Context x{s};
    Failures::Kind kind;
    return XafsCommands::run(x, BatchCmd(line, 1), &kind, why);
}

double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}
} // namespace

class TstXafsChem : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void referencesReadTheirColumns_data();
    void referencesReadTheirColumns();
    void fractionsOfMeasuredStatesAreFound_data();
    void fractionsOfMeasuredStatesAreFound();
    void fractionsSurviveACtScanWithPoissonNoise_data();
    void fractionsSurviveACtScanWithPoissonNoise();
    void regionFitGivesFractionsWithErrors();
    void classesFollowTheRegionsOfEachSpectrum();
    void badInputFailsTheLineAndWritesNothing_data();
    void badInputFailsTheLineAndWritesNothing();
    void xdiCarriesElementMonoAndUnits();
    void cancelledWorkWritesNothing();
    void headlessToolExitsAsTheReconstructionDoes_data();
    void headlessToolExitsAsTheReconstructionDoes();

private:
    States states;
};

void TstXafsChem::initTestCase()
{
    QVERIFY(states.load());
}

void TstXafsChem::referencesReadTheirColumns_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("normalised");
    QTest::addColumn<double>("firstEnergy");
    QTest::addColumn<double>("firstValue");
    const QByteArray rows = "7000 0.1 9\n7010 0.2 9\n7020 0.9 9\n7030 1.0 9\n7040 1.1 9\n";
    QTest::newRow("xdi mutrans in column 3") << QByteArray("# XDI/1.0\n# Column.1: energy eV\n# Column.2: i0\n# Column.3: mutrans\n#----\n# e i0 mu\n"
                                                           "7000 5 0.1\n7010 5 0.2\n7020 5 0.9\n7030 5 1.0\n7040 5 1.1\n")
                                             << false << 7000.0 << 0.1;
    QTest::newRow("csv header names norm") << QByteArray("energy_eV,mu,sigma,norm\n7000,3,0,0.1\n7010,3,0,0.2\n7020,3,0,0.9\n7030,3,0,1\n7040,3,0,1.1\n")
                                           << true << 7000.0 << 0.1;
    QTest::newRow("xmu comment names the columns") << QByteArray("#%name: x\n#------\n# energy mu i0\n") + rows << false << 7000.0 << 0.1;
    QTest::newRow("bare columns in keV") << QByteArray("7.000 0.1\n7.010 0.2\n7.020 0.9\n7.030 1.0\n7.040 1.1\n") << false << 7000.0 << 0.1;
}

void TstXafsChem::referencesReadTheirColumns()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, normalised);
    QFETCH(double, firstEnergy);
    QFETCH(double, firstValue);
    QTemporaryDir d;
    QFile f(d.filePath("ref.txt"));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
    f.close();
    XafsReference r;
    QString why;
    QVERIFY2(r.load(f.fileName(), &why), qPrintable(why));
    QCOMPARE(r.normalised, normalised);
    QCOMPARE(int(r.energy.size()), 5);
    QCOMPARE(r.energy.front(), firstEnergy);
    QCOMPARE(r.value.front(), firstValue);
}

void TstXafsChem::fractionsOfMeasuredStatesAreFound_data()
{
    QTest::addColumn<double>("fLeft");
    QTest::addColumn<double>("fRight");
    QTest::addColumn<bool>("sumToOne");
    QTest::addColumn<double>("sigma");      // pixel noise, in jumps of the element
    QTest::addColumn<double>("tolerance");  // on the median over each half
    QTest::newRow("pure states") << 1.0 << 0.0 << false << 0.0 << 0.03;
    QTest::newRow("30/70 and 80/20") << 0.3 << 0.8 << false << 0.0 << 0.03;
    QTest::newRow("50/50, sum to one") << 0.5 << 0.5 << true << 0.0 << 0.03;
    QTest::newRow("30/70 and 80/20 with noise") << 0.3 << 0.8 << false << 0.01 << 0.05;
    QTest::newRow("with noise, sum to one") << 0.3 << 0.8 << true << 0.01 << 0.05;
}

void TstXafsChem::fractionsOfMeasuredStatesAreFound()
{
    QFETCH(double, fLeft);
    QFETCH(double, fRight);
    QFETCH(bool, sumToOne);
    QFETCH(double, sigma);
    QFETCH(double, tolerance);
    const std::vector<double> e = grid();
    const int w = 32;
    XafsStack st;
    QString why;
    QVERIFY(st.setImages(e, w, w, slice(states, e, w, fLeft, fRight, sigma, 3), &why));
    XafsRanges r;
    XafsLcf lcf;
    QVERIFY2(lcf.prepare({states.feo, states.fe2o3}, r, XafsLcfWindow(), sumToOne, e, &why), qPrintable(why));
    const XafsLcfMaps m = XafsLcfMaps::compute(st, 0.2, lcf, 2);
    QVERIFY(m.fitted > 500);
    std::vector<double> left[2], right[2], sums;
    for (int j = 0; j < w; ++j)
        for (int i = 0; i < w; ++i) {
            const size_t p = size_t(j) * size_t(w) + size_t(i);
            if (m.sum[p] == 0.0f)
                continue;
            for (int a = 0; a < 2; ++a)
                (i < w / 2 ? left : right)[a].push_back(m.fraction[size_t(a)][p]);
            sums.push_back(m.sum[p]);
            QVERIFY(m.fraction[0][p] >= 0 && m.fraction[1][p] >= 0);
            QVERIFY(m.rFactor[p] >= 0 && m.rFactor[p] < (sigma > 0 ? 0.05 : 0.002));
        }
    const double got[4] = {median(left[0]), median(left[1]), median(right[0]), median(right[1])};
    const double want[4] = {fLeft, 1 - fLeft, fRight, 1 - fRight};
    // Per pixel: the largest error of the middle 90 %.
    std::vector<double> err;
    for (size_t p = 0; p < left[0].size(); ++p)
        err.push_back(std::fabs(left[0][p] - fLeft));
    std::sort(err.begin(), err.end());
    qInfo("Fe(II) left %.4f (true %.2f), right %.4f (true %.2f); 90 %% of left pixels within %.4f", got[0], fLeft, got[2],
          fRight, err[err.size() * 9 / 10]);
    for (int k = 0; k < 4; ++k)
        QVERIFY2(std::fabs(got[k] - want[k]) <= tolerance,
                 qPrintable(QString("fraction %1: %2, true %3").arg(k).arg(got[k]).arg(want[k])));
    if (sumToOne)
        QVERIFY(std::fabs(median(sums) - 1.0) < 1e-4);
}

void TstXafsChem::fractionsSurviveACtScanWithPoissonNoise_data()
{
    QTest::addColumn<double>("i0");
    QTest::addColumn<bool>("sumToOne");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("I0 20000") << 20000.0 << false << 0.05;
    QTest::newRow("I0 20000, sum to one") << 20000.0 << true << 0.05;
    QTest::newRow("no noise") << 0.0 << false << 0.03;
}

// Two discs of iron in known Fe(II) shares (0.3 left, 0.8 right) in a weakly
// absorbing matrix, scanned at every energy (90 projections, counts
// Poisson-distributed about I0 exp(-line integral); I0 0: exact counts),
// reconstructed by filtered back-projection, and fitted pixel by pixel.
void TstXafsChem::fractionsSurviveACtScanWithPoissonNoise()
{
    QFETCH(double, i0);
    QFETCH(bool, sumToOne);
    QFETCH(double, tolerance);
    struct Disc { double x, z, r; double f; };
    const Disc discs[] = {{-11, 0, 7, 0.3}, {11, 0, 7, 0.8}};
    const double matrixR = 24, amount = 0.06;  // iron in jumps per pixel
    const int width = 65, nProj = 90;
    const double cor = 32;
    const SgmGeom g = makeSgmGeom(true, width, cor);
    const int n = g.nx - g.nx % 2;
    const std::vector<double> e = grid();
    std::mt19937 gen(11);
    FbpKernel k;
    k.setup(n, nProj);
    std::vector<float> values;
    std::vector<double> line(size_t(width) + 1), sampled(size_t(g.nx)), absorb(size_t(g.nx));
    auto chord = [](double r, double d) { return d * d < r * r ? 2 * std::sqrt(r * r - d * d) : 0.0; };
    for (double energy : e) {
        const double matrixMu = 0.004 * std::pow(7112.0 / energy, 3);
        const double iron[2] = {states.mu(energy, amount, discs[0].f), states.mu(energy, amount, discs[1].f)};
        for (int p = 0; p < nProj; ++p) {
            const double th = M_PI * p / nProj;
            for (int x = 0; x < width; ++x) {
                const double u = x - cor;
                double P = matrixMu * chord(matrixR, u);
                for (int d = 0; d < 2; ++d)
                    P += iron[d] * chord(discs[d].r, u - (discs[d].x * std::cos(th) - discs[d].z * std::sin(th)));
                const double mean = (i0 > 0 ? i0 : 1e6) * std::exp(-P);
                line[size_t(x)] = i0 > 0 ? double(std::poisson_distribution<long>(mean)(gen)) : mean;
            }
            sampleLine(line.data(), sampled.data(), g);
            std::vector<double> beam(size_t(g.nx), i0 > 0 ? i0 : 1e6);
            absorbanceRow(beam.data(), nullptr, sampled.data(), absorb.data(), g.nx);
            k.transform(absorb.data(), p);
        }
        for (int p = 0; p < nProj; ++p)
            k.filter(p);
        k.resetImage(n);
        k.backProjectAll(0, n, 0, n);
        for (int z = 0; z < n; ++z)
            for (int x = 0; x < n; ++x)
                values.push_back(float(k.imageRow(z)[x] / (2.0 * nProj)));
    }
    XafsStack st;
    QString why;
    QVERIFY2(st.setImages(e, n, n, values, &why), qPrintable(why));
    XafsRanges r;
    XafsLcf lcf;
    QVERIFY2(lcf.prepare({states.feo, states.fe2o3}, r, XafsLcfWindow(), sumToOne, e, &why), qPrintable(why));
    // Half the iron's jump keeps the matrix out.
    const XafsLcfMaps m = XafsLcfMaps::compute(st, 0.5 * amount, lcf, 2);
    const double h = n / 2.0;
    for (const Disc& d : discs) {
        std::vector<double> f2, f3;
        for (int z = 0; z < n; ++z)
            for (int x = 0; x < n; ++x)
                if (std::hypot(x - h - d.x, z - h - d.z) < d.r - 2) {
                    const size_t at = size_t(z) * size_t(n) + size_t(x);
                    QVERIFY2(m.sum[at] > 0, qPrintable(QString("pixel (%1, %2) not fitted").arg(x).arg(z)));
                    f2.push_back(m.fraction[0][at]);
                    f3.push_back(m.fraction[1][at]);
                }
        const double got2 = median(f2), got3 = median(f3);
        std::vector<double> err;
        for (double v : f2)
            err.push_back(std::fabs(v - d.f));
        std::sort(err.begin(), err.end());
        qInfo("CT scan, I0 %g: Fe(II) %.4f (true %.2f), Fe(III) %.4f (true %.2f) over %d pixels; 90 %% of pixels within %.4f",
              i0, got2, d.f, got3, 1 - d.f, int(f2.size()), err[err.size() * 9 / 10]);
        QVERIFY2(std::fabs(got2 - d.f) <= tolerance, qPrintable(QString::number(got2)));
        QVERIFY2(std::fabs(got3 - (1 - d.f)) <= tolerance, qPrintable(QString::number(got3)));
    }
}

void TstXafsChem::regionFitGivesFractionsWithErrors()
{
    QTemporaryDir d;
    const std::vector<double> e = grid();
    const int w = 24;
    QVERIFY(writeStack(d.path(), e, w, slice(states, e, w, 0.3, 0.8, 0.01, 9)));
    XafsSession s;
    QString why;
    QVERIFY2(run(s, "xafs_stack_load " + d.path() + " Fe-*.dat", &why), qPrintable(why));
    QVERIFY2(run(s, "xafs_references_load " + dataFile("feo_rt1.xdi") + " " + dataFile("fe2o3_rt1.xmu"), &why), qPrintable(why));
    const QString out = d.filePath("out/left.csv");
    QVERIFY2(run(s, QString("xafs_lcf_roi 2 2 10 22 %1").arg(out), &why), qPrintable(why));
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines[0], QByteArray("reference,fraction,sigma"));
    const QList<QByteArray> feo = lines[1].split(','), fe2o3 = lines[2].split(',');
    QCOMPARE(feo[0], QByteArray("feo_rt1"));
    // 160 pixels averaged: the region's fraction is close and its error small but not zero.
    QVERIFY2(std::fabs(feo[1].toDouble() - 0.3) < 0.02, lines[1].constData());
    QVERIFY2(std::fabs(fe2o3[1].toDouble() - 0.7) < 0.02, lines[2].constData());
    QVERIFY(feo[2].toDouble() > 0 && feo[2].toDouble() < 0.02);
    QVERIFY(lines.contains("energy_eV,norm,fit,feo_rt1,fe2o3_rt1"));
    // The map directory gets one TIFF per reference, the sum and the R-factor.
    QVERIFY2(run(s, "xafs_lcf_map " + d.filePath("maps"), &why), qPrintable(why));
    QCOMPARE(QDir(d.filePath("maps")).entryList({"*.tif"}, QDir::Files, QDir::Name),
             QStringList({"lcf_fe2o3_rt1.tif", "lcf_feo_rt1.tif", "lcf_rfactor.tif", "lcf_sum.tif"}));
    TiffPage page;
    QVERIFY(page.open(d.filePath("maps/lcf_feo_rt1.tif"), 0));
    QCOMPARE(int(page.layout().width), w);
}

void TstXafsChem::classesFollowTheRegionsOfEachSpectrum()
{
    const std::vector<double> e = grid();
    const int w = 24;
    XafsStack st;
    QString why;
    QVERIFY(st.setImages(e, w, w, slice(states, e, w, 1.0, 0.0, 0.005, 4), &why));
    XafsSpectraTable t;
    QVERIFY2(XafsSpectraTable::gather(st, XafsRanges(), 0.2, t, &why, 2), qPrintable(why));
    XafsPca p;
    QVERIFY(p.compute(t, &why));
    // Two shapes: one component carries nearly all the variance.
    QVERIFY2(p.explained(0) > 0.9, qPrintable(QString::number(p.explained(0))));
    XafsClusters c;
    QVERIFY2(c.compute(t, p, 2, w, w, &why), qPrintable(why));
    int wrong = 0;
    const float leftClass = c.classMap[size_t(w / 2) * size_t(w) + 3];
    for (size_t r = 0; r < t.pixel.size(); ++r) {
        const int i = int(t.pixel[r] % size_t(w));
        wrong += (c.classMap[t.pixel[r]] == leftClass) != (i < w / 2);
    }
    QCOMPARE(wrong, 0);
    QCOMPARE(c.count[0] + c.count[1], int(t.pixel.size()));
    // Each class's mean spectrum is its state's normalised spectrum: the
    // Fe(III) edge lies higher, so at 7122 eV Fe(II) has risen further.
    const size_t k7122 = size_t(std::find(e.begin(), e.end(), 7122.0) - e.begin());
    const int fe2 = int(leftClass) - 1;
    QVERIFY(c.meanNorm[size_t(fe2)][k7122] > c.meanNorm[size_t(1 - fe2)][k7122] + 0.1);
}

void TstXafsChem::badInputFailsTheLineAndWritesNothing_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    const QString feo = dataFile("feo_rt1.xdi");
    QTest::newRow("reference short of the window") << "xafs_references_load " + feo + " $short" << "covers";
    QTest::newRow("reference of four points") << "xafs_references_load $four" << "4 points are too few";
    QTest::newRow("same reference twice") << "xafs_references_load " + feo + " " + feo << "identical";
    QTest::newRow("missing reference file") << "xafs_references_load $dir/none.xdi" << "no such file";
    QTest::newRow("more classes than pixels") << "xafs_cluster_map 100000 $dir/out" << "K must be 1 ..";
    QTest::newRow("fit map without references") << "xafs_lcf_map $dir/out" << "no reference spectra";
    QTest::newRow("alignment reference energy not there") << "xafs_align $dir/stack 7777 $dir/out/shifts.csv" << "no energy set at 7777 eV";
    QTest::newRow("window upside down") << "xafs_lcf_window 80 -20" << "LO < HI";
    QTest::newRow("unknown E0 method") << "xafs_e0_method steepest" << "not steepest";
    QTest::newRow("fixed E0 without energy") << "xafs_e0_method fixed" << "needs the energy";
    QTest::newRow("not an element") << "xafs_element Xx K" << "not the symbol";
    QTest::newRow("not an edge") << "xafs_element Fe Q" << "not an absorption edge";
    QTest::newRow("negative d-spacing") << "xafs_mono_d -3.1" << "positive number";
    QTest::newRow("spectrum aimed at a slice of the stack")
        << "xafs_roi_spectrum 0 0 4 4 $dir/stack/Fe-7_040keV-00050.dat" << "is the input";
    QTest::newRow("components aimed at a slice of the stack")
        << "xafs_pca $dir/stack/Fe-7_100keV-00050.dat" << "is the input";
}

void TstXafsChem::badInputFailsTheLineAndWritesNothing()
{
    QFETCH(QString, line);
    QFETCH(QString, message);
    QTemporaryDir d;
    const std::vector<double> e = grid();
    const int w = 16;
    QVERIFY(QDir().mkpath(d.filePath("stack")));
    QVERIFY(writeStack(d.filePath("stack"), e, w, slice(states, e, w, 0.5, 0.5, 0.0, 1)));
    // A measured spectrum cut short at 7150 eV, and one of four points.
    QFile in(dataFile("feo_rt1.xdi")), shortFile(d.filePath("short.xdi")), four(d.filePath("four.csv"));
    QVERIFY(in.open(QIODevice::ReadOnly) && shortFile.open(QIODevice::WriteOnly) && four.open(QIODevice::WriteOnly));
    for (const QByteArray& l : in.readAll().split('\n'))
        if (l.startsWith('#') || l.trimmed().split(' ').first().toDouble() < 7150)
            shortFile.write(l + '\n');
    four.write("energy,mu\n7000,0.1\n7100,0.2\n7200,1.0\n7300,1.1\n");
    shortFile.close();
    four.close();
    line.replace("$short", shortFile.fileName()).replace("$four", four.fileName()).replace("$dir", d.path());
    XafsSession s;
    QString why;
    QVERIFY2(run(s, "xafs_stack_load " + d.filePath("stack") + " Fe-*.dat", &why), qPrintable(why));
    const QStringList before = QDir(d.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    QVERIFY(!run(s, line, &why));
    QVERIFY2(why.contains(message), qPrintable(why));
    QVERIFY2(why.startsWith(line.section(' ', 0, 0) + ", line 1: "), qPrintable(why));
    QCOMPARE(QDir(d.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), before);
    QVERIFY(!QFileInfo::exists(d.filePath("out/clusters.tif")));
    // The slices are still the stack's.
    XafsStack again;
    QVERIFY2(again.load(d.filePath("stack"), "Fe-*.dat", &why) && again.count() == int(e.size()), qPrintable(why));
}

void TstXafsChem::xdiCarriesElementMonoAndUnits()
{
    QTemporaryDir d;
    const std::vector<double> e = grid();
    const int w = 16;
    QVERIFY(writeStack(d.path(), e, w, slice(states, e, w, 0.5, 0.5, 0.0, 1)));
    XafsSession s;
    QString why;
    for (const QString& l : {"xafs_stack_load " + d.path() + " Fe-*.dat", QString("xafs_element Fe K"), QString("xafs_mono_d 3.13553"),
                             "xafs_roi_spectrum 2 2 14 14 " + d.filePath("r.xdi")})
        QVERIFY2(run(s, l, &why), qPrintable(why));
    QFile f(d.filePath("r.xdi"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray x = f.readAll();
    for (const char* want : {"# Element.symbol: Fe\n", "# Element.edge: K\n", "# Mono.d_spacing: 3.13553\n",
                             "# Column.2: mutrans slice_value\n", "# Column.1: energy eV\n"})
        QVERIFY2(x.contains(want), want);
    // The file reads back as a reference, by its normalised column.
    XafsReference r;
    QVERIFY2(r.load(f.fileName(), &why), qPrintable(why));
    QVERIFY(r.normalised);
    QCOMPARE(int(r.energy.size()), int(e.size()));
}

void TstXafsChem::cancelledWorkWritesNothing()
{
    QTemporaryDir d;
    const std::vector<double> e = grid();
    const int w = 16;
    QVERIFY(writeStack(d.path(), e, w, slice(states, e, w, 0.5, 0.5, 0.0, 1)));
    XafsSession s;
    QString why;
    QVERIFY(run(s, "xafs_stack_load " + d.path() + " Fe-*.dat", &why));
    QVERIFY(run(s, "xafs_references_load " + dataFile("feo_rt1.xdi") + " " + dataFile("fe2o3_rt1.xmu"), &why));
    XafsProgress p;
    p.cancel = true;
    XafsCommands::Context x{s, &p};
    Failures::Kind kind;
    for (const QString& line : {QString("xafs_lcf_map %1/maps"), QString("xafs_cluster_map 2 %1/classes"), QString("xafs_pca %1/pca/p.csv")}) {
        QVERIFY(!XafsCommands::run(x, BatchCmd(line.arg(d.path()), 1), &kind, &why));
        QVERIFY2(why.contains("cancelled"), qPrintable(why));
    }
    QVERIFY(!QFileInfo::exists(d.filePath("maps")) && !QFileInfo::exists(d.filePath("classes")) && !QFileInfo::exists(d.filePath("pca")));
}

void TstXafsChem::headlessToolExitsAsTheReconstructionDoes_data()
{
    QTest::addColumn<QStringList>("args");   // $d: the stack's directory
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("written"); // below $d/out
    const QString refs = dataFile("feo_rt1.xdi") + "," + dataFile("fe2o3_rt1.xmu");
    QTest::newRow("chain") << QStringList{"--lcf-map", "$d/out/lcf", "--references-load", refs, "--stack-load", "$d,Fe-*.dat",
                                          "--jump-threshold", "0.2", "--lcf-roi", "2,2,8,14,$d/out/a.csv", "--lcf-roi", "9,2,14,14,$d/out/b.csv"}
                           << 0 << QStringList{"a.csv", "b.csv", "lcf/lcf_feo_rt1.tif", "lcf/lcf_sum.tif"};
    QTest::newRow("a step fails, the others run") << QStringList{"--stack-load", "$d,Fe-*.dat", "--cluster-map", "0,$d/out/c", "--pca", "$d/out/p.csv"}
                                                  << 1 << QStringList{"p.csv"};
    QTest::newRow("no stack") << QStringList{"--stack-load", "$d/none,Fe-*.dat", "--pca", "$d/out/p.csv"} << 1 << QStringList{};
    QTest::newRow("stack missing") << QStringList{"--pca", "$d/out/p.csv"} << 2 << QStringList{};
    QTest::newRow("unknown option") << QStringList{"--stack-load", "$d,Fe-*.dat", "--lcf-mapp", "x"} << 2 << QStringList{};
}

void TstXafsChem::headlessToolExitsAsTheReconstructionDoes()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, written);
    QTemporaryDir d;
    const std::vector<double> e = grid();
    const int w = 16;
    QVERIFY(writeStack(d.path(), e, w, slice(states, e, w, 0.3, 0.8, 0.0, 1)));
    for (QString& a : args)
        a.replace("$d", d.path());
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2-xafs"), args);
    QVERIFY(p.waitForFinished(60000));
    const QByteArray out = p.readAll();
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == exitCode, out.constData());
    for (const QString& f : written)
        QVERIFY2(QFileInfo::exists(d.filePath("out/" + f)), qPrintable(f));
    if (written.isEmpty())
        QVERIFY(!QFileInfo::exists(d.filePath("out")));
    if (exitCode == 0) {
        QFile a(d.filePath("out/a.csv"));
        QVERIFY(a.open(QIODevice::ReadOnly));
        QVERIFY(std::fabs(a.readAll().split('\n')[1].split(',')[1].toDouble() - 0.3) < 0.03);
    }
}

QTEST_GUILESS_MAIN(TstXafsChem)
#include "tst_xafschem.moc"
