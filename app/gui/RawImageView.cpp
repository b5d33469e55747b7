#include "RawImageView.h"

#include "ChCoord.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "Logging.h"
#include "ProcCtrl.h"
#include "SeekCtrl.h"
#include "Session.h"
#include "SgmGeom.h"

#include <QPainter>

#include <vector>

namespace {
// A picked coordinate as a slice number; NaN and far-off values never reach int.
int toSlice(double v)
{
    if (!(v > -2147483648.0 && v < 2147483648.0))
        return 0;
    return int(v);
}

// Every overlay pen is one pixel wide.
QPen pen(int r, int g, int b)
{
    QPen p(QColor(r, g, b));
    p.setWidth(1);
    return p;
}
} // namespace

RawImageView::RawImageView(Session& s, ProcCtrl* proc, SeekCtrl* seekCtrl, QObject* parent)
    : QObject(parent),
      session(s),
      images(s.series()),
      procCtrl(proc),
      seek(seekCtrl),
      crossPen(pen(255, 255, 0)),
      slicePen(pen(255, 232, 232)),
      corPen(pen(255, 232, 232)),
      selectingPen(pen(255, 0, 0)),
      selectedPen(pen(232, 255, 0))
{
    corPen.setDashPattern({10, 3, 4, 3});
    connect(&disp, &DispAWLayout::drawImage2, this, &RawImageView::draw);
    connect(&disp, &ImgDispWPV::newPosInvY, this, &RawImageView::showValueAt);
    connect(&disp, &ImgDispWCBar::newBar, this, &RawImageView::update);
    connect(&disp, &ImgDisp::selectedAPoint, this, &RawImageView::picked);
    connect(&disp, &ImgDisp::selectionMade, this, &RawImageView::selected);
    connect(seek, &SeekCtrl::newIndex, this, &RawImageView::update);
    connect(&images, &ImgDatas::imageUpdated, &disp, qOverload<>(&QWidget::update));
    // The overlay lives on the display's paint area.
    for (auto changed : {&ProcCtrl::rotAxUpdated, &ProcCtrl::sliceNoUpdated, &ProcCtrl::corUpdated})
        connect(procCtrl, changed, disp.dispA, qOverload<>(&QWidget::update));
}

void RawImageView::reset()
{
    seek->reset();
    disp.scaleSet = false;
    disp.selecting = disp.selValid = false;
}

void RawImageView::showValueAt(double x, double y)
{
    double v = 0;
    ImgData* img = images.at(seek->index());
    if (img && x > -1.0 && x < img->width && y > -1.0 && y < img->height) {
        std::vector<double> row(size_t(img->width));
        v = img->readRow(int(y), row.data())[int(x)];
    }
    disp.setVal(v);
}

void RawImageView::update()
{
    if (images.count() == 0) {
        disp.image = QImage();
        disp.dispA->update();
        return;
    }
    if (images.render(seek->index(), disp.image, disp.CBar))
        disp.newImage();
}

void RawImageView::draw(QPainter* p)
{
    if (images.count() < 1 || !p)
        return;
    const ChCoord* c = disp.coord;
    const QRectF v = disp.view;
    const double l = c->r2sX(v.left()), r = c->r2sX(v.right());
    const double t = c->r2sY(v.top()), b = c->r2sY(v.bottom());
    const bool vertical = procCtrl->rotAxIsV;
    // A horizontal line at image row `at` (across), else a vertical one at column `at`.
    const auto line = [&](bool across, double at) {
        if (across) {
            const double y = c->r2sY(at);
            p->drawLine(QPointF(l, y), QPointF(r, y));
        } else {
            const double x = c->r2sX(at);
            p->drawLine(QPointF(x, t), QPointF(x, b));
        }
    };

    p->save();
    p->setPen(crossPen);
    const double mx = disp.mouse->x, my = disp.mouse->y;
    p->drawLine(QPointF(mx, t), QPointF(mx, b));
    p->drawLine(QPointF(l, my), QPointF(r, my));
    p->setPen(slicePen);
    line(vertical, procCtrl->sliceNo);
    p->setPen(corPen);
    line(!vertical, procCtrl->cor);

    const double sx = disp.selX, sy = disp.selY, sw = disp.selW, sh = disp.selH;
    const QRectF screenSel(QPointF(c->r2sX(sx), c->r2sY(sy)), QPointF(c->r2sX(sx + sw), c->r2sY(sy + sh)));
    if (disp.selecting) {
        p->setPen(selectingPen);
        p->drawRect(screenSel.normalized());
    }
    if (disp.selValid) {
        p->setPen(selectedPen);
        p->drawRect(screenSel.normalized());
    }
    p->restore();
}

void RawImageView::selected(QRectF r)
{
    // Rows (vertical axis) or columns give the slice range; the span across
    // the axis gives the CT regions, taken into the field around the CoR.
    const bool vertical = procCtrl->rotAxIsV;
    const double lo = vertical ? r.left() : r.top();
    const double hi = vertical ? r.right() : r.bottom();
    const int from = toSlice(vertical ? r.top() : r.left());
    const int to = toSlice(vertical ? r.bottom() : r.right());
    procCtrl->setSliceFrom(from);
    procCtrl->setSliceTo(to);
    const double cor = session.corFor(from, to);
    const SgmGeom g = makeSgmGeom(vertical, vertical ? images.width : images.height, cor);
    if (g.half < 2) {
        qCInfo(lcApp).noquote() << QStringLiteral("No slice field at centre %1: the selection sets the slices only")
                                       .arg(cor, 0, 'g', 6);
        return;
    }
    const double x0 = slicePosition(g, lo), x1 = slicePosition(g, hi);
    emit regionsChosen({x0, x0, x1, x1});
}

void RawImageView::picked(double x, double y, MouseC::MStat s)
{
    const bool vertical = procCtrl->rotAxIsV;
    if (s == MouseC::L)
        procCtrl->setSliceNo(toSlice(vertical ? y : x));
    else if (s == MouseC::R)
        procCtrl->setCor(vertical ? x : y);
}
