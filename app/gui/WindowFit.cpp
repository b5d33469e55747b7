#include "WindowFit.h"

#include <QBoxLayout>
#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>

#include <algorithm>

namespace {
// On a wide screen the pictures need no more than this; the controls then
// get the rest, up to their natural width, and need not scroll.  On a
// smaller one the controls keep the narrowest width at which they still
// need no sideways scrolling, and the pictures get the rest.
constexpr int imagesWidth = 820;
} // namespace

QSplitter* WindowFit::arrange(QBoxLayout* layout, QWidget* images)
{
    QWidget* window = layout->parentWidget();
    // Built inside the window first, so that every widget moved below
    // changes parent within one window.
    auto* split = new QSplitter(Qt::Horizontal, window);
    split->setObjectName(QStringLiteral("ControlsAndImages"));
    split->setChildrenCollapsible(false);
    auto* scroll = new QScrollArea(split);
    scroll->setObjectName(QStringLiteral("Controls"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* inner = new QWidget;
    inner->setObjectName(QStringLiteral("ControlsInner"));
    auto* column = new QVBoxLayout(inner);
    column->setContentsMargins(0, 0, 0, 0);
    scroll->setWidget(inner);
    split->addWidget(scroll);

    // Everything but the pictures, in order.
    for (int i = 0; i < layout->count();) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == images) {
            ++i;
            continue;
        }
        QLayoutItem* taken = layout->takeAt(i);
        // addWidget gives the widget its new parent; a bare item would not.
        if (QWidget* w = taken->widget()) {
            delete taken;
            column->addWidget(w);
        } else {
            column->addItem(taken);
        }
    }
    column->addStretch(1);
    layout->removeWidget(images);
    split->addWidget(images);
    // Growing or shrinking the window changes the pictures' width.
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    layout->addWidget(split);

    auto* fit = new WindowFit(split, inner);
    const int natural = fit->naturalWidth();
    split->setSizes(sizesFor(natural, fit->leastWidth(), window ? window->width() : 2 * natural));
    // The controls never get less than they need not to scroll sideways,
    // also when their content grows later (a longer text, a translation).
    scroll->setMinimumWidth(fit->leastWidth());
    inner->installEventFilter(fit);
    if (window)
        window->installEventFilter(fit);
    return split;
}

WindowFit::WindowFit(QSplitter* split, QWidget* controls) : QObject(split), split(split), controls(controls)
{
}

int WindowFit::scrollExtra() const
{
    // The vertical scroll bar and the area's frame.
    int extra = split->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    if (const auto* area = qobject_cast<const QScrollArea*>(split->widget(0)))
        extra = std::max(extra, area->verticalScrollBar()->sizeHint().width()) + 2 * area->frameWidth();
    return extra;
}

int WindowFit::naturalWidth() const
{
    return controls->sizeHint().width() + scrollExtra();
}

int WindowFit::leastWidth() const
{
    return controls->minimumSizeHint().width() + scrollExtra();
}

bool WindowFit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == controls) {
        if (event->type() == QEvent::LayoutRequest)
            if (QWidget* area = split->widget(0))
                area->setMinimumWidth(leastWidth());
        return false;
    }
    // Once, at the first show: the window has its real width by then, and
    // panels added after the arrangement count too.
    if (event->type() == QEvent::Show) {
        watched->removeEventFilter(this);
        split->setSizes(sizesFor(naturalWidth(), leastWidth(), split->width()));
    }
    return false;
}

QList<int> WindowFit::sizesFor(int natural, int least, int width)
{
    // The controls take their natural width when the window has room for
    // it beside the pictures; otherwise as little as keeps them from
    // scrolling sideways, or more where the pictures would not use it.
    const int controls = std::min(natural, std::max(least, width - imagesWidth));
    return {controls, std::max(width - controls, 1)};
}

QSize WindowFit::firstSize(const QSize& available)
{
    // Full HD minus room for the desktop's panels; smaller screens are filled.
    return QSize(1840, 1000).boundedTo(available);
}
