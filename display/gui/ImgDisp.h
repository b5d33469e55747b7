#pragma once
// An 8-bit grey picture in a paint area: wheel zoom about the mouse, pan by
// left drag, position report, point pick by click, Shift-drag selection.
#include "DispAWLayout.h"
#include "MouseC.h"

#include <QImage>
#include <QRectF>

class ChCoord;

class ImgDisp : public DispAWLayout
{
    Q_OBJECT
public:
    explicit ImgDisp(QWidget* parent = nullptr);

    MouseC* mouse;
    ChCoord* coord;
    bool scaleSet = false;
    // Visible part of image in image pixels, rows growing downward.
    QRectF view;
    // Written by renderers, who then call newImage().
    QImage image;
    // Selection kept for the owner's overlay; not drawn here, announced once
    // when a drag completes it.
    bool selecting = false;
    bool selValid = false;
    double selX = 0, selY = 0, selW = 0, selH = 0;

signals:
    void newPos(int ix, int iy);
    void newS(QRectF s);
    void selectedAPoint(double x, double y, MouseC::MStat s);
    // A Shift drag completed a rectangle (image pixels, positive extents).
    void selectionMade(QRectF r);

public slots:
    void onWheelMoved();
    void onMouseMoved();
    void onMousePressed();
    void onMouseReleased();
    void draw(QPainter* p);
    void newImage();
    void resetScale();
    // The part of the image in view, format by suffix, written whole or not
    // at all; false when nothing was written, with the reason in *error
    // when given, else on the debug log.
    bool saveImage(QString fname, QString* error = nullptr);

    // Where the view lies in the paint area (the rest of the area is blank).
    QRectF viewOnScreen() const;

private:
    void setRRectFromView();
};
