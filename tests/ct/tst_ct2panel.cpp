// The result panel's regions, read-outs and the way panels keep each other in
// step; what a panel publishes for the engine and how it follows its worker.
#include "ColorBar.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CtCalcBase.h"
#include "CtRun.h"
#include "ImgDatas.h"
#include "SampleWriter.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {
// A widget of a panel's form by its object name.
template <class T>
T* w(const QWidget& panel, const char* name)
{
    T* found = panel.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no %s in the panel", name);
    return found;
}
QLineEdit* edit(const QWidget& panel, const char* name)
{
    return w<QLineEdit>(panel, name);
}
} // namespace

class TstCt2Panel : public QObject
{
    Q_OBJECT
private slots:
    void formDefaults();
    void setCR_data();
    void setCR();
    void setCRegionRounds_data();
    void setCRegionRounds();
    void panelsFollowWithoutEcho();
    void zoomEmitsOnce();
    void publishedRegionFollowsTyping();
    void spentTime();
    void viewPublishesState();
    void snapshotDrawsLikeTheBar_data();
    void snapshotDrawsLikeTheBar();
    void followsItsWorker();
    void unitsFollowThePixelSize_data();
    void unitsFollowThePixelSize();
};

void TstCt2Panel::formDefaults()
{
    CtCalcBase p;
    QCOMPARE(p.windowTitle(), QStringLiteral("CT Calc"));
    QCOMPARE(w<QPushButton>(p, "SetCRegion")->text(), QStringLiteral("Set To C. Region"));
    QCOMPARE(w<QLabel>(p, "label_7")->text(), QStringLiteral("Cacl R."));
    QCOMPARE(edit(p, "ShowSliceNo")->text(), QStringLiteral("0"));
    QCOMPARE(edit(p, "SpentT")->text(), QStringLiteral("0"));
    QVERIFY(w<QCheckBox>(p, "CalcAtOnce")->isChecked());
    const QString ro = QStringLiteral("background-color: rgb(255, 255, 232);");
    for (QLineEdit* f : {edit(p, "Drx0"), edit(p, "Drz0"), edit(p, "Drx1"), edit(p, "Drz1"), edit(p, "ShowSliceNo"), edit(p, "StartT"), edit(p, "EndT"), edit(p, "SpentT")}) {
        QVERIFY2(f->isReadOnly(), qPrintable(f->objectName()));
        QCOMPARE(f->styleSheet(), ro);
    }
    for (QLineEdit* f : {edit(p, "Crx0"), edit(p, "Crz0"), edit(p, "Crx1"), edit(p, "Crz1")}) {
        QVERIFY(!f->isReadOnly());
        QCOMPARE(f->styleSheet(), QStringLiteral("background-color: rgb(255, 255, 255);"));
    }
    // The placeholder region is shown but counts as never set.
    QCOMPARE(edit(p, "Crx1")->text(), QStringLiteral("2047"));
    QVERIFY(!p.regionSet);
    QCOMPARE(p.calcRegion().z1, 2047.0);
}

void TstCt2Panel::setCR_data()
{
    QTest::addColumn<QList<double>>("first");
    QTest::addColumn<QList<double>>("second");
    QTest::addColumn<bool>("emitted");
    QTest::addColumn<QString>("shownX1");
    const QList<double> base{0, 0, 1000, 1000};
    QTest::newRow("same values") << base << base << false << "1000";
    QTest::newRow("only z1 changes") << base << QList<double>{0, 0, 1000, 999} << true << "1000";
    QTest::newRow("below sixth digit") << base << QList<double>{0, 0, 1000.0000001, 1000} << false << "1000";
    QTest::newRow("sixth digit") << base << QList<double>{0, 0, 1000.5, 1000} << true << "1000.5";
    QTest::newRow("NaN again") << QList<double>{0, 0, qQNaN(), 1} << QList<double>{0, 0, qQNaN(), 1} << false
                               << "nan";
}

