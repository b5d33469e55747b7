// Display widgets driven by real events on offscreen windows: paint area,
// colour bar, image displays and rotated text.
#include "ColorBar.h"
#include "DispA.h"
#include "DispAWLayout.h"
#include "DispMath.h"
#include "DrawText.h"
#include "ImgDisp.h"
#include "ImgDispWCBar.h"
#include "ImgDispWPV.h"
#include "RawDisp.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

namespace {
void sendMove(QWidget* w, QPointF p, Qt::KeyboardModifiers m, Qt::MouseButtons bs = Qt::NoButton)
{
    QMouseEvent e(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, bs, m);
    QApplication::sendEvent(w, &e);
}

void sendWheel(QWidget* w, QPoint p, int delta)
{
    QWheelEvent e(p, w->mapToGlobal(p), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

// 100 x 50 picture whose grey is a function of column and row.
QImage gradient(int w = 100, int h = 50)
{
    QImage img(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y) {
        uchar* row = img.scanLine(y);
        for (int x = 0; x < w; ++x)
            row[x] = uchar((2 * x + 3 * y) & 255);
    }
    return img;
}

// A display whose paint area is exactly 400 x 200 and has been painted once.
void prepare(ImgDisp& d, QSize area = QSize(400, 200))
{
    d.dispA->setFixedSize(area);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.dispA->repaint();
    QCOMPARE(d.coord->sX1, double(area.width()));
    QCOMPARE(d.coord->sY0, double(area.height()));
}

int darkest(const QImage& img, QRect* box)
{
    int n = 0;
    int x0 = INT_MAX, y0 = INT_MAX, x1 = -1, y1 = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 128) {
                ++n;
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
            }
    *box = n ? QRect(QPoint(x0, y0), QPoint(x1, y1)) : QRect();
    return n;
}
} // namespace

class TstDisplay : public QObject
{
    Q_OBJECT
private slots:
    void paintAreaLayersAndScreenRect();
    void paintAreaEvents();
    void altMoveIsIgnored();
    void wrapperForwards();
    void barAutoMinMax_data();
    void barAutoMinMax();
    void barLimitFields();
    void barFromWorkerThread();
    void barGrab_data();
    void barGrab();
    void barWithoutHeight();
    void barRamp();
    void zoomExample();
    void panAndPick();
    void clicks_data();
    void clicks();
    void selection_data();
    void selection();
    void squarePixels_data();
    void squarePixels();
    void scaleResetAndNewImages();
    void noImageHandlers();
    void saveImage_data();
    void saveImage();
    void saveImageFailures_data();
    void saveImageFailures();
    void readOuts();
    void displayShowsLevels();
    void queuedPointSignal();
    void textPlacement_data();
    void textPlacement();
    void textFitsBox();
    void textLeavesPainter();
};

void TstDisplay::paintAreaLayersAndScreenRect()
{
    DispA a;
    a.resize(300, 200);
    QStringList order;
    QObject ctx;
    connect(&a, &DispA::drawImage0, &ctx, [&](QPainter*) { order << "0"; });
    connect(&a, &DispA::drawImage1, &ctx, [&](QPainter* p) {
        order << "1";
        QCOMPARE(a.coord.sY0, 200.0);
        p->fillRect(0, 0, 10, 10, Qt::black);
    });
    connect(&a, &DispA::drawImage2, &ctx, [&](QPainter*) { order << "2"; });
    const QImage img = a.grab().toImage();
    QCOMPARE(order, QStringList({ "0", "1", "2" }));
    QCOMPARE(a.coord.sX0, 0.0);
    QCOMPARE(a.coord.sX1, 300.0);
    QCOMPARE(a.coord.sY1, 0.0);
    QCOMPARE(qGray(img.pixel(5, 5)), 0);
    QCOMPARE(img.pixel(150, 100), qRgb(255, 255, 255));
    QVERIFY(a.testAttribute(Qt::WA_MouseTracking));
    QCOMPARE(a.frameShape(), QFrame::StyledPanel);
}

void TstDisplay::paintAreaEvents()
{
    DispA a;
    a.resize(100, 100);
    a.show();
    QVERIFY(QTest::qWaitForWindowExposed(&a));
    QSignalSpy pressed(&a, &DispA::mousePressed0), released(&a, &DispA::mouseReleased0),
        dclick(&a, &DispA::mouseDoubleClicked0), wheel(&a, &DispA::wheelMoved0),
        moved(&a, &DispA::mouseMoved0);
    QTest::mousePress(&a, Qt::RightButton, Qt::AltModifier, QPoint(10, 20));
    QCOMPARE(pressed.count(), 1);
    QVERIFY(a.mouse.pressed);
    QCOMPARE(a.mouse.pressModifiers, int(Qt::AltModifier));
    QTest::mouseRelease(&a, Qt::RightButton, Qt::NoModifier, QPoint(30, 40));
    QCOMPARE(released.count(), 1);
    QCOMPARE(QPoint(a.mouse.releaseX, a.mouse.releaseY), QPoint(30, 40));
    QCOMPARE(QPoint(a.mouse.prevX, a.mouse.prevY), QPoint(10, 20));
    QMouseEvent d(QEvent::MouseButtonDblClick, QPointF(50, 60), a.mapToGlobal(QPointF(50, 60)),
                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&a, &d);
    QCOMPARE(dclick.count(), 1);
    QCOMPARE(QPoint(a.mouse.dClickX, a.mouse.dClickY), QPoint(50, 60));
    QCOMPARE(QPoint(a.mouse.x, a.mouse.y), QPoint(30, 40));
    sendWheel(&a, QPoint(5, 5), -120);
    QCOMPARE(wheel.count(), 1);
    QCOMPARE(a.mouse.zoomFactor, 1.1);
    sendMove(&a, QPointF(70.8, 80.2), Qt::ShiftModifier);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(QPoint(a.mouse.x, a.mouse.y), QPoint(70, 80));
}

void TstDisplay::altMoveIsIgnored()
{
    DispA a;
    a.resize(100, 100);
    a.show();
    QVERIFY(QTest::qWaitForWindowExposed(&a));
    sendMove(&a, QPointF(10, 10), Qt::NoModifier);
    // Repaints are posted events: handle those of the first move before counting.
    QCoreApplication::processEvents();
    int paints = 0;
    QObject ctx;
    connect(&a, &DispA::drawImage1, &ctx, [&](QPainter*) { ++paints; });
    QSignalSpy moved(&a, &DispA::mouseMoved0), mm(&a.mouse, &MouseC::mMoved);
    sendMove(&a, QPointF(60, 70), Qt::AltModifier | Qt::ShiftModifier);
    QCoreApplication::processEvents();
    QCOMPARE(moved.count(), 0);
    QCOMPARE(mm.count(), 0);
    QCOMPARE(paints, 0);
    QCOMPARE(QPoint(a.mouse.x, a.mouse.y), QPoint(10, 10));
    QCOMPARE(a.mouse.modifiers, 0);
    // The same move without Alt is recorded and repaints.
    sendMove(&a, QPointF(60, 70), Qt::ShiftModifier);
    QTRY_VERIFY(paints > 0);
    QCOMPARE(moved.count(), 1);
}

void TstDisplay::wrapperForwards()
{
    DispAWLayout w;
    QCOMPARE(w.size(), QSize(491, 468));
    QCOMPARE(w.dispA->frameShape(), QFrame::NoFrame);
    QCOMPARE(w.sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QSignalSpy s1(&w, &DispAWLayout::mousePressed0), s2(&w, &DispAWLayout::wheelMoved0),
        s3(&w, &DispAWLayout::drawImage2), s4(&w, &DispAWLayout::mouseDoubleClicked0);
    emit w.dispA->mousePressed0();
    emit w.dispA->wheelMoved0();
    emit w.dispA->drawImage2(nullptr);
    emit w.dispA->mouseDoubleClicked0();
    QCOMPARE(s1.count() + s2.count() + s3.count() + s4.count(), 4);
}

void TstDisplay::barAutoMinMax_data()
{
    QTest::addColumn<bool>("fix");
    QTest::addColumn<double>("vMin");
    QTest::addColumn<QString>("minText");
    QTest::addColumn<int>("flatLevel");
    QTest::newRow("switch off") << false << 7.0 << "7" << 0;
    QTest::newRow("switch on") << true << -2.0 << "-2" << 255;
}

void TstDisplay::barAutoMinMax()
{
    QFETCH(bool, fix);
    QFETCH(double, vMin);
    QFETCH(QString, minText);
    QFETCH(int, flatLevel);
    ColorBar bar;
    QSignalSpy nb(&bar, &ColorBar::newBar);
    bar.setMinMaxForced(-2, 3.14159265);
    QCOMPARE(bar.ui.CMaxLE->text(), QString("3.14159"));
    bar.setFixColorScale(fix);
    QCOMPARE(bar.ui.CFix->isChecked(), fix);
    QCOMPARE(bar.isFixed(), fix);
    // An all-equal picture: limits collapse when the switch is off.
    bar.autoMinMax(7, 7);
    QCOMPARE(bar.getVMin(), vMin);
    QCOMPARE(bar.ui.CMinLE->text(), minText);
    const ColorScale& scale = bar;
    QCOMPARE(scale.level(7), flatLevel);
    const double vs[2] = { 7, 7.5 };
    uchar out[2] = { 1, 1 };
    scale.levelRow(vs, out, 2);
    QCOMPARE(int(out[0]), flatLevel);
    QCOMPARE(int(out[1]), 255);
    QCOMPARE(nb.count(), 0);
    // Forced limits apply whatever the switch says.
    bar.setMinMaxForced(1, 2);
    QCOMPARE(bar.getVMax(), 2.0);
    QCOMPARE(bar.ui.CMinLE->text(), QString("1"));
}

void TstDisplay::barLimitFields()
{
    ColorBar bar;
    QCOMPARE(bar.ui.CMinLE->text(), QString("0"));
    QCOMPARE(bar.ui.CMaxLE->text(), QString("1"));
    QSignalSpy nb(&bar, &ColorBar::newBar);
    bar.ui.CMinLE->setText("12.5");
    emit bar.ui.CMinLE->editingFinished();
    QCOMPARE(bar.getVMin(), 12.5);
    bar.ui.CMaxLE->setText("abc");
    emit bar.ui.CMaxLE->editingFinished();
    QCOMPARE(bar.getVMax(), 0.0);
    QCOMPARE(nb.count(), 2);
    // Switch off: the next render takes the data range again.
    bar.autoMinMax(0, 10);
    QCOMPARE(bar.getVMin(), 0.0);
    bar.setFixColorScale(true);
    bar.ui.CMinLE->setText("4");
    emit bar.ui.CMinLE->editingFinished();
    bar.autoMinMax(0, 10);
    QCOMPARE(bar.getVMin(), 4.0);
}

void TstDisplay::barFromWorkerThread()
{
    // A renderer in a worker thread sets the limits: the levels are usable
    // at once, the fields are written later by the GUI thread.
    ColorBar bar;
    QThread t;
    QObject worker;
    worker.moveToThread(&t);
    t.start();
    std::atomic<int> level{ -1 };
    std::atomic<bool> fixedSeen{ true };
    std::atomic<bool> done{ false };
    QString textSeen;
    QMetaObject::invokeMethod(&worker, [&] {
        fixedSeen = bar.isFixed();
        bar.autoMinMax(10, 20);
        level = bar.level(15);
        textSeen = bar.ui.CMaxLE->text();
        done = true;
    });
    // No event processing here, so nothing queued can run meanwhile.
    QDeadlineTimer deadline(5000);
    while (!done && !deadline.hasExpired())
        QThread::yieldCurrentThread();
    QVERIFY(done);
    QCOMPARE(level.load(), 128);
    QVERIFY(!fixedSeen);
    QCOMPARE(bar.getVMin(), 10.0);
    QCOMPARE(textSeen, QString("1"));
    QTRY_COMPARE(bar.ui.CMaxLE->text(), QString("20"));
    QCOMPARE(bar.ui.CMinLE->text(), QString("10"));
    t.quit();
    t.wait();
}

void TstDisplay::barGrab_data()
{
    QTest::addColumn<int>("pressY");
    QTest::addColumn<bool>("grabs");
    QTest::addColumn<bool>("grabsMax");
    QTest::addColumn<int>("moveY");
    QTest::addColumn<double>("handleAfter");
    QTest::newRow("halfway grabs none") << 100 << false << false << 50 << 0.0;
    QTest::newRow("near bottom grabs cMin") << 180 << true << false << 150 << 0.25;
    QTest::newRow("near top grabs cMax") << 10 << true << true << 50 << 0.75;
    QTest::newRow("below the bar") << 199 << true << false << 250 << -0.25;
    QTest::newRow("min above max") << 190 << true << false << 0 << 1.0;
}

void TstDisplay::barGrab()
{
    QFETCH(int, pressY);
    QFETCH(bool, grabs);
    QFETCH(bool, grabsMax);
    QFETCH(int, moveY);
    QFETCH(double, handleAfter);
    ColorBar bar;
    bar.resize(25, 200);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QSignalSpy nb(&bar, &ColorBar::newBar);
    QTest::mousePress(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(5, pressY));
    QCOMPARE(bar.dragging, grabs);
    QCOMPARE(nb.count(), 0);
    if (grabs)
        QCOMPARE(bar.handle, grabsMax ? &bar.cMax : &bar.cMin);
    sendMove(&bar, QPointF(5, moveY), Qt::NoModifier, Qt::LeftButton);
    sendMove(&bar, QPointF(6, moveY), Qt::NoModifier, Qt::LeftButton);
    QCOMPARE(nb.count(), 2);
    if (grabs)
        QCOMPARE(bar.handle->load(), handleAfter);
    else
        QVERIFY(bar.getCMin() == 0 && bar.getCMax() == 1);
    QTest::mouseRelease(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(6, moveY));
    QVERIFY(!bar.dragging);
    sendMove(&bar, QPointF(6, 3), Qt::NoModifier);
    QCOMPARE(nb.count(), 2);
    if (grabs)
        QCOMPARE(bar.handle->load(), handleAfter);
}

void TstDisplay::barWithoutHeight()
{
    ColorBar bar;
    bar.setMinimumSize(0, 0);
    bar.resize(25, 0);
    bar.show();
    QTest::mousePress(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(5, 0));
    QVERIFY(!bar.dragging);
    sendMove(&bar, QPointF(5, 3), Qt::NoModifier, Qt::LeftButton);
    QVERIFY(bar.getCMin() == 0 && bar.getCMax() == 1);
    // Painting a bar without rows or columns draws nothing and returns.
    QImage img(10, 10, QImage::Format_ARGB32);
    QPainter p(&img);
    bar.draw1(&p);
    bar.resize(0, 0);
    bar.draw1(&p);
    p.end();
    QVERIFY(bar.grab().isNull() || bar.grab().width() <= 25);
}

void TstDisplay::barRamp()
{
    ColorBar bar;
    bar.resize(25, 400);
    bar.cMin = 0.25;
    bar.cMax = 0.75;
    const QImage img = bar.grab().toImage();
    QCOMPARE(img.size(), QSize(25, 400));
    // Rows clear of the labels: row y shows level of bar row 399 - y.
    for (int y : { 120, 160, 200, 250, 280 }) {
        const int g = barRowLevel(399 - y, 400, 0.25, 0.75);
        QCOMPARE(img.pixel(1, y), qRgb(g, g, g));
    }
    // Handle lines at (1 - cMax) H and (1 - cMin) H.
    QCOMPARE(img.pixel(3, 100), qRgb(0, 192, 255));
    QCOMPARE(img.pixel(3, 300), qRgb(0, 192, 255));
}

void TstDisplay::zoomExample()
{
    ImgDisp d;
    prepare(d);
    QSignalSpy pos(&d, &ImgDisp::newPos), s(&d, &ImgDisp::newS);
    d.image = gradient();
    d.newImage();
    QCOMPARE(s.count(), 1);
    QCOMPARE(d.view, QRectF(0, 0, 100, 50));
    sendMove(d.dispA, QPointF(200, 100), Qt::NoModifier);
    QCOMPARE(pos.count(), 1);
    QCOMPARE(pos.last().at(0).toInt(), 50);
    QCOMPARE(pos.last().at(1).toInt(), 25);
    sendWheel(d.dispA, QPoint(200, 100), -120);
    QCOMPARE(s.count(), 2);
    QCOMPARE(d.view.x(), -5.0);
    QCOMPARE(d.view.y(), -2.5);
    QVERIFY(qFuzzyCompare(d.view.width(), 110.0));
    QVERIFY(qFuzzyCompare(d.view.height(), 55.0));
    QCOMPARE(s.last().at(0).toRectF(), d.view);
    QVERIFY(qFuzzyCompare(d.coord->s2rX(200), 50.0));
    QVERIFY(qFuzzyCompare(d.coord->s2rY(100), 25.0));
    // Left of and above the image: negative indices, but -0.5 truncates to 0.
    d.resetScale();
    sendMove(d.dispA, QPointF(2, 0), Qt::NoModifier);
    QCOMPARE(pos.last().at(0).toInt(), 0);
    sendMove(d.dispA, QPointF(-10, -10), Qt::NoModifier);
    QCOMPARE(pos.last().at(0).toInt(), -2);
    QCOMPARE(pos.last().at(1).toInt(), -2);
}

void TstDisplay::panAndPick()
{
    ImgDisp d;
    prepare(d);
    d.image = gradient();
    d.newImage();
    QSignalSpy pick(&d, &ImgDisp::selectedAPoint), s(&d, &ImgDisp::newS);
    QTest::mousePress(d.dispA, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    sendMove(d.dispA, QPointF(120, 100), Qt::NoModifier, Qt::LeftButton);
    sendMove(d.dispA, QPointF(140, 100), Qt::NoModifier, Qt::LeftButton);
    QCOMPARE(d.view, QRectF(-10, 0, 100, 50));
    QCOMPARE(s.count(), 2);
    QTest::mouseRelease(d.dispA, Qt::LeftButton, Qt::NoModifier, QPoint(140, 100));
    // The picked point is the image point that was dragged along.
    QCOMPARE(pick.count(), 1);
    QCOMPARE(pick.last().at(0).toDouble(), 25.0);
    QCOMPARE(pick.last().at(1).toDouble(), 25.0);
    QCOMPARE(pick.last().at(2).value<MouseC::MStat>(), MouseC::L);
    QVERIFY(!d.selValid);
}

void TstDisplay::clicks_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("mods");
    QTest::addColumn<int>("stat"); // -1: nothing emitted
    QTest::newRow("left") << int(Qt::LeftButton) << 0 << int(MouseC::L);
    QTest::newRow("right") << int(Qt::RightButton) << 0 << int(MouseC::R);
    QTest::newRow("keypad bit is not a modifier") << int(Qt::RightButton)
                                                  << int(Qt::KeypadModifier) << int(MouseC::R);
    QTest::newRow("shift left") << int(Qt::LeftButton) << int(Qt::ShiftModifier) << -1;
    QTest::newRow("control right") << int(Qt::RightButton) << int(Qt::ControlModifier) << -1;
    QTest::newRow("alt left") << int(Qt::LeftButton) << int(Qt::AltModifier) << -1;
    QTest::newRow("middle") << int(Qt::MiddleButton) << 0 << -1;
}

void TstDisplay::clicks()
{
    QFETCH(int, button);
    QFETCH(int, mods);
    QFETCH(int, stat);
    ImgDisp d;
    prepare(d);
    d.image = gradient();
    d.newImage();
    QSignalSpy pick(&d, &ImgDisp::selectedAPoint);
    const QRectF before = d.view;
    QTest::mouseClick(d.dispA, Qt::MouseButton(button), Qt::KeyboardModifiers(mods), QPoint(62, 31));
    QCOMPARE(pick.count(), stat < 0 ? 0 : 1);
    if (stat >= 0) {
        QCOMPARE(pick.last().at(0).toDouble(), 15.5);
        QCOMPARE(pick.last().at(1).toDouble(), 7.75);
        QCOMPARE(int(pick.last().at(2).value<MouseC::MStat>()), stat);
    }
    QCOMPARE(d.view, before);
}

void TstDisplay::selection_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<int>("mods");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QRectF>("sel");
    QTest::newRow("down right") << QPoint(40, 20) << QPoint(120, 60) << int(Qt::ShiftModifier)
                                << true << QRectF(10, 5, 20, 10);
    QTest::newRow("up left, normalised") << QPoint(200, 100) << QPoint(120, 60)
                                         << int(Qt::ShiftModifier) << true << QRectF(30, 15, 20, 10);
    QTest::newRow("no width") << QPoint(200, 100) << QPoint(200, 60) << int(Qt::ShiftModifier)
                              << false << QRectF(50, 25, 0, -10);
    QTest::newRow("shift+control does nothing") << QPoint(40, 20) << QPoint(120, 60)
                                                << int(Qt::ShiftModifier | Qt::ControlModifier)
                                                << false << QRectF(0, 0, 0, 0);
}

void TstDisplay::selection()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(int, mods);
    QFETCH(bool, valid);
    QFETCH(QRectF, sel);
    ImgDisp d;
    prepare(d);
    d.image = gradient();
    d.newImage();
    QSignalSpy pick(&d, &ImgDisp::selectedAPoint), s(&d, &ImgDisp::newS), made(&d, &ImgDisp::selectionMade);
    const auto m = Qt::KeyboardModifiers(mods);
    QTest::mousePress(d.dispA, Qt::LeftButton, m, from);
    sendMove(d.dispA, QPointF(to), m, Qt::LeftButton);
    QCOMPARE(d.selecting, mods == Qt::ShiftModifier);
    QTest::mouseRelease(d.dispA, Qt::LeftButton, m, to);
    QVERIFY(!d.selecting);
    QCOMPARE(d.selValid, valid);
    QCOMPARE(QRectF(d.selX, d.selY, d.selW, d.selH), sel);
    QCOMPARE(pick.count(), 0);
    QCOMPARE(s.count(), 0);
    QCOMPARE(d.view, QRectF(0, 0, 100, 50));
    // A completed rectangle is announced once, as it stands.
    QCOMPARE(made.count(), valid ? 1 : 0);
    if (valid)
        QCOMPARE(made.first().at(0).toRectF(), sel);
    // Shift with the right button clears it.
    QTest::mouseClick(d.dispA, Qt::RightButton, Qt::ShiftModifier, QPoint(5, 5));
    QVERIFY(!d.selValid && !d.selecting);
    QCOMPARE(made.count(), valid ? 1 : 0);
    QCOMPARE(QRectF(d.selX, d.selY, d.selW, d.selH), QRectF(0, 0, 0, 0));
}

