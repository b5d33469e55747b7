#include "CorSearch.h"

#include "ImgData.h"
#include "Logging.h"
#include "ImgDatas.h"
#include "WorkerPool.h"
#include "SgmGeom.h"
#include "SinogramGen.h"

#include <QDebug>

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double kPi = 3.141592653589793;
// Half-width of the sharpness search around the coarse value, pixels.
constexpr double kWindow = 1.0;
// Largest move of the 0/180 value the sharpness search may make, pixels.
constexpr double kAgree = 0.25;
// Projections and pixels a trial slice uses at most: fewer projections
// leave streaks that move the measure more than a tenth of a pixel.
constexpr int kMaxProjections = 1000;
constexpr double kTargetPixels = 40000.0;
constexpr int kBinnedWidth = 512;
// Gaussian smoothing of the coarse correlation, pixels.
constexpr double kSmooth = 1.5;
// A second coarse peak this close to the first makes the answer ambiguous.
constexpr double kTwoPeaks = 0.9;
// Correlation coefficient of the 0/180 match below which the series shows
// nothing to match (featureless, or noise only).
constexpr double kFlat = 0.08;

int fftLength(int n)
{
    int l = 16;
    while (l < n)
        l *= 2;
    return l;
}

// FFTW buffers freed on every way out.
struct FftBuf
{
    explicit FftBuf(int l)
        : real(fftw_alloc_real(size_t(l))), freq(fftw_alloc_complex(size_t(l / 2 + 1))), len(l)
    {
        WorkerPool::assertPlanThread("A centre search's FFT plan made");
        r2c = fftw_plan_dft_r2c_1d(l, real, freq, FFTW_ESTIMATE);
        c2r = fftw_plan_dft_c2r_1d(l, freq, real, FFTW_ESTIMATE);
    }
    ~FftBuf()
    {
        WorkerPool::assertPlanThread("A centre search's FFT plan destroyed");
        fftw_destroy_plan(r2c);
        fftw_destroy_plan(c2r);
        fftw_free(real);
        fftw_free(freq);
    }
    FftBuf(const FftBuf&) = delete;
    FftBuf& operator=(const FftBuf&) = delete;
    // real[0 .. l) = v[0 .. n) minus its mean (unless keepMean), zero
    // beyond; returns the sum of squares loaded.
    double load(const double* v, int n, bool keepMean = false)
    {
        double mean = 0, e = 0;
        for (int k = 0; k < n && !keepMean; ++k)
            mean += v[k];
        mean /= n;
        for (int k = 0; k < n; ++k) {
            real[k] = v[k] - mean;
            e += real[k] * real[k];
        }
        std::fill(real + n, real + len, 0.0);
        return e;
    }
    // real[0 .. l) = sign times the central difference of v[0 .. n), zero
    // beyond: free of offsets, so a partial overlap does not pull the peak;
    // returns the sum of squares loaded.
    double loadSlope(const double* v, int n, double sign)
    {
        double e = 0;
        std::fill(real, real + len, 0.0);
        for (int k = 1; k + 1 < n; ++k) {
            real[k] = 0.5 * sign * (v[k + 1] - v[k - 1]);
            e += real[k] * real[k];
        }
        return e;
    }
    double* real;
    fftw_complex* freq;
    int len;
    fftw_plan r2c = nullptr;
    fftw_plan c2r = nullptr;
};

// Vertex of the parabola through (-1, a), (0, b), (1, c), as an offset.
double vertex(double a, double b, double c)
{
    const double d = a - 2 * b + c;
    if (!(std::fabs(d) > 0))
        return 0;
    return std::clamp(0.5 * (a - c) / d, -0.5, 0.5);
}

struct Coarse
{
    double cor = 0;
    double peak = 0;
    double second = 0;
    double rho = 0;     // peak over the geometric mean of the two energies
    bool atEdge = false;
};

