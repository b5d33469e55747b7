#pragma once
// Draws a short text rotated by any angle, centred on a point, sized to fit
// a box. Keeps no state between calls.
#include <QColor>
#include <QFont>
#include <QObject>
#include <QRectF>
#include <QString>

#include <QPainter>

class DrawText : public QObject
{
    Q_OBJECT
public:
    explicit DrawText(QObject* parent = nullptr) : QObject(parent) {}

    // rect: (x, y) the anchor in widget coordinates, width the length along
    // the text, height across it. fitMode 1 fits the point size; the result
    // is then the text's 10-point bounding rectangle, otherwise empty.
    QRectF drawRotatedText(QPainter* painter, double angle, QRectF rect, QFont font, int flags,
                           int fitMode, QString text, double maxPointSize = 0,
                           bool fill = false, QColor fillColor = QColor());
};