// Pictures keep square pixels in any area, the spare room blank; a wheel
// step keeps both the squares and the point under the mouse.
void TstDisplay::squarePixels_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QRect>("shown");   // where the picture lands
    QTest::newRow("wide picture, square area") << QSize(256, 128) << QSize(400, 400) << QRect(0, 100, 400, 200);
    QTest::newRow("square picture, wide area") << QSize(100, 100) << QSize(400, 200) << QRect(100, 0, 200, 200);
    QTest::newRow("same shape") << QSize(100, 50) << QSize(400, 200) << QRect(0, 0, 400, 200);
    QTest::newRow("tall picture") << QSize(50, 300) << QSize(300, 300) << QRect(125, 0, 50, 300);
}

void TstDisplay::squarePixels()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, area);
    QFETCH(QRect, shown);
    ImgDisp d;
    prepare(d, area);
    d.image = QImage(picture, QImage::Format_Grayscale8);
    d.image.fill(0);
    d.newImage();
    QRect box;
    const QImage grabbed = d.dispA->grab().toImage();
    QCOMPARE(darkest(grabbed, &box), shown.width() * shown.height());
    QCOMPARE(box, shown);
    QVERIFY(qFuzzyCompare(d.coord->r2sDX(1), d.coord->r2sDY(1)));
    // The pixel under the mouse stays there through a wheel step.
    const QPoint at(shown.left() + shown.width() / 3, shown.top() + shown.height() / 4);
    sendMove(d.dispA, QPointF(at), Qt::NoModifier);
    const double rx = d.coord->s2rX(at.x()), ry = d.coord->s2rY(at.y());
    sendWheel(d.dispA, at, -120);
    QVERIFY(qFuzzyCompare(d.coord->s2rX(at.x()), rx));
    QVERIFY(qFuzzyCompare(d.coord->s2rY(at.y()), ry));
    QVERIFY(qFuzzyCompare(d.coord->r2sDX(1), d.coord->r2sDY(1)));
    QVERIFY(qFuzzyCompare(d.view.width() / d.view.height(), double(picture.width()) / picture.height()));
}