void TstCt2Panel::setCR()
{
    QFETCH(QList<double>, first);
    QFETCH(QList<double>, second);
    QFETCH(bool, emitted);
    QFETCH(QString, shownX1);
    CtCalcBase p;
    p.setCR(first[0], first[1], first[2], first[3]);
    p.regionSet = false;
    QSignalSpy spy(&p, &CtCalcBase::cRUpdated);
    p.setCR(second[0], second[1], second[2], second[3]);
    QCOMPARE(spy.count(), emitted ? 1 : 0);
    QCOMPARE(bool(p.regionSet), emitted);
    QCOMPARE(edit(p, "Crx1")->text(), shownX1);
    if (emitted) // the values as passed, not as shown
        QCOMPARE(spy.at(0).at(2).toDouble(), second[2]);
}

void TstCt2Panel::setCRegionRounds_data()
{
    QTest::addColumn<QRectF>("view");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fractions") << QRectF(10.4, 20.6, 89.8, 180.3) << "10 20 101 201";
    QTest::newRow("whole") << QRectF(0, 0, 64, 32) << "0 0 64 32";
    QTest::newRow("negative") << QRectF(-2.5, -0.5, 5, 1) << "-3 -1 3 1";
}

void TstCt2Panel::setCRegionRounds()
{
    QFETCH(QRectF, view);
    QFETCH(QString, expected);
    CtCalcBase p;
    QSignalSpy dr(&p, &CtCalcBase::dRUpdated);
    p.noticedNewS(view);
    QCOMPARE(dr.count(), 1);
    QTest::mouseClick(w<QPushButton>(p, "SetCRegion"), Qt::LeftButton);
    const QString shown = QStringList{edit(p, "Crx0")->text(), edit(p, "Crz0")->text(), edit(p, "Crx1")->text(), edit(p, "Crz1")->text()}.join(' ');
    QCOMPARE(shown, expected);
    QVERIFY(p.regionSet);
}

// The owner passes a change on to every other panel; the round must end.
void TstCt2Panel::panelsFollowWithoutEcho()
{
    CtCalcBase a, b, c;
    QList<CtCalcBase*> all{&a, &b, &c};
    int passes = 0;
    for (CtCalcBase* s : all)
        connect(s, &CtCalcBase::cRUpdated, this, [&, s](double x0, double z0, double x1, double z1) {
            ++passes;
            QVERIFY(passes < 10);
            for (CtCalcBase* o : all)
                if (o != s)
                    o->setCR(x0, z0, x1, z1);
        });
    // Each panel announces its own change once; the others then see none.
    b.setCR(1, 2, 30.25, 40);
    QCOMPARE(passes, 3);
    for (CtCalcBase* p : all) {
        QCOMPARE(edit(*p, "Crx1")->text(), QStringLiteral("30.25"));
        QCOMPARE(p->calcRegion().x1, 30.25);
    }
    b.setCR(qQNaN(), 2, 30.25, 40);
    QCOMPARE(passes, 6);
    b.setCR(qQNaN(), 2, 30.25, 40);
    QCOMPARE(passes, 6);
}

void TstCt2Panel::zoomEmitsOnce()
{
    CtCalcBase p;
    p.resize(300, 300);
    QSignalSpy dr(&p, &CtCalcBase::dRUpdated);
    p.setDR(5, 6, 55, 66);
    QCOMPARE(dr.count(), 1);
    QCOMPARE(p.display()->view, QRectF(5, 6, 50, 60));
    p.setDR(5, 6, 55, 66);
    QCOMPARE(dr.count(), 1);
    QCOMPARE(edit(p, "Drz1")->text(), QStringLiteral("66"));
}

void TstCt2Panel::publishedRegionFollowsTyping()
{
    CtCalcBase p;
    edit(p, "Crz0")->setText(QStringLiteral("12.5"));
    edit(p, "Crx1")->setText(QStringLiteral("abc"));
    const CtRegion r = p.calcRegion();
    QCOMPARE(r.z0, 12.5);
    QCOMPARE(r.x1, 0.0);
    QCOMPARE(r.x0, 0.0);
}

