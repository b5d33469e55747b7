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
#include "SinogramGen.h"
#include "SinogramImage.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>
#include <thread>

namespace {
// An image held as doubles, so tests can feed values no file type carries.
class MemImg : public ImgData
{
public:
    MemImg(int w, int h, std::function<double(int c, int r)> f)
    {
        width = w;
        height = h;
        pix.resize(size_t(w) * size_t(h));
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                pix[size_t(r) * size_t(w) + size_t(c)] = f(c, r);
        ready = true;
    }
    void resetReader() override {}
    bool readProps(const QString&, qint32& w, qint32& h) override
    {
        w = width;
        h = height;
        return true;
    }
    bool openData() override { return true; }
    double* readRow(int iy, double* out) override
    {
        if (iy < 0 || iy >= height) {
            std::fill(out, out + width, 0.0);
            return out;
        }
        for (int c = 0; c < width; ++c)
            out[c] = pix[size_t(iy) * size_t(width) + size_t(c)];
        return out;
    }
    double* readColumn(int ix, double* out) override
    {
        if (ix < 0 || ix >= width) {
            std::fill(out, out + height, 0.0);
            return out;
        }
        for (int r = 0; r < height; ++r)
            out[r] = pix[size_t(r) * size_t(width) + size_t(ix)];
        return out;
    }
    std::vector<double> pix;
};

ImgData* loadFile(const QString& path)
{
    ImgData* img = newImgData(imgFileType(path));
    if (img) {
        img->fileName = path;
        img->ready = img->load();
    }
    return img;
}

// A projection set with its own I0 and BG images, wired as the window does.
struct Set
{
    Set() { set.i0Img = &i0; set.bgImg = &bg; }
    ~Set() { delete i0; delete bg; }
    void addMem(MemImg* img)
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
    explicit Panel(ImgDatas* set)
    {
        sgm.procCtrl = &pc;
        sgm.imgs = set;
        QObject::connect(&pc, &ProcCtrl::sliceNoUpdated, &sgm, &Sinogram::sliceNoUpdated);
        QObject::connect(&pc, &ProcCtrl::corUpdated, &sgm, &Sinogram::corUpdated);
        QObject::connect(&pc, &ProcCtrl::rotAxUpdated, &sgm, &Sinogram::rotAxUpdated);
        QObject::connect(&pc, &ProcCtrl::autoUpdateUpdated, &sgm, &Sinogram::autoUpdateUpdated);
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
constexpr double sampleCor = 45.5;
} // namespace

class TstSinogram : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void form();
    void record_data();
    void record();
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
    void emptyRecord_data();
    void emptyRecord();
    void referenceSize_data();
    void referenceSize();
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
    QVERIFY(w.valid());
    QVERIFY(w.write());
    for (int p = 0; p < sampleProj; ++p)
        QVERIFY(sample.set.addFile(dir.filePath(w.seriesName(p, 0))));
    sample.i0 = loadFile(dir.filePath(w.i0Name(0)));
    sample.bg = loadFile(dir.filePath(w.bgName()));
    QVERIFY(sample.i0 && sample.i0->ready);
    QVERIFY(sample.bg && sample.bg->ready);
}

void TstSinogram::form()
{
    Sinogram s;
    QCOMPARE(s.windowTitle(), QString("Sinogram"));
    QCOMPARE(s.size(), QSize(564, 448));
    QCOMPARE(s.Cor->text(), QString("1000"));
    QVERIFY(s.Cor->alignment() & Qt::AlignRight);
    QVERIFY(!s.GenFouS->isChecked());
    QCOMPARE(s.GenFouS->text(), QString("Gen Fou. Sinogram"));
    QCOMPARE(s.GenImg->text(), QString("Gen Image"));
    QCOMPARE(s.DispSinogram->objectName(), QString("DispSinogram"));
    QCOMPARE(s.DispFouS->objectName(), QString("DispFouS"));
    QVERIFY(!s.procCtrl && !s.imgs);
    QVERIFY(!s.hSgm.hasData());
    // Without its pointers the panel does nothing, and nothing breaks.
    s.genSinogram();
    s.genSgmImage();
    s.corEditingFinished();
    s.genImage();
    QVERIFY(s.DispSinogram->image.isNull());
}

// genSinogram takes orientation, CoR and slice from the process control panel.
void TstSinogram::record_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("slice");
    QTest::addColumn<int>("nx");
    QTest::newRow("vertical, sample CoR") << true << sampleCor << 32 << 89;
    QTest::newRow("vertical, CoR right of centre") << true << 60.25 << 25 << 67;
    QTest::newRow("horizontal, column slice") << false << 30.0 << 50 << 59;
}

