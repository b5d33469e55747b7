// The sinogram panel: records made from the process control values, the
// mirrored picture and its read-out, the CoR field, the Fourier picture, and
// sinograms built from several threads at once.
#include "ColorBar.h"
#include "HSgm.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ProcCtrl.h"
#include "SampleWriter.h"
#include "Sinogram.h"
#include "SinogramImage.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>

namespace {
// An image held as doubles, so tests can feed values no file type carries.
// Lines outside the image read as zeros, as the file readers do.
class MemImg : public ImgData
{
public:
    MemImg(int w, int h, std::function<double(int c, int r)> f) : f(std::move(f))
    {
        width = w;
        height = h;
        ready = true;
    }
    void resetReader() override {}
    bool readProps(const QString&, qint32&, qint32&) override { return true; }
    bool openData() override { return true; }
    double* readRow(int iy, double* out) override
    {
        for (int c = 0; c < width; ++c)
            out[c] = iy >= 0 && iy < height ? f(c, iy) : 0.0;
        return out;
    }
    double* readColumn(int ix, double* out) override
    {
        for (int r = 0; r < height; ++r)
            out[r] = ix >= 0 && ix < width ? f(ix, r) : 0.0;
        return out;
    }
    std::function<double(int, int)> f;
};

MemImg* uniform(int w, int h, double v)
{
    return new MemImg(w, h, [v](int, int) { return v; });
}

// A projection set with its own I0 and BG images, wired as the window does.
struct Set
{
    Set() { set.i0Img = &i0; set.bgImg = &bg; }
    ~Set() { delete i0; delete bg; }
    void add(MemImg* img)
    {
        set.width = img->width;
        set.height = img->height;
        set.imgs.append(img);
    }
    ImgDatas set;
    ImgData* i0 = nullptr;
    ImgData* bg = nullptr;
};

// The panel with its process control panel, connected as the main window does.
struct Panel
{
    Panel(ImgDatas* set, bool vertical, double cor, int slice)
    {
        sgm.procCtrl = &pc;
        sgm.imgs = set;
        QObject::connect(&pc, &ProcCtrl::sliceNoUpdated, &sgm, &Sinogram::sliceNoUpdated);
        QObject::connect(&pc, &ProcCtrl::corUpdated, &sgm, &Sinogram::corUpdated);
        QObject::connect(&pc, &ProcCtrl::rotAxUpdated, &sgm, &Sinogram::rotAxUpdated);
        QObject::connect(&pc, &ProcCtrl::autoUpdateUpdated, &sgm, &Sinogram::autoUpdateUpdated);
        pc.findChild<QRadioButton*>("RotAxV")->setChecked(vertical);
        setUp(vertical, cor, slice);
    }
    void setUp(bool vertical, double cor, int slice)
    {
        pc.rotAxIsV = vertical;
        pc.cor = cor;
        pc.sliceNo = slice;
    }
    ProcCtrl pc;
    Sinogram sgm;
};

constexpr int sampleW = 96;
constexpr int sampleH = 64;
constexpr int sampleProj = 90;
constexpr double sampleCor = 45.5;   // nx 89
} // namespace

class TstSinogram : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void lineOrientation_data();
    void lineOrientation();
    void absorbance_data();
    void absorbance();
    void picture_data();
    void picture();
    void readOut_data();
    void readOut();
    void corField_data();
    void corField();
    void autoUpdate();
    void fourier_data();
    void fourier();
    void stripeInFourierPicture();
    void noRecord_data();
    void noRecord();
    void concurrentRecords();

private:
    QTemporaryDir dir;
    Set sample;
};

void TstSinogram::initTestCase()
{
    QVERIFY(dir.isValid());
    SampleOptions o;
    o.outDir = dir.path();
    o.width = sampleW;
    o.height = sampleH;
    o.nProj = sampleProj;
    o.cor = sampleCor;
    SampleWriter w(o);
    QVERIFY(w.valid() && w.write());
    for (int p = 0; p < sampleProj; ++p)
        QVERIFY(sample.set.addFile(dir.filePath(w.seriesName(p, 0))));
    sample.i0 = loadImgData(dir.filePath(w.i0Name(0)));
    sample.bg = loadImgData(dir.filePath(w.bgName()));
    QVERIFY(sample.i0 && sample.i0->ready && sample.bg && sample.bg->ready);
}

