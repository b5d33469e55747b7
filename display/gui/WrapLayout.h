#pragma once
// Lays its widgets out left to right at their preferred widths and starts a
// new line where the next one would not fit, so a row of read-outs takes
// two lines in a narrow panel instead of squeezing its fields into each
// other.  Its minimum width is that of its widest item.
#include <QLayout>
#include <QList>

class WrapLayout : public QLayout
{
public:
    explicit WrapLayout(QWidget* parent = nullptr);
    ~WrapLayout() override;

    // Puts w at position index (0: first) of the order.
    void insertWidget(int index, QWidget* w);
    // Replaces w's layout by a wrap layout of the same widgets in the same
    // order, keeping margins and spacing; returns it.
    static WrapLayout* takeOver(QWidget* w);
    // The narrowest width that keeps every item on one line.
    int oneLineWidth() const;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Places the items in rect (only measures when apply is false); the height used.
    int place(const QRect& rect, bool apply) const;
    QList<QLayoutItem*> items;
};
