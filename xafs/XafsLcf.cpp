#include "XafsLcf.h"

#include "XafsPixels.h"
#include "XafsStack.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

namespace {

// Solves the k x k system of the rows and columns in `set` (a bit mask) of
// g for the same entries of h, by Cholesky; x gets 0 elsewhere. False when
// that part of g is not positive definite.
bool solveSubset(const double* g, int k, const double* h, unsigned set, double* x)
{
    int idx[XafsLcf::maxReferences];
    int m = 0;
    for (int i = 0; i < k; ++i)
        if (set & (1u << i))
            idx[m++] = i;
    double L[XafsLcf::maxReferences * XafsLcf::maxReferences];
    for (int i = 0; i < m; ++i)
        for (int j = 0; j <= i; ++j) {
            double s = g[idx[i] * k + idx[j]];
            for (int p = 0; p < j; ++p)
                s -= L[i * m + p] * L[j * m + p];
            if (i == j) {
                if (!(s > 1e-14 * std::fabs(g[idx[i] * k + idx[i]])))
                    return false;
                L[i * m + i] = std::sqrt(s);
            } else {
                L[i * m + j] = s / L[j * m + j];
            }
        }
    double y[XafsLcf::maxReferences];
    for (int i = 0; i < m; ++i) {
        double s = h[idx[i]];
        for (int p = 0; p < i; ++p)
            s -= L[i * m + p] * y[p];
        y[i] = s / L[i * m + i];
    }
    for (int i = m - 1; i >= 0; --i) {
        double s = y[i];
        for (int p = i + 1; p < m; ++p)
            s -= L[p * m + i] * y[p];
        y[i] = s / L[i * m + i];
    }
    std::fill(x, x + k, 0.0);
    for (int i = 0; i < m; ++i)
        x[idx[i]] = y[i];
    return true;
}

} // namespace

QString XafsLcfWindow::problem() const
{
    if (!(std::isfinite(lo) && std::isfinite(hi) && lo < hi))
        return QStringLiteral("the fit window must be LO < HI in eV from E0, got %1 %2").arg(lo).arg(hi);
    return QString();
}