// genSinogram reads row `slice` for a vertical axis and column `slice` for a
// horizontal one, at the process control panel's CoR.  Pixel values are
// linear in column and row, so interpolated samples are exact.
void TstSinogram::lineOrientation_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("slice");
    QTest::addColumn<int>("nx");
    QTest::newRow("vertical, whole CoR") << true << 9.0 << 3 << 17;
    QTest::newRow("vertical, quarter CoR") << true << 8.25 << 11 << 15;
    QTest::newRow("vertical, CoR near the right") << true << 14.5 << 0 << 7;
    QTest::newRow("horizontal, whole CoR") << false << 6.0 << 4 << 11;
    QTest::newRow("horizontal, half CoR") << false << 7.5 << 17 << 9;
}

void TstSinogram::lineOrientation()
{
    QFETCH(bool, vertical);
    QFETCH(double, cor);
    QFETCH(int, slice);
    QFETCH(int, nx);
    auto value = [](int p, double c, double r) { return 1000.0 * (p + 1) + 10.0 * r + c; };
    Set s;
    for (int p = 0; p < 3; ++p)
        s.add(new MemImg(20, 14, [=](int c, int r) { return value(p, c, r); }));
    Panel panel(&s.set, vertical, cor, slice);
    panel.sgm.genSinogram();
    const HSgm& h = panel.sgm.hSgm;
    QCOMPARE(h.nx, nx);
    QCOMPARE(h.nth, 3);
    QCOMPARE(h.slice, slice);
    for (int p = 0; p < 3; ++p)
        for (int j = 0; j < nx; ++j) {
            const double pos = cor + j - (nx - 1) / 2;
            const double want = vertical ? value(p, pos, slice) : value(p, slice, pos);
            QVERIFY2(std::fabs(h.intensityRow(p)[j] - want) < 1e-9,
                     qPrintable(QString("p %1 j %2: %3 != %4").arg(p).arg(j)
                                    .arg(h.intensityRow(p)[j]).arg(want)));
        }
}

// Absorbance of a uniform set, with and without I0 and BG images.
void TstSinogram::absorbance_data()
{
    QTest::addColumn<double>("i0");     // NaN: none; negative: not ready
    QTest::addColumn<double>("bg");     // NaN: none
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");
    const double nan = qQNaN();
    QTest::newRow("bare, 1") << nan << nan << 1.0 << 0.0;
    QTest::newRow("bare, 0.5") << nan << nan << 0.5 << std::log(2.0);
    QTest::newRow("bare, 0 counts as 1") << nan << nan << 0.0 << 0.0;
    QTest::newRow("I0 and BG") << 400.0 << 100.0 << 200.0 << std::log(3.0);
    QTest::newRow("I at the dark level") << 400.0 << 100.0 << 100.0 << std::log(300.0);
    QTest::newRow("I0 below the dark level") << 50.0 << 100.0 << 150.0 << std::log(1.0 / 50.0);
    QTest::newRow("I0 not ready") << -1.0 << nan << 0.5 << std::log(2.0);
}

void TstSinogram::absorbance()
{
    QFETCH(double, i0);
    QFETCH(double, bg);
    QFETCH(double, value);
    QFETCH(double, expected);
    Set s;
    for (int p = 0; p < 4; ++p)
        s.add(uniform(12, 6, value));
    if (!std::isnan(i0)) {
        s.i0 = uniform(12, 6, i0);
        s.i0->ready = i0 >= 0;
    }
    if (!std::isnan(bg))
        s.bg = uniform(12, 6, bg);
    Panel panel(&s.set, true, 5.0, 2);
    panel.sgm.genSinogram();
    QCOMPARE(panel.sgm.hSgm.nx, 9);
    for (double a : panel.sgm.hSgm.absorb)
        QVERIFY2(std::fabs(a - expected) < 1e-12, qPrintable(QString::number(a)));
}

