#include "SinogramImage.h"

#include "Logging.h"
#include "ColorScale.h"
#include "HSgm.h"

#include <QDebug>

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
    for (int p = 0; p < nth; ++p) {
        uchar* up = img.scanLine(p);
        scale.levelRow(sgm.intensityRow(p), up, nx);
        uchar* down = img.scanLine(nth + p);
        for (int j = 0; j < nx; ++j)
            down[nx - 1 - j] = up[j];
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
    const int p = iy % sgm.nth;
    const int c = iy < sgm.nth ? ix : sgm.nx - 1 - ix;
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
    for (int p = 0; p < nth; ++p) {
        const double* v = sgm.intensityRow(p);
        fftw_complex* up = in + size_t(p) * size_t(nx);
        fftw_complex* down = in + size_t(nth + p) * size_t(nx);
        for (int j = 0; j < nx; ++j) {
            const double s = v[j] * scale;
            up[j][0] = s;
            up[j][1] = 0.0;
            down[nx - 1 - j][0] = s;
            down[nx - 1 - j][1] = 0.0;
        }
    }
    // Planning with FFTW_ESTIMATE leaves the input as it is.
    fftw_plan plan = fftw_plan_dft_2d(int(rows), nx, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    if (plan) {
        fftw_execute(plan);
        fftw_destroy_plan(plan);
        mag.resize(size_t(count));
        for (size_t i = 0; i < size_t(count); ++i)
            mag[i] = std::sqrt(out[i][0] * out[i][0] + out[i][1] * out[i][1]);
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
