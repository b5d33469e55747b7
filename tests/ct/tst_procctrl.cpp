// Process control panel: defaults of its form, change signals, setters and
// the run-condition snapshot.
#include "FieldWidth.h"
#include "ProcCtrl.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>

class TestProcCtrl : public QObject
{
    Q_OBJECT
private slots:
    void defaults();
    void typedValues_data();
    void typedValues();
    void rotationAxis();
    void setters();
    void switchesSignal();
    void snapshot_data();
    void snapshot();
    void filterFields_data();
    void filterFields();
};

void TestProcCtrl::defaults()
{
    ProcCtrl p;
    QCOMPARE(p.windowTitle(), QString("Proc Control"));
    QCOMPARE(p.rotAxIsV, false);
    QVERIFY(p.findChild<QRadioButton*>("RotAxH")->isChecked());
    QCOMPARE(p.sliceNo, 1000);
    QCOMPARE(p.cor, 1000.0);
    QCOMPARE(p.findChild<QLineEdit*>("Cor")->text(), QString("1000"));
    // At least the form's 60 pixels, more when the font needs it for a
    // centre such as "-88888.8".
    QVERIFY(p.findChild<QLineEdit*>("Cor")->maximumWidth() >= 60);
    QVERIFY(p.findChild<QLineEdit*>("Cor")->minimumWidth() >= FieldWidth::widthFor(p.findChild<QLineEdit*>("Cor"), FieldWidth::position()));
    QVERIFY(p.findChild<QLineEdit*>("Cor")->alignment() & Qt::AlignRight);
    QCOMPARE(p.findChild<QLineEdit*>("SliceFrom")->text(), QString("0"));
    QCOMPARE(p.findChild<QLineEdit*>("SliceTo")->text(), QString("2047"));
    QCOMPARE(p.findChild<QLineEdit*>("SliceStep")->text(), QString("1"));
    QVERIFY(p.findChild<QCheckBox*>("AutoUpdate")->isChecked());
    QVERIFY(!p.findChild<QCheckBox*>("AutoExecCtCalc")->isChecked());
    QCOMPARE(p.findChild<QSpinBox*>("Threads")->minimum(), 0);
    QCOMPARE(p.findChild<QCheckBox*>("AutoUpdate")->text(), QString("Auto Update Sinogram"));
    QCOMPARE(p.findChild<QCheckBox*>("AutoExecCtCalc")->text(), QString("Auto Exec"));
    // Setting the value it already has changes nothing.
    QSignalSpy spy(&p, &ProcCtrl::corUpdated);
    p.setCor(1000);
    QCOMPARE(spy.count(), 0);
}

// Typing into SliceNo or Cor and leaving the field.
void TestProcCtrl::typedValues_data()
{
    QTest::addColumn<bool>("isCor");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("emitted");
    QTest::newRow("cor changed") << true << "1023.5" << 1023.5 << 1;
    QTest::newRow("cor same again") << true << "1000" << 1000.0 << 0;
    QTest::newRow("cor same, other spelling") << true << "1.0e3" << 1000.0 << 0;
    QTest::newRow("cor text") << true << "abc" << 0.0 << 1;
    QTest::newRow("slice changed") << false << "12" << 12.0 << 1;
    QTest::newRow("slice same") << false << "1000" << 1000.0 << 0;
    QTest::newRow("slice text") << false << "x1" << 0.0 << 1;
    QTest::newRow("slice too big") << false << "4294967296" << 0.0 << 1;
}

