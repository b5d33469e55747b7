// The core road of a reconstruction on generated data: files -> image set ->
// sinogram -> filtered back-projection, compared with the phantom's truth.
#include "FbpKernel.h"
#include "HSgm.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "SampleWriter.h"
#include "SgmGeom.h"
#include "SinogramGen.h"

#include <QtTest>
#include <cmath>
#include <memory>
#include <thread>

namespace {
// The set sees I0 and BG through pointers to pointers, as it does in the window.
struct Loaded
{
    Loaded() = default;
    Loaded(Loaded&& o) noexcept : set(std::move(o.set)), i0(o.i0), bg(o.bg)
    {
        o.i0 = o.bg = nullptr;
        set->i0Img = &i0;
        set->bgImg = &bg;
    }
    ~Loaded() { delete i0; delete bg; }
    std::unique_ptr<ImgDatas> set{new ImgDatas};
    ImgData* i0 = nullptr;
    ImgData* bg = nullptr;
};

// Correlation and least-squares gain of rec against truth over the pixels of mask.
void compare(const std::vector<double>& rec, const std::vector<double>& truth,
             const std::vector<bool>& mask, double& corr, double& gain)
{
    double n = 0, sr = 0, st = 0;
    for (size_t i = 0; i < rec.size(); ++i)
        if (mask[i]) { n += 1; sr += rec[i]; st += truth[i]; }
    const double mr = sr / n, mt = st / n;
    double srt = 0, srr = 0, stt = 0;
    for (size_t i = 0; i < rec.size(); ++i)
        if (mask[i]) {
            const double a = rec[i] - mr, b = truth[i] - mt;
            srt += a * b; srr += a * a; stt += b * b;
        }
    corr = srt / std::sqrt(srr * stt);
    gain = srt / stt;
}
} // namespace

class TstSinogramGen : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void phantomSlice_data();
    void phantomSlice();
    void guards_data();
    void guards();
    void concurrentRecordsEqual();

private:
    Loaded load(const SampleWriter& w);
    QTemporaryDir dir;
};

void TstSinogramGen::initTestCase()
{
    QVERIFY(dir.isValid());
}

Loaded TstSinogramGen::load(const SampleWriter& w)
{
    Loaded l;
    const QString base = w.options().outDir + "/";
    for (int p = 0; p < w.options().nProj; ++p)
        l.set->addFile(base + w.seriesName(p, 0));
    l.i0 = loadImgData(base + w.i0Name(0));
    l.bg = loadImgData(base + w.bgName());
    l.set->i0Img = &l.i0;
    l.set->bgImg = &l.bg;
    return l;
}

void TstSinogramGen::phantomSlice_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<double>("corShift");
    QTest::addColumn<double>("minCorr");
    QTest::newRow("vertical axis, true CoR") << true << 0.0 << 0.9;
    QTest::newRow("horizontal axis, true CoR") << false << 0.0 << 0.9;
}

