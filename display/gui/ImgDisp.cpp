#include "ImgDisp.h"

#include "Logging.h"
#include "SafeWrite.h"

#include "ChCoord.h"
#include "DispMath.h"

#include <QDebug>
#include <QPainter>

namespace {
constexpr int noKeys = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

bool plain(int modifiers)
{
    return (modifiers & noKeys) == 0;
}

bool shiftOnly(int modifiers)
{
    return (modifiers & noKeys) == Qt::ShiftModifier;
}

// Largest picture saveImage writes (far zoomed out views are mostly margin).
constexpr qint64 maxSavedPixels = qint64(1) << 28;
} // namespace

ImgDisp::ImgDisp(QWidget* parent)
    : DispAWLayout(parent), mouse(&dispA->mouse), coord(&dispA->coord)
{
    setAttribute(Qt::WA_MouseTracking);
    connect(this, &DispAWLayout::wheelMoved0, this, &ImgDisp::onWheelMoved);
    connect(this, &DispAWLayout::mouseMoved0, this, &ImgDisp::onMouseMoved);
    connect(this, &DispAWLayout::mousePressed0, this, &ImgDisp::onMousePressed);
    connect(this, &DispAWLayout::mouseReleased0, this, &ImgDisp::onMouseReleased);
    connect(this, &DispAWLayout::drawImage1, this, &ImgDisp::draw);
}

void ImgDisp::setRRectFromView()
{
    // Pixels stay square: the area shows the view and, along one axis, some
    // room on either side.
    const QRectF r = fittedView(view, dispA->width(), dispA->height());
    coord->setRRect(r.x(), r.y() + r.height(), r.x() + r.width(), r.y());
}

QRectF ImgDisp::viewOnScreen() const
{
    return QRectF(QPointF(coord->r2sX(view.left()), coord->r2sY(view.top())),
                  QPointF(coord->r2sX(view.right()), coord->r2sY(view.bottom())))
        .normalized();
}

void ImgDisp::draw(QPainter* p)
{
    // Overlays of the next layer map through coord: keep it on this view.
    setRRectFromView();
    if (image.isNull() || !(view.width() > 0) || !(view.height() > 0))
        return;
    // The room beside the view stays blank.
    p->drawImage(viewOnScreen(), image, view);
}

void ImgDisp::onWheelMoved()
{
    const int w = dispA->width();
    const int h = dispA->height();
    // An area without pixels has no mouse fraction; the view would turn NaN.
    if (w <= 0 || h <= 0)
        return;
    const double rx = coord->s2rX(mouse->x);
    const double ry = coord->s2rY(mouse->y);
    view = zoomView(view, mouse->zoomFactor, rx, ry);
    setRRectFromView();
    emit newS(view);
    dispA->update();
}

void ImgDisp::onMousePressed()
{
    setRRectFromView();
    if (mouse->pressButton == Qt::LeftButton && shiftOnly(mouse->pressModifiers)) {
        selecting = true;
        selValid = false;
        selX = coord->s2rX(mouse->x);
        selY = coord->s2rY(mouse->y);
        selW = selH = 0;
    } else if (mouse->pressButton == Qt::RightButton && shiftOnly(mouse->pressModifiers)) {
        selecting = selValid = false;
        selX = selY = selW = selH = 0;
    }
    dispA->update();
}

void ImgDisp::onMouseMoved()
{
    setRRectFromView();
    const double rx = coord->s2rX(mouse->x);
    const double ry = coord->s2rY(mouse->y);
    emit newPos(truncToInt(rx), truncToInt(ry));
    if (!mouse->pressed)
        return;
    if (mouse->pressButton == Qt::LeftButton) {
        if (plain(mouse->pressModifiers)) {
            view = panView(view, rx, ry, coord->s2rX(mouse->prevX), coord->s2rY(mouse->prevY));
            emit newS(view);
        } else if (shiftOnly(mouse->pressModifiers) && selecting) {
            selW = rx - selX;
            selH = ry - selY;
        }
    }
    dispA->update();
}

void ImgDisp::onMouseReleased()
{
    // The last pan step may not have reached coord yet; the pick must be
    // the point now under the mouse.
    setRRectFromView();
    const int b = mouse->pressButton;
    const int m = mouse->pressModifiers;
    if (b == Qt::LeftButton && plain(m)) {
        emit selectedAPoint(coord->s2rX(mouse->x), coord->s2rY(mouse->y), MouseC::L);
    } else if (b == Qt::RightButton && plain(m)) {
        emit selectedAPoint(coord->s2rX(mouse->x), coord->s2rY(mouse->y), MouseC::R);
    } else if (b == Qt::LeftButton && shiftOnly(m) && selecting) {
        selecting = false;
        if (selW != 0 && selH != 0) {
            const QRectF r = normalisedSel(selX, selY, selW, selH);
            selX = r.x();
            selY = r.y();
            selW = r.width();
            selH = r.height();
            selValid = true;
            emit selectionMade(r);
        }
    }
    dispA->update();
}

void ImgDisp::newImage()
{
    if (qint64(image.width()) * image.height() <= 0)
        return;
    if (!scaleSet) {
        view = QRectF(0, 0, image.width(), image.height());
        setRRectFromView();
        scaleSet = true;
        emit newS(view);
    }
    dispA->update();
}

void ImgDisp::resetScale()
{
    view = QRectF(0, 0, image.width(), image.height());
    setRRectFromView();
    dispA->update();
}

bool ImgDisp::saveImage(QString fname, QString* error)
{
    const auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        else
            qCDebug(lcApp).noquote() << message;
        return false;
    };
    QRect r = truncatedRect(view);
    if (r.isEmpty() || image.isNull())
        return fail(QStringLiteral("Nothing visible to save : ") + fname);
    if (qint64(r.width()) * r.height() > maxSavedPixels) {
        r = r.intersected(image.rect());
        qCDebug(lcApp).noquote() << QStringLiteral("Visible region too large, saving only the image part : ")
                                  + fname;
        if (r.isEmpty())
            return fail(QStringLiteral("Nothing visible to save : ") + fname);
    }
    QString why;
    return SafeWrite::writeImage(fname, image.copy(r), &why) || fail(why);
}