void TstDisplay::scaleResetAndNewImages()
{
    ImgDispWPV d;
    prepare(d);
    d.image = gradient();
    d.newImage();
    sendWheel(d.dispA, QPoint(10, 10), 120);
    QVERIFY(d.view.width() < 100);
    QSignalSpy s(&d, &ImgDisp::newS);
    QTest::mouseClick(d.findChild<QPushButton*>("ResetScale"), Qt::LeftButton);
    QCOMPARE(d.view, QRectF(0, 0, 100, 50));
    QCOMPARE(s.count(), 0);
    QCOMPARE(d.coord->rY0, 50.0);
    // A larger picture keeps the view: its upper-left quarter shows.
    d.image = gradient(200, 100);
    d.newImage();
    QCOMPARE(d.view, QRectF(0, 0, 100, 50));
    QCOMPARE(s.count(), 0);
    d.resetScale();
    QCOMPARE(d.view, QRectF(0, 0, 200, 100));
    // An empty picture changes nothing.
    d.image = QImage();
    d.newImage();
    QCOMPARE(d.view, QRectF(0, 0, 200, 100));
}

void TstDisplay::noImageHandlers()
{
    ImgDispWPV d;
    prepare(d);
    QSignalSpy pos(&d, &ImgDisp::newPos), pick(&d, &ImgDisp::selectedAPoint);
    sendWheel(d.dispA, QPoint(10, 10), -120);
    QTest::mousePress(d.dispA, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    sendMove(d.dispA, QPointF(30, 30), Qt::NoModifier, Qt::LeftButton);
    QTest::mouseRelease(d.dispA, Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));
    QCOMPARE(d.view.width(), 0.0);
    QCOMPARE(d.view.height(), 0.0);
    QVERIFY(pos.count() > 0);
    QCOMPARE(pick.count(), 1);
    QVERIFY(!d.grab().isNull());
    // A paint area without pixels leaves the view alone on the wheel.
    d.image = gradient();
    d.newImage();
    d.dispA->setFixedSize(0, 0);
    sendWheel(d.dispA, QPoint(0, 0), -120);
    QCOMPARE(d.view, QRectF(0, 0, 100, 50));
    QVERIFY(!d.grab().isNull());
}

