#include "WindowFit.h"

#include <QBoxLayout>
#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>

#include <algorithm>

namespace {
// The pictures' share of the width on a small screen.
constexpr int imagesShare = 50;   // per cent of the width
// On a wide screen the pictures need no more than this; the controls then
// get the rest, up to their natural width, and need not scroll.
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
    // Growing or shrinking, the two keep their shares of the width.
    split->setStretchFactor(0, 100 - imagesShare);
    split->setStretchFactor(1, imagesShare);
    layout->addWidget(split);

    auto* fit = new WindowFit(split, inner);
    const int natural = fit->naturalWidth();
    split->setSizes(sizesFor(natural, window ? window->width() : 2 * natural));
    if (window)
        window->installEventFilter(fit);
    else
        fit->deleteLater();
    return split;
}

WindowFit::WindowFit(QSplitter* split, QWidget* controls) : QObject(split), split(split), controls(controls)
{
}

int WindowFit::naturalWidth() const
{
    return controls->sizeHint().width() + split->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

bool WindowFit::eventFilter(QObject* watched, QEvent* event)
{
    // Once, at the first show: the window has its real width by then, and
    // panels added after the arrangement count too.
    if (event->type() == QEvent::Show) {
        watched->removeEventFilter(this);
        split->setSizes(sizesFor(naturalWidth(), split->width()));
        deleteLater();
    }
    return false;
}

QList<int> WindowFit::sizesFor(int natural, int width)
{
    // The controls take their natural width when the window has room for
    // it beside the pictures; otherwise they scroll.
    const int controls = std::min(natural, std::max(width * (100 - imagesShare) / 100, width - imagesWidth));
    return {controls, std::max(width - controls, 1)};
}

QSize WindowFit::firstSize(const QSize& available)
{
    // Full HD minus room for the desktop's panels; smaller screens are filled.
    return QSize(1840, 1000).boundedTo(available);
}
