#include "ChCoord.h"

void ChCoord::setSRect(double x0, double y0, double x1, double y1)
{
    sX0 = x0;
    sY0 = y0;
    sX1 = x1;
    sY1 = y1;
}

void ChCoord::setRRect(double x0, double y0, double x1, double y1)
{
    rX0 = x0;
    rY0 = y0;
    rX1 = x1;
    rY1 = y1;
}