void TstDisplay::saveImage_data()
{
    QTest::addColumn<QRectF>("view");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QRect>("part");
    QTest::newRow("inside") << QRectF(10.7, 5.2, 40.9, 20.5) << "png" << QRect(10, 5, 40, 20);
    QTest::newRow("whole") << QRectF(0, 0, 100, 50) << "PNG" << QRect(0, 0, 100, 50);
    QTest::newRow("beyond the edge") << QRectF(-5.5, -2.5, 110, 55) << "bmp"
                                     << QRect(-5, -2, 110, 55);
}

void TstDisplay::saveImage()
{
    QFETCH(QRectF, view);
    QFETCH(QString, suffix);
    QFETCH(QRect, part);
    QTemporaryDir dir;
    ImgDispWCBar d;
    d.image = gradient();
    d.newImage();
    d.view = view;
    const QString fname = dir.filePath("part." + suffix);
    d.saveImage(fname);
    QImage back(fname);
    QVERIFY(!back.isNull());
    QCOMPARE(back.size(), part.size());
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x) {
            const QPoint src(part.x() + x, part.y() + y);
            const int want = d.image.rect().contains(src) ? qGray(d.image.pixel(src)) : 0;
            QCOMPARE(qGray(back.pixel(x, y)), want);
        }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList("part." + suffix));
}