// The picture is nx x 2*nth; the lower half mirrors the upper one; a change
// of the colour scale redraws.
void TstSinogram::picture_data()
{
    QTest::addColumn<bool>("fixedScale");
    QTest::newRow("automatic scale") << false;
    QTest::newRow("fixed scale") << true;
}

void TstSinogram::picture()
{
    QFETCH(bool, fixedScale);
    Panel p(&sample.set, true, sampleCor, 30);
    ColorBar* bar = p.sgm.DispSinogram->CBar;
    bar->setMinMaxForced(0, 60000);
    bar->ui.CFix->setChecked(fixedScale);
    p.sgm.genSinogram();
    p.sgm.genImage();
    const HSgm& h = p.sgm.hSgm;
    const QImage& img = p.sgm.DispSinogram->image;
    QCOMPARE(img.format(), QImage::Format_Grayscale8);
    QCOMPARE(img.size(), QSize(h.nx, 2 * h.nth));
    const auto hi = std::max_element(h.intensity.begin(), h.intensity.end());
    const double lo = *std::min_element(h.intensity.begin(), h.intensity.end());
    QCOMPARE(p.sgm.minV, lo);
    QCOMPARE(p.sgm.maxV, *hi);
    QVERIFY(lo < *hi && *hi < 60000);
    QCOMPARE(bar->ui.CMinLE->text(), fixedScale ? QString("0") : QString::number(lo, 'g', 6));
    QCOMPARE(bar->getVMax(), fixedScale ? 60000.0 : *hi);
    for (int th = 0; th < h.nth; ++th)
        for (int j = 0; j < h.nx; ++j) {
            const int l = bar->level(h.intensityRow(th)[j]);
            QCOMPARE(int(img.constScanLine(th)[j]), l);
            QCOMPARE(int(img.constScanLine(h.nth + th)[h.nx - 1 - j]), l);
        }
    const int hx = int((hi - h.intensity.begin()) % h.nx);
    const int hy = int((hi - h.intensity.begin()) / h.nx);
    if (!fixedScale) {
        QCOMPARE(int(img.constScanLine(hy)[hx]), 255);
        return;
    }
    const int before = img.constScanLine(hy)[hx];
    bar->setMinMaxForced(0, *hi);
    emit bar->newBar();
    QCOMPARE(int(p.sgm.DispSinogram->image.constScanLine(hy)[hx]), 255);
    QVERIFY(before < 255);
}

// Value read-out at a display pixel, following the mirroring.
void TstSinogram::readOut_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<int>("p");   // -1: nothing shown
    QTest::addColumn<int>("c");
    const int nx = 89, nth = sampleProj;
    QTest::newRow("upper half, truncated") << 7.9 << 12.6 << 12 << 7;
    QTest::newRow("lower half mirrored") << 3.0 << double(nth + 5) << 5 << nx - 1 - 3;
    QTest::newRow("last pixel") << double(nx - 1) << double(2 * nth - 1) << nth - 1 << 0;
    QTest::newRow("just left truncates to 0") << -0.5 << 1.0 << 1 << 0;
    QTest::newRow("right of the picture") << double(nx) << 1.0 << -1 << 0;
    QTest::newRow("below the picture") << 1.0 << double(2 * nth) << -1 << 0;
    QTest::newRow("NaN") << qQNaN() << 1.0 << -1 << 0;
}

void TstSinogram::readOut()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(int, p);
    QFETCH(int, c);
    Panel panel(&sample.set, true, sampleCor, 20);
    panel.sgm.genSinogram();
    panel.sgm.genImage();
    QLineEdit* val = panel.sgm.DispSinogram->Val;
    val->setText("untouched");
    panel.sgm.newPos(x, y);
    const QString want = p < 0 ? QString("untouched")
                               : QString::number(panel.sgm.hSgm.intensityRow(p)[c], 'g', 6);
    QCOMPARE(val->text(), want);
    // The display's own position report reaches the read-out.
    if (p >= 0 && x == std::trunc(x)) {
        val->setText("untouched");
        emit panel.sgm.DispSinogram->newPos(int(x), int(y));
        QCOMPARE(val->text(), want);
    }
}