// conv[S] = sum_k last'[k] (-first'[S - k]) peaks at S = 2 cor when the last
// projection is the first one mirrored about cor (slopes: a mirror turns
// their sign).
Coarse coarseCentre(const double* first, const double* last, int dim, double lo, double hi)
{
    const int l = fftLength(2 * dim);
    FftBuf a(l), b(l);
    const double energy = std::sqrt(a.loadSlope(first, dim, -1.0) * b.loadSlope(last, dim, 1.0));
    fftw_execute(a.r2c);
    fftw_execute(b.r2c);
    for (int k = 0; k <= l / 2; ++k) {
        const double re = a.freq[k][0] * b.freq[k][0] - a.freq[k][1] * b.freq[k][1];
        const double im = a.freq[k][0] * b.freq[k][1] + a.freq[k][1] * b.freq[k][0];
        // Noise lives in the high frequencies the slopes lift.
        const double w = 2 * kPi * k / l;
        const double smooth = std::exp(-w * w * kSmooth * kSmooth);
        a.freq[k][0] = re * smooth;
        a.freq[k][1] = im * smooth;
    }
    // c2r overwrites its input; the spectrum is kept for the sub-pixel peak.
    std::vector<double> freq(size_t(l + 2));
    for (int k = 0; k <= l / 2; ++k) {
        freq[size_t(2 * k)] = a.freq[k][0];
        freq[size_t(2 * k + 1)] = a.freq[k][1];
    }
    fftw_execute(a.c2r);
    const double* conv = a.real;
    const int s0 = int(std::ceil(2 * lo)), s1 = int(std::floor(2 * hi));
    int best = s0;
    for (int s = s0; s <= s1; ++s)
        if (conv[s] > conv[best])
            best = s;
    Coarse r;
    r.peak = conv[best];
    r.rho = energy > 0 ? r.peak / (energy * l) : 0;
    // The band-limited curve between samples, from its spectrum: a parabola
    // through three whole samples would pull a narrow peak toward one of them.
    auto at = [&](double x) {
        double v = freq[0];
        for (int k = 1; k <= l / 2; ++k) {
            const double ph = 2 * kPi * k * x / l;
            v += (k == l / 2 ? 1.0 : 2.0) * (freq[size_t(2 * k)] * std::cos(ph) - freq[size_t(2 * k + 1)] * std::sin(ph));
        }
        return v;
    };
    double off = 0;
    if (best > s0 && best < s1) {
        constexpr int sub = 16;
        std::vector<double> v(2 * sub + 1);
        for (int j = -sub; j <= sub; ++j)
            v[size_t(j + sub)] = at(best + double(j) / sub);
        const int j = int(std::max_element(v.begin(), v.end()) - v.begin());
        off = double(j - sub) / sub;
        if (j > 0 && j < 2 * sub)
            off += vertex(v[size_t(j - 1)], v[size_t(j)], v[size_t(j + 1)]) / sub;
    }
    r.cor = 0.5 * (best + off);
    r.atEdge = best == s0 || best == s1;
    // The main lobe ends where the curve stops falling; the highest local
    // maximum beyond it is the rival.
    int left = best, right = best;
    while (left > s0 && conv[left - 1] <= conv[left])
        --left;
    while (right < s1 && conv[right + 1] <= conv[right])
        ++right;
    r.second = -std::numeric_limits<double>::infinity();
    for (int s = s0; s <= s1; ++s) {
        if (s >= left && s <= right)
            continue;
        const bool localMax = (s == s0 || conv[s] >= conv[s - 1]) && (s == s1 || conv[s] >= conv[s + 1]);
        if (localMax)
            r.second = std::max(r.second, conv[s]);
    }
    return r;
}

// Ramp-filtered detector lines, upsampled so that linear interpolation
// between samples does not blur the slices differently for different
// fractions of a pixel; zeros in front and behind so interpolation never
// leaves them.
constexpr int kUp = 4;

struct Filtered
{
    std::vector<double> rows;
    std::vector<double> cosT, sinT;
    size_t stride = 0;
    // Upsampled samples kept before the detector's first one.
    int origin = 0;
    const double* row(int i) const { return rows.data() + size_t(i) * stride + 2 * kUp; }
};