void TstDisplay::saveImageFailures_data()
{
    QTest::addColumn<QRectF>("view");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QSize>("saved");
    // Failed writes name the file and the reason.
    QTest::newRow("unknown suffix") << QRectF(0, 0, 10, 10) << "a.nosuchformat"
                                    << "Can't write " << QSize();
    QTest::newRow("no directory") << QRectF(0, 0, 10, 10) << "missing/a.png"
                                  << "Can't write " << QSize();
    QTest::newRow("empty view") << QRectF(3, 3, 0.5, 10) << "a.png"
                                << "Nothing visible to save : " << QSize();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("NaN view") << QRectF(nan, nan, nan, nan) << "a.png"
                              << "Nothing visible to save : " << QSize();
    QTest::newRow("absurd zoom-out") << QRectF(-1e9, -1e9, 3e9, 3e9) << "a.png"
                                     << "Visible region too large, saving only the image part : "
                                     << QSize(100, 50);
}

void TstDisplay::saveImageFailures()
{
    QFETCH(QRectF, view);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QFETCH(QSize, saved);
    QTemporaryDir dir;
    ImgDisp d;
    d.image = gradient();
    d.newImage();
    d.view = view;
    const QString fname = dir.filePath(name);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^" + QRegularExpression::escape(message + fname)
                                                        + (message.startsWith("Can't write") ? ": .+" : "") + "$"));
    d.saveImage(fname);
    if (saved.isValid())
        QCOMPARE(QImage(fname).size(), saved);
    else
        QVERIFY(!QFileInfo::exists(fname));
    // No temporary leftovers either.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), saved.isValid() ? 1 : 0);
}