void TestProcCtrl::typedValues()
{
    QFETCH(bool, isCor);
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(int, emitted);
    ProcCtrl p;
    QSignalSpy corSpy(&p, &ProcCtrl::corUpdated);
    QSignalSpy sliceSpy(&p, &ProcCtrl::sliceNoUpdated);
    QLineEdit* e = isCor ? p.findChild<QLineEdit*>("Cor") : p.findChild<QLineEdit*>("SliceNo");
    e->setText(text);
    emit e->editingFinished();
    if (isCor) {
        QCOMPARE(p.cor, value);
        QCOMPARE(corSpy.count(), emitted);
        QCOMPARE(sliceSpy.count(), 0);
    } else {
        QCOMPARE(p.sliceNo, int(value));
        QCOMPARE(sliceSpy.count(), emitted);
        QCOMPARE(corSpy.count(), 0);
    }
    // Leaving the field again without a change is silent.
    emit e->editingFinished();
    QCOMPARE((isCor ? corSpy : sliceSpy).count(), emitted);
}

void TestProcCtrl::rotationAxis()
{
    ProcCtrl p;
    p.show();
    QSignalSpy spy(&p, &ProcCtrl::rotAxUpdated);
    QTest::mouseClick(p.findChild<QRadioButton*>("RotAxH"), Qt::LeftButton);  // already checked
    QCOMPARE(spy.count(), 0);
    QTest::mouseClick(p.findChild<QRadioButton*>("RotAxV"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QVERIFY(p.rotAxIsV);
    QVERIFY(!p.findChild<QRadioButton*>("RotAxH")->isChecked());
    QTest::mouseClick(p.findChild<QRadioButton*>("RotAxV"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QTest::mouseClick(p.findChild<QRadioButton*>("RotAxH"), Qt::LeftButton);
    QCOMPARE(spy.count(), 2);
    QVERIFY(!p.rotAxIsV);
}

void TestProcCtrl::setters()
{
    ProcCtrl p;
    QSignalSpy corSpy(&p, &ProcCtrl::corUpdated);
    QSignalSpy sliceSpy(&p, &ProcCtrl::sliceNoUpdated);
    p.setCor(1023.456789);
    QCOMPARE(p.findChild<QLineEdit*>("Cor")->text(), QString("1023.46"));
    QCOMPARE(p.cor, 1023.456789);
    QCOMPARE(corSpy.count(), 1);
    p.setCor(1023.456789);
    QCOMPARE(corSpy.count(), 1);
    p.setCor(qQNaN());
    QCOMPARE(corSpy.count(), 2);
    p.setSliceNo(-3);
    QCOMPARE(p.findChild<QLineEdit*>("SliceNo")->text(), QString("-3"));
    QCOMPARE(sliceSpy.count(), 1);
    p.setSliceNo(-3);
    QCOMPARE(sliceSpy.count(), 1);
    p.setSliceFrom(5);
    p.setSliceTo(1);
    p.setSliceStep(2);
    QCOMPARE(p.findChild<QLineEdit*>("SliceFrom")->text(), QString("5"));
    QCOMPARE(p.findChild<QLineEdit*>("SliceTo")->text(), QString("1"));
    QCOMPARE(p.findChild<QLineEdit*>("SliceStep")->text(), QString("2"));
    QCOMPARE(sliceSpy.count(), 1);
    QCOMPARE(corSpy.count(), 2);
}

void TestProcCtrl::switchesSignal()
{
    ProcCtrl p;
    QSignalSpy upd(&p, &ProcCtrl::autoUpdateUpdated);
    QSignalSpy exe(&p, &ProcCtrl::autoExecUpdated);
    p.findChild<QCheckBox*>("AutoUpdate")->setChecked(false);
    p.findChild<QCheckBox*>("AutoExecCtCalc")->setChecked(true);
    p.findChild<QCheckBox*>("AutoExecCtCalc")->setChecked(true);
    QCOMPARE(upd.count(), 1);
    QCOMPARE(exe.count(), 1);
}

void TestProcCtrl::snapshot_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("expFrom");
    QTest::addColumn<int>("expTo");
    QTest::addColumn<int>("expStep");
    QTest::newRow("down, 5") << "10" << "0" << "5" << 2 << 10 << 0 << -5;
    QTest::newRow("down, -5") << "10" << "0" << "-5" << 2 << 10 << 0 << -5;
    QTest::newRow("up") << "0" << "10" << "-5" << 32 << 0 << 10 << 5;
    QTest::newRow("zero step, no threads") << "0" << "10" << "0" << 0 << 0 << 10 << 0;
    QTest::newRow("text") << "a" << "b" << "c" << 1 << 0 << 0 << 0;
}

void TestProcCtrl::snapshot()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, step);
    QFETCH(int, threads);
    QFETCH(int, expFrom);
    QFETCH(int, expTo);
    QFETCH(int, expStep);
    ProcCtrl p;
    p.findChild<QLineEdit*>("SliceFrom")->setText(from);
    p.findChild<QLineEdit*>("SliceTo")->setText(to);
    p.findChild<QLineEdit*>("SliceStep")->setText(step);
    p.findChild<QSpinBox*>("Threads")->setValue(threads);
    p.findChild<QCheckBox*>("AutoExecCtCalc")->setChecked(true);
    p.setCor(812.25);
    p.setSliceNo(77);
    const CtCond c = p.ctCond();
    QCOMPARE(c.from, expFrom);
    QCOMPARE(c.to, expTo);
    QCOMPARE(c.step, expStep);
    QCOMPARE(c.threads, threads);
    QVERIFY(c.autoExec);
    QCOMPARE(c.cor, 812.25);
    QCOMPARE(c.sliceNo, 77);
    QCOMPARE(c.rotAxIsV, false);
    QVERIFY(!c.ct1 && !c.ct2);
}

// The filter box offers the filter table; typed cutoff and pixel size
// reach the run as numbers, or as NaN so that the run refuses them.
void TestProcCtrl::filterFields_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("cutoff");
    QTest::addColumn<QString>("pixel");
    QTest::addColumn<int>("rings");
    QTest::addColumn<double>("expCutoff");
    QTest::addColumn<double>("expPixel");
    QTest::newRow("defaults") << "" << "1" << "" << 0 << 1.0 << 0.0;
    QTest::newRow("hann 0.7, 6.5 um") << "hann" << " 0.7 " << "6.5" << 9 << 0.7 << 6.5;
    QTest::newRow("empty cutoff is 1") << "cosine" << "" << "" << 3 << 1.0 << 0.0;
    QTest::newRow("text") << "hamming" << "half" << "big" << 0 << qQNaN() << qQNaN();
}