// pad: samples kept beyond either end of the line; above 0 the lines are
// taken as they are (no mean removed), zero beyond the detector.
Filtered filterLines(const double* lines, int dim, int nth, const std::vector<double>& angles, int pad = 0)
{
    Filtered f;
    const int every = (nth + kMaxProjections - 1) / kMaxProjections;
    const int l = fftLength(2 * dim);
    const int lu = l * kUp;
    FftBuf buf(l);
    FftBuf up(lu);
    std::vector<double> weight(size_t(l / 2 + 1));
    for (int k = 0; k <= l / 2; ++k) {
        const double w = 2 * kPi * k / l;
        weight[size_t(k)] = w / l;
    }
    f.origin = pad * kUp;
    f.stride = size_t(dim + 2 * pad) * kUp + 4 * kUp;
    for (int p = 0; p < nth; p += every) {
        buf.load(lines + size_t(p) * size_t(dim), dim, pad > 0);
        fftw_execute(buf.r2c);
        for (int k = 0; k <= lu / 2; ++k) {
            const double w = k <= l / 2 ? weight[size_t(k)] : 0.0;
            up.freq[k][0] = k <= l / 2 ? buf.freq[k][0] * w : 0.0;
            up.freq[k][1] = k <= l / 2 ? buf.freq[k][1] * w : 0.0;
        }
        fftw_execute(up.c2r);
        const size_t at = f.rows.size();
        f.rows.resize(at + f.stride, 0.0);
        std::copy(up.real, up.real + size_t(dim + pad) * kUp, f.rows.begin() + long(at) + 2 * kUp + f.origin);
        // The filtered tails in front of the line wrapped round to the end.
        std::copy(up.real + lu - f.origin, up.real + lu, f.rows.begin() + long(at) + 2 * kUp);
        const double th = angles.size() == size_t(nth) ? angles[size_t(p)] : kPi * p / nth;
        f.cosT.push_back(std::cos(th));
        f.sinT.push_back(std::sin(th));
    }
    return f;
}

// The pixels of a trial slice: a square grid of the given pitch inside the
// disk of radius r about the axis, one run of columns per grid row.
struct Grid
{
    std::vector<double> z;     // row position
    std::vector<int> x0, n;    // first column (grid index) and count per row
    int pitch = 1;
    size_t pixels = 0;
};

Grid makeGrid(double r)
{
    Grid g;
    g.pitch = std::max(1, int(std::lround(std::sqrt(kPi * r * r / kTargetPixels))));
    const int m = int(std::floor(r / g.pitch));
    for (int iz = -m; iz <= m; ++iz) {
        const double z = double(iz) * g.pitch;
        const int half = int(std::floor(std::sqrt(std::max(0.0, r * r - z * z)) / g.pitch));
        g.z.push_back(z);
        g.x0.push_back(-half);
        g.n.push_back(2 * half + 1);
        g.pixels += size_t(2 * half + 1);
    }
    return g;
}

// L1 norm of the trial slice with centre c, per pixel.
double trialMeasure(const Filtered& f, const Grid& g, double c, std::vector<double>& img)
{
    img.assign(g.pixels, 0.0);
    const int np = int(f.cosT.size());
    for (int p = 0; p < np; ++p) {
        const double* row = f.row(p);
        const double cs = f.cosT[size_t(p)], sn = f.sinT[size_t(p)];
        const double dt = cs * g.pitch * kUp;
        double* out = img.data();
        for (size_t iz = 0; iz < g.z.size(); ++iz) {
            const int n = g.n[iz];
            double t = (c - g.z[iz] * sn) * kUp + g.x0[iz] * dt + f.origin;
            for (int k = 0; k < n; ++k, t += dt) {
                const int i = int(t);
                const double w = t - i;
                out[k] += row[i] + w * (row[i + 1] - row[i]);
            }
            out += n;
        }
    }
    double sum = 0;
    for (double v : img)
        sum += std::fabs(v);
    return sum / double(g.pixels);
}
} // namespace

class CorTrialSet
{
public:
    Filtered f;
    Grid g;
    // Detector pixels per binned sample, and the binned samples' offset.
    int bin = 1;
    double shift = 0;
};

