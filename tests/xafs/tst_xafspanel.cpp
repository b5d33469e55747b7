// The spectrum panel maps picture positions to the stack's own pixels
// (stacks of a region start away from 0, 0), and its range fields reach
// the shared session only when they make sense.
#include "CtFiles.h"
#include "ImgDispWPV.h"
#include "XafsPanel.h"

#include <QChart>
#include <QChartView>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {
// Value of pixel (x, z) at energy e: tells every pixel and energy apart.
double value(int x, int z, double e)
{
    return x + 100.0 * z + (e - 7000.0) / 1000.0;
}
} // namespace

class TstXafsPanel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void picksAndDragsReadTheirOwnPixels_data();
    void picksAndDragsReadTheirOwnPixels();
    void rangeFieldsReachTheSessionWhenTheyRise();
    void fractionMapsComeFromTheJobAsViews();
    void stackAndEdgeMapsAreMadeInTheJob();

private:
    QTemporaryDir dir;
    XafsSession session;
    XafsJob job;
};

void TstXafsPanel::initTestCase()
{
    // A 12 x 8 region at (20, 30) of a 64-pixel slice, five energies.
    for (double e : {7100.0, 7110.0, 7120.0, 7130.0, 7140.0}) {
        std::vector<double> img(64 * 64, 0.0);
        for (int z = 0; z < 64; ++z)
            for (int x = 0; x < 64; ++x)
                img[size_t(z) * 64 + size_t(x)] = value(x, z, e);
        QVERIFY(CtFiles::saveData(dir.filePath(QString("S-%1eV-00001.dat").arg(e)), img.data(), 64, 20, 30, 32, 38));
    }
    QString why;
    QVERIFY2(session.loadStack(dir.path(), "S-*.dat", &why), qPrintable(why));
    QCOMPARE(session.stack().x0, 20LL);
}

void TstXafsPanel::picksAndDragsReadTheirOwnPixels_data()
{
    QTest::addColumn<bool>("drag");
    QTest::addColumn<QRectF>("picture");   // picture coordinates: a point, or a dragged rectangle
    QTest::addColumn<double>("first");     // expected first value of the plotted curve
    QTest::newRow("click") << false << QRectF(3.5, 2.5, 0, 0) << value(23, 32, 7100);
    QTest::newRow("drag") << true << QRectF(2, 1, 2, 2) << (value(22, 31, 7100) + value(23, 32, 7100)) / 2;
}

void TstXafsPanel::picksAndDragsReadTheirOwnPixels()
{
    QFETCH(bool, drag);
    QFETCH(QRectF, picture);
    QFETCH(double, first);
    XafsPanel panel(session, job);
    auto* disp = panel.findChild<ImgDispWPV*>();
    QVERIFY(disp);
    if (drag) {
        disp->selValid = true;
        disp->selX = picture.x();
        disp->selY = picture.y();
        disp->selW = picture.width();
        disp->selH = picture.height();
        emit disp->mouseReleased0();
    } else {
        emit disp->selectedAPoint(picture.x(), picture.y(), MouseC::L);
    }
    QCOMPARE(panel.regionCount(), 1);
    const QChart* chart = panel.findChild<QChartView*>("XafsChart")->chart();
    const QLineSeries* curve = nullptr;
    for (QAbstractSeries* s : chart->series())
        if (!s->name().isEmpty())
            curve = qobject_cast<QLineSeries*>(s);
    QVERIFY(curve);
    QCOMPARE(curve->count(), 5);
    QCOMPARE(curve->at(0).x(), 7100.0);
    QVERIFY2(std::fabs(curve->at(0).y() - first) < 1e-3, qPrintable(QString::number(curve->at(0).y())));
}

void TstXafsPanel::rangeFieldsReachTheSessionWhenTheyRise()
{
    XafsPanel panel(session, job);
    auto* pre2 = panel.findChild<QDoubleSpinBox*>("XafsPre2");
    pre2->setValue(-20);
    QCOMPARE(session.ranges().pre2, -20.0);
    pre2->setValue(50);   // beyond the post-edge start
    QCOMPARE(session.ranges().pre2, -20.0);
    QVERIFY(panel.findChild<QLabel*>("XafsFit")->text().contains("fit ranges must rise"));
}

