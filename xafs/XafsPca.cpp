#include "XafsPca.h"

#include "MemoryBudget.h"
#include "XafsPixels.h"
#include "XafsStack.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// Eigenvalues and vectors of the symmetric n x n matrix a (destroyed) by
// cyclic Jacobi rotations; v gets the vectors as columns.
void jacobi(std::vector<double>& a, int n, std::vector<double>& v)
{
    v.assign(size_t(n) * size_t(n), 0.0);
    for (int i = 0; i < n; ++i)
        v[size_t(i * n + i)] = 1.0;
    for (int sweep = 0; sweep < 60; ++sweep) {
        double off = 0, diag = 0;
        for (int p = 0; p < n; ++p) {
            diag += a[size_t(p * n + p)] * a[size_t(p * n + p)];
            for (int q = p + 1; q < n; ++q)
                off += a[size_t(p * n + q)] * a[size_t(p * n + q)];
        }
        if (off <= 1e-24 * diag || off == 0)
            return;
        for (int p = 0; p < n; ++p)
            for (int q = p + 1; q < n; ++q) {
                const double apq = a[size_t(p * n + q)];
                if (apq == 0)
                    continue;
                const double app = a[size_t(p * n + p)], aqq = a[size_t(q * n + q)];
                const double theta = (aqq - app) / (2 * apq);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int r = 0; r < n; ++r) {
                    const double arp = a[size_t(r * n + p)], arq = a[size_t(r * n + q)];
                    a[size_t(r * n + p)] = c * arp - s * arq;
                    a[size_t(r * n + q)] = s * arp + c * arq;
                }
                for (int r = 0; r < n; ++r) {
                    const double apr = a[size_t(p * n + r)], aqr = a[size_t(q * n + r)];
                    a[size_t(p * n + r)] = c * apr - s * aqr;
                    a[size_t(q * n + r)] = s * apr + c * aqr;
                }
                for (int r = 0; r < n; ++r) {
                    const double vrp = v[size_t(r * n + p)], vrq = v[size_t(r * n + q)];
                    v[size_t(r * n + p)] = c * vrp - s * vrq;
                    v[size_t(r * n + q)] = s * vrp + c * vrq;
                }
            }
    }
}

} // namespace

bool XafsSpectraTable::gather(const XafsStack& st, const XafsRanges& ranges, double threshold, XafsSpectraTable& out,
                              QString* why, int threads, XafsProgress* progress)
{
    out = XafsSpectraTable();
    const int K = st.count();
    out.energies = K;
    if (st.isEmpty()) {
        if (why)
            *why = QStringLiteral("no energy stack loaded (xafs_stack_load DIR PATTERN)");
        return false;
    }
    // The table holds at most every pixel's spectrum.
    const qint64 need = qint64(st.width) * st.height * K * qint64(sizeof(float) + 1);
    const qint64 budget = memoryBudgetBytes();
    if (budget > 0 && need > budget) {
        if (why)
            *why = QStringLiteral("the spectra of %1 x %2 pixels at %3 energies need %4, more than the %5 available")
                       .arg(st.width).arg(st.height).arg(K).arg(megabytes(need), megabytes(budget));
        return false;
    }
    std::vector<std::vector<float>> rowsNorm(size_t(st.height));
    std::vector<std::vector<size_t>> rowsPixel(size_t(st.height));
    const bool done = XafsPixels::forEach(st, ranges, [&]() -> XafsPixels::Visit {
        return [&](int, int j, size_t at, const double* mu, const XafsNormalize& fit) {
            if (!(fit.jump >= threshold))
                return;
            rowsPixel[size_t(j)].push_back(at);
            for (int k = 0; k < K; ++k)
                rowsNorm[size_t(j)].push_back(float((mu[k] - fit.preAt(st.energies[size_t(k)])) / fit.jump));
        };
    }, threads, progress);
    out.cancelled = !done;
    for (int j = 0; j < st.height; ++j) {
        out.pixel.insert(out.pixel.end(), rowsPixel[size_t(j)].begin(), rowsPixel[size_t(j)].end());
        out.norm.insert(out.norm.end(), rowsNorm[size_t(j)].begin(), rowsNorm[size_t(j)].end());
    }
    if (out.pixel.empty() && !out.cancelled) {
        if (why)
            *why = QStringLiteral("no pixel of the circle has a normalisable spectrum with an edge jump of at least %1").arg(threshold);
        return false;
    }
    return true;
}