std::shared_ptr<const CorTrialSet> makeCorTrialSet(const double* lines, int dim, int nth, double lo, double hi,
                                                   const std::vector<double>& angles, bool wholeObject)
{
    if (!lines || dim < 16 || nth < 2)
        return nullptr;
    // Wide detectors are binned: trial slices of a manageable size keep
    // enough signal per pixel.
    const int bin = (dim + kBinnedWidth - 1) / kBinnedWidth;
    // Beyond the detector the filtered lines are good for half a line
    // length (the transform is twice as long as the line).
    const int pad = wholeObject ? (fftLength(2 * (dim / bin)) - dim / bin) / 2 - 2 : 0;
    // Trial centres must keep every sample of the grid on the (padded) line.
    double radius = std::floor(std::min(lo + pad * bin, dim + pad * bin - 2.0 - hi)) - 1.0;
    // An object about a centre of the range lies within half a line of it.
    if (wholeObject)
        radius = std::min(radius, std::ceil(0.5 * dim + hi - lo) + 2.0);
    if (!(radius >= 8))
        return nullptr;
    auto set = std::make_shared<CorTrialSet>();
    set->bin = bin;
    set->shift = 0.5 * (bin - 1);
    std::vector<double> binned;
    const double* fineLines = lines;
    int fineDim = dim;
    if (bin > 1) {
        fineDim = dim / bin;
        binned.assign(size_t(fineDim) * size_t(nth), 0.0);
        for (int p = 0; p < nth; ++p)
            for (int k = 0; k < fineDim * bin; ++k)
                binned[size_t(p) * size_t(fineDim) + size_t(k / bin)] += lines[size_t(p) * size_t(dim) + size_t(k)] / bin;
        fineLines = binned.data();
    }
    set->f = filterLines(fineLines, fineDim, nth, angles, pad);
    set->g = makeGrid(std::floor((radius - set->shift) / bin) - 1.0);
    return set;
}

double corTrial(const CorTrialSet& set, double c, std::vector<double>* picture, int* side)
{
    std::vector<double> img;
    const double m = trialMeasure(set.f, set.g, (c - set.shift) / set.bin, img);
    if (picture) {
        // Grid rows are symmetric about the axis: 2 half + 1 of them.
        const int n = int(set.g.z.size());
        picture->assign(size_t(n) * size_t(n), 0.0);
        const int half = n / 2;
        const double* v = img.data();
        for (int iz = 0; iz < n; ++iz) {
            double* row = picture->data() + size_t(iz) * size_t(n);
            std::copy(v, v + set.g.n[size_t(iz)], row + half + set.g.x0[size_t(iz)]);
            v += set.g.n[size_t(iz)];
        }
        if (side)
            *side = n;
    }
    return m;
}

QString CorResult::text() const
{
    const QString v = QString::number(cor, 'f', 2);
    if (sound)
        return v + QStringLiteral(" (sound)");
    return v + QStringLiteral(" (questionable: ") + reason + QStringLiteral(")");
}

