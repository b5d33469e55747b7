#pragma once
// The main window's arrangement for screens from 1366 x 768 up: the
// controls in a scroll area beside the pictures, the two parted by a
// splitter, and a first size that fits the screen.
#include <QList>
#include <QObject>
#include <QSize>

class QBoxLayout;
class QSplitter;
class QWidget;

class WindowFit : public QObject
{
    Q_OBJECT
public:
    // Moves every item of layout but images into a scroll area, and puts
    // that and images side by side in a splitter that becomes layout's
    // only item.  When the window is first shown the splitter is shared
    // out for its width then.  The splitter is returned (owned by the window).
    static QSplitter* arrange(QBoxLayout* layout, QWidget* images);
    // The window's first size on a screen with this much room.
    static QSize firstSize(const QSize& available);
    // Controls and pictures of a splitter width wide, for controls that
    // would like to be natural wide and need least not to scroll sideways.
    static QList<int> sizesFor(int natural, int least, int width);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowFit(QSplitter* split, QWidget* controls);
    // The controls' preferred width, and the least without sideways
    // scrolling, as they are now (scroll bar included).
    int naturalWidth() const;
    int leastWidth() const;
    int scrollExtra() const;

    QSplitter* split;
    QWidget* controls;
};
