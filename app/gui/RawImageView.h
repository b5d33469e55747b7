#pragma once
// The window's raw image display: the projection the seek control points at,
// the value under the mouse, the overlay (cursor cross, slice line, centre
// line, the selection being drawn and the one made) and what a pick or a
// selection on it sets: a left click the slice, a right click the centre, a
// selection the slice range and the CT regions.
#include "CtRegion.h"
#include "MouseC.h"
#include "RawDisp.h"

#include <QObject>
#include <QPen>

class ImgDatas;
class ProcCtrl;
class QPainter;
class SeekCtrl;
class Session;

class RawImageView : public QObject
{
    Q_OBJECT
public:
    // Shows session's series, with procCtrl's slice and centre, at seek's index.
    RawImageView(Session& session, ProcCtrl* procCtrl, SeekCtrl* seek, QObject* parent = nullptr);

    RawDisp* display() { return &disp; }
    // The projection at the seek index again (none: an empty picture).
    void update();
    // A new series: the seek range, scale and selection start again.
    void reset();

signals:
    // A selection across the axis gives every CT display this region.
    void regionsChosen(const CtRegion& r);

private:
    void showValueAt(double x, double y);
    void draw(QPainter* p);
    void picked(double x, double y, MouseC::MStat s);
    void selected(QRectF r);

    Session& session;
    ImgDatas& images;
    ProcCtrl* procCtrl;
    SeekCtrl* seek;
    RawDisp disp;
    QPen crossPen;
    QPen slicePen;
    QPen corPen;
    QPen selectingPen;
    QPen selectedPen;
};
