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

WrapLayout* WrapLayout::takeOver(QWidget* w)
{
    QList<QWidget*> widgets;
    QMargins margins;
    int gap = -1;
    if (QLayout* old = w->layout()) {
        margins = old->contentsMargins();
        gap = old->spacing();
        while (QLayoutItem* item = old->takeAt(0)) {
            if (item->widget())
                widgets << item->widget();
            delete item;
        }
        delete old;
    }
    auto* wrap = new WrapLayout(w);
    wrap->setContentsMargins(margins);
    if (gap >= 0)
        wrap->setSpacing(gap);
    for (QWidget* c : widgets)
        wrap->addWidget(c);
    return wrap;
}

namespace {
// How wide an item must be to stay on one line: a nested wrap layout
// would rather not wrap.
int unwrapped(QLayoutItem* item)
{
    QLayout* inner = item->widget() ? item->widget()->layout() : item->layout();
    if (const auto* wrap = dynamic_cast<const WrapLayout*>(inner)) {
        const QMargins m = item->widget() ? item->widget()->contentsMargins() : QMargins();
        return std::max(item->minimumSize().width(), wrap->oneLineWidth() + m.left() + m.right());
    }
    return item->minimumSize().width();
}
} // namespace

int WrapLayout::oneLineWidth() const
{
    const int gap = std::max(0, spacing());
    int w = 0, n = 0;
    for (QLayoutItem* item : items)
        if (!item->isEmpty()) {
            w += unwrapped(item);
            ++n;
        }
    const QMargins m = contentsMargins();
    return w + std::max(0, n - 1) * gap + m.left() + m.right();
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
    s += QSize(m.left() + m.right(), m.top() + m.bottom());
    // Layouts above that do not ask for the height at a width still leave
    // room for every line the items take now.
    if (geometry().width() > 0)
        s.setHeight(std::max(s.height(), place(QRect(0, 0, geometry().width(), 0), false)));
    return s;
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
    const int before = geometry().width() > 0 ? place(QRect(0, 0, geometry().width(), 0), false) : -1;
    QLayout::setGeometry(rect);
    const int now = place(rect, true);
    // A new number of lines changes the height the layouts above must give.
    if (before >= 0 && now != before)
        QMetaObject::invokeMethod(this, [this] { invalidate(); }, Qt::QueuedConnection);
}

int WrapLayout::place(const QRect& rect, bool apply) const
{
    const QRect r = rect.marginsRemoved(contentsMargins());
    const int gap = std::max(0, spacing());
    QList<QLayoutItem*> shown;
    for (QLayoutItem* item : items)
        if (!item->isEmpty())
            shown << item;
    int y = r.y(), lastBottom = r.y();
    for (qsizetype first = 0; first < shown.size();) {
        // As many items as fit unwrapped (at least one; alone, an item gets
        // the whole line, at least its minimum)...
        qsizetype end = first;
        int used = 0;
        while (end < shown.size()) {
            const int need = unwrapped(shown[end]) + (end > first ? gap : 0);
            if (end > first && used + need > r.width())
                break;
            used += need;
            ++end;
        }
        QList<int> widths;
        for (qsizetype i = first; i < end; ++i)
            widths << (end - first == 1 ? std::max(shown[i]->minimumSize().width(), std::min(r.width(),
                                                                                                 shown[i]->sizeHint().width()))
                                        : unwrapped(shown[i]));
        // ... then the room left goes to those that would like more, in
        // proportion to what they lack of their preferred widths.
        if (end - first > 1) {
            const int room = std::max(0, r.width() - used);
            int lacking = 0;
            for (qsizetype i = first; i < end; ++i)
                lacking += std::max(0, shown[i]->sizeHint().width() - widths[i - first]);
            for (qsizetype i = first; i < end && lacking > 0; ++i)
                widths[i - first] += int(qint64(std::min(room, lacking))
                                         * std::max(0, shown[i]->sizeHint().width() - widths[i - first]) / lacking);
        }
        int x = r.x(), lineHeight = 0;
        for (qsizetype i = first; i < end; ++i) {
            QLayoutItem* item = shown[i];
            const int w = widths[i - first];
            const int h = item->hasHeightForWidth() ? item->heightForWidth(w) : item->sizeHint().height();
            if (apply)
                item->setGeometry(QRect(x, y, w, h));
            x += w + gap;
            lineHeight = std::max(lineHeight, h);
        }
        lastBottom = y + lineHeight;
        y = lastBottom + gap;
        first = end;
    }
    const QMargins m = contentsMargins();
    return lastBottom - rect.y() + m.bottom();
}
