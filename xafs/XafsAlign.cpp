#include "XafsAlign.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace {
using cplx = std::complex<double>;

int nextPow2(int n)
{
    int p = 1;
    while (p < n)
        p <<= 1;
    return p;
}

// In-place radix-2 FFT of n (a power of two) values spaced by stride.
// A small transform of its own: the alignment may run in any thread,
// where plans of the library must not be made.
void fft(cplx* a, int n, int stride, bool inverse)
{
    for (int i = 1, j = 0; i < n; ++i) {
        int bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[size_t(i) * size_t(stride)], a[size_t(j) * size_t(stride)]);
    }
    for (int len = 2; len <= n; len <<= 1) {
        const double ang = 2 * M_PI / len * (inverse ? 1 : -1);
        const cplx wl(std::cos(ang), std::sin(ang));
        for (int i = 0; i < n; i += len) {
            cplx w(1);
            for (int k = 0; k < len / 2; ++k) {
                cplx& u = a[size_t(i + k) * size_t(stride)];
                cplx& v = a[size_t(i + k + len / 2) * size_t(stride)];
                const cplx t = v * w;
                v = u - t;
                u = u + t;
                w *= wl;
            }
        }
    }
}

void fft2(std::vector<cplx>& a, int W, int H, bool inverse)
{
    for (int j = 0; j < H; ++j)
        fft(a.data() + size_t(j) * size_t(W), W, 1, inverse);
    for (int i = 0; i < W; ++i)
        fft(a.data() + i, H, W, inverse);
}

// Gradient magnitude, zero beyond w x h in a W x H frame: edges of the
// object, not its contrast.
std::vector<cplx> gradient(const float* v, int w, int h, int W, int H)
{
    std::vector<cplx> out(size_t(W) * size_t(H));
    auto at = [&](int i, int j) { return double(v[size_t(std::clamp(j, 0, h - 1)) * size_t(w) + size_t(std::clamp(i, 0, w - 1))]); };
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const double gx = 0.5 * (at(i + 1, j) - at(i - 1, j)), gz = 0.5 * (at(i, j + 1) - at(i, j - 1));
            out[size_t(j) * size_t(W) + size_t(i)] = std::sqrt(gx * gx + gz * gz);
        }
    return out;
}

// Raised-cosine border of an eighth of each side: no jump at the frame's
// edge, and what a shift moves across it fades out.
void taper(std::vector<cplx>& a, int w, int h, int W)
{
    const int bx = std::max(1, w / 8), bz = std::max(1, h / 8);
    auto f = [](int i, int n, int b) {
        const int d = std::min(i, n - 1 - i);
        return d >= b ? 1.0 : 0.5 - 0.5 * std::cos(M_PI * (d + 0.5) / b);
    };
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            a[size_t(j) * size_t(W) + size_t(i)] *= f(i, w, bx) * f(j, h, bz);
}

// Width (cycles per pixel) of the Gaussian weight on the cross-power spectrum.
constexpr double lowPass = 0.15;

double freq(int k, int N)
{
    return double(k <= N / 2 ? k : k - N) / N;
}

// Phase correlation of spectra fa and fb (W x H): integer peak, then the
// upsampled cross-correlation on a 1.5 x 1.5 px patch about it, by direct
// sums over the spectrum, one axis at a time.
XafsShift correlate(const std::vector<cplx>& fa, const std::vector<cplx>& fb, int W, int H, int U)
{
    // Phase only, with the highest frequencies (where sampling a
    // gradient aliases most) let down gently.
    std::vector<cplx> r(fa.size());
    double weights = 0;
    for (int ky = 0; ky < H; ++ky)
        for (int kx = 0; kx < W; ++kx) {
            const size_t k = size_t(ky) * size_t(W) + size_t(kx);
            const cplx c = fb[k] * std::conj(fa[k]);
            const double m = std::abs(c);
            const double f2 = freq(kx, W) * freq(kx, W) + freq(ky, H) * freq(ky, H);
            const double wgt = std::exp(-f2 / (2 * lowPass * lowPass));
            weights += wgt;
            r[k] = m > 1e-300 ? c / m * wgt : cplx(0);
        }
    std::vector<cplx> corr = r;
    fft2(corr, W, H, true);
    size_t best = 0;
    for (size_t k = 1; k < corr.size(); ++k)
        if (corr[k].real() > corr[best].real())
            best = k;
    int px = int(best % size_t(W)), pz = int(best / size_t(W));
    if (px > W / 2)
        px -= W;
    if (pz > H / 2)
        pz -= H;
    const int half = int(std::ceil(0.75 * U));
    const int n = 2 * half + 1;
    std::vector<cplx> rowSum(size_t(H) * size_t(n)), phx(static_cast<size_t>(W)), ph(static_cast<size_t>(H));
    for (int c = 0; c < n; ++c) {
        const double x = px + double(c - half) / U;
        for (int kx = 0; kx < W; ++kx)
            phx[size_t(kx)] = std::polar(1.0, 2 * M_PI * freq(kx, W) * x);
        for (int ky = 0; ky < H; ++ky) {
            const cplx* row = r.data() + size_t(ky) * size_t(W);
            cplx s(0);
            for (int kx = 0; kx < W; ++kx)
                s += row[kx] * phx[size_t(kx)];
            rowSum[size_t(ky) * size_t(n) + size_t(c)] = s;
        }
    }
    XafsShift out;
    double bestV = -1e300;
    for (int rr = 0; rr < n; ++rr) {
        const double z = pz + double(rr - half) / U;
        for (int ky = 0; ky < H; ++ky)
            ph[size_t(ky)] = std::polar(1.0, 2 * M_PI * freq(ky, H) * z);
        for (int c = 0; c < n; ++c) {
            cplx s(0);
            for (int ky = 0; ky < H; ++ky)
                s += rowSum[size_t(ky) * size_t(n) + size_t(c)] * ph[size_t(ky)];
            if (s.real() > bestV) {
                bestV = s.real();
                out.dx = px + double(c - half) / U;
                out.dz = pz + double(rr - half) / U;
            }
        }
    }
    // 1 for identical pictures.
    out.peak = std::max(corr[best].real(), bestV) / weights;
    return out;
}
} // namespace

