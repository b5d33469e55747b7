#pragma once
// A region of a slice whose spectrum is wanted, in image coordinates
// (x along columns, z along rows; pixel (x, z) covers [x, x+1) x [z, z+1)).
#include <cmath>

struct XafsRoi
{
    enum Shape { Pixel, Rect, Circle };
    Shape shape = Rect;
    // Pixel: the point (x0, z0). Rect: corners (x0, z0), (x1, z1), either
    // order. Circle: centre (x0, z0), radius x1.
    double x0 = 0, z0 = 0, x1 = 0, z1 = 0;

    static XafsRoi pixel(double x, double z) { return {Pixel, x, z, x, z}; }
    static XafsRoi rect(double xa, double za, double xb, double zb) { return {Rect, xa, za, xb, zb}; }
    static XafsRoi circle(double cx, double cz, double r) { return {Circle, cx, cz, r, 0}; }

    // Whether pixel (x, z) belongs to the region: the pixel under the point,
    // or the pixels whose centres lie inside the rectangle or circle.
    bool contains(long long x, long long z) const
    {
        const double cx = x + 0.5, cz = z + 0.5;
        switch (shape) {
        case Pixel:
            return x == (long long)std::floor(x0) && z == (long long)std::floor(z0);
        case Rect:
            return cx >= std::fmin(x0, x1) && cx < std::fmax(x0, x1) && cz >= std::fmin(z0, z1)
                && cz < std::fmax(z0, z1);
        case Circle:
            return (cx - x0) * (cx - x0) + (cz - z0) * (cz - z0) <= x1 * x1;
        }
        return false;
    }
};
