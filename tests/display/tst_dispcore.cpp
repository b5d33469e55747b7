// Arithmetic of the displays: coordinate mappings, mouse capture, grey
// levels, zoom, pan, selection and text fitting.
#include "ChCoord.h"
#include "DispMath.h"
#include "MouseC.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <limits>

namespace {
const double inf = std::numeric_limits<double>::infinity();
const double qnan = std::numeric_limits<double>::quiet_NaN();

bool sameDouble(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    if (std::isinf(a) || std::isinf(b))
        return a == b;
    return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(b));
}

QMouseEvent mouseEvent(QEvent::Type t, QPointF p, Qt::MouseButton b, Qt::KeyboardModifiers m)
{
    const Qt::MouseButtons bs = t == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(b);
    return QMouseEvent(t, p, p, b, bs, m);
}
} // namespace

class TstDispCore : public QObject
{
    Q_OBJECT
private slots:
    void mapping_data();
    void mapping();
    void roundTrip_data();
    void roundTrip();
    void capture_data();
    void capture();
    void doubleClickKeepsPosition();
    void wheel_data();
    void wheel();
    void mstat_data();
    void mstat();
    void grey_data();
    void grey();
    void greyRowMatchesSingle();
    void barRow_data();
    void barRow();
    void truncation_data();
    void truncation();
    void fitSize_data();
    void fitSize();
};

void TstDispCore::mapping_data()
{
    QTest::addColumn<QRectF>("s"); // x0, y0, x1, y1 packed as (x, y, w, h) = corners
    QTest::addColumn<QRectF>("r");
    QTest::addColumn<QString>("fn");
    QTest::addColumn<double>("in");
    QTest::addColumn<double>("out");
    // Corner pairs are carried as QRectF(x0, y0, x1, y1) for brevity.
    const QRectF s(0, 200, 300, 0);
    const QRectF r(0, 0, 300, 200);
    const QRectF rev(10, 110, 110, 10);
    QTest::newRow("y up bottom") << s << r << "r2sY" << 0.0 << 200.0;
    QTest::newRow("y up top") << s << r << "r2sY" << 200.0 << 0.0;
    QTest::newRow("x") << s << r << "r2sX" << 150.0 << 150.0;
    QTest::newRow("rows down: row 10 at top") << s << rev << "r2sY" << 10.0 << 0.0;
    QTest::newRow("rows down: row 110 at bottom") << s << rev << "r2sY" << 110.0 << 200.0;
    QTest::newRow("rows down: x") << s << rev << "r2sX" << 60.0 << 150.0;
    QTest::newRow("s2rY top") << s << rev << "s2rY" << 0.0 << 10.0;
    QTest::newRow("s2rY middle") << s << rev << "s2rY" << 100.0 << 60.0;
    QTest::newRow("s2rX outside left") << s << rev << "s2rX" << -30.0 << 0.0;
    QTest::newRow("s2rY outside below") << s << rev << "s2rY" << 400.0 << 210.0;
    QTest::newRow("length x") << s << rev << "r2sDX" << 10.0 << 30.0;
    QTest::newRow("length y upward") << s << r << "r2sDY" << 10.0 << -10.0;
    QTest::newRow("length y rows down") << s << rev << "r2sDY" << 10.0 << 20.0;
    QTest::newRow("empty real x") << s << QRectF(5, 0, 5, 200) << "r2sX" << 6.0 << inf;
    QTest::newRow("empty real x at origin") << s << QRectF(5, 0, 5, 200) << "r2sX" << 5.0 << qnan;
    QTest::newRow("empty real y") << s << QRectF(0, 7, 300, 7) << "r2sDY" << 1.0 << -inf;
    QTest::newRow("empty screen x") << QRectF(0, 200, 0, 0) << r << "s2rX" << 3.0 << inf;
    QTest::newRow("empty screen y at origin") << QRectF(0, 0, 300, 0) << r << "s2rY" << 0.0 << qnan;
}

