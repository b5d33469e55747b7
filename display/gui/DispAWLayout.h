#pragma once
// A paint area wrapped in a grid layout; owners connect to the frame's
// copies of the paint area's signals.
#include "ui_DispAWLayout.h"

#include <QFrame>

class DispAWLayout : public QFrame
{
    Q_OBJECT
public:
    explicit DispAWLayout(QWidget* parent = nullptr);

    // The paint area (the form's "dispA").
    DispA* dispA = nullptr;

signals:
    void drawImage0(QPainter* p);
    void drawImage1(QPainter* p);
    void drawImage2(QPainter* p);
    void mouseMoved0();
    void mousePressed0();
    void mouseReleased0();
    void mouseDoubleClicked0();
    void wheelMoved0();

protected:
    // The frame's grid, the paint area at (0, 0), for what a subclass adds beside it.
    QGridLayout* grid() const { return ui.gridLayout; }

private:
    Ui::DispAWLayout ui;
};