void TstCt2Panel::spentTime()
{
    CtCalcBase p;
    const QDateTime t0 = QDateTime::fromString(QStringLiteral("2024-05-06T07:08:09.250"), Qt::ISODateWithMs);
    p.showStartTimeAt(t0);
    p.showEndTimeAt(t0.addMSecs(1500));
    p.showSpentT();
    QCOMPARE(edit(p, "SpentT")->text(), QStringLiteral("1.5"));
    QCOMPARE(edit(p, "StartT")->text(), QStringLiteral("07:08:09.250"));
    QCOMPARE(edit(p, "EndT")->text(), QStringLiteral("07:08:10.750"));
    p.showSliceNo(-12);
    QCOMPARE(edit(p, "ShowSliceNo")->text(), QStringLiteral("-12"));
    p.setCBarMinMaxForced(-2, 7.5);
    QCOMPARE(p.cbar->getVMax(), 7.5);
    QCOMPARE(p.cbar->ui.CMaxLE->text(), QStringLiteral("7.5"));
    p.setFixColorScale(true);
    QVERIFY(p.cbar->isFixed());
}

// What the engine takes from a panel when it deals a slice.
void TstCt2Panel::viewPublishesState()
{
    CtCalcBase p;
    CtView v = p.view();
    QVERIFY(v.wholeImage);
    QVERIFY(v.pictureRect.isEmpty());
    QVERIFY(!v.colours.isFixed());
    p.setCR(1, 2, 30.5, 40);
    p.setDR(4, 5, 60, 45);
    p.setCBarMinMaxForced(-2, 7.5);
    p.setFixColorScale(true);
    v = p.view();
    QVERIFY(!v.wholeImage);
    QCOMPARE(v.region.x1, 30.5);
    QCOMPARE(v.region.z0, 2.0);
    // Pictures hold the calculation region, not the part on display.
    QCOMPARE(v.pictureRect, QRectF(1, 2, 30, 38));
    QVERIFY(v.colours.isFixed());
    QCOMPARE(v.colours.vMin, -2.0);
    QCOMPARE(v.colours.vMax, 7.5);
}

void TstCt2Panel::snapshotDrawsLikeTheBar_data()
{
    QTest::addColumn<double>("vMin");
    QTest::addColumn<double>("vMax");
    QTest::addColumn<double>("cMin");
    QTest::addColumn<double>("cMax");
    QTest::newRow("unit") << 0.0 << 1.0 << 0.0 << 1.0;
    QTest::newRow("window") << -3.0 << 7.0 << 0.2 << 0.65;
    QTest::newRow("reversed") << 5.0 << -5.0 << 0.9 << 0.1;
    QTest::newRow("flat") << 2.0 << 2.0 << 0.0 << 1.0;
}

// A snapshot gives every value the grey level the bar gives it.
void TstCt2Panel::snapshotDrawsLikeTheBar()
{
    QFETCH(double, vMin);
    QFETCH(double, vMax);
    QFETCH(double, cMin);
    QFETCH(double, cMax);
    ColorBar bar;
    bar.setMinMaxForced(vMin, vMax);
    bar.cMin = cMin;
    bar.cMax = cMax;
    const ColorSnapshot s = bar.snapshot();
    const double v[] = {-1e300, -4, -0.5, 0, 0.3, 1, 2, 2.0000001, 6.9, 1e300, qQNaN(), qInf(), -qInf()};
    const int n = int(std::size(v));
    uchar a[n], b[n];
    bar.levelRow(v, a, n);
    s.levelRow(v, b, n);
    for (int i = 0; i < n; ++i) {
        QCOMPARE(int(b[i]), int(a[i]));
        QCOMPARE(s.level(v[i]), bar.level(v[i]));
    }
}