void TstDispCore::mapping()
{
    QFETCH(QRectF, s);
    QFETCH(QRectF, r);
    QFETCH(QString, fn);
    QFETCH(double, in);
    QFETCH(double, out);
    ChCoord c;
    c.setSRect(s.x(), s.y(), s.width(), s.height());
    c.setRRect(r.x(), r.y(), r.width(), r.height());
    double got = 0;
    if (fn == "r2sX")
        got = c.r2sX(in);
    else if (fn == "r2sY")
        got = c.r2sY(in);
    else if (fn == "r2sDX")
        got = c.r2sDX(in);
    else if (fn == "r2sDY")
        got = c.r2sDY(in);
    else if (fn == "s2rX")
        got = c.s2rX(in);
    else if (fn == "s2rY")
        got = c.s2rY(in);
    else
        QFAIL("unknown mapping");
    QVERIFY2(sameDouble(got, out), qPrintable(QString::number(got)));
}

void TstDispCore::roundTrip_data()
{
    QTest::addColumn<QRectF>("s");
    QTest::addColumn<QRectF>("r");
    QTest::newRow("plain") << QRectF(0, 480, 640, 0) << QRectF(0, 0, 100, 50);
    QTest::newRow("reversed real") << QRectF(0, 480, 640, 0) << QRectF(100, 50, -3, -7.5);
    QTest::newRow("reversed screen") << QRectF(640, 0, 0, 480) << QRectF(-5, 2.5, 105, 57.5);
    QTest::newRow("tiny") << QRectF(0, 1, 1, 0) << QRectF(1e-6, 2e-6, 3e-6, 1e-6);
}

void TstDispCore::roundTrip()
{
    QFETCH(QRectF, s);
    QFETCH(QRectF, r);
    ChCoord c;
    c.setSRect(s.x(), s.y(), s.width(), s.height());
    c.setRRect(r.x(), r.y(), r.width(), r.height());
    const double span = std::abs(r.width() - r.x()) + std::abs(r.height() - r.y());
    for (double f : { -1.5, 0.0, 0.3, 1.0, 7.0 }) {
        const double x = r.x() + f * (r.width() - r.x());
        const double y = r.y() + f * (r.height() - r.y());
        QVERIFY(std::abs(c.s2rX(c.r2sX(x)) - x) <= 1e-9 * span);
        QVERIFY(std::abs(c.s2rY(c.r2sY(y)) - y) <= 1e-9 * span);
    }
}

void TstDispCore::capture_data()
{
    QTest::addColumn<int>("kind"); // 0 move, 1 press, 2 release
    QTest::addColumn<QPointF>("pos");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("mods");
    QTest::addColumn<QPoint>("expect");
    QTest::newRow("move truncates") << 0 << QPointF(12.9, -0.7) << 0 << 0 << QPoint(12, 0);
    QTest::newRow("press right shift") << 1 << QPointF(-3.9, 40.2) << int(Qt::RightButton)
                                       << int(Qt::ShiftModifier) << QPoint(-3, 40);
    QTest::newRow("release left") << 2 << QPointF(7.5, 8.5) << int(Qt::LeftButton)
                                  << int(Qt::ControlModifier) << QPoint(7, 8);
}

