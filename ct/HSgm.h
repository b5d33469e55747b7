#pragma once
// The sinogram of one slice: nx samples by nth projections, row = projection.
#include <cstddef>
#include <vector>

class HSgm
{
public:
    HSgm() = default;

    // Frees both arrays and allocates them anew only when nx * nth > 0;
    // (0, 0) empties the record.  Absurd sizes empty it as well.
    void resize(int nx, int nth);
    bool hasData() const { return !intensity.empty(); }

    double* absorbRow(int p) { return absorb.data() + size_t(p) * size_t(nx); }
    const double* absorbRow(int p) const { return absorb.data() + size_t(p) * size_t(nx); }
    double* intensityRow(int p) { return intensity.data() + size_t(p) * size_t(nx); }
    const double* intensityRow(int p) const { return intensity.data() + size_t(p) * size_t(nx); }

    std::vector<double> absorb;     // ln((I0 - BG) / (I - BG))
    std::vector<double> intensity;  // sampled I before normalisation
    int nx = 0;
    int nth = 0;
    int slice = 0;
    // Samples whose logarithm could not be taken, those of them repaired
    // from their neighbours, and the first row (projection) with no count
    // above BG (-1: none); set by genSinogram, emptied by resize.
    long long invalid = 0;
    long long repaired = 0;
    int blankRow = -1;
    // Rotation angle of each row in radians when the series gave uneven
    // ones; empty: row p lies at pi * p / nth.  Emptied by resize.
    std::vector<double> theta;
};