void TstSinogram::record()
{
    QFETCH(bool, vertical);
    QFETCH(double, cor);
    QFETCH(int, slice);
    QFETCH(int, nx);
    Panel p(&sample.set);
    p.setUp(vertical, cor, slice);
    p.sgm.genSinogram();
    QCOMPARE(p.sgm.hSgm.nx, nx);
    QCOMPARE(p.sgm.hSgm.nth, sampleProj);
    QCOMPARE(p.sgm.hSgm.slice, slice);
    HSgm ref;
    genSinogram(sample.set, &ref, vertical, cor, slice);
    QCOMPARE(p.sgm.hSgm.intensity, ref.intensity);
    QCOMPARE(p.sgm.hSgm.absorb, ref.absorb);
    // Through the counts of the sample the absorbance is finite and mostly
    // positive (the object absorbs, the beam does not add).
    int positive = 0;
    for (double a : p.sgm.hSgm.absorb) {
        QVERIFY(std::isfinite(a));
        positive += a > 0.05;
    }
    QVERIFY(positive > 0);
}

// A vertical axis reads row `slice`, a horizontal one column `slice`.  The
// pixel values are linear in column and row, so interpolated samples are exact.
void TstSinogram::lineOrientation_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("slice");
    QTest::newRow("vertical, whole CoR") << true << 9.0 << 3;
    QTest::newRow("vertical, quarter CoR") << true << 8.25 << 11;
    QTest::newRow("horizontal, whole CoR") << false << 6.0 << 4;
    QTest::newRow("horizontal, half CoR") << false << 7.5 << 17;
}

void TstSinogram::lineOrientation()
{
    QFETCH(bool, vertical);
    QFETCH(double, cor);
    QFETCH(int, slice);
    auto value = [](int p, double c, double r) { return 1000.0 * (p + 1) + 10.0 * r + c; };
    Set s;
    for (int p = 0; p < 3; ++p)
        s.addMem(new MemImg(20, 14, [&](int c, int r) { return value(p, c, r); }));
    Panel panel(&s.set);
    panel.setUp(vertical, cor, slice);
    panel.sgm.genSinogram();
    const HSgm& h = panel.sgm.hSgm;
    const int dim = vertical ? 20 : 14;
    const int half = int(std::floor(std::min(cor, dim - cor - 1)));
    QCOMPARE(h.nx, 2 * half - 1);
    QCOMPARE(h.nth, 3);
    for (int p = 0; p < 3; ++p)
        for (int j = 0; j < h.nx; ++j) {
            const double pos = cor + j - (half - 1);
            const double want = vertical ? value(p, pos, slice) : value(p, slice, pos);
            QVERIFY2(std::fabs(h.intensityRow(p)[j] - want) < 1e-9,
                     qPrintable(QString("p %1 j %2: %3 != %4").arg(p).arg(j)
                                    .arg(h.intensityRow(p)[j]).arg(want)));
        }
}

