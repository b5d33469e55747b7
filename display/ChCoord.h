#pragma once
// Mapping between the pixels of a paint area (screen) and the data shown in
// it (real). Neither rectangle is normalised, so either axis may run backwards.
#include <QObject>

class ChCoord : public QObject
{
    Q_OBJECT
public:
    explicit ChCoord(QObject* parent = nullptr) : QObject(parent) {}

    void setSRect(double x0, double y0, double x1, double y1);
    void setRRect(double x0, double y0, double x1, double y1);

    double getSX0() const { return sX0; }
    double getSY0() const { return sY0; }
    double getSX1() const { return sX1; }
    double getSY1() const { return sY1; }
    double getRX0() const { return rX0; }
    double getRY0() const { return rY0; }
    double getRX1() const { return rX1; }
    double getRY1() const { return rY1; }

    // Empty rectangles give IEEE infinities or NaN; callers decide.
    double r2sX(double x) const { return ((sX1 - sX0) / (rX1 - rX0)) * (x - rX0) + sX0; }
    double r2sY(double y) const { return ((sY1 - sY0) / (rY1 - rY0)) * (y - rY0) + sY0; }
    double r2sDX(double dx) const { return ((sX1 - sX0) / (rX1 - rX0)) * dx; }
    double r2sDY(double dy) const { return ((sY1 - sY0) / (rY1 - rY0)) * dy; }
    double s2rX(double px) const { return ((rX1 - rX0) / (sX1 - sX0)) * (px - sX0) + rX0; }
    double s2rY(double py) const { return ((rY1 - rY0) / (sY1 - sY0)) * (py - sY0) + rY0; }

    double sX0 = 0, sY0 = 0, sX1 = 1, sY1 = 1;
    double rX0 = 0, rY0 = 0, rX1 = 1, rY1 = 1;
};