// CoR typed into the panel: a different value goes to the process control
// panel, which announces it and regenerates; the same value does nothing.
void TstSinogram::corField_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("announced");
    QTest::addColumn<double>("cor");
    QTest::newRow("same value, other spelling") << "4.55e1" << 0 << 45.5;
    QTest::newRow("new value") << "50.125" << 1 << 50.125;
    QTest::newRow("not a number reads 0") << "abc" << 1 << 0.0;
}

void TstSinogram::corField()
{
    QFETCH(QString, typed);
    QFETCH(int, announced);
    QFETCH(double, cor);
    Panel p(&sample.set, true, 0, 30);
    p.pc.setCor(sampleCor);
    const std::vector<double> before = p.sgm.hSgm.intensity;
    QCOMPARE(p.sgm.hSgm.nx, 89);
    QSignalSpy spy(&p.pc, &ProcCtrl::corUpdated);
    p.sgm.findChild<QLineEdit*>("Cor")->setText(typed);
    emit p.sgm.findChild<QLineEdit*>("Cor")->editingFinished();
    QCOMPARE(spy.count(), announced);
    QCOMPARE(p.pc.cor, cor);
    QCOMPARE(p.pc.findChild<QLineEdit*>("Cor")->text(), QString::number(cor, 'g', 6));
    if (announced)
        QCOMPARE(p.sgm.findChild<QLineEdit*>("Cor")->text(), QString::number(cor, 'g', 6));
    // CoR 0 computes nothing: the previous record stays.
    if (announced && cor >= 1)
        QCOMPARE(p.sgm.hSgm.nx, 2 * int(std::min(cor, sampleW - cor - 1)) - 1);
    else
        QCOMPARE(p.sgm.hSgm.intensity, before);
}

// Changes from the process control panel regenerate only with auto-update
// on; "Gen Image" regenerates on request.
void TstSinogram::autoUpdate()
{
    Panel p(&sample.set, true, 0, 0);
    p.pc.findChild<QCheckBox*>("AutoUpdate")->setChecked(false);
    p.pc.setCor(sampleCor);
    p.pc.setSliceNo(12);
    QVERIFY(!p.sgm.hSgm.hasData());
    QCOMPARE(p.sgm.findChild<QLineEdit*>("Cor")->text(), QString("45.5"));
    p.sgm.findChild<QPushButton*>("GenImg")->click();
    QCOMPARE(p.sgm.hSgm.slice, 12);
    QVERIFY(!p.sgm.DispSinogram->image.isNull());
    p.pc.findChild<QCheckBox*>("AutoUpdate")->setChecked(true);
    p.pc.setSliceNo(33);
    QCOMPARE(p.sgm.hSgm.slice, 33);
    p.pc.setCor(40);
    QCOMPARE(p.sgm.DispSinogram->image.width(), 79);
}

// The Fourier picture: the -10...10 range rule, and the magnitudes: the
// first is the mean intensity, and a real input gives a symmetric spectrum.
void TstSinogram::fourier_data()
{
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("fixedScale");
    QTest::newRow("unchecked") << false << false;
    QTest::newRow("automatic scale") << true << false;
    QTest::newRow("fixed scale") << true << true;
}

