#include "PaganinFilter.h"

#include "WorkerPool.h"

#include <QRegularExpression>
#include <QStringList>

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {
constexpr double hcNmKeV = 1.23984193;  // lambda in nm = hc / E

QString num(double v)
{
    return QString::number(v, 'g', 6);
}

// Buffers of one apply() call, aligned as the plans were made with.
struct Buffer
{
    explicit Buffer(size_t n) : p(static_cast<T*>(fftwf_malloc(n * sizeof(T)))) {}
    ~Buffer() { fftwf_free(p); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    using T = float;
    T* p;
};
} // namespace

struct PaganinFilter::Plans
{
    fftwf_plan fwd = nullptr, inv = nullptr;
    // Filter times the transform's 1 / (pw ph), ph rows of pw / 2 + 1.
    std::vector<float> gain;
    ~Plans()
    {
        if (fwd || inv)
            WorkerPool::assertPlanThread("Phase retrieval's FFT plans destroyed");
        if (fwd)
            fftwf_destroy_plan(fwd);
        if (inv)
            fftwf_destroy_plan(inv);
    }
};

QString PaganinParams::text() const
{
    return on() ? QStringLiteral("%1,%2,%3").arg(num(deltaBeta), num(distanceMm), num(energyKeV)) : QStringLiteral("0");
}

QString PaganinParams::problem(double pixelUm) const
{
    const struct { double v; const char* what; } values[] = {
        {deltaBeta, "delta/beta"}, {distanceMm, "distance"}, {energyKeV, "energy"}};
    for (const auto& v : values)
        if (!(v.v > 0) || !std::isfinite(v.v))
            return QStringLiteral("phase retrieval: %1 %2 is not above 0").arg(QLatin1String(v.what), num(v.v));
    if (!(pixelUm > 0) || !std::isfinite(pixelUm))
        return QStringLiteral("phase retrieval needs the pixel size");
    return {};
}

bool PaganinParams::parse(const QString& text, PaganinParams& out, QString* why)
{
    const QStringList parts = text.trimmed().split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
    if (parts.size() == 1) {
        bool zero = false;
        if (parts.first().toDouble(&zero) == 0 && zero) {
            out = PaganinParams();
            return true;
        }
    }
    double v[3];
    bool ok = parts.size() == 3;
    for (int k = 0; ok && k < 3; ++k)
        v[k] = parts[k].toDouble(&ok);
    if (!ok) {
        if (why)
            *why = QStringLiteral("\"%1\" is not DELTA_BETA,DISTANCE_MM,ENERGY_KEV").arg(text);
        return false;
    }
    PaganinParams p{v[0], v[1], v[2]};
    // The pixel size is checked when the run starts.
    const QString problem = p.problem(1.0);
    if (!problem.isEmpty()) {
        if (why)
            *why = problem;
        return false;
    }
    out = p;
    return true;
}

PaganinFilter::PaganinFilter() = default;
PaganinFilter::~PaganinFilter() = default;

double PaganinFilter::lengthPx(const PaganinParams& p, double pixelUm)
{
    // 1 / (1 + 4 pi^2 L^2 f^2) has the 2-D kernel K0(r / L) / (2 pi L^2).
    const double lambda = hcNmKeV * 1e-9 / p.energyKeV;
    const double l2 = lambda * p.distanceMm * 1e-3 * p.deltaBeta / (4.0 * M_PI);
    return std::sqrt(l2) / (pixelUm * 1e-6);
}

int PaganinFilter::marginPx(const PaganinParams& p, double pixelUm)
{
    const double m = std::ceil(6.0 * lengthPx(p, pixelUm));
    if (!std::isfinite(m))
        return 1;
    return int(std::clamp(m, 1.0, 1e6));
}

int PaganinFilter::fastSize(int n)
{
    if (n < 1)
        return 0;
    long long best = std::numeric_limits<long long>::max();
    // Factors 2 and 3 only: FFTW's fastest two-dimensional real transforms.
    for (long long a = 1; a < 2LL * n; a *= 2)
        for (long long b = a; b < 2LL * n; b *= 3)
            if (b >= n)
                best = std::min(best, b);
    return best <= std::numeric_limits<int>::max() ? int(best) : 0;
}

bool PaganinFilter::setup(int width, int height, double pixelUm, const PaganinParams& params, QString* why)
{
    plans.reset();
    w = h = pw = ph = 0;
    const QString problem = params.problem(pixelUm);
    if (!problem.isEmpty()) {
        if (why)
            *why = problem;
        return false;
    }
    const int margin = marginPx(params, pixelUm);
    const long long padW = fastSize(int(std::min<long long>(width + 2LL * margin, 1 << 20)));
    const long long padH = fastSize(int(std::min<long long>(height + 2LL * margin, 1 << 20)));
    // Two float buffers of the padded size per thread.
    if (width < 1 || height < 1 || padW == 0 || padH == 0 || padW * padH > (1LL << 28)) {
        if (why)
            *why = QStringLiteral("phase retrieval: %1 x %2 pixels padded by %3 are too many to filter")
                       .arg(width).arg(height).arg(margin);
        return false;
    }
    auto p = std::make_unique<Plans>();
    const int cw = int(padW / 2 + 1);
    Buffer real(size_t(padW * padH)), spectrum(size_t(cw * padH * 2));
    auto* cplx = reinterpret_cast<fftwf_complex*>(spectrum.p);
    // Estimated, not measured: a measured plan is chosen by timing, so two
    // runs of the same data could add in another order and differ in their
    // last digits; and measuring a large plan would hold the window up.
    WorkerPool::assertPlanThread("Phase retrieval's FFT plans made");
    p->fwd = fftwf_plan_dft_r2c_2d(int(padH), int(padW), real.p, cplx, FFTW_ESTIMATE);
    p->inv = fftwf_plan_dft_c2r_2d(int(padH), int(padW), cplx, real.p, FFTW_ESTIMATE);
    if (!p->fwd || !p->inv) {
        if (why)
            *why = QStringLiteral("phase retrieval: no transform for %1 x %2").arg(padW).arg(padH);
        return false;
    }
    const double lambda = hcNmKeV * 1e-9 / params.energyKeV;
    const double a = M_PI * lambda * params.distanceMm * 1e-3 * params.deltaBeta;
    const double pix = pixelUm * 1e-6;
    const double norm = 1.0 / (double(padW) * double(padH));
    p->gain.resize(size_t(cw) * size_t(padH));
    for (int ky = 0; ky < padH; ++ky) {
        const double fy = (ky <= padH / 2 ? ky : ky - padH) / (padH * pix);
        for (int kx = 0; kx < cw; ++kx) {
            const double fx = kx / (padW * pix);
            p->gain[size_t(ky) * cw + kx] = float(norm / (1.0 + a * (fx * fx + fy * fy)));
        }
    }
    plans = std::move(p);
    w = width;
    h = height;
    pw = int(padW);
    ph = int(padH);
    left = (pw - w) / 2;
    top = (ph - h) / 2;
    return true;
}

void PaganinFilter::apply(const float* in, float* out, bool minusLog) const
{
    if (!plans)
        return;
    const int cw = pw / 2 + 1;
    Buffer real(size_t(pw) * ph), spectrum(size_t(cw) * ph * 2);
    // The image in the middle, its edge values carried out to the borders
    // (the transform wraps around, so both sides see the nearer edge).
    for (int y = 0; y < ph; ++y) {
        const int sy = std::clamp(y - top, 0, h - 1);
        const float* src = in + size_t(sy) * w;
        float* dst = real.p + size_t(y) * pw;
        std::fill(dst, dst + left, src[0]);
        std::copy(src, src + w, dst + left);
        std::fill(dst + left + w, dst + pw, src[w - 1]);
    }
    auto* cplx = reinterpret_cast<fftwf_complex*>(spectrum.p);
    fftwf_execute_dft_r2c(plans->fwd, real.p, cplx);
    const float* g = plans->gain.data();
    const size_t n = size_t(cw) * ph;
    for (size_t k = 0; k < n; ++k) {
        cplx[k][0] *= g[k];
        cplx[k][1] *= g[k];
    }
    fftwf_execute_dft_c2r(plans->inv, cplx, real.p);
    for (int y = 0; y < h; ++y) {
        const float* src = real.p + size_t(y + top) * pw + left;
        float* dst = out + size_t(y) * w;
        if (minusLog)
            for (int x = 0; x < w; ++x)
                dst[x] = src[x] > 0 ? -std::log(src[x]) : 0.0f;
        else
            std::copy(src, src + w, dst);
    }
}
