// Values set before a series is loaded: those inside it stay exactly as
// they were, those outside are brought inside with a message each.
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

// A 256 x 128 series; each row: axis vertical, slice, centre, from, to,
// region (x0 z0 x1 z1), then the same eight values expected and the messages.
void TstSeriesFit::fit_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<QList<double>>("in");
    QTest::addColumn<QList<double>>("want");
    QTest::addColumn<int>("messages");
    const QList<double> inside{7, 100.25, 3, 90, 10, 20, 110, 70};
    QTest::newRow("start values, vertical") << true << QList<double>{1000, 1000, 0, 2047, 0, 0, 2047, 2047}
                                            << QList<double>{64, 128, 0, 127, 0, 0, 252, 252} << 4;
    QTest::newRow("start values, horizontal") << false << QList<double>{1000, 1000, 0, 2047, 0, 0, 2047, 2047}
                                              << QList<double>{128, 64, 0, 255, 0, 0, 124, 124} << 4;
    QTest::newRow("inside are kept") << true << inside << inside << 0;
    QTest::newRow("last line and whole field") << true << QList<double>{127, 128, 127, 0, 0, 0, 252, 252}
                                               << QList<double>{127, 128, 127, 0, 0, 0, 252, 252} << 0;
    // An off-centre axis has a smaller field, which the region must lie in.
    QTest::newRow("beyond an off-centre field") << true << QList<double>{7, 200, 3, 90, 10, 20, 110, 70}
                                                << QList<double>{7, 200, 3, 90, 0, 0, 108, 108} << 1;
    QTest::newRow("only the end outside") << true << QList<double>{7, 128, 40, 500, 10, 20, 110, 70}
                                          << QList<double>{7, 128, 40, 127, 10, 20, 110, 70} << 1;
    QTest::newRow("negative slice and start") << true << QList<double>{-1, 128, -3, 20, 10, 20, 110, 70}
                                              << QList<double>{64, 128, 0, 20, 10, 20, 110, 70} << 2;
    QTest::newRow("centre within a pixel of the edge") << true << QList<double>{7, 254.5, 3, 90, 10, 20, 110, 70}
                                                       << QList<double>{7, 128, 3, 90, 10, 20, 110, 70} << 1;
    QTest::newRow("centre not a number") << true << QList<double>{7, std::nan(""), 3, 90, 10, 20, 110, 70}
                                         << QList<double>{7, 128, 3, 90, 10, 20, 110, 70} << 1;
    QTest::newRow("reversed region") << true << QList<double>{7, 128, 3, 90, 100, 20, 50, 70}
                                     << QList<double>{7, 128, 3, 90, 0, 0, 252, 252} << 1;
}

void TstSeriesFit::fit()
{
    QFETCH(bool, vertical);
    QFETCH(QList<double>, in);
    QFETCH(QList<double>, want);
    QFETCH(int, messages);
    SeriesFit fit(vertical, 256, 128);
    int slice = int(in[0]), from = int(in[2]), to = int(in[3]);
    double cor = in[1];
    CtRegion r{in[4], in[5], in[6], in[7]};
    // Each call says whether it changed its value.
    QCOMPARE(fit.fitSlice(slice), want[0] != in[0]);
    QCOMPARE(fit.fitCor(cor), !(want[1] == in[1]));
    QCOMPARE(fit.fitRange(from, to), want[2] != in[2] || want[3] != in[3]);
    fit.fitRegion(r, cor);
    QCOMPARE((QList<double>{double(slice), cor, double(from), double(to), r.x0, r.z0, r.x1, r.z1}), want);
    QCOMPARE(fit.messages.size(), messages);
}

QTEST_GUILESS_MAIN(TstSeriesFit)
#include "tst_seriesfit.moc"