bool XafsLcf::prepare(const std::vector<XafsReference>& rs, const XafsRanges& ranges, const XafsLcfWindow& win,
                      bool one, const std::vector<double>& stackEnergies, QString* why)
{
    auto fail = [&](const QString& text) {
        if (why)
            *why = text;
        names.clear();
        refs.clear();
        index.clear();
        energies.clear();
        return false;
    };
    const QString p = win.problem();
    if (!p.isEmpty())
        return fail(p);
    if (rs.empty())
        return fail(QStringLiteral("no reference spectra loaded (xafs_references_load FILE...)"));
    if (int(rs.size()) > maxReferences)
        return fail(QStringLiteral("%1 references are more than the %2 a fit takes").arg(rs.size()).arg(maxReferences));
    sumToOne = one;
    // The window's E0: the first reference's as the stack would have
    // measured it, or the fixed one.
    std::vector<double> gridE, gridN;
    e0 = ranges.e0Method == XafsE0Method::Fixed ? ranges.fixedE0 : 0.0;
    if (ranges.e0Method != XafsE0Method::Fixed && !rs.front().onGrid(ranges, stackEnergies, gridE, gridN, &e0, why))
        return fail(why ? *why : QString());
    if (!std::isfinite(e0))
        return fail(QStringLiteral("no E0 for the fit window from reference %1").arg(rs.front().name));
    // Sample and references are normalised about this one E0, so that the
    // pre- and post-edge lines span the same energies in all of them: a
    // mixture then normalises to the same mixture of the references.
    fitRanges = ranges;
    fitRanges.e0Method = XafsE0Method::Fixed;
    fitRanges.fixedE0 = e0;
    index.clear();
    energies.clear();
    for (size_t i = 0; i < stackEnergies.size(); ++i)
        if (stackEnergies[i] >= e0 + win.lo && stackEnergies[i] <= e0 + win.hi) {
            index.push_back(int(i));
            energies.push_back(stackEnergies[i]);
        }
    if (int(index.size()) < int(rs.size()) + 1 || index.size() < 3)
        return fail(QStringLiteral("the fit window E0%1 .. E0+%2 eV (E0 = %3 eV) holds %4 of the stack's energies, too few for %5 references")
                        .arg(win.lo, 0, 'f', 1).arg(win.hi, 0, 'f', 1).arg(e0, 0, 'f', 2).arg(index.size()).arg(rs.size()));
    names.clear();
    refs.assign(rs.size(), {});
    for (size_t r = 0; r < rs.size(); ++r) {
        if (rs[r].energy.front() > energies.front() || rs[r].energy.back() < energies.back())
            return fail(QStringLiteral("reference %1 covers %2 .. %3 eV, not the fit window's energies %4 .. %5 eV")
                            .arg(rs[r].name)
                            .arg(rs[r].energy.front(), 0, 'f', 1)
                            .arg(rs[r].energy.back(), 0, 'f', 1)
                            .arg(energies.front(), 0, 'f', 1)
                            .arg(energies.back(), 0, 'f', 1));
        if (!rs[r].onGrid(fitRanges, stackEnergies, gridE, gridN, nullptr, why))
            return fail(why ? *why : QString());
        for (double x : energies)
            refs[r].push_back(gridN[size_t(std::find(gridE.begin(), gridE.end(), x) - gridE.begin())]);
        names << rs[r].name;
    }
    const int K = k(), W = w();
    gram.assign(size_t(K) * size_t(K), 0.0);
    for (int a = 0; a < K; ++a)
        for (int b = 0; b < K; ++b) {
            double s = 0;
            for (int i = 0; i < W; ++i)
                s += refs[size_t(a)][size_t(i)] * refs[size_t(b)][size_t(i)];
            gram[size_t(a * K + b)] = s;
        }
    // Two references alike on the window make the fractions arbitrary.
    for (int a = 0; a < K; ++a)
        for (int b = a + 1; b < K; ++b) {
            const double ga = gram[size_t(a * K + a)], gb = gram[size_t(b * K + b)], gab = gram[size_t(a * K + b)];
            if (ga <= 0 || gb <= 0)
                return fail(QStringLiteral("reference %1 is zero on the fit window").arg(names[ga <= 0 ? a : b]));
            if (1.0 - gab / std::sqrt(ga * gb) < 1e-6)
                return fail(QStringLiteral("references %1 and %2 are alike on the fit window; keep one of them").arg(names[a], names[b]));
        }
    double trace = 0;
    for (int a = 0; a < K; ++a)
        trace += gram[size_t(a * K + a)];
    sumWeight = sumToOne ? 1e6 * trace / K : 0.0;
    for (int a = 0; a < K; ++a)
        for (int b = 0; b < K; ++b)
            gram[size_t(a * K + b)] += sumWeight;
    double test[maxReferences];
    std::vector<double> ones(size_t(K), 1.0);
    if (!solveSubset(gram.data(), K, ones.data(), (1u << K) - 1u, test))
        return fail(QStringLiteral("the references are linearly dependent on the fit window; leave one out"));
    return true;
}

bool XafsLcf::nnls(const double* h, double* f, unsigned& active) const
{
    const int K = k();
    const double* g = gram.data();
    std::fill(f, f + K, 0.0);
    active = 0;
    double scale = 0;
    for (int i = 0; i < K; ++i)
        scale = std::max(scale, std::fabs(h[i]));
    const double tol = 1e-12 * (scale > 0 ? scale : 1.0);
    double z[maxReferences];
    for (int outer = 0; outer < 3 * K + 3; ++outer) {
        // Gradient of the objective: h - G f.
        int best = -1;
        double bestW = tol;
        for (int j = 0; j < K; ++j) {
            if (active & (1u << j))
                continue;
            double w = h[j];
            for (int i = 0; i < K; ++i)
                w -= g[j * K + i] * f[i];
            if (w > bestW) {
                bestW = w;
                best = j;
            }
        }
        if (best < 0)
            return true;
        active |= 1u << best;
        for (int inner = 0; inner < 3 * K + 3; ++inner) {
            if (!solveSubset(g, K, h, active, z))
                return false;
            bool positive = true;
            for (int i = 0; i < K; ++i)
                if ((active & (1u << i)) && z[i] <= 0)
                    positive = false;
            if (positive) {
                std::copy(z, z + K, f);
                break;
            }
            // Step from f towards z until the first free fraction reaches 0.
            double alpha = 1.0;
            for (int i = 0; i < K; ++i)
                if ((active & (1u << i)) && z[i] <= 0)
                    alpha = std::min(alpha, f[i] / (f[i] - z[i]));
            for (int i = 0; i < K; ++i) {
                f[i] += alpha * (z[i] - f[i]);
                if ((active & (1u << i)) && f[i] <= tol * 1e-3) {
                    f[i] = 0;
                    active &= ~(1u << i);
                }
            }
        }
    }
    return true;
}