void TstDisplay::readOuts()
{
    RawDisp d;
    QCOMPARE(d.objectName(), QString("ImgDispWPV"));
    QCOMPARE(d.windowTitle(), QString("Image Display with Position and Value"));
    QCOMPARE(d.width(), d.height());
    QCOMPARE(d.findChild<QLineEdit*>("PosX")->text(), QString("0"));
    QVERIFY(d.findChild<QLineEdit*>("PosX")->isReadOnly());
    QCOMPARE(d.findChild<QPushButton*>("ResetScale")->text(), QString("Scale Reset"));
    QCOMPARE(d.CBar->minimumWidth(), 25);
    QCOMPARE(d.CBar->ui.CBarUIBase->parentWidget(), static_cast<QWidget*>(&d));
    QCOMPARE(d.findChild<QFrame*>("PVFrame")->parentWidget(), static_cast<QWidget*>(&d));
    QSignalSpy inv(&d, &ImgDispWPV::newPosInvY);
    emit d.newPos(-3, 1234567);
    QCOMPARE(d.findChild<QLineEdit*>("PosX")->text(), QString("-3"));
    QCOMPARE(d.findChild<QLineEdit*>("PosY")->text(), QString("1.23457e+06"));
    QCOMPARE(inv.count(), 1);
    QCOMPARE(inv.last().at(0).toDouble(), -3.0);
    QCOMPARE(inv.last().at(1).toDouble(), 1234567.0);
    d.setVal(0.000123456789);
    QCOMPARE(d.Val->text(), QString("0.000123457"));
    QSignalSpy nb(&d, &ImgDispWCBar::newBar);
    emit d.CBar->newBar();
    QCOMPARE(nb.count(), 1);
}

