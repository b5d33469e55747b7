#include "WindowFit.h"

#include <QBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>

#include <algorithm>

namespace {
// Room the pictures get at least on a small screen.
constexpr int imagesShare = 55;   // per cent of the width
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

    // The controls take their natural width when the window has room for
    // it and the pictures their share; otherwise the controls scroll.
    const int natural = inner->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width();
    const int width = window ? window->width() : natural * 2;
    const int controlsWidth = std::min(natural, width * (100 - imagesShare) / 100);
    split->setSizes({controlsWidth, std::max(width - controlsWidth, 1)});
    return split;
}

QSize WindowFit::firstSize(const QSize& available)
{
    // Full HD minus room for the desktop's panels; smaller screens are filled.
    return QSize(1840, 1000).boundedTo(available);
}

QScrollArea* WindowFit::controls(QSplitter* split)
{
    return split ? qobject_cast<QScrollArea*>(split->widget(0)) : nullptr;
}
