#pragma once
// A region (x0, z0, x1, z1) in pixels of a reconstructed image: x along
// columns, z along rows; loops run from trunc(x0) while x < x1.
struct CtRegion
{
    double x0 = 0, z0 = 0, x1 = 0, z1 = 0;
};