void TstSinogramGen::phantomSlice()
{
    QFETCH(bool, vertical);
    QFETCH(double, corShift);
    QFETCH(double, minCorr);
    SampleOptions o;
    o.outDir = dir.filePath(vertical ? "v" : "h");
    o.width = vertical ? 200 : 24;
    o.height = vertical ? 24 : 200;
    o.nProj = 180;
    o.axisVertical = vertical;
    o.noise = false;
    o.cor = 97.5;
    SampleWriter w(o);
    QVERIFY(w.valid());
    QVERIFY(w.write());
    Loaded l = load(w);
    QCOMPARE(l.set->count(), o.nProj);

    const int slice = int(w.axisCentre());
    double corrs[3];
    const double shifts[3] = {corShift, 0.5, 2.0};
    for (int k = 0; k < 3; ++k) {
        HSgm h;
        genSinogram(*l.set, &h, vertical, w.cor() + shifts[k], slice);
        QVERIFY(h.hasData());
        QCOMPARE(h.nth, o.nProj);
        const int n = h.nx - 1;
        FbpKernel kernel;
        kernel.setup(n, h.nth);
        kernel.resetImage(n);
        for (int p = 0; p < h.nth; ++p)
            kernel.transform(h.absorbRow(p), p);
        for (int p = 0; p < h.nth; ++p)
            kernel.filter(p);
        kernel.backProjectAll(0, n, 0, n);

        const Phantom ph = w.phantom(0);
        const double Y = slice - w.axisCentre();
        std::vector<double> rec, truth;
        std::vector<bool> mask;
        const double hh = n / 2.0;
        for (int z = 0; z < n; ++z)
            for (int x = 0; x < n; ++x) {
                rec.push_back(kernel.imageRow(z)[x] / (2.0 * h.nth));
                truth.push_back(ph.mu(x - hh, Y, z - hh));
                mask.push_back(std::hypot(x - hh, z - hh) < 0.9 * hh);
            }
        double gain;
        compare(rec, truth, mask, corrs[k], gain);
        qInfo("CoR %+.1f: correlation %.4f gain %.3f", shifts[k], corrs[k], gain);
        if (k == 0) {
            QVERIFY2(corrs[0] >= minCorr, qPrintable(QString::number(corrs[0])));
            QVERIFY2(std::fabs(gain - 1) <= 0.2, qPrintable(QString::number(gain)));
        }
    }
    // A wrong centre of rotation gives a visibly worse match.
    QVERIFY2(1 - corrs[1] > 1.3 * (1 - corrs[0]), qPrintable(QString("%1 %2").arg(corrs[0]).arg(corrs[1])));
    QVERIFY(corrs[2] < corrs[1]);
}

void TstSinogramGen::guards_data()
{
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("nx");   // -1: record left as it was
    QTest::newRow("floor 0") << 0.9 << -1;
    QTest::newRow("at the far end") << 32.0 << -1;
    QTest::newRow("within one pixel of the far edge") << 30.5 << 0;
    QTest::newRow("centre") << 16.0 << 29;
    QTest::newRow("NaN") << qQNaN() << -1;
}

void TstSinogramGen::guards()
{
    QFETCH(double, cor);
    QFETCH(int, nx);
    SampleOptions o;
    o.outDir = dir.filePath("g");
    o.width = 32;
    o.height = 8;
    o.nProj = 4;
    o.noise = false;
    SampleWriter w(o);
    QVERIFY(w.valid() && w.write());
    Loaded l = load(w);
    HSgm h;
    h.resize(3, 2);
    h.slice = -7;
    genSinogram(*l.set, &h, true, cor, 4);
    if (nx < 0) {
        QCOMPARE(h.nx, 3);
        QCOMPARE(h.slice, -7);
    } else {
        QCOMPARE(h.nx, nx);
        QCOMPARE(h.hasData(), nx > 0);
        QCOMPARE(h.slice, 4);
    }
}

void TstSinogramGen::concurrentRecordsEqual()
{
    SampleOptions o;
    o.outDir = dir.filePath("c");
    o.width = 64;
    o.height = 24;
    o.nProj = 30;
    SampleWriter w(o);
    QVERIFY(w.valid() && w.write());
    Loaded l = load(w);
    HSgm one;
    genSinogram(*l.set, &one, true, 31.25, 11);
    QVERIFY(one.hasData());
    std::vector<HSgm> recs(4);
    std::vector<std::thread> threads;
    for (auto& r : recs)
        threads.emplace_back([&l, &r] {
            for (int k = 0; k < 20; ++k)
                genSinogram(*l.set, &r, true, 31.25, 11);
        });
    for (auto& t : threads)
        t.join();
    for (const HSgm& r : recs) {
        QCOMPARE(r.absorb, one.absorb);
        QCOMPARE(r.intensity, one.intensity);
    }
}

QTEST_GUILESS_MAIN(TstSinogramGen)
#include "tst_sinogramgen.moc"