void TestProcCtrl::filterFields()
{
    QFETCH(QString, filter);
    QFETCH(QString, cutoff);
    QFETCH(QString, pixel);
    QFETCH(int, rings);
    QFETCH(double, expCutoff);
    QFETCH(double, expPixel);
    ProcCtrl p;
    QStringList offered;
    for (int i = 0; i < p.findChild<QComboBox*>("Filter")->count(); ++i)
        offered << p.findChild<QComboBox*>("Filter")->itemText(i);
    QCOMPARE(offered, FbpFilter::names());
    if (!filter.isEmpty())
        p.findChild<QComboBox*>("Filter")->setCurrentText(filter);
    p.findChild<QLineEdit*>("FilterCutoff")->setText(cutoff);
    p.findChild<QLineEdit*>("PixelSize")->setText(pixel);
    p.findChild<QSpinBox*>("RingSize")->setValue(rings);
    const CtCond c = p.ctCond();
    QCOMPARE(c.filter.name, filter.isEmpty() ? QStringLiteral("ramp") : filter);
    QVERIFY(std::isnan(expCutoff) ? std::isnan(c.filter.cutoff) : c.filter.cutoff == expCutoff);
    QVERIFY(std::isnan(expPixel) ? std::isnan(c.pixelSizeUm) : c.pixelSizeUm == expPixel);
    QCOMPARE(c.ringSize, rings);
}

QTEST_MAIN(TestProcCtrl)
#include "tst_procctrl.moc"