bool XafsPca::compute(const XafsSpectraTable& t, QString* why)
{
    const size_t N = t.pixel.size();
    const int K = t.energies;
    energies = K;
    if (N < 2 || K < 2) {
        if (why)
            *why = QStringLiteral("%1 spectra are too few for principal components").arg(N);
        return false;
    }
    mean.assign(size_t(K), 0.0);
    for (size_t r = 0; r < N; ++r)
        for (int k = 0; k < K; ++k)
            mean[size_t(k)] += t.norm[r * size_t(K) + size_t(k)];
    for (double& m : mean)
        m /= double(N);
    std::vector<double> cov(size_t(K) * size_t(K), 0.0), d(static_cast<size_t>(K));
    for (size_t r = 0; r < N; ++r) {
        for (int k = 0; k < K; ++k)
            d[size_t(k)] = t.norm[r * size_t(K) + size_t(k)] - mean[size_t(k)];
        for (int a = 0; a < K; ++a)
            for (int b = a; b < K; ++b)
                cov[size_t(a * K + b)] += d[size_t(a)] * d[size_t(b)];
    }
    for (int a = 0; a < K; ++a)
        for (int b = a; b < K; ++b)
            cov[size_t(b * K + a)] = cov[size_t(a * K + b)] /= double(N - 1);
    std::vector<double> v;
    jacobi(cov, K, v);
    std::vector<int> order(static_cast<size_t>(K));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return cov[size_t(a * K + a)] > cov[size_t(b * K + b)]; });
    variance.resize(size_t(K));
    components.assign(size_t(K) * size_t(K), 0.0);
    for (int c = 0; c < K; ++c) {
        const int o = order[size_t(c)];
        variance[size_t(c)] = std::max(0.0, cov[size_t(o * K + o)]);
        for (int k = 0; k < K; ++k)
            components[size_t(c * K + k)] = v[size_t(k * K + o)];
    }
    return true;
}

double XafsPca::explained(int c) const
{
    const double total = std::accumulate(variance.begin(), variance.end(), 0.0);
    return total > 0 && c >= 0 && c < int(variance.size()) ? variance[size_t(c)] / total : 0.0;
}

int XafsPca::componentsFor(double share) const
{
    double s = 0;
    for (int c = 0; c < int(variance.size()); ++c) {
        s += explained(c);
        if (s >= share)
            return c + 1;
    }
    return int(variance.size());
}

void XafsPca::scores(const XafsSpectraTable& t, size_t r, int n, double* out) const
{
    const float* x = t.norm.data() + r * size_t(energies);
    for (int c = 0; c < n; ++c) {
        const double* v = components.data() + size_t(c) * size_t(energies);
        double s = 0;
        for (int k = 0; k < energies; ++k)
            s += (x[k] - mean[size_t(k)]) * v[k];
        out[c] = s;
    }
}

QByteArray XafsPca::csv() const
{
    QByteArray out = "component,variance,explained,cumulative\n";
    double cum = 0;
    for (int c = 0; c < int(variance.size()); ++c) {
        cum += explained(c);
        out += QByteArray::number(c + 1) + ',' + QByteArray::number(variance[size_t(c)], 'g', 10) + ','
            + QByteArray::number(explained(c), 'g', 10) + ',' + QByteArray::number(cum, 'g', 10) + '\n';
    }
    return out;
}
