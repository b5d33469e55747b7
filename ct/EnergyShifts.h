#pragma once
// The drift of every energy of a CT-XAFS series against its reference
// energy, as the alignment writes it ("energy_eV,dx_px,dz_px,..." CSV, dx
// along detector columns, dz along rows; the energy shows at (x + dx, z + dz)
// what the reference shows at (x, z)), and what a run of one energy takes
// from it: the centre of rotation moves by the shift across the axis, the
// slice line by the shift along it (read between two detector lines), so
// every energy's slices show the sample where the reference's do.
#include <QString>

#include <vector>

struct EnergyShift
{
    double energy = 0;      // eV
    double dx = 0, dz = 0;  // pixels along detector columns and rows
    bool questionable = false;

    // Shift across the rotation axis (moves the centre) and along it (moves the slice).
    double across(bool rotAxIsV) const { return rotAxIsV ? dx : dz; }
    double along(bool rotAxIsV) const { return rotAxIsV ? dz : dx; }
};

// What one run does with its energy's shift.
struct AppliedShift
{
    bool on = false;
    EnergyShift row;
    double across = 0, along = 0;  // pixels: added to the centre, to the slice line
    // Side of every slice image (0: no cut): the narrowest any energy of the
    // table gets about its shifted centre, so that all energies' slices
    // have one size and the axis on one pixel.
    int side = 0;
};

class EnergyShifts
{
public:
    // The shift of a run at energy (eV) over a detector of `dim` pixels
    // across the axis and `lines` along it, with centres corLo .. corHi and
    // slices sliceLo .. sliceHi; false with *why when the table has no row
    // for the energy or a shifted centre or slice leaves the detector.
    static bool plan(const QString& file, double energy, bool rotAxIsV, int dim, int lines, double corLo, double corHi,
                     long long sliceLo, long long sliceHi, AppliedShift& out, QString* why);

    // Reads a shifts table; false with *why naming the file and the line
    // (nothing usable, a row that is not numbers, a shift beyond maxShift).
    bool load(const QString& path, QString* why);
    // The row measured at energy (eV, within tolerance); false with *why
    // naming the energy and the file when there is none.
    bool find(double energy, EnergyShift& out, QString* why) const;
    const std::vector<EnergyShift>& rows() const { return table; }
    const QString& file() const { return path; }

    // Two energies closer than this (eV) are the same set.
    static constexpr double tolerance = 0.05;
    // Larger shifts (pixels) are not drift but a wrong file.
    static constexpr double maxShift = 1000;

private:
    std::vector<EnergyShift> table;
    QString path;
};
