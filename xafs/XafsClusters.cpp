#include "XafsClusters.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

bool XafsClusters::compute(const XafsSpectraTable& t, const XafsPca& pca, int kk, int width, int height, QString* why,
                           XafsProgress* progress)
{
    const size_t N = t.pixel.size();
    if (kk < 1 || size_t(kk) > N) {
        if (why)
            *why = QStringLiteral("%1 classes asked of %2 spectra: K must be 1 .. %2").arg(kk).arg(N);
        return false;
    }
    k = kk;
    const int E = t.energies;
    const int C = std::clamp(pca.componentsFor(0.99), std::min(2, int(pca.variance.size())), 8);
    componentsUsed = C;
    std::vector<double> s(N * size_t(C));
    for (size_t r = 0; r < N; ++r)
        pca.scores(t, r, C, s.data() + r * size_t(C));
    auto dist2 = [&](size_t r, const double* c) {
        double d = 0;
        for (int q = 0; q < C; ++q)
            d += (s[r * size_t(C) + size_t(q)] - c[q]) * (s[r * size_t(C) + size_t(q)] - c[q]);
        return d;
    };
    // k-means++: each next centre drawn with probability by squared distance.
    std::mt19937_64 rng(20240611);
    std::vector<double> centre(size_t(k) * size_t(C));
    std::vector<double> nearest(N, std::numeric_limits<double>::infinity());
    size_t first = size_t(std::uniform_int_distribution<size_t>(0, N - 1)(rng));
    std::copy_n(s.data() + first * size_t(C), C, centre.data());
    for (int c = 1; c < k; ++c) {
        double total = 0;
        for (size_t r = 0; r < N; ++r) {
            nearest[r] = std::min(nearest[r], dist2(r, centre.data() + size_t(c - 1) * size_t(C)));
            total += nearest[r];
        }
        size_t pick = 0;
        if (total > 0) {
            double u = std::uniform_real_distribution<double>(0, total)(rng);
            for (pick = 0; pick + 1 < N && u >= nearest[pick]; ++pick)
                u -= nearest[pick];
        }
        std::copy_n(s.data() + pick * size_t(C), C, centre.data() + size_t(c) * size_t(C));
    }
    std::vector<int> label(N, -1);
    if (progress) {
        progress->total = 100;
        progress->done = 0;
    }
    for (iterations = 0; iterations < 100; ++iterations) {
        if (progress && progress->cancelled())
            return false;
        bool changed = false;
        for (size_t r = 0; r < N; ++r) {
            int best = 0;
            double bd = dist2(r, centre.data());
            for (int c = 1; c < k; ++c) {
                const double d = dist2(r, centre.data() + size_t(c) * size_t(C));
                if (d < bd) {
                    bd = d;
                    best = c;
                }
            }
            changed = changed || label[r] != best;
            label[r] = best;
        }
        if (!changed)
            break;
        std::vector<double> sum(size_t(k) * size_t(C), 0.0);
        std::vector<int> n(size_t(k), 0);
        for (size_t r = 0; r < N; ++r) {
            ++n[size_t(label[r])];
            for (int q = 0; q < C; ++q)
                sum[size_t(label[r]) * size_t(C) + size_t(q)] += s[r * size_t(C) + size_t(q)];
        }
        for (int c = 0; c < k; ++c)
            if (n[size_t(c)] > 0)
                for (int q = 0; q < C; ++q)
                    centre[size_t(c) * size_t(C) + size_t(q)] = sum[size_t(c) * size_t(C) + size_t(q)] / n[size_t(c)];
        if (progress)
            progress->done = iterations + 1;
    }
    // Number the classes by falling size, so a run's numbering is stable.
    std::vector<int> n(size_t(k), 0);
    for (int l : label)
        ++n[size_t(l)];
    std::vector<int> order(static_cast<size_t>(k));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return n[size_t(a)] > n[size_t(b)]; });
    std::vector<int> rank(static_cast<size_t>(k));
    for (int c = 0; c < k; ++c)
        rank[size_t(order[size_t(c)])] = c;
    classMap.assign(size_t(width) * size_t(height), 0.0f);
    count.assign(size_t(k), 0);
    meanNorm.assign(size_t(k), std::vector<double>(size_t(E), 0.0));
    for (size_t r = 0; r < N; ++r) {
        const int c = rank[size_t(label[r])];
        classMap[t.pixel[r]] = float(c + 1);
        ++count[size_t(c)];
        for (int e = 0; e < E; ++e)
            meanNorm[size_t(c)][size_t(e)] += t.norm[r * size_t(E) + size_t(e)];
    }
    for (int c = 0; c < k; ++c)
        for (double& v : meanNorm[size_t(c)])
            v = count[size_t(c)] > 0 ? v / count[size_t(c)] : 0.0;
    return true;
}

QByteArray XafsClusters::csv(const std::vector<double>& energies) const
{
    QByteArray out = "energy_eV";
    for (int c = 0; c < k; ++c)
        out += ",class_" + QByteArray::number(c + 1);
    out += '\n';
    for (size_t e = 0; e < energies.size(); ++e) {
        out += QByteArray::number(energies[e], 'g', 10);
        for (int c = 0; c < k; ++c)
            out += ',' + QByteArray::number(meanNorm[size_t(c)][e], 'g', 10);
        out += '\n';
    }
    return out;
}
