// Values set before a series is loaded: those inside it stay exactly as
// they were, those outside are brought inside with a message.
#include "SeriesFit.h"

#include <QtTest>

#include <cmath>

class TstSeriesFit : public QObject
{
    Q_OBJECT
private slots:
    void fit_data();
    void fit();
};

void TstSeriesFit::fit_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("slice");
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QRectF>("region");   // x0, z0 and extents
    QTest::addColumn<int>("wantSlice");
    QTest::addColumn<double>("wantCor");
    QTest::addColumn<int>("wantFrom");
    QTest::addColumn<int>("wantTo");
    QTest::addColumn<QRectF>("wantRegion");
    QTest::addColumn<int>("messages");
    // A 256 x 128 series: vertical axis slices 128 rows across 256 columns.
    const QRectF inside(10, 20, 100, 50);
    QTest::newRow("start values, vertical") << true << 1000 << 1000.0 << 0 << 2047 << QRectF(0, 0, 2047, 2047)
                                            << 64 << 128.0 << 0 << 127 << QRectF(0, 0, 252, 252) << 4;
    QTest::newRow("start values, horizontal") << false << 1000 << 1000.0 << 0 << 2047 << QRectF(0, 0, 2047, 2047)
                                              << 128 << 64.0 << 0 << 255 << QRectF(0, 0, 124, 124) << 4;
    QTest::newRow("all inside are kept") << true << 7 << 100.25 << 3 << 90 << inside
                                         << 7 << 100.25 << 3 << 90 << inside << 0;
    QTest::newRow("last row and whole field are inside") << true << 127 << 128.0 << 127 << 0 << QRectF(0, 0, 252, 252)
                                                         << 127 << 128.0 << 127 << 0 << QRectF(0, 0, 252, 252) << 0;
    // An off-centre axis has a smaller field: the region must lie in it.
    QTest::newRow("region beyond an off-centre field") << true << 7 << 200.0 << 3 << 90 << inside
                                                       << 7 << 200.0 << 3 << 90 << QRectF(0, 0, 108, 108) << 1;
    QTest::newRow("only the end outside changes") << true << 7 << 128.0 << 40 << 500 << inside
                                                  << 7 << 128.0 << 40 << 127 << inside << 1;
    QTest::newRow("negative start") << true << -1 << 128.0 << -3 << 20 << inside
                                    << 64 << 128.0 << 0 << 20 << inside << 2;
    QTest::newRow("centre within a pixel of the edge") << true << 7 << 254.5 << 3 << 90 << inside
                                                       << 7 << 128.0 << 3 << 90 << inside << 1;
    QTest::newRow("centre not a number") << true << 7 << std::nan("") << 3 << 90 << inside
                                         << 7 << 128.0 << 3 << 90 << inside << 1;
    QTest::newRow("reversed region") << true << 7 << 128.0 << 3 << 90 << QRectF(100, 20, -50, 50)
                                     << 7 << 128.0 << 3 << 90 << QRectF(0, 0, 252, 252) << 1;
}

void TstSeriesFit::fit()
{
    QFETCH(bool, vertical);
    QFETCH(int, slice);
    QFETCH(double, cor);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QRectF, region);
    QFETCH(int, wantSlice);
    QFETCH(double, wantCor);
    QFETCH(int, wantFrom);
    QFETCH(int, wantTo);
    QFETCH(QRectF, wantRegion);
    QFETCH(int, messages);

    SeriesFit fit(vertical, 256, 128);
    const int sliceWas = slice, fromWas = from, toWas = to;
    const double corWas = cor;
    const bool sliceChanged = fit.fitSlice(slice);
    QCOMPARE(sliceChanged, slice != sliceWas);
    QCOMPARE(slice, wantSlice);
    const bool corChanged = fit.fitCor(cor);
    QCOMPARE(corChanged, !(cor == corWas));
    QCOMPARE(cor, wantCor);
    const bool rangeChanged = fit.fitRange(from, to);
    QCOMPARE(rangeChanged, from != fromWas || to != toWas);
    QCOMPARE(from, wantFrom);
    QCOMPARE(to, wantTo);
    CtRegion r{region.left(), region.top(), region.right(), region.bottom()};
    fit.fitRegion(r, cor);
    QCOMPARE(QRectF(QPointF(r.x0, r.z0), QPointF(r.x1, r.z1)), wantRegion);
    QCOMPARE(fit.messages.size(), messages);
}

QTEST_GUILESS_MAIN(TstSeriesFit)
#include "tst_seriesfit.moc"
