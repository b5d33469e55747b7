#include "SinogramImage.h"

#include "Logging.h"
#include "ColorScale.h"
#include "WorkerPool.h"
#include "HSgm.h"
#include "RingRemoval.h"

#include <QDebug>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <fftw3.h>

namespace {
// Two complex buffers of this many values stay near 1 GiB together.
constexpr long long maxFourierValues = 1LL << 25;

bool hasSamples(const HSgm& sgm)
{
    return sgm.hasData() && sgm.nx > 0 && sgm.nth > 0
        && sgm.intensity.size() >= size_t(sgm.nx) * size_t(sgm.nth);
}
} // namespace

bool sinogramRange(const HSgm& sgm, double& minV, double& maxV)
{
    minV = DBL_MAX;
    maxV = -DBL_MAX;
    if (!hasSamples(sgm))
        return false;
    const size_t count = size_t(sgm.nx) * size_t(sgm.nth);
    for (size_t i = 0; i < count; ++i) {
        const double x = sgm.intensity[i];
        if (x < minV)
            minV = x;
        if (x > maxV)
            maxV = x;
    }
    return minV <= maxV;
}

std::vector<int> sinogramRows(const HSgm& sgm)
{
    if (!hasSamples(sgm) || sgm.nth > INT_MAX / 2)
        return {};
    const int nth = sgm.nth;
    std::vector<int> rows(size_t(2) * size_t(nth));
    if (sgm.theta.size() != size_t(nth)) {
        for (int y = 0; y < 2 * nth; ++y)
            rows[size_t(y)] = y < nth ? y : -1 - (y - nth);
        return rows;
    }
    // Every projection stands at its angle and, mirrored, half a turn on.
    constexpr double pi = 3.141592653589793;
    constexpr double turn = 2 * pi;
    std::vector<std::pair<double, int>> at;
    at.reserve(rows.size());
    for (int p = 0; p < nth; ++p) {
        for (int m = 0; m < 2; ++m) {
            double a = std::fmod(sgm.theta[size_t(p)] + m * pi, turn);
            if (a < 0)
                a += turn;
            at.emplace_back(a, m ? -1 - p : p);
        }
    }
    std::sort(at.begin(), at.end());
    for (int y = 0; y < 2 * nth; ++y) {
        const double a = pi * y / nth;
        const auto hi = std::lower_bound(at.begin(), at.end(), std::make_pair(a, INT_MIN));
        // The neighbours on either side, round the turn.
        const auto& after = hi == at.end() ? at.front() : *hi;
        const auto& before = hi == at.begin() ? at.back() : *(hi - 1);
        const double dAfter = std::fmod(after.first - a + turn, turn);
        const double dBefore = std::fmod(a - before.first + turn, turn);
        rows[size_t(y)] = dBefore <= dAfter ? before.second : after.second;
    }
    return rows;
}

QImage sinogramImage(const HSgm& sgm, const ColorScale& scale)
{
    if (!hasSamples(sgm) || sgm.nth > INT_MAX / 2)
        return QImage();
    const int nx = sgm.nx;
    const int nth = sgm.nth;
    QImage img(nx, 2 * nth, QImage::Format_Grayscale8);
    if (img.isNull()) {
        qCDebug(lcCt).noquote() << QStringLiteral("Sinogram picture too large: ")
                + QString::number(nx) + QStringLiteral(" x ") + QString::number(2 * nth);
        return QImage();
    }
    const std::vector<int> rows = sinogramRows(sgm);
    std::vector<uchar> levels(static_cast<size_t>(nx));
    for (int y = 0; y < 2 * nth; ++y) {
        const int r = rows[size_t(y)];
        uchar* line = img.scanLine(y);
        if (r >= 0) {
            scale.levelRow(sgm.intensityRow(r), line, nx);
            continue;
        }
        scale.levelRow(sgm.intensityRow(-1 - r), levels.data(), nx);
        for (int j = 0; j < nx; ++j)
            line[nx - 1 - j] = levels[size_t(j)];
    }
    return img;
}