void TstDispCore::capture()
{
    QFETCH(int, kind);
    QFETCH(QPointF, pos);
    QFETCH(int, button);
    QFETCH(int, mods);
    QFETCH(QPoint, expect);
    MouseC m;
    m.x = 5;
    m.y = 6;
    m.pressed = kind == 2;
    QSignalSpy moved(&m, &MouseC::mMoved), pressed(&m, &MouseC::mPressed),
        released(&m, &MouseC::mReleased);
    const QEvent::Type t = kind == 0 ? QEvent::MouseMove
                           : kind == 1 ? QEvent::MouseButtonPress
                                       : QEvent::MouseButtonRelease;
    QMouseEvent e = mouseEvent(t, pos, Qt::MouseButton(button), Qt::KeyboardModifiers(mods));
    if (kind == 0)
        m.captureMove(&e);
    else if (kind == 1)
        m.capturePress(&e);
    else
        m.captureRelease(&e);
    QCOMPARE(QPoint(m.prevX, m.prevY), QPoint(5, 6));
    QCOMPARE(QPoint(m.x, m.y), expect);
    QCOMPARE(m.button, button);
    QCOMPARE(m.modifiers, mods);
    QCOMPARE(moved.count(), kind == 0 ? 1 : 0);
    QCOMPARE(pressed.count(), kind == 1 ? 1 : 0);
    QCOMPARE(released.count(), kind == 2 ? 1 : 0);
    if (kind == 1) {
        QVERIFY(m.pressed);
        QCOMPARE(QPoint(m.pressX, m.pressY), expect);
        QCOMPARE(m.pressButton, button);
        QCOMPARE(m.pressModifiers, mods);
    } else if (kind == 2) {
        QVERIFY(!m.pressed);
        QCOMPARE(QPoint(m.releaseX, m.releaseY), expect);
        QCOMPARE(m.releaseButton, button);
        QCOMPARE(m.releaseModifiers, mods);
    } else {
        QCOMPARE(QPoint(m.pressX, m.pressY), QPoint(0, 0));
    }
}

void TstDispCore::doubleClickKeepsPosition()
{
    MouseC m;
    QMouseEvent p = mouseEvent(QEvent::MouseButtonPress, QPointF(3, 4), Qt::LeftButton, {});
    m.capturePress(&p);
    QSignalSpy dc(&m, &MouseC::mDClicked);
    QMouseEvent d = mouseEvent(QEvent::MouseButtonDblClick, QPointF(30.6, 40.2), Qt::RightButton,
                               Qt::AltModifier);
    m.captureDClick(&d);
    QCOMPARE(dc.count(), 1);
    QCOMPARE(QPoint(m.dClickX, m.dClickY), QPoint(30, 40));
    QCOMPARE(m.dClickButton, int(Qt::RightButton));
    QCOMPARE(m.dClickModifiers, int(Qt::AltModifier));
    QCOMPARE(m.button, int(Qt::RightButton));
    QCOMPARE(QPoint(m.x, m.y), QPoint(3, 4));
    QCOMPARE(QPoint(m.prevX, m.prevY), QPoint(0, 0));
    QVERIFY(m.pressed);
}

void TstDispCore::wheel_data()
{
    QTest::addColumn<int>("delta");
    QTest::addColumn<double>("steps");
    QTest::addColumn<double>("factor");
    QTest::newRow("toward user") << -120 << -1.0 << 1.1;
    QTest::newRow("away") << 120 << 1.0 << 1 / 1.1;
    QTest::newRow("horizontal only") << 0 << 0.0 << 1 / 1.1;
    QTest::newRow("half notch") << -60 << -0.5 << 1.1;
    QTest::newRow("fine") << 8 << 8 * 0.125 / 15 << 1 / 1.1;
}

