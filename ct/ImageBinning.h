#pragma once
// Binning of detector images: each output pixel is the sum of factor x
// factor input pixels (as float, so 16-bit counts cannot overflow). A
// binned pixel k covers input pixels factor k .. factor k + factor - 1, so
// a position x on the input is (x - (factor - 1) / 2) / factor on the
// output.
//
// in: w x h values, row-major; out: (w / factor) x (h / factor). w and h
// must be multiples of factor (binnedProblem says when they are not).
#include <QString>

void binImage(const float* in, int w, int h, int factor, float* out);

// The centre of rotation on binned lines for one on the detector.
inline double binnedPosition(double x, int factor)
{
    return (x - (factor - 1) / 2.0) / factor;
}
// Why w x h images cannot be binned by factor (not 1, 2 or 4, or a size
// it does not divide); empty when they can.
QString binningProblem(int w, int h, int factor);