void TstXafsPanel::fractionMapsComeFromTheJobAsViews()
{
    // Two references with edges 10 eV apart; the slice holds their half-and-half mixture.
    QTemporaryDir d;
    auto ref = [](double e, int r) { return 0.5 + std::atan((e - 7110 - 10 * r) / 2) / M_PI; };
    for (int r = 0; r < 2; ++r) {
        QFile f(d.filePath(QString("ref%1.csv").arg(r)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("energy,norm\n");
        for (double e = 6900; e <= 7400; e += 1)
            f.write(QByteArray::number(e) + ',' + QByteArray::number(ref(e, r)) + '\n');
    }
    for (double e = 7000; e <= 7300; e += 5) {
        const std::vector<double> img(16 * 16, 0.5 * ref(e, 0) + 0.5 * ref(e, 1));
        QVERIFY(CtFiles::saveData(d.filePath(QString("M-%1eV-00001.dat").arg(e)), img.data(), 16, 0, 0, 16, 16));
    }
    XafsSession local;
    QString why;
    QVERIFY(local.loadStack(d.path(), "M-*.dat", &why));
    QVERIFY2(local.loadReferences({d.filePath("ref0.csv"), d.filePath("ref1.csv")}, &why), qPrintable(why));
    XafsPanel panel(local, job);
    auto* view = panel.findChild<QComboBox*>("XafsView");
    QCOMPARE(view->count(), 4);
    QSignalSpy done(&panel.job(), &XafsJob::finished);
    panel.findChild<QPushButton*>("XafsFitMaps")->click();
    // A second job is refused while one runs.
    QVERIFY(!panel.job().start("again", [](XafsProgress*, QString&, int&) { return true; }) || done.count() == 1);
    QVERIFY(done.count() == 1 || done.wait(10000));
    QVERIFY2(done.first().at(0).toBool(), qPrintable(done.first().at(2).toString()));
    QVERIFY(!panel.job().busy());
    // Two fractions, their sum and the R-factor, the first fraction shown.
    QCOMPARE(view->count(), 4 + 2 + 2);
    QCOMPARE(view->currentIndex(), 4);
    const std::vector<float>& f0 = local.lastLcfMaps().fraction[0];
    QVERIFY(std::fabs(f0[8 * 16 + 8] - 0.5f) < 0.01f);
}

// The Load button and an edge-map view leave the work to the job; the
// session gets the stack and the maps when it ends, not before.
void TstXafsPanel::stackAndEdgeMapsAreMadeInTheJob()
{
    XafsSession local;
    XafsPanel panel(local, job);
    QSignalSpy done(&panel.job(), &XafsJob::finished);
    panel.findChild<QLineEdit*>("XafsDir")->setText(dir.path());
    panel.findChild<QLineEdit*>("XafsPattern")->setText("S-*.dat");
    panel.findChild<QPushButton*>("XafsLoad")->click();
    QVERIFY(local.stack().isEmpty() || done.count() == 1);
    QVERIFY(done.count() == 1 || done.wait(10000));
    QVERIFY(done.last().at(0).toBool());
    QCOMPARE(local.stack().count(), 5);
    QCOMPARE(local.stack().x0, 20LL);
    QVERIFY(!local.currentMaps());
    panel.showView(2);
    QVERIFY(panel.job().busy() || done.count() == 2);
    QVERIFY(done.count() == 2 || done.wait(10000));
    const XafsMaps* m = local.currentMaps();
    QVERIFY(m);
    QCOMPARE(m->width, local.stack().width);
    QCOMPARE(m->jump.size(), size_t(m->width) * size_t(m->height));
    QVERIFY(!panel.findChild<ImgDispWPV*>()->image.isNull());
    // A failed load leaves no stack and names the cause.
    panel.findChild<QLineEdit*>("XafsPattern")->setText("none-*.dat");
    panel.findChild<QPushButton*>("XafsLoad")->click();
    QVERIFY(done.count() == 3 || done.wait(10000));
    QVERIFY(!done.last().at(0).toBool());
    QVERIFY(local.stack().isEmpty());
}

QTEST_MAIN(TstXafsPanel)
#include "tst_xafspanel.moc"
