#pragma once
// Normalisation of one absorption spectrum mu(E): the edge energy E0 (by
// one of the methods below), a line fitted below the edge and a line (or
// quadratic) above it, the edge jump (post-edge minus pre-edge fit at E0)
// and the normalised spectrum (mu - pre(E)) / jump. Reused object: its
// buffers serve spectrum after spectrum without allocating.
#include <QString>

#include <vector>

// How E0 is found.
enum class XafsE0Method {
    // Largest derivative of the unsmoothed spectrum (central differences on
    // the grid as it is), refined by a parabola between grid points.
    Derivative,
    // Where the normalised spectrum first rises through 0.5, interpolated
    // between grid points; iterated with the fits it depends on. Robust on
    // coarse grids, where a derivative only knows the grid step.
    HalfJump,
    // XafsRanges::fixedE0 for every spectrum (a calibrated edge).
    Fixed,
    // Largest derivative of the (1 2 1)-smoothed spectrum: what older
    // results were made with. Smoothing lowers a sharp first peak below a
    // broader second one on fine scans of metals.
    Smoothed,
};

// Fit ranges in eV relative to E0, so that every pixel of a map is fitted
// about its own edge.
struct XafsRanges
{
    double pre1 = -60, pre2 = -15;    // pre-edge line over E0 + pre1 .. E0 + pre2
    double post1 = 20, post2 = 100;   // post-edge fit over E0 + post1 .. E0 + post2
    int postOrder = 1;                // 1: line, 2: quadratic
    XafsE0Method e0Method = XafsE0Method::Derivative;
    double fixedE0 = 0;               // eV, for XafsE0Method::Fixed
    // Empty when usable: pre1 < pre2 < post1 < post2, order 1 or 2, a
    // positive finite fixed E0 for that method.
    QString problem() const;

    // "derivative", "half-jump", "fixed", "smoothed".
    static QString methodName(XafsE0Method m);
    // The method of a name; false for an unknown name.
    static bool methodOf(const QString& name, XafsE0Method& m);
};

class XafsNormalize
{
public:
    explicit XafsNormalize(const XafsRanges& ranges = XafsRanges()) : r(ranges) {}

    // Fits n points (energies ascending). False with why() set when the
    // spectrum is too short, a range holds too few points or the jump is 0.
    bool fit(const double* e, const double* mu, int n);
    // E0 of a spectrum at the largest derivative (smoothed first when
    // smoothed is set), refined by a parabola through its neighbours; sets
    // questionable(). NaN for fewer than three points.
    double edgeEnergy(const double* e, const double* mu, int n, bool smoothed = false);

    double e0 = 0;
    double jump = 0;
    // The derivative has a second peak within 10 % of the one E0 was taken
    // at: the edge may as well be there.
    bool questionable = false;
    // Energies inside the pre- and post-edge ranges of the last fit.
    int prePoints = 0, postPoints = 0;
    // A remark when a range held fewer than three energies (naming the
    // range and the energies it held), else empty. The fit still stands.
    QString warning;
    // Pre-edge a + b x and post-edge a + b x + c x^2, x = E - E0.
    double pre[2] = {0, 0};
    double post[3] = {0, 0, 0};
    double preAt(double e) const { return pre[0] + pre[1] * (e - e0); }
    double postAt(double e) const
    {
        const double x = e - e0;
        return post[0] + post[1] * x + post[2] * x * x;
    }
    // (mu - pre(E)) / jump for the last fitted spectrum.
    std::vector<double> normalised(const double* e, const double* mu, int n) const;
    const QString& why() const { return reason; }
    const XafsRanges& ranges() const { return r; }

private:
    bool fail(const QString& text);
    // Least squares of degree 1 or 2 over the points with lo <= E - E0 <= hi.
    bool poly(const double* e, const double* mu, int n, double lo, double hi, int degree, double* out,
              int* used = nullptr);
    // Pre- and post-edge fits and the jump about the current e0.
    bool fitAbout(const double* e, const double* mu, int n);
    // Energy where (mu - pre) / jump first reaches 0.5 going up, NaN if never.
    double halfJumpEnergy(const double* e, const double* mu, int n) const;
    QString thinRanges(const double* e, int n) const;

    XafsRanges r;
    std::vector<double> smooth, deriv;
    QString reason;
};