// Absorbance of a uniform set, with and without I0 and BG images.
void TstSinogram::absorbance_data()
{
    QTest::addColumn<double>("i0");     // NaN: no I0 image
    QTest::addColumn<double>("bg");     // NaN: no BG image
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");
    const double nan = qQNaN();
    QTest::newRow("bare, 1") << nan << nan << 1.0 << 0.0;
    QTest::newRow("bare, 0.5") << nan << nan << 0.5 << std::log(2.0);
    QTest::newRow("bare, 0 counts as 1") << nan << nan << 0.0 << 0.0;
    QTest::newRow("bare, 2") << nan << nan << 2.0 << -std::log(2.0);
    QTest::newRow("I0 and BG") << 400.0 << 100.0 << 200.0 << std::log(3.0);
    QTest::newRow("I at the dark level") << 400.0 << 100.0 << 100.0 << std::log(300.0);
    QTest::newRow("I0 below the dark level") << 50.0 << 100.0 << 150.0 << std::log(1.0 / 50.0);
    QTest::newRow("I0 only") << 8.0 << nan << 2.0 << std::log(4.0);
    QTest::newRow("BG only") << nan << 0.5 << 0.75 << std::log(0.5 / 0.25);
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
        s.addMem(new MemImg(12, 6, [&](int, int) { return value; }));
    if (!std::isnan(i0)) {
        s.i0 = new MemImg(12, 6, [&](int, int) { return i0; });
        // A negative I0 here stands for an image that failed to load.
        s.i0->ready = i0 >= 0;
    }
    if (!std::isnan(bg))
        s.bg = new MemImg(12, 6, [&](int, int) { return bg; });
    Panel panel(&s.set);
    panel.setUp(true, 5.0, 2);
    panel.sgm.genSinogram();
    const HSgm& h = panel.sgm.hSgm;
    QCOMPARE(h.nx, 9);
    for (double a : h.absorb)
        QVERIFY2(std::fabs(a - expected) < 1e-12, qPrintable(QString::number(a)));
    for (double v : h.intensity)
        QCOMPARE(v, value);
}

// The picture is nx x 2*nth; the lower half mirrors the upper one.
void TstSinogram::picture_data()
{
    QTest::addColumn<bool>("fixedScale");
    QTest::newRow("automatic scale") << false;
    QTest::newRow("fixed scale") << true;
}

void TstSinogram::picture()
{
    QFETCH(bool, fixedScale);
    Panel p(&sample.set);
    p.setUp(true, sampleCor, 30);
    ColorBar* bar = p.sgm.DispSinogram->CBar;
    if (fixedScale) {
        bar->setMinMaxForced(0, 60000);
        bar->ui.CFix->setChecked(true);
    }
    p.sgm.genSinogram();
    p.sgm.genImage();
    const HSgm& h = p.sgm.hSgm;
    const QImage& img = p.sgm.DispSinogram->image;
    QCOMPARE(img.format(), QImage::Format_Grayscale8);
    QCOMPARE(img.size(), QSize(h.nx, 2 * h.nth));

    double lo = h.intensity[0], hi = h.intensity[0];
    size_t iHi = 0;
    for (size_t i = 0; i < h.intensity.size(); ++i) {
        lo = std::min(lo, h.intensity[i]);
        if (h.intensity[i] > hi) {
            hi = h.intensity[i];
            iHi = i;
        }
    }
    QCOMPARE(p.sgm.minV, lo);
    QCOMPARE(p.sgm.maxV, hi);
    QVERIFY(lo < hi && hi < 60000);
    if (fixedScale) {
        QCOMPARE(bar->getVMin(), 0.0);
        QCOMPARE(bar->ui.CMaxLE->text(), QString("60000"));
    } else {
        QCOMPARE(bar->getVMin(), lo);
        QCOMPARE(bar->getVMax(), hi);
        QCOMPARE(bar->ui.CMinLE->text(), QString::number(lo, 'g', 6));
        QCOMPARE(bar->ui.CMaxLE->text(), QString::number(hi, 'g', 6));
    }
    int levels[256] = {};
    for (int th = 0; th < h.nth; ++th)
        for (int j = 0; j < h.nx; ++j) {
            const int l = bar->level(h.intensityRow(th)[j]);
            QCOMPARE(int(img.constScanLine(th)[j]), l);
            QCOMPARE(int(img.constScanLine(h.nth + th)[h.nx - 1 - j]), l);
            ++levels[l];
        }
    const int hx = int(iHi % size_t(h.nx)), hy = int(iHi / size_t(h.nx));
    if (!fixedScale) {
        // The automatic range spreads the counts from black to white.
        QVERIFY(levels[0] > 0);
        QCOMPARE(int(img.constScanLine(hy)[hx]), 255);
        return;
    }
    // A change of a fixed colour scale redraws with the new levels.
    const int before = img.constScanLine(hy)[hx];
    bar->setMinMaxForced(0, hi);
    emit bar->newBar();
    const int after = p.sgm.DispSinogram->image.constScanLine(hy)[hx];
    QCOMPARE(after, bar->level(hi));
    QVERIFY(after > before);
}