CorResult findCor(const double* lines, int dim, int nth, const CorSearchOptions& o)
{
    CorResult r;
    if (!lines || dim < 16 || nth < 2) {
        r.reason = QStringLiteral("too few samples or projections");
        return r;
    }
    // Centres within two pixels of an edge leave nothing to reconstruct.
    const double lo = std::max(2.0, o.from < 0 ? 0.0 : o.from);
    const double hi = std::min(dim - 3.0, o.to < 0 ? double(dim) : o.to);
    if (!(hi - lo >= 1.0)) {
        r.reason = QStringLiteral("search range %1 to %2 leaves no centre on a line of %3")
                       .arg(o.from).arg(o.to).arg(dim);
        return r;
    }
    r.valid = true;
    // The first projection mirrored matches the last when the series ends at
    // 180 degrees; otherwise the first extrapolated one step back matches it
    // better. The closer match is taken.
    const double* last = lines + size_t(nth - 1) * size_t(dim);
    std::vector<double> back(static_cast<size_t>(dim));
    for (int k = 0; k < dim; ++k)
        back[size_t(k)] = 2 * lines[k] - lines[dim + k];
    const Coarse c180 = coarseCentre(lines, last, dim, lo, hi);
    const Coarse cBack = coarseCentre(back.data(), last, dim, lo, hi);
    const Coarse& c = c180.rho >= cBack.rho ? c180 : cBack;
    r.coarse = r.cor = c.cor;
    r.match = c.rho;
    if (!(c.rho > kFlat)) {
        r.cor = std::round(r.cor * 100) / 100;
        r.reason = QStringLiteral("flat measure");
        return r;
    }
    auto verdict = [&]() {
        // Hundredths, so that the value used is the value shown.
        r.cor = std::round(r.cor * 100) / 100;
        if (c.atEdge || r.cor - lo < 1.0 || hi - r.cor < 1.0)
            r.reason = QStringLiteral("peak at the edge of the range");
        else if (c.second >= kTwoPeaks * c.peak)
            r.reason = QStringLiteral("two peaks of similar height");
        r.sound = r.reason.isEmpty();
        return r;
    };

    const double wlo = std::max(lo, c.cor - kWindow), whi = std::min(hi, c.cor + kWindow);
    const std::shared_ptr<const CorTrialSet> trials = makeCorTrialSet(lines, dim, nth, wlo, whi);
    if (!trials)
        return verdict();
    // Each stage samples around the best so far, finer each time; the
    // parabola through the best and its neighbours gives the value between.
    auto stage = [&](double centre, double half, double step, bool& atEdge) {
        const int k = int(std::lround(half / step));
        std::vector<double> xs, ms;
        for (int i = -k; i <= k; ++i) {
            const double x = centre + i * step;
            if (x < wlo - 1e-9 || x > whi + 1e-9)
                continue;
            xs.push_back(x);
            ms.push_back(corTrial(*trials, x));
            r.trialCor.push_back(x);
            r.trialMeasure.push_back(ms.back());
        }
        if (xs.size() < 3) {
            atEdge = true;
            return centre;
        }
        const size_t b = size_t(std::min_element(ms.begin(), ms.end()) - ms.begin());
        atEdge = b == 0 || b + 1 == ms.size();
        return atEdge ? xs[b] : xs[b] + step * vertex(ms[b - 1], ms[b], ms[b + 1]);
    };
    bool edge = false;
    double x = stage(c.cor, kWindow, kWindow / 4, edge);
    // A best trial at the window's edge means the measure does not single
    // out a centre near the coarse one; then the coarse value stands.
    if (!edge) {
        x = stage(x, kWindow / 4, std::clamp(o.precision, 0.01, kWindow / 8), edge);
        // Large smooth objects pull the slices' measure by up to a third of
        // a pixel where the 0/180 value is exact; it refines only within
        // a quarter pixel.
        if (!edge && std::fabs(x - c.cor) <= kAgree) {
            r.cor = x;
            r.refined = true;
        }
    }
    return verdict();
}

bool absorbanceLines(ImgDatas& set, bool rotAxIsV, int slice, std::vector<double>& out, int& dim, QString* why,
                     double maxInvalid)
{
    auto refuse = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    dim = rotAxIsV ? set.width : set.height;
    const int lines = rotAxIsV ? set.height : set.width;
    const int nth = set.count();
    if (nth < 2 || dim < 1)
        return refuse(QStringLiteral("no projection series loaded"));
    if (slice < 0 || slice >= lines)
        return refuse(QStringLiteral("slice %1 is outside the images (0 to %2)").arg(slice).arg(lines - 1));
    // A line not loaded reads as zeros: no centre, rather than a wrong one.
    if (const QString band = set.bandRefusal(rotAxIsV, slice, slice); !band.isEmpty())
        return refuse(band);
    for (ImgData* ref : {set.i0(), set.bg()})
        if (ref && ref->ready && (ref->width != set.width || ref->height != set.height))
            return refuse(QStringLiteral("reference image size differs from the projections: ") + ref->fileName);
    auto read = [&](ImgData* img, double* to) {
        if (rotAxIsV)
            img->readRow(slice, to);
        else
            img->readColumn(slice, to);
    };
    std::vector<double> i0, bg;
    std::vector<double> line(static_cast<size_t>(dim));
    if (ImgData* img = set.i0(); img && img->ready) {
        i0.resize(size_t(dim));
        read(img, i0.data());
    }
    if (ImgData* img = set.bg(); img && img->ready) {
        bg.resize(size_t(dim));
        read(img, bg.data());
    }
    out.resize(size_t(dim) * size_t(nth));
    long long invalid = 0, repaired = 0;
    int blankRow = -1;
    for (int p = 0; p < nth; ++p) {
        read(set.at(p), line.data());
        const SampleCheck c = absorbanceRowChecked(i0.empty() ? nullptr : i0.data(), bg.empty() ? nullptr : bg.data(),
                                                   line.data(), out.data() + size_t(p) * size_t(dim), dim);
        invalid += c.invalid;
        repaired += c.repaired;
        if (c.noCount && blankRow < 0)
            blankRow = p;
    }
    if (const QString refused = logarithmRefusal(set, invalid, repaired, qint64(dim) * nth, blankRow, maxInvalid);
        !refused.isEmpty())
        return refuse(refused);
    if (invalid > 0)
        qCInfo(lcCt).noquote() << QStringLiteral("Centre search on slice %1: %2 samples without a logarithm, %3 of "
                                                 "them repaired from their neighbours")
                                      .arg(slice).arg(invalid).arg(repaired);
    return true;
}