// A panel shows what its worker hands back: slice number, times, the region
// of the whole image, the picture and its range, the read-out; a colour
// change has the worker draw the last result again.
void TstCt2Panel::followsItsWorker()
{
    QTemporaryDir tmp;
    SampleOptions o;
    o.outDir = tmp.filePath("s");
    o.width = 60;
    o.height = 8;
    o.nProj = 40;
    o.truthSlices = 0;
    SampleWriter w(o);
    QVERIFY(w.valid() && w.write());
    ImgDatas set;
    for (int k = 0; k < o.nProj; ++k)
        QVERIFY(set.addFile(o.outDir + "/" + w.seriesName(k, 0)));
    CtRun run;
    run.images = &set;
    run.createPool(1);
    CtCalc2Ui p;
    p.setCalc(run.worker(0));
    run.viewOf = [&p](int) { return p.view(); };
    QSignalSpy cr(&p, &CtCalcBase::cRUpdated);
    QSignalSpy results(run.worker(0), &CtCalc2::calcFinished);
    ReconSettings s;
    CtCond& c = s.cond;
    c.ct2 = true;
    c.rotAxIsV = true;
    c.cor = w.cor();
    c.sliceNo = 3;
    c.threads = 1;
    run.start(s);
    // Emitted in the worker's thread, possibly before a wait would begin.
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 10000);
    QTRY_COMPARE(edit(p, "ShowSliceNo")->text(), QStringLiteral("3"));
    QTRY_VERIFY(!edit(p, "EndT")->text().isEmpty());
    const CtResult r = results.at(0).at(0).value<CtResult>();
    const int n = r.data->n;
    QCOMPARE(cr.count(), 1);
    QCOMPARE(edit(p, "Crx1")->text(), QString::number(n));
    QVERIFY(p.regionSet);
    QCOMPARE(p.display()->image, r.picture);
    QCOMPARE(p.cbar->getVMax(), r.data->maxV);
    p.noticedNewPos(n / 2 + 0.7, n / 3 + 0.2);
    QCOMPARE(p.display()->Val->text(), QString::number(r.data->image[size_t(n / 3) * n + n / 2], 'g', 6));
    p.display()->Val->setText("none");
    p.noticedNewPos(n, 0);
    p.noticedNewPos(qQNaN(), 0);
    QCOMPARE(p.display()->Val->text(), QStringLiteral("none"));

    QSignalSpy drawn(run.worker(0), &CtCalc2::imageRendered);
    p.setFixColorScale(true);
    p.setCBarMinMaxForced(r.data->minV, r.data->minV + (r.data->maxV - r.data->minV) / 4);
    emit p.display()->newBar();
    QTRY_COMPARE_WITH_TIMEOUT(drawn.count(), 1, 5000);
    QTRY_COMPARE(p.display()->image, drawn.at(0).at(0).value<CtResult>().picture);
    QVERIFY(p.display()->image != r.picture);
}

// With a pixel size the colour bar's labels and the read-out give mu in
// 1/cm; without one, the values.
void TstCt2Panel::unitsFollowThePixelSize_data()
{
    QTest::addColumn<double>("perCm");
    QTest::newRow("no pixel size") << 0.0;
    QTest::newRow("10 um, 90 projections") << 1.0 / (2 * 90 * 10e-4);
}

void TstCt2Panel::unitsFollowThePixelSize()
{
    QFETCH(double, perCm);
    CtCalcBase p;
    p.cbar->setMinMaxForced(-0.5, 3.25);
    p.cbar->setFixedSize(30, 300);
    const QImage plain = p.cbar->grab().toImage();
    p.valueToPerCm = perCm;
    p.showUnits();
    p.showValue(1.5);
    if (perCm > 0) {
        QCOMPARE(p.cbar->labelText(3.25), QString::number(3.25 * perCm, 'g', 4) + " /cm");
        QCOMPARE(p.display()->Val->text(), QString("1.5 (%1 /cm)").arg(1.5 * perCm, 0, 'g', 6));
    } else {
        QCOMPARE(p.cbar->labelText(3.25), QString("3.25"));
        QCOMPARE(p.display()->Val->text(), QString("1.5"));
    }
    // The bar draws those labels.
    QCOMPARE(p.cbar->grab().toImage() == plain, !(perCm > 0));
}

QTEST_MAIN(TstCt2Panel)
#include "tst_ct2panel.moc"