// Value read-out at a display pixel, following the mirroring.
void TstSinogram::readOut_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<int>("p");   // -1: nothing shown
    QTest::addColumn<int>("c");
    const int nx = 89, nth = sampleProj;
    QTest::newRow("upper half") << 3.0 << 5.0 << 5 << 3;
    QTest::newRow("upper half, fractions truncated") << 7.9 << 12.6 << 12 << 7;
    QTest::newRow("lower half mirrored") << 3.0 << double(nth + 5) << 5 << nx - 1 - 3;
    QTest::newRow("last pixel") << double(nx - 1) << double(2 * nth - 1) << nth - 1 << 0;
    QTest::newRow("first lower row") << 0.0 << double(nth) << 0 << nx - 1;
    QTest::newRow("just left truncates to 0") << -0.5 << 1.0 << 1 << 0;
    QTest::newRow("right of the picture") << double(nx) << 1.0 << -1 << 0;
    QTest::newRow("below the picture") << 1.0 << double(2 * nth) << -1 << 0;
    QTest::newRow("left of the picture") << -1.0 << 1.0 << -1 << 0;
    QTest::newRow("NaN") << qQNaN() << 1.0 << -1 << 0;
    QTest::newRow("far off") << 1e300 << -1e300 << -1 << 0;
}

void TstSinogram::readOut()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(int, p);
    QFETCH(int, c);
    Panel panel(&sample.set);
    panel.setUp(true, sampleCor, 20);
    panel.sgm.genSinogram();
    panel.sgm.genImage();
    QCOMPARE(panel.sgm.hSgm.nx, 89);
    QLineEdit* val = panel.sgm.DispSinogram->Val;
    val->setText("untouched");
    panel.sgm.newPos(x, y);
    if (p < 0)
        QCOMPARE(val->text(), QString("untouched"));
    else
        QCOMPARE(val->text(), QString::number(panel.sgm.hSgm.intensityRow(p)[c], 'g', 6));
    // The display's own position signal reaches the read-out.
    if (p >= 0 && x == std::trunc(x) && y == std::trunc(y)) {
        val->setText("untouched");
        emit panel.sgm.DispSinogram->newPos(int(x), int(y));
        QCOMPARE(val->text(), QString::number(panel.sgm.hSgm.intensityRow(p)[c], 'g', 6));
    }
}

// CoR typed into the panel: a different value goes to the process control
// panel, which announces it; the same value does nothing.
void TstSinogram::corField_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("announced");
    QTest::addColumn<double>("cor");
    QTest::newRow("same value") << "45.5" << 0 << 45.5;
    QTest::newRow("same value, other spelling") << "4.55e1" << 0 << 45.5;
    QTest::newRow("new value") << "47" << 1 << 47.0;
    QTest::newRow("fraction") << "50.125" << 1 << 50.125;
    QTest::newRow("not a number reads 0") << "abc" << 1 << 0.0;
    QTest::newRow("empty reads 0") << "" << 1 << 0.0;
}

