#include "ColorBar.h"

#include "DispMath.h"
#include "FieldWidth.h"

#include <QPainter>
#include <QThread>

#include <cmath>

ColorBar::ColorBar(QWidget* parent) : DispA(parent), uiFrame(new QFrame)
{
    ui.setupUi(uiFrame.get());
    ui.CMinLE->setText(QString::number(0, 'g', 6));
    ui.CMaxLE->setText(QString::number(1, 'g', 6));
    FieldWidth::fit(ui.CMinLE, FieldWidth::number());
    FieldWidth::fit(ui.CMaxLE, FieldWidth::number());
    fixed = ui.CFix->isChecked();

    connect(this, &DispA::drawImage1, this, &ColorBar::draw1);
    connect(this, &DispA::mouseMoved0, this, &ColorBar::onMouseMoved);
    connect(this, &DispA::mousePressed0, this, &ColorBar::onMousePressed);
    connect(this, &DispA::mouseReleased0, this, &ColorBar::onMouseReleased);
    connect(ui.CMinLE, &QLineEdit::editingFinished, this, &ColorBar::minVEdited);
    connect(ui.CMaxLE, &QLineEdit::editingFinished, this, &ColorBar::maxVEdited);
    connect(ui.CFix, &QCheckBox::toggled, this, [this](bool f) { fixed = f; });
}

// The panel frame "CBarUIBase" may live in a display's layout by now; the
// display deletes it with its children, uiFrame only what is left.
ColorBar::~ColorBar() = default;

int ColorBar::level(double v) const
{
    return greyLevel(v, vMin.load(std::memory_order_relaxed), vMax.load(std::memory_order_relaxed),
                     cMin.load(std::memory_order_relaxed), cMax.load(std::memory_order_relaxed));
}

void ColorBar::levelRow(const double* v, uchar* out, int n) const
{
    greyLevelRow(v, out, n, vMin.load(std::memory_order_relaxed),
                 vMax.load(std::memory_order_relaxed), cMin.load(std::memory_order_relaxed),
                 cMax.load(std::memory_order_relaxed));
}

bool ColorBar::isFixed() const
{
    return fixed;
}

void ColorBar::autoMinMax(double min, double max)
{
    if (isFixed())
        return;
    setLimits(min, max);
}

void ColorBar::setMinMaxForced(double min, double max)
{
    setLimits(min, max);
}

ColorSnapshot ColorBar::snapshot() const
{
    return ColorSnapshot(getVMin(), getVMax(), getCMin(), getCMax(), isFixed());
}

void ColorBar::setUnitFactor(double f)
{
    const double v = f > 0 && std::isfinite(f) ? f : 0.0;
    if (v == perCm)
        return;
    perCm = v;
    update();
}

QString ColorBar::labelText(double v) const
{
    if (!(perCm > 0))
        return QString::number(v, 'g', 6);
    // Four digits leave the unit room on a narrow bar.
    return QString::number(v * perCm, 'g', 4) + QStringLiteral(" /cm");
}

void ColorBar::setLimits(double min, double max)
{
    vMin = min;
    vMax = max;
    // Renderers may call from worker threads: the fields are written in
    // the GUI thread only.
    if (QThread::currentThread() == thread())
        showLimits(min, max);
    else
        QMetaObject::invokeMethod(this, [this, min, max] { showLimits(min, max); }, Qt::QueuedConnection);
}

void ColorBar::showLimits(double min, double max)
{
    ui.CMinLE->setText(QString::number(min, 'g', 6));
    ui.CMaxLE->setText(QString::number(max, 'g', 6));
}

void ColorBar::draw1(QPainter* p)
{
    const int w = width();
    const int h = height();
    const double c0 = cMin;
    const double c1 = cMax;
    for (int i = 0; i < h; ++i) {
        const int g = barRowLevel(i, h, c0, c1);
        p->setPen(QColor(g, g, g));
        p->drawLine(0, h - 1 - i, w, h - 1 - i);
    }

    p->setPen(QColor(0, 192, 255));
    const int yMax = truncToInt((1 - c1) * h);
    const int yMin = truncToInt((1 - c0) * h);
    p->drawLine(0, yMax, w, yMax);
    p->drawLine(0, yMin, w, yMin);

    p->setPen(QColor(0, 255, 192));
    const QFont font;
    const double v0 = vMin;
    const double v1 = vMax;
    drawText.drawRotatedText(p, 90, QRectF(w / 2, 50, 95, w), font, Qt::AlignLeft | Qt::AlignVCenter,
                             1, labelText(v1), 10, false, QColor());
    drawText.drawRotatedText(p, 90, QRectF(w / 2, h - 50, 95, w), font,
                             Qt::AlignRight | Qt::AlignVCenter, 1, labelText(v0), 10,
                             false, QColor());
    if (dragging)
        drawText.drawRotatedText(p, 90, QRectF(w / 2, h / 2, 95, w), font,
                                 Qt::AlignRight | Qt::AlignVCenter, 1,
                                 labelText((v1 - v0) * handle->load() + v0), 10,
                                 false, QColor());
}

void ColorBar::onMousePressed()
{
    const int h = height();
    const double f = double(h - mouse.y) / h;
    const double dMin = std::abs(cMin - f);
    const double dMax = std::abs(cMax - f);
    // Equal distances (also NaN on a bar without height) grab nothing.
    if (dMin > dMax) {
        handle = &cMax;
        dragging = true;
    } else if (dMax > dMin) {
        handle = &cMin;
        dragging = true;
    }
}

void ColorBar::onMouseMoved()
{
    if (!mouse.pressed)
        return;
    const int h = height();
    // A bar without height has no fraction to give the handle.
    if (dragging && h > 0)
        *handle = double(h - mouse.y) / h;
    update();
    emit newBar();
}

void ColorBar::onMouseReleased()
{
    dragging = false;
}

void ColorBar::minVEdited()
{
    vMin = ui.CMinLE->text().toDouble();
    emit newBar();
}

void ColorBar::maxVEdited()
{
    vMax = ui.CMaxLE->text().toDouble();
    emit newBar();
}

void ColorBar::setFixColorScale(bool f)
{
    // Setting the check state alone; the mirror follows through toggled().
    ui.CFix->setChecked(f);
    fixed = f;
}
