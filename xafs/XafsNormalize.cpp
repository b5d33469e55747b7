#include "XafsNormalize.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

QString XafsRanges::problem() const
{
    if (!(std::isfinite(pre1) && std::isfinite(pre2) && std::isfinite(post1) && std::isfinite(post2)))
        return QStringLiteral("fit ranges must be finite numbers");
    if (!(pre1 < pre2 && pre2 < post1 && post1 < post2))
        return QStringLiteral("fit ranges must rise: PRE1 < PRE2 < POST1 < POST2 (eV from E0), got %1 %2 %3 %4")
            .arg(pre1).arg(pre2).arg(post1).arg(post2);
    if (postOrder != 1 && postOrder != 2)
        return QStringLiteral("the post-edge fit is a line (1) or a quadratic (2)");
    if (e0Method == XafsE0Method::Fixed && !(std::isfinite(fixedE0) && fixedE0 > 0))
        return QStringLiteral("a fixed E0 must be a positive energy in eV, got %1").arg(fixedE0);
    return QString();
}

bool XafsNormalize::fail(const QString& text)
{
    reason = text;
    return false;
}

QString XafsRanges::methodName(XafsE0Method m)
{
    switch (m) {
    case XafsE0Method::Derivative: return QStringLiteral("derivative");
    case XafsE0Method::HalfJump: return QStringLiteral("half-jump");
    case XafsE0Method::Fixed: return QStringLiteral("fixed");
    case XafsE0Method::Smoothed: return QStringLiteral("smoothed");
    }
    return QString();
}

bool XafsRanges::methodOf(const QString& name, XafsE0Method& m)
{
    for (XafsE0Method k : {XafsE0Method::Derivative, XafsE0Method::HalfJump, XafsE0Method::Fixed, XafsE0Method::Smoothed})
        if (name == methodName(k)) {
            m = k;
            return true;
        }
    return false;
}

double XafsNormalize::edgeEnergy(const double* e, const double* mu, int n, bool smoothed)
{
    questionable = false;
    if (n < 3)
        return std::numeric_limits<double>::quiet_NaN();
    smooth.resize(size_t(n));
    deriv.assign(size_t(n), 0.0);
    if (smoothed) {
        smooth[0] = mu[0];
        smooth[size_t(n - 1)] = mu[n - 1];
        for (int i = 1; i + 1 < n; ++i)
            smooth[size_t(i)] = 0.25 * (mu[i - 1] + 2.0 * mu[i] + mu[i + 1]);
    } else {
        std::copy_n(mu, n, smooth.begin());
    }
    int best = -1;
    for (int i = 1; i + 1 < n; ++i) {
        const double h1 = e[i] - e[i - 1], h2 = e[i + 1] - e[i];
        if (!(h1 > 0 && h2 > 0))
            continue;
        const double* y = smooth.data();
        // Central difference of a non-uniform grid: exact for a parabola,
        // so a change of step does not tilt it. The smoothed method keeps
        // the plain chord its results were made with.
        deriv[size_t(i)] = smoothed ? (y[i + 1] - y[i - 1]) / (h1 + h2)
                                    : (h1 * h1 * (y[i + 1] - y[i]) + h2 * h2 * (y[i] - y[i - 1])) / (h1 * h2 * (h1 + h2));
        if (best < 0 || deriv[size_t(i)] > deriv[size_t(best)])
            best = i;
    }
    if (best < 0)
        return std::numeric_limits<double>::quiet_NaN();
    // A second local maximum nearly as high: two candidate edges.
    const double top = deriv[size_t(best)];
    for (int i = 1; i + 1 < n && top > 0; ++i) {
        if (std::abs(i - best) < 2)
            continue;
        const double d = deriv[size_t(i)];
        const double left = i > 1 ? deriv[size_t(i - 1)] : -std::numeric_limits<double>::infinity();
        const double right = i + 2 < n ? deriv[size_t(i + 1)] : -std::numeric_limits<double>::infinity();
        if (d >= left && d >= right && d >= 0.9 * top) {
            questionable = true;
            break;
        }
    }
    double at = e[best];
    // Vertex of the parabola through the derivative's neighbours, kept
    // between them: sub-step precision where the scan is fine.
    if (best >= 2 && best + 2 < n) {
        const double xa = e[best - 1], xb = e[best], xc = e[best + 1];
        const double ya = deriv[size_t(best - 1)], yb = deriv[size_t(best)], yc = deriv[size_t(best + 1)];
        const double den = (xa - xb) * (xa - xc) * (xb - xc);
        if (den != 0) {
            const double A = (xc * (yb - ya) + xb * (ya - yc) + xa * (yc - yb)) / den;
            const double B = (xc * xc * (ya - yb) + xb * xb * (yc - ya) + xa * xa * (yb - yc)) / den;
            if (A < 0) {
                const double v = -B / (2 * A);
                if (v > xa && v < xc)
                    at = v;
            }
        }
    }
    return at;
}