bool XafsAlign::measure(const float* ref, const float* img, int w, int h, XafsShift& out, QString* why) const
{
    if (w < 32 || h < 32 || w > maxSide || h > maxSide) {
        if (why)
            *why = QStringLiteral("images of %1 x %2 pixels cannot be aligned (32 .. %3 per side)").arg(w).arg(h).arg(maxSide);
        return false;
    }
    // The taper keeps a shift from wrapping round; no padding is needed.
    const int W = nextPow2(w), H = nextPow2(h);
    const int U = std::max(1, upsample);
    std::vector<cplx> a = gradient(ref, w, h, W, H), g = gradient(img, w, h, W, H);
    taper(a, w, h, W);
    fft2(a, W, H, false);
    std::vector<cplx> b = g;
    taper(b, w, h, W);
    fft2(b, W, H, false);
    const XafsShift first = correlate(a, b, W, H, U);
    // The fixed border pulls a shift towards 0: move the image back by the
    // first estimate and measure what is left, where that pull is small.
    fft2(g, W, H, false);
    for (int ky = 0; ky < H; ++ky)
        for (int kx = 0; kx < W; ++kx)
            g[size_t(ky) * size_t(W) + size_t(kx)] *= std::polar(1.0, 2 * M_PI * (freq(kx, W) * first.dx + freq(ky, H) * first.dz));
    fft2(g, W, H, true);
    for (cplx& v : g)
        v = cplx(v.real() / (double(W) * double(H)), 0);
    taper(g, w, h, W);
    fft2(g, W, H, false);
    const XafsShift rest = correlate(a, g, W, H, U);
    out.dx = first.dx + rest.dx;
    out.dz = first.dz + rest.dz;
    out.peak = first.peak;
    return true;
}

XafsEnergyShift XafsAlign::combine(double energy, const std::vector<XafsShift>& perAngle) const
{
    XafsEnergyShift s;
    s.energy = energy;
    s.angles = int(perAngle.size());
    if (perAngle.empty()) {
        s.questionable = true;
        return s;
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        const size_t m = v.size() / 2;
        return v.size() % 2 ? v[m] : 0.5 * (v[m - 1] + v[m]);
    };
    std::vector<double> xs, zs;
    s.peak = perAngle.front().peak;
    for (const XafsShift& a : perAngle) {
        xs.push_back(a.dx);
        zs.push_back(a.dz);
        s.peak = std::min(s.peak, a.peak);
    }
    s.dx = median(xs);
    s.dz = median(zs);
    for (const XafsShift& a : perAngle) {
        s.spreadX = std::max(s.spreadX, std::fabs(a.dx - s.dx));
        s.spreadZ = std::max(s.spreadZ, std::fabs(a.dz - s.dz));
    }
    s.questionable = s.spreadX > maxSpread || s.spreadZ > maxSpread || s.peak < minPeak || s.angles < 3;
    return s;
}

QByteArray XafsAlign::csv(const std::vector<XafsEnergyShift>& shifts)
{
    QByteArray out = "energy_eV,dx_px,dz_px,spread_x_px,spread_z_px,peak,angles,questionable\n";
    for (const XafsEnergyShift& s : shifts)
        out += QByteArray::number(s.energy, 'g', 10) + ',' + QByteArray::number(s.dx, 'f', 3) + ','
            + QByteArray::number(s.dz, 'f', 3) + ',' + QByteArray::number(s.spreadX, 'f', 3) + ','
            + QByteArray::number(s.spreadZ, 'f', 3) + ',' + QByteArray::number(s.peak, 'f', 4) + ','
            + QByteArray::number(s.angles) + ',' + (s.questionable ? "1" : "0") + '\n';
    return out;
}
