#include "SgmGeom.h"

#include <cmath>
#include <vector>

SgmGeom makeSgmGeom(bool rotAxIsV, int dim, double cor)
{
    SgmGeom g;
    g.rotAxIsV = rotAxIsV;
    g.cor = cor;
    g.dim = dim;
    if (std::isfinite(cor) && cor > -2e9 && cor < 2e9) {
        g.corInt = static_cast<int>(std::floor(cor));
        g.corFrac = cor - g.corInt;
    }
    // A CoR within one pixel of an edge (or outside) leaves no sample pair.
    const double m = std::fmin(cor, double(dim) - cor - 1.0);
    if (m >= 1.0 && std::isfinite(cor)) {
        g.half = static_cast<int>(std::floor(m));
        g.nx = 2 * g.half - 1;
    }
    return g;
}

void sampleLine(const double* v, double* out, const SgmGeom& g)
{
    if (g.half <= 0)
        return;
    const double f = g.corFrac;
    for (int i = 1 - g.half; i <= g.half - 1; ++i) {
        const int k = i + g.corInt;
        // On a whole pixel its neighbour plays no part (a bad one would).
        out[i + g.half - 1] = f == 0 ? v[k] : v[k] + f * (v[k + 1] - v[k]);
    }
}

double absorbance(double i0, double bg, double intensity)
{
    double a = i0 - bg;
    double b = intensity - bg;
    if (a <= 0.0)
        a = 1.0;
    if (b <= 0.0)
        b = 1.0;
    return std::log(a / b);
}

void absorbanceRow(const double* i0, const double* bg, const double* intensity,
                   double* out, int n)
{
    for (int j = 0; j < n; ++j)
        out[j] = absorbance(i0 ? i0[j] : 1.0, bg ? bg[j] : 0.0, intensity[j]);
}

void sampleMask(const unsigned char* pixelBad, unsigned char* out, const SgmGeom& g)
{
    if (g.half <= 0)
        return;
    for (int i = 1 - g.half; i <= g.half - 1; ++i) {
        const int k = i + g.corInt;
        out[i + g.half - 1] = pixelBad[k] || (g.corFrac != 0 && pixelBad[k + 1]);
    }
}

SampleCheck absorbanceRowChecked(const double* i0, const double* bg, const double* intensity, double* out, int n,
                                 const unsigned char* sampleBad, int longestRepair)
{
    SampleCheck c;
    c.noCount = n > 0;
    std::vector<unsigned char> bad;
    for (int j = 0; j < n; ++j) {
        const double a = i0 ? i0[j] - (bg ? bg[j] : 0.0) : 1.0;
        const double b = intensity[j] - (bg ? bg[j] : 0.0);
        if (b > 0)
            c.noCount = false;
        const bool ok = a > 0 && b > 0 && std::isfinite(a) && std::isfinite(b) && !(sampleBad && sampleBad[j]);
        double v = absorbance(i0 ? i0[j] : 1.0, bg ? bg[j] : 0.0, intensity[j]);
        if (!ok) {
            if (bad.empty())
                bad.assign(size_t(n), 0);
            bad[size_t(j)] = 1;
            ++c.invalid;
            if (!std::isfinite(v))
                v = 0.0;
        }
        out[j] = v;
    }
    if (bad.empty())
        return c;
    for (int j = 0; j < n;) {
        if (!bad[size_t(j)]) {
            ++j;
            continue;
        }
        int end = j;
        while (end < n && bad[size_t(end)])
            ++end;
        const int len = end - j;
        const bool left = j > 0, right = end < n;
        if (len <= longestRepair && (left || right)) {
            const double a = left ? out[j - 1] : out[end], b = right ? out[end] : out[j - 1];
            for (int k = j; k < end; ++k) {
                const double t = double(k - j + 1);
                out[k] = (a * (len + 1 - t) + b * t) / double(len + 1);
            }
            c.repaired += len;
        }
        j = end;
    }
    return c;
}
