// Flats and darks: several I0 or BG images averaged, and I0 taken before
// and after a scan interpolated by projection index.
#include "AveragedImage.h"
#include "HSgm.h"
#include "ImgDatas.h"
#include "SinogramGen.h"

#include <QtTest>

#include <cmath>
#include <functional>

namespace {

// An image whose pixel (x, y) is f(x, y), held in memory.
class FnImage : public ImgData
{
public:
    FnImage(int w, int h, std::function<double(int, int)> f) : f(std::move(f))
    {
        width = w;
        height = h;
        fileName = QStringLiteral("fn-%1x%2.img").arg(w).arg(h);
        ready = true;
    }
    void resetReader() override {}
    bool readProps(const QString&, qint32&, qint32&) override { return true; }
    bool openData() override { return true; }
    double* readRow(int iy, double* out) override
    {
        for (int x = 0; x < width; ++x)
            out[x] = f(x, iy);
        return out;
    }
    double* readColumn(int ix, double* out) override
    {
        for (int y = 0; y < height; ++y)
            out[y] = f(ix, y);
        return out;
    }

private:
    std::function<double(int, int)> f;
};

} // namespace

class TestReferences : public QObject
{
    Q_OBJECT
private slots:
    void averages_data();
    void averages();
    void i0BeforeAndAfterInterpolated_data();
    void i0BeforeAndAfterInterpolated();
};

void TestReferences::averages_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("mismatch");
    QTest::newRow("one") << 1 << false;
    QTest::newRow("three") << 3 << false;
    QTest::newRow("sizes differ") << 2 << true;
    QTest::newRow("none") << 0 << false;
}

void TestReferences::averages()
{
    QFETCH(int, count);
    QFETCH(bool, mismatch);
    QList<ImgData*> imgs;
    for (int k = 0; k < count; ++k) {
        const int w = mismatch && k == 1 ? 9 : 8;
        imgs << new FnImage(w, 5, [k](int x, int y) { return 100.0 * k + 10.0 * y + x; });
    }
    QString why;
    std::unique_ptr<AveragedImage> a(AveragedImage::average(imgs, &why));
    qDeleteAll(imgs);
    if (count == 0 || mismatch) {
        QVERIFY(!a);
        QVERIFY(!why.isEmpty());
        if (mismatch)
            QVERIFY2(why.contains("9 x 5"), qPrintable(why));
        return;
    }
    QVERIFY(a && a->ready);
    QCOMPARE(a->count(), count);
    QCOMPARE(a->width, 8);
    std::vector<double> row(8), col(5);
    a->readRow(3, row.data());
    a->readColumn(6, col.data());
    const double mean = 100.0 * (count - 1) / 2.0;
    for (int x = 0; x < 8; ++x)
        QCOMPARE(row[size_t(x)], mean + 30 + x);
    for (int y = 0; y < 5; ++y)
        QCOMPARE(col[size_t(y)], mean + 10 * y + 6);
}

void TestReferences::i0BeforeAndAfterInterpolated_data()
{
    QTest::addColumn<bool>("after");
    QTest::newRow("before and after") << true;
    QTest::newRow("before only") << false;
}

// The beam falls from 1000 to 600 counts during the scan; the object's
// absorbance is 0.5 everywhere.  With I0 before and after, every projection
// reads 0.5; with I0 before alone the later ones read too much.
void TestReferences::i0BeforeAndAfterInterpolated()
{
    QFETCH(bool, after);
    const int w = 40, h = 4, nProj = 11;
    ImgDatas set;
    for (int p = 0; p < nProj; ++p) {
        const double beam = 1000.0 - 400.0 * p / (nProj - 1);
        set.imgs << new FnImage(w, h, [beam](int, int) { return 100.0 + (beam - 100.0) * std::exp(-0.5); });
    }
    set.width = w;
    set.height = h;
    ImgData* i0 = new FnImage(w, h, [](int, int) { return 1000.0; });
    ImgData* i0End = new FnImage(w, h, [](int, int) { return 600.0; });
    ImgData* bg = new FnImage(w, h, [](int, int) { return 100.0; });
    ImgData* noAfter = nullptr;
    set.i0Img = &i0;
    set.bgImg = &bg;
    set.i0AfterImg = after ? &i0End : &noAfter;
    HSgm s;
    genSinogram(set, &s, true, 19.0, 2);
    QCOMPARE(s.nth, nProj);
    for (int p = 0; p < nProj; ++p) {
        const double a = s.absorbRow(p)[s.nx / 2];
        if (after || p == 0)
            QVERIFY2(std::fabs(a - 0.5) < 1e-12, qPrintable(QString("projection %1: %2").arg(p).arg(a)));
        else
            QVERIFY2(a > 0.5 + 0.01 * p, qPrintable(QString("projection %1: %2").arg(p).arg(a)));
    }
    delete i0;
    delete i0End;
    delete bg;
}

QTEST_GUILESS_MAIN(TestReferences)
#include "tst_references.moc"