void TstSinogram::corField()
{
    QFETCH(QString, typed);
    QFETCH(int, announced);
    QFETCH(double, cor);
    Panel p(&sample.set);
    p.pc.setCor(sampleCor);
    p.pc.setSliceNo(30);
    p.pc.RotAxV->click();
    QVERIFY(p.pc.rotAxIsV);
    const HSgm before = p.sgm.hSgm;
    QCOMPARE(before.nx, 89);
    QSignalSpy spy(&p.pc, &ProcCtrl::corUpdated);
    p.sgm.Cor->setText(typed);
    emit p.sgm.Cor->editingFinished();
    QCOMPARE(spy.count(), announced);
    QCOMPARE(p.pc.cor, cor);
    QCOMPARE(p.pc.Cor->text(), QString::number(cor, 'g', 6));
    if (announced) {
        // The announcement comes back and the panel shows the value as read.
        QCOMPARE(p.sgm.Cor->text(), QString::number(cor, 'g', 6));
        if (cor >= 1) {
            const int half = int(std::floor(std::min(cor, sampleW - cor - 1)));
            QCOMPARE(p.sgm.hSgm.nx, 2 * half - 1);
        } else {
            // CoR 0 computes nothing: the previous record stays.
            QCOMPARE(p.sgm.hSgm.nx, before.nx);
            QCOMPARE(p.sgm.hSgm.intensity, before.intensity);
        }
    } else {
        QCOMPARE(p.sgm.hSgm.intensity, before.intensity);
    }
}

// Changes from the process control panel regenerate only with auto-update on.
void TstSinogram::autoUpdate()
{
    Panel p(&sample.set);
    p.pc.AutoUpdate->setChecked(false);
    p.pc.RotAxV->click();
    p.pc.setCor(sampleCor);
    p.pc.setSliceNo(12);
    QVERIFY(!p.sgm.hSgm.hasData());
    QVERIFY(p.sgm.DispSinogram->image.isNull());
    // The CoR field follows even without auto-update.
    QCOMPARE(p.sgm.Cor->text(), QString("45.5"));
    // "Gen Image" makes the sinogram of the current values on request.
    p.sgm.GenImg->click();
    QCOMPARE(p.sgm.hSgm.slice, 12);
    QVERIFY(!p.sgm.DispSinogram->image.isNull());
    p.pc.AutoUpdate->setChecked(true);
    p.pc.setSliceNo(33);
    QCOMPARE(p.sgm.hSgm.slice, 33);
    p.pc.setCor(40);
    QCOMPARE(p.sgm.hSgm.nx, 79);
    QCOMPARE(p.sgm.DispSinogram->image.width(), 79);
}

// The Fourier picture: the −10…10 range rule, its size, and its first pixel,
// the magnitude of the mean intensity.
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
    Panel p(&sample.set);
    p.setUp(true, sampleCor, 30);
    ColorBar* bar = p.sgm.DispFouS->CBar;
    bar->setMinMaxForced(0, 5);
    bar->ui.CFix->setChecked(fixedScale);
    p.sgm.setGenFouS(checked);
    QCOMPARE(p.sgm.GenFouS->isChecked(), checked);
    p.sgm.genSinogram();
    p.sgm.genImage();
    const HSgm& h = p.sgm.hSgm;
    const QImage& img = p.sgm.DispFouS->image;
    if (!checked) {
        QVERIFY(img.isNull());
        QCOMPARE(bar->ui.CMinLE->text(), QString("0"));
        return;
    }
    QCOMPARE(img.size(), QSize(h.nx, 2 * h.nth));
    QCOMPARE(bar->ui.CMinLE->text(), fixedScale ? QString("0") : QString("-10"));
    QCOMPARE(bar->ui.CMaxLE->text(), fixedScale ? QString("5") : QString("10"));

    std::vector<double> mag;
    QVERIFY(fourierSinogram(h, mag));
    QCOMPARE(mag.size(), size_t(h.nx) * size_t(2 * h.nth));
    double mean = 0;
    for (double v : h.intensity)
        mean += v;
    mean /= h.intensity.size();
    QVERIFY(std::fabs(mag[0] - mean) < 1e-9 * mean);
    // The input is real, so the spectrum is conjugate-symmetric.
    const int rows = 2 * h.nth;
    for (int r = 1; r < rows; r += 17)
        for (int j = 1; j < h.nx; j += 13)
            QVERIFY(std::fabs(mag[size_t(r) * h.nx + j]
                              - mag[size_t(rows - r) * h.nx + (h.nx - j)]) < 1e-9 * mean);
    for (int r = 0; r < rows; r += 7)
        for (int j = 0; j < h.nx; j += 5)
            QCOMPARE(int(img.constScanLine(r)[j]), bar->level(mag[size_t(r) * h.nx + j]));
}