void TstSinogram::fourier()
{
    QFETCH(bool, checked);
    QFETCH(bool, fixedScale);
    Panel p(&sample.set, true, sampleCor, 30);
    ColorBar* bar = p.sgm.DispFouS->CBar;
    bar->setMinMaxForced(0, 5);
    bar->ui.CFix->setChecked(fixedScale);
    p.sgm.setGenFouS(checked);
    p.sgm.genSinogram();
    p.sgm.genImage();
    const HSgm& h = p.sgm.hSgm;
    const QImage& img = p.sgm.DispFouS->image;
    QCOMPARE(img.isNull(), !checked);
    QCOMPARE(bar->ui.CMinLE->text(), checked && !fixedScale ? QString("-10") : QString("0"));
    QCOMPARE(bar->ui.CMaxLE->text(), checked && !fixedScale ? QString("10") : QString("5"));
    if (!checked)
        return;
    QCOMPARE(img.size(), QSize(h.nx, 2 * h.nth));
    std::vector<double> mag;
    QVERIFY(fourierSinogram(h, mag));
    double mean = 0;
    for (double v : h.intensity)
        mean += v / h.intensity.size();
    // Centred: frequency (kr, kj) at row nth + kr, column nx / 2 + kj (round).
    const int rows = 2 * h.nth;
    const auto at = [&](int kr, int kj) {
        return mag[size_t(((kr % rows) + rows + rows / 2) % rows) * h.nx + size_t(((kj % h.nx) + h.nx + h.nx / 2) % h.nx)];
    };
    QVERIFY(std::fabs(mag[size_t(h.nth) * h.nx + h.nx / 2] - mean) < 1e-9 * mean);
    QVERIFY(std::fabs(at(0, 0) - mean) < 1e-9 * mean);
    for (int kr = 1; kr < rows; kr += 7)
        for (int kj = 1; kj < h.nx; kj += 5)
            QVERIFY(std::fabs(at(kr, kj) - at(-kr, -kj)) < 1e-9 * mean);
    for (int r = 0; r < rows; r += 7)
        for (int j = 0; j < h.nx; j += 5)
            QCOMPARE(int(img.constScanLine(r)[j]), bar->level(mag[size_t(r) * h.nx + j]));
}

// A dead detector column is the same in every projection: a line at zero
// angular frequency across the middle of the centred Fourier picture, which
// the ring-removal setting takes out of the pictures.
void TstSinogram::stripeInFourierPicture()
{
    Set s;
    constexpr int w = 96, dead = 30;
    s.i0 = uniform(w, 4, 1000);
    for (int p = 0; p < sampleProj; ++p) {
        // An off-axis disc (its trace swings with the angle) and the dead column.
        const double a = 3.141592653589793 * p / sampleProj;
        const double centre = 48 + 20 * std::cos(a);
        s.add(new MemImg(w, 4, [centre](int c, int) {
            const double d = std::fabs(c - centre);
            return c == dead ? 0.0 : 1000.0 * std::exp(-(d < 8 ? 0.6 * std::sqrt(64 - d * d) / 8 : 0.0));
        }));
    }
    Panel p(&s.set, true, 48, 2);
    p.sgm.setGenFouS(true);
    // Mean magnitude of the zero-angular-frequency row against the other
    // rows, at detector frequencies above a quarter (where the disc is weak).
    const auto lineStrength = [&] {
        std::vector<double> mag;
        const HSgm& h = p.sgm.shown();
        if (!fourierSinogram(h, mag))
            return -1.0;
        const int rows = 2 * h.nth;
        double line = 0, rest = 0;
        int nLine = 0, nRest = 0;
        for (int r = 0; r < rows; ++r)
            for (int j = 0; j < h.nx; ++j) {
                if (std::abs(j - h.nx / 2) < h.nx / 4)
                    continue;
                const double v = mag[size_t(r) * h.nx + j];
                if (r == h.nth) {
                    line += v;
                    ++nLine;
                } else if (std::abs(r - h.nth) > 3) {
                    rest += v;
                    ++nRest;
                }
            }
        return (line / nLine) / (rest / nRest);
    };
    p.sgm.genSinogram();
    p.sgm.genImage();
    const double before = lineStrength();
    QVERIFY2(before > 20, qPrintable(QString::number(before)));
    // The picture shows it: the middle row is the brightest one.
    const QImage& img = p.sgm.DispFouS->image;
    QCOMPARE(img.height(), 2 * sampleProj);
    const auto rowMean = [&](int r) {
        double m = 0;
        for (int j = 0; j < img.width(); ++j)
            m += img.constScanLine(r)[j];
        return m / img.width();
    };
    for (int r : {0, sampleProj / 2, sampleProj - 5, sampleProj + 5})
        QVERIFY(rowMean(sampleProj) > rowMean(r) + 40);

    p.pc.findChild<QSpinBox*>("RingSize")->setValue(9);
    p.sgm.genImage();
    const double after = lineStrength();
    QVERIFY2(after > 0 && after < before / 10, qPrintable(QString("%1 -> %2").arg(before).arg(after)));
    // The raw record the reconstruction takes is left as it was.
    QCOMPARE(p.sgm.hSgm.intensityRow(0)[dead - 2], 0.0);
}

