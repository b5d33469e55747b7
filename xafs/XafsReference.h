#pragma once
// A reference spectrum for linear-combination fitting: a standard measured
// on the same beamline, read from a text file and brought onto the stack's
// energies.
//
// Files: XDI ("# XDI/1.0", columns named by "# Column.N: name [unit]") or
// plain columns (CSV or blanks, "#" comments, the header's last comment
// line or a first text row naming the columns). The energy is the column
// named energy (or the first), in eV. The spectrum is the first column
// whose name starts with "norm" (taken as normalised already), else one
// named mu, mutrans, mufluor, xmu or absorption (normalised here), else
// the second column.
#include "XafsNormalize.h"

#include <QString>

#include <vector>

class XafsReference
{
public:
    // False with *why naming the file and the fault (unreadable, fewer than
    // five points, energies not rising, values not numbers).
    bool load(const QString& path, QString* why);
    // From memory (tests, benchmarks).
    bool set(const QString& name, std::vector<double> energies, std::vector<double> values, bool normalised,
             QString* why);

    // The reference as the stack would have measured it: mu taken (linear
    // between the reference's points) at those of the stack's energies it
    // covers, and normalised there with the stack's ranges and E0 method,
    // so that a coarse scan's normalisation errors are the same in sample
    // and reference. A normalised reference is only taken at the energies.
    // energies gets the covered stack energies, norm the values, *e0 the
    // edge. False with *why when it covers too few or cannot be normalised.
    bool onGrid(const XafsRanges& ranges, const std::vector<double>& stackEnergies, std::vector<double>& energies,
                std::vector<double>& norm, double* e0, QString* why) const;
    // E0 on the reference's own points (NaN when it cannot be normalised,
    // with *why); for a normalised reference where it first reaches 0.5.
    double edge(const XafsRanges& ranges, QString* why = nullptr) const;

    QString name;                  // file name without its directory and suffix
    QString path;
    std::vector<double> energy;    // eV, rising
    std::vector<double> value;     // mu, or normalised mu
    bool normalised = false;

    static constexpr int minPoints = 5;
    static constexpr qint64 maxBytes = 64ll << 20;

private:
    bool normalise(const XafsRanges& ranges, const std::vector<double>& e, const std::vector<double>& v,
                   std::vector<double>& out, double* e0, QString* why) const;
    double valueAt(double e) const;
};
