#include "PhaseSample.h"

#include "WorkerPool.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>

namespace {
constexpr int fine = 8;

// Thickness in metres at fine-grid position u (detector pixels).
double chord(const PhaseCylinder& c, double u)
{
    const double d = u - c.axisPx;
    const double r2 = c.radiusPx * c.radiusPx - d * d;
    return r2 > 0 ? 2.0 * std::sqrt(r2) * c.pixelUm * 1e-6 : 0.0;
}

double finePosition(int pixel, int sub)
{
    return pixel - 0.5 + (sub + 0.5) / fine;
}
} // namespace

double PhaseCylinder::lambdaM() const
{
    return 1.23984193e-9 / energyKeV;
}

double PhaseCylinder::mu() const
{
    return centreAbsorbance / (2.0 * radiusPx * pixelUm * 1e-6);
}

double PhaseCylinder::beta() const
{
    return mu() * lambdaM() / (4.0 * M_PI);
}

std::vector<double> PhaseCylinder::thickness(int n) const
{
    std::vector<double> t(size_t(std::max(n, 0)), 0.0);
    for (int i = 0; i < n; ++i) {
        for (int s = 0; s < fine; ++s)
            t[size_t(i)] += chord(*this, finePosition(i, s));
        t[size_t(i)] /= fine;
    }
    return t;
}

std::vector<double> PhaseCylinder::intensity(int n) const
{
    if (n < 1)
        return {};
    // Free space on both sides, at least as wide again as the line.
    int m = 1;
    while (m < 4 * n * fine)
        m *= 2;
    const int offset = (m - n * fine) / 2;
    const double k = 2.0 * M_PI / lambdaM();
    const double b = beta(), delta = b * deltaBeta;
    std::vector<std::complex<double>> psi(size_t(m), 1.0);
    for (int i = 0; i < n; ++i)
        for (int s = 0; s < fine; ++s) {
            const double t = chord(*this, finePosition(i, s));
            psi[size_t(offset + i * fine + s)] = std::exp(std::complex<double>(-k * b * t, -k * delta * t));
        }
    auto* data = reinterpret_cast<fftw_complex*>(psi.data());
    WorkerPool::assertPlanThread("A phase sample's FFT plans made");
    fftw_plan fwd = fftw_plan_dft_1d(m, data, data, FFTW_FORWARD, FFTW_ESTIMATE);
    fftw_plan inv = fftw_plan_dft_1d(m, data, data, FFTW_BACKWARD, FFTW_ESTIMATE);
    fftw_execute(fwd);
    const double dx = pixelUm * 1e-6 / fine;
    const double z = distanceMm * 1e-3;
    for (int j = 0; j < m; ++j) {
        const double f = (j <= m / 2 ? j : j - m) / (m * dx);
        psi[size_t(j)] *= std::exp(std::complex<double>(0.0, -M_PI * lambdaM() * z * f * f)) / double(m);
    }
    fftw_execute(inv);
    WorkerPool::assertPlanThread("A phase sample's FFT plans destroyed");
    fftw_destroy_plan(fwd);
    fftw_destroy_plan(inv);
    std::vector<double> out(size_t(n), 0.0);
    for (int i = 0; i < n; ++i) {
        for (int s = 0; s < fine; ++s)
            out[size_t(i)] += std::norm(psi[size_t(offset + i * fine + s)]);
        out[size_t(i)] /= fine;
    }
    return out;
}