bool sinogramValueAt(const HSgm& sgm, double x, double y, double& value)
{
    if (!hasSamples(sgm))
        return false;
    // Truncation toward zero; NaN and far-off positions fail the range tests.
    const double tx = std::trunc(x);
    const double ty = std::trunc(y);
    if (!(tx >= 0 && tx < sgm.nx && ty >= 0 && ty < 2.0 * sgm.nth))
        return false;
    const int ix = int(tx);
    const int iy = int(ty);
    int p = iy % sgm.nth;
    bool mirrored = iy >= sgm.nth;
    if (!sgm.theta.empty()) {
        const int r = sinogramRows(sgm)[size_t(iy)];
        p = r >= 0 ? r : -1 - r;
        mirrored = r < 0;
    }
    const int c = mirrored ? sgm.nx - 1 - ix : ix;
    value = sgm.intensityRow(p)[c];
    return true;
}

bool fourierSinogram(const HSgm& sgm, std::vector<double>& mag)
{
    mag.clear();
    if (!hasSamples(sgm))
        return false;
    const int nx = sgm.nx;
    const int nth = sgm.nth;
    const long long rows = 2LL * nth;
    const long long count = rows * nx;
    if (count > maxFourierValues) {
        qCDebug(lcCt).noquote() << QStringLiteral("Sinogram too large for the Fourier picture: ")
                + QString::number(nx) + QStringLiteral(" x ") + QString::number(rows);
        return false;
    }
    auto* in = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * size_t(count)));
    auto* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * size_t(count)));
    if (!in || !out) {
        qCWarning(lcCt).noquote() << QStringLiteral("Out of memory for the Fourier picture: ")
                + QString::number(nx) + QStringLiteral(" x ") + QString::number(rows);
        fftw_free(in);
        fftw_free(out);
        return false;
    }
    const double scale = 1.0 / (2.0 * nx * nth);
    const std::vector<int> shown = sinogramRows(sgm);
    for (long long y = 0; y < rows; ++y) {
        const int r = shown[size_t(y)];
        const double* v = sgm.intensityRow(r >= 0 ? r : -1 - r);
        fftw_complex* line = in + size_t(y) * size_t(nx);
        for (int j = 0; j < nx; ++j) {
            const int k = r >= 0 ? j : nx - 1 - j;
            line[k][0] = v[j] * scale;
            line[k][1] = 0.0;
        }
    }
    // Planning with FFTW_ESTIMATE leaves the input as it is.
    WorkerPool::assertPlanThread("The sinogram spectrum's FFT plan made");
    fftw_plan plan = fftw_plan_dft_2d(int(rows), nx, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    if (plan) {
        fftw_execute(plan);
        WorkerPool::assertPlanThread("The sinogram spectrum's FFT plan destroyed");
        fftw_destroy_plan(plan);
        mag.resize(size_t(count));
        // Frequency (0, 0) moves to the middle, where a stripe's line at zero
        // angular frequency runs across the picture instead of along its edges.
        for (long long k = 0; k < rows; ++k) {
            double* line = mag.data() + size_t((k + rows / 2) % rows) * size_t(nx);
            const fftw_complex* o = out + size_t(k) * size_t(nx);
            for (int j = 0; j < nx; ++j)
                line[(j + nx / 2) % nx] = std::sqrt(o[j][0] * o[j][0] + o[j][1] * o[j][1]);
        }
    }
    fftw_free(in);
    fftw_free(out);
    return !mag.empty();
}

QImage greyImage(const double* values, int w, int h, const ColorScale& scale)
{
    if (!values || w <= 0 || h <= 0)
        return QImage();
    QImage img(w, h, QImage::Format_Grayscale8);
    if (img.isNull())
        return QImage();
    for (int y = 0; y < h; ++y)
        scale.levelRow(values + size_t(y) * size_t(w), img.scanLine(y), w);
    return img;
}

HSgm stripeFiltered(const HSgm& sgm, int size)
{
    HSgm out;
    if (!hasSamples(sgm))
        return out;
    out.nx = sgm.nx;
    out.nth = sgm.nth;
    out.slice = sgm.slice;
    out.theta = sgm.theta;
    out.intensity.assign(sgm.intensity.begin(), sgm.intensity.begin() + ptrdiff_t(sgm.nx) * sgm.nth);
    removeRings(out.intensity.data(), out.nx, out.nth, size);
    return out;
}