void TstDisplay::displayShowsLevels()
{
    // Values 0..255 along the columns, rendered through the display's bar.
    ImgDispWCBar d;
    d.CBar->setFixedHeight(300);
    prepare(d, QSize(512, 128));
    std::vector<double> row(256);
    for (int x = 0; x < 256; ++x)
        row[x] = 1000 + 2.0 * x;
    d.CBar->autoMinMax(1000, 1512);
    d.CBar->cMin = 0.25;
    d.CBar->cMax = 0.75;
    d.image = QImage(256, 64, QImage::Format_Grayscale8);
    for (int y = 0; y < 64; ++y)
        d.CBar->levelRow(row.data(), d.image.scanLine(y), 256);
    d.newImage();
    const QImage shown = d.dispA->grab().toImage();
    QCOMPARE(shown.size(), QSize(512, 128));
    for (int x : { 0, 63, 64, 100, 128, 150, 191, 192, 255 }) {
        const int want = greyLevel(1000 + 2.0 * x, 1000, 1512, 0.25, 0.75);
        QCOMPARE(qGray(shown.pixel(2 * x + 1, 77)), want);
        QCOMPARE(shown.pixel(2 * x, 10), qRgb(want, want, want));
    }
    QCOMPARE(qGray(shown.pixel(2 * 64, 5)), 0);
    QCOMPARE(qGray(shown.pixel(2 * 128, 5)), 128);
    QCOMPARE(qGray(shown.pixel(2 * 192, 5)), 255);
}