void TstDispCore::wheel()
{
    QFETCH(int, delta);
    QFETCH(double, steps);
    QFETCH(double, factor);
    MouseC m;
    QWheelEvent e(QPointF(1, 1), QPointF(1, 1), QPoint(), QPoint(delta == 0 ? 120 : 0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    m.captureWheel(&e);
    QCOMPARE(m.wheelSteps, steps);
    QCOMPARE(m.zoomFactor, factor);
}

void TstDispCore::mstat_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("mods");
    QTest::addColumn<int>("stat");
    const int S = Qt::ShiftModifier, C = Qt::ControlModifier, A = Qt::AltModifier;
    const int L = Qt::LeftButton, R = Qt::RightButton;
    QTest::newRow("L") << L << 0 << int(MouseC::L);
    QTest::newRow("LS") << L << S << 1;
    QTest::newRow("LC") << L << C << 2;
    QTest::newRow("LA") << L << A << 3;
    QTest::newRow("LSC") << L << (S | C) << 4;
    QTest::newRow("LSA") << L << (S | A) << 5;
    QTest::newRow("LCA") << L << (C | A) << 6;
    QTest::newRow("LSCA") << L << (S | C | A) << 7;
    QTest::newRow("R") << R << 0 << int(MouseC::R);
    QTest::newRow("RC") << R << C << 10;
    QTest::newRow("RSA") << R << (S | A) << int(MouseC::RSA);
    QTest::newRow("RSCA") << R << (S | C | A) << 15;
    QTest::newRow("meta ignored") << R << int(Qt::MetaModifier) << 8;
    QTest::newRow("keypad ignored") << L << (S | int(Qt::KeypadModifier)) << 1;
    QTest::newRow("middle") << int(Qt::MiddleButton) << S << int(MouseC::NoStat);
    QTest::newRow("none") << 0 << 0 << 16;
    QTest::newRow("both buttons") << (L | R) << 0 << 16;
}

void TstDispCore::mstat()
{
    QFETCH(int, button);
    QFETCH(int, mods);
    QFETCH(int, stat);
    QCOMPARE(int(MouseC::stat(button, mods)), stat);
}

void TstDispCore::grey_data()
{
    QTest::addColumn<double>("v");
    QTest::addColumn<double>("vMin");
    QTest::addColumn<double>("vMax");
    QTest::addColumn<double>("cMin");
    QTest::addColumn<double>("cMax");
    QTest::addColumn<int>("level");
    const struct {
        double v;
        int l;
    } full[] = { { 0, 0 }, { 50, 128 }, { 99.9, 255 }, { 100, 255 }, { -1, 0 }, { 1000, 255 } },
      window[] = { { 25, 0 }, { 50, 128 }, { 74, 250 }, { 75, 255 }, { 90, 255 }, { 10, 0 } };
    for (const auto& c : full)
        QTest::addRow("full %g", c.v) << c.v << 0.0 << 100.0 << 0.0 << 1.0 << c.l;
    for (const auto& c : window)
        QTest::addRow("window %g", c.v) << c.v << 0.0 << 100.0 << 0.25 << 0.75 << c.l;
    QTest::newRow("NaN value") << qnan << 0.0 << 100.0 << 0.0 << 1.0 << 0;
    QTest::newRow("equal limits, same value") << 5.0 << 5.0 << 5.0 << 0.0 << 1.0 << 0;
    QTest::newRow("equal limits, above") << 6.0 << 5.0 << 5.0 << 0.0 << 1.0 << 255;
    QTest::newRow("equal limits, below") << 4.0 << 5.0 << 5.0 << 0.0 << 1.0 << 0;
    QTest::newRow("equal handles, above") << 60.0 << 0.0 << 100.0 << 0.5 << 0.5 << 255;
    QTest::newRow("equal handles, below") << 40.0 << 0.0 << 100.0 << 0.5 << 0.5 << 0;
    QTest::newRow("equal handles, on") << 50.0 << 0.0 << 100.0 << 0.5 << 0.5 << 0;
    QTest::newRow("infinite value") << inf << 0.0 << 1.0 << 0.0 << 1.0 << 255;
    QTest::newRow("reversed window") << 25.0 << 0.0 << 100.0 << 1.0 << 0.0 << 192;
    QTest::newRow("huge but finite") << 1e300 << -1e300 << 1e300 << 0.0 << 1.0 << 255;
}

void TstDispCore::grey()
{
    QFETCH(double, v);
    QFETCH(double, vMin);
    QFETCH(double, vMax);
    QFETCH(double, cMin);
    QFETCH(double, cMax);
    QFETCH(int, level);
    QCOMPARE(greyLevel(v, vMin, vMax, cMin, cMax), level);
    uchar out = 77;
    greyLevelRow(&v, &out, 1, vMin, vMax, cMin, cMax);
    QCOMPARE(int(out), level);
}

void TstDispCore::greyRowMatchesSingle()
{
    std::vector<double> row;
    for (int i = -300; i < 3000; ++i)
        row.push_back(i * 0.37 - 5);
    row.push_back(qnan);
    row.push_back(-inf);
    std::vector<uchar> out(row.size());
    greyLevelRow(row.data(), out.data(), int(row.size()), -20, 700, 0.1, 0.9);
    for (size_t i = 0; i < row.size(); ++i)
        QCOMPARE(int(out[i]), greyLevel(row[i], -20, 700, 0.1, 0.9));
}

void TstDispCore::barRow_data()
{
    QTest::addColumn<int>("i");
    QTest::addColumn<int>("h");
    QTest::addColumn<double>("cMin");
    QTest::addColumn<double>("cMax");
    QTest::addColumn<int>("level");
    QTest::newRow("bottom") << 0 << 400 << 0.0 << 1.0 << 0;
    QTest::newRow("middle") << 200 << 400 << 0.0 << 1.0 << 128;
    QTest::newRow("top") << 399 << 400 << 0.0 << 1.0 << 255;
    QTest::newRow("below window") << 50 << 400 << 0.25 << 0.75 << 0;
    QTest::newRow("in window") << 150 << 400 << 0.25 << 0.75 << 64;
    QTest::newRow("height 0") << 0 << 0 << 0.0 << 1.0 << 0;
    QTest::newRow("equal handles") << 300 << 400 << 0.5 << 0.5 << 255;
}

void TstDispCore::barRow()
{
    QFETCH(int, i);
    QFETCH(int, h);
    QFETCH(double, cMin);
    QFETCH(double, cMax);
    QFETCH(int, level);
    QCOMPARE(barRowLevel(i, h, cMin, cMax), level);
}

void TstDispCore::truncation_data()
{
    QTest::addColumn<double>("v");
    QTest::addColumn<int>("i");
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("-0.7") << -0.7 << 0;
    QTest::newRow("12.9") << 12.9 << 12;
    QTest::newRow("-3.9") << -3.9 << -3;
    QTest::newRow("NaN") << qnan << 0;
    QTest::newRow("+inf") << inf << 2147483647;
    QTest::newRow("-inf") << -inf << int(-2147483647 - 1);
    QTest::newRow("1e300") << 1e300 << 2147483647;
}

void TstDispCore::truncation()
{
    QFETCH(double, v);
    QFETCH(int, i);
    QCOMPARE(truncToInt(v), i);
}

void TstDispCore::fitSize_data()
{
    QTest::addColumn<double>("l");
    QTest::addColumn<double>("t");
    QTest::addColumn<QRectF>("b");
    QTest::addColumn<double>("maxSize");
    QTest::addColumn<double>("size");
    const QRectF m(0, 0, 190, 15);
    QTest::newRow("shrinks to length") << 95.0 << 40.0 << m << 0.0 << 5.0;
    QTest::newRow("grows without limit") << 400.0 << 40.0 << m << 0.0 << 10 * 400 / 190.0;
    QTest::newRow("limited") << 400.0 << 40.0 << m << 10.0 << 10.0;
    QTest::newRow("height decides") << 400.0 << 3.0 << m << 0.0 << 2.0;
    QTest::newRow("empty measure") << 95.0 << 40.0 << QRectF() << 0.0 << 10.0;
    QTest::newRow("empty measure, smaller limit") << 95.0 << 40.0 << QRectF() << 6.0 << 6.0;
    QTest::newRow("zero height measure") << 95.0 << 40.0 << QRectF(0, 0, 190, 0) << 0.0 << 5.0;
    QTest::newRow("negative limit is none") << 380.0 << 40.0 << m << -1.0 << 20.0;
}

void TstDispCore::fitSize()
{
    QFETCH(double, l);
    QFETCH(double, t);
    QFETCH(QRectF, b);
    QFETCH(double, maxSize);
    QFETCH(double, size);
    QVERIFY(qFuzzyCompare(fitPointSize(l, t, b, maxSize), size));
}

QTEST_GUILESS_MAIN(TstDispCore)
#include "tst_dispcore.moc"