// Slices without a sinogram: a CoR within one pixel of the far edge gives a
// record without samples, shown as an empty picture; a CoR below 1 or at the
// far end, or a reference image of another size than the projections, leaves
// the last record as it was.
void TstSinogram::noRecord_data()
{
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("refWidth");   // 0: the sample's own references
    QTest::addColumn<bool>("kept");
    QTest::newRow("within one pixel of the far edge") << sampleW - 1.5 << 0 << false;
    QTest::newRow("at the far edge minus one") << sampleW - 1.0 << 0 << false;
    QTest::newRow("below 1") << 0.9 << 0 << true;
    QTest::newRow("at the far end") << double(sampleW) << 0 << true;
    QTest::newRow("wider I0") << sampleCor << sampleW + 40 << true;
    QTest::newRow("narrower I0") << sampleCor << 8 << true;
}

void TstSinogram::noRecord()
{
    QFETCH(double, cor);
    QFETCH(int, refWidth);
    QFETCH(bool, kept);
    Panel p(&sample.set, true, sampleCor, 30);
    p.sgm.setGenFouS(true);
    p.sgm.genSinogram();
    p.sgm.genImage();
    const std::vector<double> before = p.sgm.hSgm.intensity;
    const QString barMin = p.sgm.DispSinogram->CBar->ui.CMinLE->text();
    ImgData* own = sample.i0;
    if (refWidth) {
        sample.i0 = uniform(refWidth, sampleH, 5.0);
        sample.i0->fileName = "ref.img";
        QTest::ignoreMessage(QtDebugMsg,
                             "Reference image size differs from the projections, no sinogram: ref.img");
    }
    p.setUp(true, cor, 31);
    p.sgm.genSinogram();
    p.sgm.genImage();
    if (refWidth) {
        delete sample.i0;
        sample.i0 = own;
    }
    QLineEdit* val = p.sgm.DispSinogram->Val;
    val->setText("untouched");
    p.sgm.newPos(0, 0);
    if (kept) {
        QCOMPARE(p.sgm.hSgm.intensity, before);
        QCOMPARE(p.sgm.hSgm.slice, 30);
        QCOMPARE(val->text(), QString::number(before[0], 'g', 6));
        return;
    }
    QVERIFY(!p.sgm.hSgm.hasData());
    QCOMPARE(p.sgm.hSgm.slice, 31);
    QVERIFY(p.sgm.DispSinogram->image.isNull());
    QVERIFY(p.sgm.DispFouS->image.isNull());
    QCOMPARE(val->text(), QString("untouched"));
    QCOMPARE(p.sgm.DispSinogram->CBar->ui.CMinLE->text(), barMin);
}

// Workers call genSinogram0 on the one panel from their threads, each into
// its own record, while the GUI thread makes the panel's own.
void TstSinogram::concurrentRecords()
{
    Panel p(&sample.set, true, sampleCor, 40);
    HSgm one;
    p.sgm.genSinogram0(&one, true, 52.75, 17);
    QVERIFY(one.hasData());
    std::vector<HSgm> recs(3);
    std::vector<std::thread> threads;
    for (HSgm& r : recs)
        threads.emplace_back([&p, &r] {
            for (int k = 0; k < 10; ++k)
                p.sgm.genSinogram0(&r, true, 52.75, 17);
        });
    for (int k = 0; k < 10; ++k)
        p.sgm.genSinogram();
    for (std::thread& t : threads)
        t.join();
    for (const HSgm& r : recs) {
        QCOMPARE(r.slice, 17);
        QCOMPARE(r.intensity, one.intensity);
        QCOMPARE(r.absorb, one.absorb);
    }
    QCOMPARE(p.sgm.hSgm.slice, 40);
}

QTEST_MAIN(TstSinogram)
#include "tst_sinogram.moc"