void TstDisplay::queuedPointSignal()
{
    // The pick travels to a receiver in another thread's event loop.
    ImgDisp d;
    QThread t;
    QObject receiver;
    receiver.moveToThread(&t);
    std::atomic<int> got{ -1 };
    connect(&d, &ImgDisp::selectedAPoint, &receiver,
            [&](double, double, MouseC::MStat s) { got = int(s); }, Qt::QueuedConnection);
    t.start();
    emit d.selectedAPoint(1, 2, MouseC::RSA);
    QTRY_COMPARE(got.load(), 13);
    t.quit();
    t.wait();
    QVERIFY(QMetaType::fromName("MouseC::MStat").isValid());
}

void TstDisplay::textPlacement_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("atTop");
    QTest::newRow("left starts at the upper end") << int(Qt::AlignLeft | Qt::AlignVCenter) << true;
    QTest::newRow("right ends at the lower end") << int(Qt::AlignRight | Qt::AlignVCenter) << false;
}

void TstDisplay::textPlacement()
{
    QFETCH(int, flags);
    QFETCH(bool, atTop);
    QImage img(40, 110, QImage::Format_ARGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setPen(Qt::black);
    DrawText dt;
    // Anchor (12, 50), box 95 long: rows 2.5 .. 97.5, filled grey first.
    dt.drawRotatedText(&p, 90, QRectF(12, 50, 95, 20), QFont(), flags, 1, "W", 10, true,
                       QColor(200, 200, 200));
    p.end();
    QCOMPARE(img.pixel(3, 4), qRgb(200, 200, 200));
    QCOMPARE(img.pixel(3, 96), qRgb(200, 200, 200));
    QCOMPARE(img.pixel(3, 0), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(3, 99), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(4, 50), qRgb(200, 200, 200));
    QCOMPARE(img.pixel(24, 50), qRgb(255, 255, 255));
    QRect ink;
    QVERIFY(darkest(img, &ink) > 0);
    QVERIFY(ink.top() >= 2 && ink.bottom() <= 98);
    QVERIFY(ink.left() >= 2 && ink.right() <= 22);
    if (atTop)
        QVERIFY2(ink.bottom() < 40, qPrintable(QString::number(ink.bottom())));
    else
        QVERIFY2(ink.top() > 60, qPrintable(QString::number(ink.top())));
}

void TstDisplay::textFitsBox()
{
    const QString text = "12345.6789 counts";
    QFont big;
    big.setPointSizeF(40);
    for (int fit : { 1, 0 }) {
        QImage img(200, 200, QImage::Format_ARGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setPen(Qt::black);
        DrawText dt;
        const QRectF b = dt.drawRotatedText(&p, 90, QRectF(100, 100, 95, 30), big,
                                            Qt::AlignCenter, fit, text);
        p.end();
        QRect ink;
        QVERIFY(darkest(img, &ink) > 0);
        const QString where = QString("%1 %2 %3 %4").arg(ink.left()).arg(ink.top())
                                  .arg(ink.right()).arg(ink.bottom());
        // Box: rows 52.5 .. 147.5, columns 85 .. 115.
        QVERIFY2(ink.top() >= 52 && ink.bottom() <= 148 && ink.left() >= 84 && ink.right() <= 116,
                 qPrintable(where));
        if (fit == 1) {
            // The 10-point measure is returned; the whole text spans most of the box.
            QVERIFY(b.width() > b.height() && b.height() > 0);
            // Length decides: the text runs the box's length, thin across it.
            QVERIFY2(ink.height() > 80, qPrintable(where));
            QVERIFY2(ink.width() < 20, qPrintable(where));
        } else {
            // At 40 points the text overruns the box and is cut at both ends.
            QCOMPARE(b, QRectF(0, 0, 0, 0));
            QVERIFY2(ink.top() <= 54 && ink.bottom() >= 146, qPrintable(where));
            QVERIFY2(ink.width() >= 25, qPrintable(where));
        }
    }
}

void TstDisplay::textLeavesPainter()
{
    QImage img(50, 50, QImage::Format_ARGB32);
    QPainter p(&img);
    QFont f;
    f.setPointSizeF(7.5);
    f.setItalic(true);
    p.setFont(f);
    p.translate(3, 4);
    const QTransform before = p.transform();
    DrawText dt;
    QFont other;
    other.setPointSizeF(20);
    dt.drawRotatedText(&p, 33.3, QRectF(10, 10, 30, 10), other, Qt::AlignLeft, 1, "abc", 0, true,
                       Qt::red);
    dt.drawRotatedText(&p, 90, QRectF(10, 10, 0, 10), other, Qt::AlignLeft, 1, "no room", 0);
    dt.drawRotatedText(&p, -45, QRectF(10, 10, -30, -10), other, Qt::AlignLeft, 2, "abc", 0);
    QCOMPARE(p.transform(), before);
    QCOMPARE(p.font(), f);
    p.end();
}

QTEST_MAIN(TstDisplay)
#include "tst_display.moc"
