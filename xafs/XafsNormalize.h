#pragma once
// Normalisation of one absorption spectrum mu(E): the edge energy E0 at the
// largest slope of the smoothed spectrum, a line fitted below the edge and a
// line (or quadratic) above it, the edge jump (post-edge minus pre-edge
// fit at E0) and the normalised spectrum (mu - pre(E)) / jump. Reused
// object: its buffers serve spectrum after spectrum without allocating.
#include <QString>

#include <vector>

// Fit ranges in eV relative to E0, so that every pixel of a map is fitted
// about its own edge.
struct XafsRanges
{
    double pre1 = -60, pre2 = -15;    // pre-edge line over E0 + pre1 .. E0 + pre2
    double post1 = 20, post2 = 100;   // post-edge fit over E0 + post1 .. E0 + post2
    int postOrder = 1;                // 1: line, 2: quadratic
    // Empty when usable: pre1 < pre2 < post1 < post2, order 1 or 2.
    QString problem() const;
};

class XafsNormalize
{
public:
    explicit XafsNormalize(const XafsRanges& ranges = XafsRanges()) : r(ranges) {}

    // Fits n points (energies ascending). False with why() set when the
    // spectrum is too short, a range holds too few points or the jump is 0.
    bool fit(const double* e, const double* mu, int n);
    // E0 of a spectrum alone: the energy of the largest derivative of the
    // (1 2 1)-smoothed spectrum, refined by a parabola through its
    // neighbours. NaN for fewer than three points.
    double edgeEnergy(const double* e, const double* mu, int n);

    double e0 = 0;
    double jump = 0;
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
    bool poly(const double* e, const double* mu, int n, double lo, double hi, int degree, double* out);

    XafsRanges r;
    std::vector<double> smooth, deriv;
    QString reason;
};