bool XafsLcf::fractions(const double* data, double* f, double& rFactor) const
{
    const int K = k(), W = w();
    double h[maxReferences];
    double dd = 0;
    for (int a = 0; a < K; ++a) {
        const double* r = refs[size_t(a)].data();
        double s = 0;
        for (int i = 0; i < W; ++i)
            s += r[i] * data[i];
        h[a] = s + sumWeight;
    }
    for (int i = 0; i < W; ++i)
        dd += data[i] * data[i];
    unsigned active = 0;
    if (!nnls(h, f, active))
        return false;
    double rss = 0;
    for (int i = 0; i < W; ++i) {
        double m = 0;
        for (int a = 0; a < K; ++a)
            m += f[a] * refs[size_t(a)][size_t(i)];
        rss += (data[i] - m) * (data[i] - m);
    }
    rFactor = dd > 0 ? rss / dd : 0.0;
    return true;
}

bool XafsLcf::fit(const double* data, XafsLcfFit& out, bool withSigma) const
{
    const int K = k(), W = w();
    out.fraction.assign(size_t(K), 0.0);
    out.sigma.assign(size_t(K), 0.0);
    out.fit.assign(size_t(W), 0.0);
    out.data.assign(data, data + W);
    if (!fractions(data, out.fraction.data(), out.rFactor))
        return false;
    out.sum = 0;
    unsigned active = 0;
    for (int a = 0; a < K; ++a) {
        out.sum += out.fraction[size_t(a)];
        if (out.fraction[size_t(a)] > 0)
            active |= 1u << a;
        for (int i = 0; i < W; ++i)
            out.fit[size_t(i)] += out.fraction[size_t(a)] * refs[size_t(a)][size_t(i)];
    }
    if (!withSigma || active == 0)
        return true;
    // Standard errors from the free fractions' covariance, scaled by the
    // residual per degree of freedom.
    int free = 0;
    for (int a = 0; a < K; ++a)
        free += (active >> a) & 1u;
    const int dof = W - free + (sumToOne ? 1 : 0);
    double rss = 0;
    for (int i = 0; i < W; ++i)
        rss += (data[i] - out.fit[size_t(i)]) * (data[i] - out.fit[size_t(i)]);
    const double s2 = dof > 0 ? rss / dof : 0.0;
    double e[maxReferences], col[maxReferences];
    for (int a = 0; a < K; ++a) {
        if (!(active & (1u << a)))
            continue;
        std::fill(e, e + K, 0.0);
        e[a] = 1.0;
        if (solveSubset(gram.data(), K, e, active, col))
            out.sigma[size_t(a)] = std::sqrt(std::max(0.0, s2 * col[a]));
    }
    return true;
}

XafsLcfMaps XafsLcfMaps::compute(const XafsStack& st, double threshold, const XafsLcf& lcf,
                                 int threads, XafsProgress* progress)
{
    XafsLcfMaps m;
    if (st.isEmpty() || lcf.k() == 0)
        return m;
    m.width = st.width;
    m.height = st.height;
    m.x0 = st.x0;
    m.z0 = st.z0;
    const size_t n = size_t(st.width) * size_t(st.height);
    const int R = lcf.k(), W = lcf.w();
    m.fraction.assign(size_t(R), std::vector<float>(n, 0.0f));
    m.sum.assign(n, 0.0f);
    m.rFactor.assign(n, 0.0f);
    std::atomic<int> fitted{0};
    const bool done = XafsPixels::forEach(st, lcf.fitRanges, [&]() -> XafsPixels::Visit {
        // This thread's buffers, kept by the visitor.
        auto data = std::make_shared<std::vector<double>>(size_t(W));
        return [&, data](int, int, size_t at, const double* mu, const XafsNormalize& norm) {
            if (!(norm.jump >= threshold))
                return;
            double* d = data->data();
            for (int w = 0; w < W; ++w) {
                const int k = lcf.index[size_t(w)];
                d[w] = (mu[k] - norm.preAt(st.energies[size_t(k)])) / norm.jump;
            }
            double f[XafsLcf::maxReferences];
            double r = 0;
            if (!lcf.fractions(d, f, r))
                return;
            double s = 0;
            for (int a = 0; a < R; ++a) {
                m.fraction[size_t(a)][at] = float(f[a]);
                s += f[a];
            }
            m.sum[at] = float(s);
            m.rFactor[at] = float(r);
            ++fitted;
        };
    }, threads, progress);
    m.fitted = fitted;
    m.cancelled = !done;
    return m;
}
