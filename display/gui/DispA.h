#pragma once
// Paint area: white background, three paint layers by signal, and the
// mouse and coordinate state that every display reads.
#include "ChCoord.h"
#include "MouseC.h"

#include <QFrame>

#include <QPainter>
class QPaintEvent;
class QMouseEvent;
class QWheelEvent;

class DispA : public QFrame
{
    Q_OBJECT
public:
    explicit DispA(QWidget* parent = nullptr);

    ChCoord* getCoord() { return &coord; }
    MouseC* getMouse() { return &mouse; }

    ChCoord coord;
    MouseC mouse;

signals:
    void drawImage0(QPainter* p);
    void drawImage1(QPainter* p);
    void drawImage2(QPainter* p);
    void mouseMoved0();
    void mousePressed0();
    void mouseReleased0();
    void mouseDoubleClicked0();
    void wheelMoved0();

public slots:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent*) override;
};
