#pragma once
// Linear-combination fitting: a normalised spectrum as a sum of normalised
// reference spectra with non-negative fractions (Lawson-Hanson active set on
// the normal equations), optionally summing to one. Over the energies of a
// fit window only: E0 plus lo .. hi eV, where E0 is the first reference's
// (found by the stack's method on the stack's energies) or the fixed E0.
// Spectra and references are all normalised about that one E0 (fitRanges),
// so that a mixture normalises to the mixture of the normalised references.
//
// Parameters: window lo, hi in eV from E0 (default -20, 80); sumToOne
// (default off). R-factor = sum (data - fit)^2 / sum data^2.
#include "XafsNormalize.h"
#include "XafsProgress.h"
#include "XafsReference.h"

#include <QStringList>

#include <vector>

class XafsStack;

struct XafsLcfWindow
{
    double lo = -20, hi = 80;
    QString problem() const;
};

struct XafsLcfFit
{
    std::vector<double> fraction;  // one per reference
    std::vector<double> sigma;     // standard error of each (0 where at the bound 0)
    std::vector<double> data;      // the normalised spectrum fitted, at the window's energies
    std::vector<double> fit;       // the combination there
    double sum = 0;
    double rFactor = 0;
};

class XafsLcf
{
public:
    static constexpr int maxReferences = 16;

    // Prepares the fit on the stack's energies: picks the window's energies
    // and brings every reference onto them. False with *why naming the
    // problem: no reference, too many, a reference that does not cover the
    // window or cannot be normalised, a window with fewer energies than
    // references, two references alike on the window.
    bool prepare(const std::vector<XafsReference>& refs, const XafsRanges& ranges, const XafsLcfWindow& window,
                 bool sumToOne, const std::vector<double>& stackEnergies, QString* why);

    // Fits the normalised spectrum given at the window's energies (w()
    // values). False when the normal equations are singular.
    bool fit(const double* data, XafsLcfFit& out, bool withSigma) const;
    // The same without allocating: fractions (k() values) and R-factor.
    bool fractions(const double* data, double* f, double& rFactor) const;

    int k() const { return int(names.size()); }
    int w() const { return int(index.size()); }
    double e0 = 0;                  // window origin, eV
    XafsRanges fitRanges;           // the stack's ranges about that fixed E0
    std::vector<int> index;         // stack energy indices of the window
    std::vector<double> energies;   // their energies
    QStringList names;
    std::vector<std::vector<double>> refs;  // normalised, at energies
    bool sumToOne = false;

private:
    // Solves the non-negative problem on gram g (k x k) and h; f gets the
    // solution, active the free set.
    bool nnls(const double* h, double* f, unsigned& active) const;
    std::vector<double> gram;       // k x k, with the sum-to-one weight added
    double sumWeight = 0;
};

// Fraction maps of a slice: every pixel of the circle whose edge jump
// reaches the threshold is normalised and fitted; others are 0 everywhere.
struct XafsLcfMaps
{
    int width = 0, height = 0;
    long long x0 = 0, z0 = 0;
    std::vector<std::vector<float>> fraction;  // one map per reference
    std::vector<float> sum, rFactor;
    int fitted = 0;
    bool cancelled = false;

    static XafsLcfMaps compute(const XafsStack& stack, double threshold, const XafsLcf& lcf,
                               int threads = 0, XafsProgress* progress = nullptr);
};
