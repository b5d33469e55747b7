#include "WrapLayout.h"

#include <QWidget>
#include <QWidgetItem>

#include <algorithm>

WrapLayout::WrapLayout(QWidget* parent) : QLayout(parent)
{
}

WrapLayout::~WrapLayout()
{
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void WrapLayout::insertWidget(int index, QWidget* w)
{
    addChildWidget(w);
    items.insert(std::clamp(index, 0, int(items.size())), new QWidgetItem(w));
    invalidate();
}

void WrapLayout::addItem(QLayoutItem* item)
{
    items.append(item);
}

int WrapLayout::count() const
{
    return int(items.size());
}

QLayoutItem* WrapLayout::itemAt(int index) const
{
    return items.value(index);
}

QLayoutItem* WrapLayout::takeAt(int index)
{
    return index >= 0 && index < items.size() ? items.takeAt(index) : nullptr;
}

Qt::Orientations WrapLayout::expandingDirections() const
{
    return {};
}

bool WrapLayout::hasHeightForWidth() const
{
    return true;
}

int WrapLayout::heightForWidth(int width) const
{
    return place(QRect(0, 0, width, 0), false);
}

QSize WrapLayout::minimumSize() const
{
    QSize s;
    for (const QLayoutItem* item : items)
        if (!item->isEmpty())
            s = s.expandedTo(item->minimumSize());
    const QMargins m = contentsMargins();
    return s + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize WrapLayout::sizeHint() const
{
    // All on one line.
    int w = 0, h = 0, n = 0;
    for (const QLayoutItem* item : items) {
        if (item->isEmpty())
            continue;
        const QSize s = item->sizeHint();
        w += s.width();
        h = std::max(h, s.height());
        ++n;
    }
    const QMargins m = contentsMargins();
    return QSize(w + std::max(0, n - 1) * std::max(0, spacing()) + m.left() + m.right(), h + m.top() + m.bottom());
}

void WrapLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    place(rect, true);
}

int WrapLayout::place(const QRect& rect, bool apply) const
{
    const QRect r = rect.marginsRemoved(contentsMargins());
    const int gap = std::max(0, spacing());
    int x = r.x(), y = r.y(), lineHeight = 0;
    for (QLayoutItem* item : items) {
        if (item->isEmpty())
            continue;
        // The preferred width when it fits, else what the line has left
        // down to the item's minimum.
        QSize s = item->sizeHint();
        if (x > r.x() && x + item->minimumSize().width() > r.right() + 1) {
            x = r.x();
            y += lineHeight + gap;
            lineHeight = 0;
        }
        s.setWidth(std::max(item->minimumSize().width(), std::min(s.width(), r.right() + 1 - x)));
        if (apply)
            item->setGeometry(QRect(QPoint(x, y), s));
        x += s.width() + gap;
        lineHeight = std::max(lineHeight, s.height());
    }
    const QMargins m = contentsMargins();
    return y + lineHeight - rect.y() + m.bottom();
}