CorResult findCor(ImgDatas& set, bool rotAxIsV, int slice, const CorSearchOptions& options)
{
    std::vector<double> lines;
    int dim = 0;
    QString why;
    if (!absorbanceLines(set, rotAxIsV, slice, lines, dim, &why, options.maxInvalid)) {
        CorResult r;
        r.reason = why;
        return r;
    }
    return findCor(lines.data(), dim, set.count(), options);
}

QString CorLine::text() const
{
    if (!valid)
        return QStringLiteral("no centre line: ") + reason;
    return QStringLiteral("Centre of rotation %1 %2 %3 per slice (residual %4 px, %5 slices)")
        .arg(at0, 0, 'f', 2)
        .arg(slope < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(std::fabs(slope), 0, 'f', 5)
        .arg(residual, 0, 'f', 2)
        .arg(used);
}

CorLine fitCorLine(const std::vector<int>& slices, const std::vector<CorResult>& results)
{
    CorLine line;
    line.slices = slices;
    line.results = results;
    double n = 0, sx = 0, sy = 0;
    for (size_t i = 0; i < slices.size() && i < results.size(); ++i)
        if (results[i].sound) {
            n += 1;
            sx += slices[i];
            sy += results[i].cor;
        }
    line.used = int(n);
    if (n < 2) {
        line.reason = QStringLiteral("fewer than two slices gave a sound centre");
        return line;
    }
    const double mx = sx / n, my = sy / n;
    double sxx = 0, sxy = 0;
    for (size_t i = 0; i < slices.size() && i < results.size(); ++i)
        if (results[i].sound) {
            sxx += (slices[i] - mx) * (slices[i] - mx);
            sxy += (slices[i] - mx) * (results[i].cor - my);
        }
    if (!(sxx > 0)) {
        line.reason = QStringLiteral("the sound centres all lie on one slice");
        return line;
    }
    line.slope = sxy / sxx;
    line.at0 = my - line.slope * mx;
    double ss = 0;
    for (size_t i = 0; i < slices.size() && i < results.size(); ++i)
        if (results[i].sound) {
            const double d = results[i].cor - line.at(slices[i]);
            ss += d * d;
        }
    line.residual = std::sqrt(ss / n);
    line.valid = true;
    return line;
}

CorLine findCorLine(ImgDatas& set, bool rotAxIsV, int from, int to, int count, const CorSearchOptions& options)
{
    std::vector<int> slices;
    std::vector<CorResult> results;
    if (to < from)
        std::swap(from, to);
    // Only the lines loaded can be searched.
    if (const LineBand held = set.heldBand(); !held.whole() && held.rows == rotAxIsV) {
        from = std::max(from, held.first);
        to = std::min(to, held.last());
    }
    count = std::clamp(count, 2, 64);
    // Slices a little inside the ends: the outermost rows often see no sample.
    for (int i = 0; i < count; ++i) {
        const int s = from + int(std::lround((to - from) * (i + 0.5) / count));
        if (slices.empty() || slices.back() != s) {
            slices.push_back(s);
            results.push_back(findCor(set, rotAxIsV, s, options));
        }
    }
    return fitCorLine(slices, results);
}

CorResult findOffsetCor(ImgDatas& set, bool rotAxIsV, int slice, const CorSearchOptions& options)
{
    std::vector<double> lines;
    int dim = 0;
    QString why;
    CorResult r;
    if (set.count() < 4 || set.count() % 2) {
        r.reason = QStringLiteral("an offset-axis full turn needs an even number of projections, not %1").arg(set.count());
        return r;
    }
    if (!absorbanceLines(set, rotAxIsV, slice, lines, dim, &why, options.maxInvalid)) {
        r.reason = why;
        return r;
    }
    // Projection n/2 is projection 0 turned by 180 degrees and mirrored
    // about the axis. With the axis near an edge the two share only a
    // narrow part of the line, so each centre is scored by the correlation
    // of their slopes over the part it makes them share, normalised there.
    // Slopes of the lines smoothed over a few pixels: noise lives in the
    // high frequencies.
    constexpr int reach = 6;
    constexpr double sigma = 2.0;
    auto slopes = [&](const double* line, double sign) {
        std::vector<double> g(size_t(dim), 0.0), d(size_t(dim), 0.0);
        for (int x = 0; x < dim; ++x) {
            double sum = 0, wsum = 0;
            for (int k = -reach; k <= reach; ++k) {
                const double w = std::exp(-0.5 * k * k / (sigma * sigma));
                sum += w * line[std::clamp(x + k, 0, dim - 1)];
                wsum += w;
            }
            g[size_t(x)] = sum / wsum;
        }
        for (int x = reach; x < dim - reach; ++x)
            d[size_t(x)] = sign * (g[size_t(x + 1)] - g[size_t(x - 1)]) / 2;
        return d;
    };
    // Several pairs p, p + n/2 spread over the half turn average the noise out.
    const int halfTurn = set.count() / 2, pairs = std::min(halfTurn, 32);
    std::vector<std::vector<double>> as, bs;
    for (int k = 0; k < pairs; ++k) {
        const int p = int(qint64(k) * halfTurn / pairs);
        as.push_back(slopes(lines.data() + size_t(p) * size_t(dim), 1.0));
        bs.push_back(slopes(lines.data() + size_t(p + halfTurn) * size_t(dim), -1.0));
    }
    const double lo = std::max(2.0, options.from < 0 ? 0.0 : options.from);
    const double hi = std::min(dim - 3.0, options.to < 0 ? double(dim) : options.to);
    // A short overlap correlates well by chance.
    const int minOverlap = std::max(16, dim / 8);
    auto score = [&](int s) {
        // Centre s / 2: x meets s - x.
        const int x0 = std::max(2, s - (dim - 3)), x1 = std::min(dim - 3, s - 2);
        if (x1 - x0 < minOverlap)
            return -1.0;
        double ab = 0, aa = 0, bb = 0;
        for (size_t k = 0; k < as.size(); ++k)
            for (int x = x0; x <= x1; ++x) {
                const double u = as[k][size_t(x)], v = bs[k][size_t(s - x)];
                ab += u * v;
                aa += u * u;
                bb += v * v;
            }
        return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : -1.0;
    };
    const int s0 = int(std::ceil(2 * lo)), s1 = int(std::floor(2 * hi));
    std::vector<double> rho(size_t(std::max(0, s1 - s0 + 1)), -1.0);
    int best = -1;
    for (int s = s0; s <= s1; ++s) {
        rho[size_t(s - s0)] = score(s);
        if (best < 0 || rho[size_t(s - s0)] > rho[size_t(best - s0)])
            best = s;
    }
    if (best < 0 || !(rho[size_t(best - s0)] > kFlat)) {
        r.reason = QStringLiteral("flat measure");
        return r;
    }
    r.valid = true;
    double off = 0;
    if (best > s0 && best < s1)
        off = vertex(rho[size_t(best - s0 - 1)], rho[size_t(best - s0)], rho[size_t(best - s0 + 1)]);
    r.coarse = r.cor = std::round(0.5 * (best + off) * 100) / 100;
    r.match = rho[size_t(best - s0)];
    // A rival: the best score more than two pixels away.
    double second = -1;
    for (int s = s0; s <= s1; ++s)
        if (std::abs(s - best) > 4)
            second = std::max(second, rho[size_t(s - s0)]);
    if (best == s0 || best == s1)
        r.reason = QStringLiteral("peak at the edge of the range");
    else if (second >= kTwoPeaks * r.match)
        r.reason = QStringLiteral("two peaks of similar height");
    r.sound = r.reason.isEmpty();
    return r;
}