// A CoR within one pixel of the far edge gives a record without samples;
// nothing else breaks.  Below 1 or at the far end, the last record stays.
void TstSinogram::emptyRecord_data()
{
    QTest::addColumn<double>("cor");
    QTest::addColumn<bool>("kept");
    QTest::newRow("within one pixel of the far edge") << sampleW - 1.5 << false;
    QTest::newRow("at the far edge minus one") << sampleW - 1.0 << false;
    QTest::newRow("below 1") << 0.9 << true;
    QTest::newRow("at the far end") << double(sampleW) << true;
    QTest::newRow("negative") << -3.0 << true;
}

void TstSinogram::emptyRecord()
{
    QFETCH(double, cor);
    QFETCH(bool, kept);
    Panel p(&sample.set);
    p.sgm.setGenFouS(true);
    p.setUp(true, sampleCor, 30);
    p.sgm.genSinogram();
    p.sgm.genImage();
    const std::vector<double> before = p.sgm.hSgm.intensity;
    const QString barMin = p.sgm.DispSinogram->CBar->ui.CMinLE->text();
    p.setUp(true, cor, 31);
    p.sgm.genSinogram();
    p.sgm.genImage();
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
    // The colour scale keeps its limits.
    QCOMPARE(p.sgm.DispSinogram->CBar->ui.CMinLE->text(), barMin);
}

// A reference image of another size than the projections makes no sinogram.
void TstSinogram::referenceSize_data()
{
    QTest::addColumn<bool>("i0");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::newRow("wider I0") << true << 40 << 6;
    QTest::newRow("taller BG") << false << 12 << 30;
    QTest::newRow("smaller I0") << true << 4 << 3;
}

void TstSinogram::referenceSize()
{
    QFETCH(bool, i0);
    QFETCH(int, w);
    QFETCH(int, h);
    Set s;
    for (int p = 0; p < 2; ++p)
        s.addMem(new MemImg(12, 6, [](int, int) { return 0.5; }));
    ImgData*& ref = i0 ? s.i0 : s.bg;
    ref = new MemImg(w, h, [](int, int) { return 0.25; });
    ref->fileName = QStringLiteral("ref.img");
    Panel panel(&s.set);
    panel.setUp(false, 3.0, 2);
    QTest::ignoreMessage(QtDebugMsg, "Reference image size differs from the projections, no sinogram: ref.img");
    panel.sgm.genSinogram();
    QVERIFY(!panel.sgm.hSgm.hasData());
    // The same set with a fitting reference works.
    delete ref;
    ref = new MemImg(12, 6, [](int, int) { return 0.25; });
    panel.sgm.genSinogram();
    QCOMPARE(panel.sgm.hSgm.nx, 3);
}

// Workers call genSinogram0 on the one panel from their threads, each into
// its own record, while the GUI thread makes the panel's own.
void TstSinogram::concurrentRecords()
{
    Panel p(&sample.set);
    p.setUp(true, sampleCor, 40);
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
        QCOMPARE(r.nx, one.nx);
        QCOMPARE(r.intensity, one.intensity);
        QCOMPARE(r.absorb, one.absorb);
    }
    QCOMPARE(p.sgm.hSgm.slice, 40);
}

QTEST_MAIN(TstSinogram)
#include "tst_sinogram.moc"