bool XafsNormalize::poly(const double* e, const double* mu, int n, double lo, double hi, int degree, double* out,
                         int* used)
{
    // Normal equations in x = (E - E0) / 100 keep the quadratic well conditioned.
    double s[5] = {0, 0, 0, 0, 0}, t[3] = {0, 0, 0};
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const double d = e[i] - e0;
        if (d < lo || d > hi)
            continue;
        const double x = d / 100.0;
        double p = 1;
        for (int k = 0; k < 5; ++k) {
            s[k] += p;
            if (k < 3)
                t[k] += p * mu[i];
            p *= x;
        }
        ++m;
    }
    if (used)
        *used = m;
    if (m < degree + 1)
        return false;
    out[0] = out[1] = out[2] = 0;
    if (degree == 1) {
        const double det = s[0] * s[2] - s[1] * s[1];
        if (!(std::fabs(det) > 1e-300))
            return false;
        out[0] = (t[0] * s[2] - s[1] * t[1]) / det;
        out[1] = (s[0] * t[1] - s[1] * t[0]) / det / 100.0;
        return true;
    }
    // 3 x 3 by Cramer's rule.
    const double a[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
    auto det3 = [](const double m3[3][3]) {
        return m3[0][0] * (m3[1][1] * m3[2][2] - m3[1][2] * m3[2][1])
            - m3[0][1] * (m3[1][0] * m3[2][2] - m3[1][2] * m3[2][0])
            + m3[0][2] * (m3[1][0] * m3[2][1] - m3[1][1] * m3[2][0]);
    };
    const double d = det3(a);
    if (!(std::fabs(d) > 1e-300))
        return false;
    double c[3];
    for (int k = 0; k < 3; ++k) {
        double b[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                b[i][j] = j == k ? t[i] : a[i][j];
        c[k] = det3(b) / d;
    }
    out[0] = c[0];
    out[1] = c[1] / 100.0;
    out[2] = c[2] / 10000.0;
    return true;
}

bool XafsNormalize::fitAbout(const double* e, const double* mu, int n)
{
    jump = 0;
    if (!poly(e, mu, n, r.pre1, r.pre2, 1, pre, &prePoints))
        return fail(QStringLiteral("fewer than 2 energies in the pre-edge range E0%1 .. E0%2 eV (E0 = %3 eV)")
                        .arg(r.pre1, 0, 'f', 1).arg(r.pre2, 0, 'f', 1).arg(e0, 0, 'f', 2));
    if (!poly(e, mu, n, r.post1, r.post2, r.postOrder, post, &postPoints))
        return fail(QStringLiteral("fewer than %1 energies in the post-edge range E0+%2 .. E0+%3 eV (E0 = %4 eV)")
                        .arg(r.postOrder + 1).arg(r.post1, 0, 'f', 1).arg(r.post2, 0, 'f', 1).arg(e0, 0, 'f', 2));
    jump = post[0] - pre[0];
    if (!(jump != 0) || !std::isfinite(jump))
        return fail(QStringLiteral("no edge jump at E0 = %1 eV").arg(e0, 0, 'f', 2));
    return true;
}

double XafsNormalize::halfJumpEnergy(const double* e, const double* mu, int n) const
{
    double prev = 0;
    for (int i = 0; i < n; ++i) {
        const double v = (mu[i] - preAt(e[i])) / jump;
        if (i > 0 && prev < 0.5 && v >= 0.5)
            return e[i - 1] + (0.5 - prev) / (v - prev) * (e[i] - e[i - 1]);
        prev = v;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

QString XafsNormalize::thinRanges(const double* e, int n) const
{
    QStringList out;
    auto check = [&](const char* what, double lo, double hi, int count) {
        if (count >= 3)
            return;
        QStringList held;
        for (int i = 0; i < n; ++i)
            if (e[i] - e0 >= lo && e[i] - e0 <= hi)
                held << QString::number(e[i], 'g', 10);
        out << QStringLiteral("the %1 range E0%2 .. E0%3 eV (E0 = %4 eV) holds %5 energies%6")
                   .arg(QLatin1String(what))
                   .arg(lo >= 0 ? QStringLiteral("+%1").arg(lo, 0, 'f', 1) : QString::number(lo, 'f', 1))
                   .arg(hi >= 0 ? QStringLiteral("+%1").arg(hi, 0, 'f', 1) : QString::number(hi, 'f', 1))
                   .arg(e0, 0, 'f', 2)
                   .arg(count)
                   .arg(held.isEmpty() ? QString() : QStringLiteral(" (%1 eV)").arg(held.join(QStringLiteral(", "))));
    };
    check("pre-edge", r.pre1, r.pre2, prePoints);
    check("post-edge", r.post1, r.post2, postPoints);
    return out.join(QStringLiteral("; "));
}

bool XafsNormalize::fit(const double* e, const double* mu, int n)
{
    reason.clear();
    warning.clear();
    e0 = jump = 0;
    questionable = false;
    prePoints = postPoints = 0;
    const QString p = r.problem();
    if (!p.isEmpty())
        return fail(p);
    if (n < 5)
        return fail(QStringLiteral("%1 energies are too few for a normalisation").arg(n));
    switch (r.e0Method) {
    case XafsE0Method::Fixed:
        e0 = r.fixedE0;
        break;
    case XafsE0Method::Smoothed:
        e0 = edgeEnergy(e, mu, n, true);
        break;
    case XafsE0Method::Derivative:
    case XafsE0Method::HalfJump:
        e0 = edgeEnergy(e, mu, n, false);
        break;
    }
    if (!std::isfinite(e0))
        return fail(QStringLiteral("no rising edge in the spectrum"));
    if (!fitAbout(e, mu, n))
        return false;
    if (r.e0Method == XafsE0Method::HalfJump) {
        // E0 moves the ranges, which move the jump: a few rounds settle it.
        for (int round = 0; round < 8; ++round) {
            const double h = halfJumpEnergy(e, mu, n);
            if (!std::isfinite(h))
                return fail(QStringLiteral("the normalised spectrum never rises through 0.5 (E0 = %1 eV)").arg(e0, 0, 'f', 2));
            const bool settled = std::fabs(h - e0) < 1e-3;
            e0 = h;
            if (!fitAbout(e, mu, n))
                return false;
            if (settled)
                break;
        }
    }
    warning = thinRanges(e, n);
    return true;
}

std::vector<double> XafsNormalize::normalised(const double* e, const double* mu, int n) const
{
    std::vector<double> out(size_t(std::max(n, 0)));
    for (int i = 0; i < n; ++i)
        out[size_t(i)] = jump != 0 ? (mu[i] - preAt(e[i])) / jump : 0.0;
    return out;
}
