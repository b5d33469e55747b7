#pragma once
// Principal components of the normalised spectra of a slice: every pixel
// of the circle whose edge jump reaches the threshold gives its normalised
// spectrum over all energies of the stack; the spectra are centred on their
// mean and the eigenvectors of their covariance, largest first, are the
// components. The explained variance tells how many distinct spectral
// shapes the slice holds.
#include "XafsNormalize.h"
#include "XafsProgress.h"

#include <QString>

#include <vector>

class XafsStack;

// Normalised spectra of the masked pixels, pixel major.
struct XafsSpectraTable
{
    int energies = 0;
    std::vector<size_t> pixel;     // stack index j * width + i of each row
    std::vector<float> norm;       // pixel.size() x energies
    bool cancelled = false;

    // False with *why when no pixel qualifies or the table would not fit in
    // memory.
    static bool gather(const XafsStack& stack, const XafsRanges& ranges, double threshold, XafsSpectraTable& out,
                       QString* why, int threads = 0, XafsProgress* progress = nullptr);
};

class XafsPca
{
public:
    // False with *why for fewer than two spectra.
    bool compute(const XafsSpectraTable& t, QString* why);

    std::vector<double> mean;         // energies
    std::vector<double> variance;     // eigenvalues, largest first
    std::vector<double> components;   // energies x energies, component c at c * energies
    int energies = 0;

    double explained(int c) const;
    // Fewest leading components that explain at least share of the variance.
    int componentsFor(double share) const;
    // Scores of row r of t on the first n components.
    void scores(const XafsSpectraTable& t, size_t r, int n, double* out) const;
    // "component,variance,explained,cumulative" rows.
    QByteArray csv() const;
};
