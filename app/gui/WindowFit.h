#pragma once
// The main window's arrangement for screens from 1366 x 768 up: the
// controls in a scroll area beside the pictures, the two parted by a
// splitter, and a first size that fits the screen.
#include <QSize>

class QBoxLayout;
class QScrollArea;
class QSplitter;
class QWidget;

class WindowFit
{
public:
    // Moves every item of layout but images into a scroll area, and puts
    // that and images side by side in a splitter that becomes layout's
    // only item.  The splitter is returned (owned by layout's widget).
    static QSplitter* arrange(QBoxLayout* layout, QWidget* images);
    // The window's first size on a screen with this much room.
    static QSize firstSize(const QSize& available);
    // The scroll area holding the controls, from the splitter.
    static QScrollArea* controls(QSplitter* split);
};
