#include "SampleWriter.h"

#include "PhaseSample.h"

#include "Logging.h"
#include "ItexWriter.h"
#include "XafsNormalize.h"
#include "XafsReference.h"

#include <QDebug>
#include <QDir>
#include <QRunnable>
#include "SafeWrite.h"
#include <QTextStream>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <vector>

namespace {

// mt19937 gives the same sequence on every platform, unlike the standard distributions, so the
// same seed gives the same files with any compiler.
double uniform01(std::mt19937& g)
{
    return (double(g()) + 0.5) / 4294967296.0;
}

// Normal deviates by Box-Muller, both values of each pair used.
class Gauss
{
public:
    explicit Gauss(std::mt19937& g)
        : rng(g)
    {
    }
    double operator()()
    {
        if (haveSpare) {
            haveSpare = false;
            return spare;
        }
        const double r = std::sqrt(-2.0 * std::log(uniform01(rng)));
        const double a = 2.0 * M_PI * uniform01(rng);
        spare = r * std::sin(a);
        haveSpare = true;
        return r * std::cos(a);
    }
    std::mt19937& rng;

private:
    double spare = 0;
    bool haveSpare = false;
};

const double kReadNoise = 2.0; // dark noise of the detector, counts

// Photon counts with mean lambda plus the detector's read noise.
double noisyCount(double lambda, Gauss& gauss)
{
    if (lambda <= 0)
        return kReadNoise * gauss();
    if (lambda > 50) // normal limit of the Poisson law, both variances in one draw
        return lambda + std::sqrt(lambda + kReadNoise * kReadNoise) * gauss();
    const double limit = std::exp(-lambda);
    double p = 1.0;
    int k = -1;
    do {
        ++k;
        p *= uniform01(gauss.rng);
    } while (p > limit && k < 1000);
    return k + kReadNoise * gauss();
}

quint16 toCount(double v)
{
    if (!(v > 0))
        return 0;
    if (v >= 65535.0)
        return 65535;
    return quint16(std::lround(v));
}

int indexDigits(int n)
{
    return std::max(4, int(QString::number(n).size()));
}

} // namespace

SampleWriter::SampleWriter(const SampleOptions& options)
    : opt(options)
{
}

int SampleWriter::axisDim() const
{
    return opt.axisVertical ? opt.width : opt.height;
}

int SampleWriter::alongDim() const
{
    return opt.axisVertical ? opt.height : opt.width;
}

double SampleWriter::cor() const
{
    return opt.cor >= 0 ? opt.cor : std::floor(axisDim() / 2.0) + 2.5;
}

double SampleWriter::corAt(int along) const
{
    const int n = alongDim();
    return n > 1 ? cor() + opt.tilt * (double(along) / (n - 1) - 0.5) : cor();
}

double SampleWriter::axisCentre() const
{
    return std::floor(alongDim() / 2.0);
}

int SampleWriter::truthSize() const
{
    const double c = cor();
    const double nearSide = std::min(c, axisDim() - c - 1.0), farSide = std::max(c, axisDim() - c - 1.0);
    const int half = int(std::floor(opt.turn == QLatin1String("full-offset") ? farSide : nearSide));
    return 2 * half - 2;
}

double SampleWriter::radius() const
{
    // The head reaches 0.92 radius from the axis: keep it inside the grid.
    return 0.95 * (truthSize() / 2.0) / 0.92;
}

double SampleWriter::halfHeight() const
{
    return 0.45 * alongDim();
}

QList<int> SampleWriter::truthIndices() const
{
    QList<int> list;
    const int n = opt.deltaBeta > 0 ? 0 : std::max(0, std::min(opt.truthSlices, alongDim()));
    for (int i = 0; i < n; ++i) {
        const int r = int(std::lround(double(alongDim()) * (i + 1) / (n + 1)));
        if (list.isEmpty() || list.last() != r)
            list << std::min(r, alongDim() - 1);
    }
    return list;
}

QList<double> SampleWriter::energies() const
{
    if (opt.kind != QLatin1String("xafs"))
        return { 0.0 };
    if (!opt.energies.isEmpty())
        return opt.energies;
    QList<double> grid{7040.0, 7055.0, 7070.0, 7085.0, 7095.0};
    for (double e = 7100.0; e <= 7136.0; e += 2.0)
        grid << e;
    grid << 7145.0 << 7160.0 << 7180.0 << 7200.0 << 7220.0;
    return grid;
}

QString SampleWriter::prefix() const
{
    if (!opt.prefix.isEmpty())
        return opt.prefix;
    return opt.kind == QLatin1String("xafs") ? QStringLiteral("Fe") : QStringLiteral("ct");
}

Phantom SampleWriter::phantom(double energyEv) const
{
    if (opt.kind == QLatin1String("xafs") && !opt.spectra.isEmpty()) {
        // The tanh absorber's levels: 0.1 below the edge, a jump of 0.3.
        const double slope = std::pow(opt.edge / energyEv, 3.0);
        double a[2];
        for (int k = 0; k < 2; ++k) {
            const double mix = opt.fractions[k] * state(0, energyEv) + (1 - opt.fractions[k]) * state(1, energyEv);
            a[k] = Phantom::absorberAmount(k) * (0.1 * slope + 0.3 * mix);
        }
        return Phantom::xafsWith(radius(), halfHeight(), energyEv, opt.edge, a);
    }
    if (opt.kind == QLatin1String("xafs"))
        return Phantom::xafs(radius(), halfHeight(), energyEv, opt.edge, opt.edge2);
    return Phantom::head(radius(), halfHeight());
}

void SampleWriter::absorberPixel(int k, int& slice, double& x, double& z) const
{
    double X = 0, Y = 0, Z = 0;
    Phantom::absorberCentre(radius(), halfHeight(), k, X, Y, Z);
    slice = int(std::lround(axisCentre() + Y));
    x = X + truthSize() / 2.0;
    z = Z + truthSize() / 2.0;
}

double SampleWriter::i0At(int c, int r, double energyEv) const
{
    // Smooth beam: brightest near the middle, a slight tilt, a slow drift with energy.
    const double dx = (c - opt.width / 2.0) / (0.5 * opt.width);
    const double dy = (r - opt.height / 2.0) / (0.5 * opt.height);
    double scale = 1.0;
    if (energyEv > 0)
        scale = std::max(0.5, 1.0 + 0.05 * (energyEv - opt.edge) / 100.0);
    return opt.i0Peak * scale * (0.72 + 0.25 * std::exp(-(dx * dx + dy * dy) / 1.5) + 0.03 * dx);
}

double SampleWriter::bgAt(int c, int r) const
{
    return opt.bgLevel + 4.0 * std::sin(2.0 * M_PI * c / 37.0) * std::cos(2.0 * M_PI * r / 23.0);
}

QString SampleWriter::energyText(double energyEv)
{
    QString s = QString::number(energyEv / 1000.0, 'f', 6);
    while (s.endsWith(QLatin1Char('0')) && s.size() - s.indexOf(QLatin1Char('.')) > 4)
        s.chop(1);
    s.replace(QLatin1Char('.'), QLatin1Char('_'));
    return s + QStringLiteral("keV");
}

QString SampleWriter::seriesName(int index, double energyEv) const
{
    const QString idx = QStringLiteral("%1").arg(index + 1, indexDigits(opt.nProj), 10, QLatin1Char('0'));
    if (opt.kind == QLatin1String("xafs"))
        return prefix() + QLatin1Char('-') + energyText(energyEv) + QLatin1Char('-') + idx + QStringLiteral(".img");
    return prefix() + QLatin1Char('-') + idx + QStringLiteral(".img");
}

QString SampleWriter::i0Name(double energyEv) const
{
    if (opt.kind == QLatin1String("xafs"))
        return QStringLiteral("i0/I0-") + energyText(energyEv) + QStringLiteral("-0001.img");
    return QStringLiteral("i0/I0.img");
}

QString SampleWriter::bgName() const
{
    return QStringLiteral("bg/BG.img");
}

QString SampleWriter::truthName(int slice, double energyEv) const
{
    const QString idx = QStringLiteral("%1").arg(slice, 5, 10, QLatin1Char('0'));
    if (opt.kind == QLatin1String("xafs"))
        return QStringLiteral("truth/truth-") + energyText(energyEv) + QLatin1Char('-') + idx + QStringLiteral(".dat");
    return QStringLiteral("truth/truth-") + idx + QStringLiteral(".dat");
}

double SampleWriter::state(int k, double energyEv) const
{
    const std::vector<double>& e = stateEnergy[k];
    const std::vector<double>& v = stateNorm[k];
    if (e.size() < 2)
        return 0;
    const size_t j = std::clamp<size_t>(size_t(std::upper_bound(e.begin(), e.end(), energyEv) - e.begin()), 1, e.size() - 1);
    const double t = (energyEv - e[j - 1]) / (e[j] - e[j - 1]);
    return v[j - 1] + t * (v[j] - v[j - 1]);
}

void SampleWriter::driftAt(double energyEv, double& dx, double& dz) const
{
    dx = dz = 0;
    const QList<double> es = energies();
    if (opt.drift <= 0 || es.isEmpty() || energyEv == es.front())
        return;
    std::mt19937 g(streamSeed(9, quint32(std::lround(energyEv * 1000.0))));
    std::uniform_real_distribution<double> u(-opt.drift, opt.drift);
    dx = u(g);
    dz = u(g);
}

bool SampleWriter::writeDrift() const
{
    QByteArray text = "energy_eV,dx_px,dz_px\n";
    for (double e : energies()) {
        double dx = 0, dz = 0;
        driftAt(e, dx, dz);
        text += QByteArray::number(e, 'g', 10) + ',' + QByteArray::number(dx, 'f', 4) + ',' + QByteArray::number(dz, 'f', 4) + '\n';
    }
    return SafeWrite::writeBytes(QDir(opt.outDir).filePath(QStringLiteral("drift.csv")), text, nullptr);
}

quint32 SampleWriter::streamSeed(quint32 stream, quint32 index) const
{
    // splitmix-style mixing so neighbouring images get unrelated streams.
    quint64 z = (quint64(opt.seed) << 32) ^ (quint64(stream) * 0x9E3779B97F4A7C15ull) ^ index;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return quint32(z ^ (z >> 32));
}

bool SampleWriter::valid()
{
    err.clear();
    if (opt.kind != QLatin1String("ct") && opt.kind != QLatin1String("xafs"))
        err = QStringLiteral("kind must be ct or xafs");
    else if (opt.turn != QLatin1String("half") && opt.turn != QLatin1String("full") && opt.turn != QLatin1String("full-offset"))
        err = QStringLiteral("turn must be half, full or full-offset");
    else if (opt.deltaBeta > 0 && !(opt.distanceMm > 0 && opt.energyKeV > 0 && opt.pixelUm > 0))
        err = QStringLiteral("phase contrast needs a distance, an energy and a pixel size above 0");
    else if (opt.width < 8 || opt.height < 8 || opt.width > 16384 || opt.height > 16384)
        err = QStringLiteral("width and height must lie in 8 .. 16384");
    else if (opt.nProj < 1 || opt.nProj > 100000)
        err = QStringLiteral("the number of projections must lie in 1 .. 100000");
    else if (!(cor() >= 0) || truthSize() < 4)
        err = QStringLiteral("the centre of rotation must lie well inside the detector");
    else if (opt.outDir.isEmpty())
        err = QStringLiteral("no output directory");
    else if (!(opt.i0Peak > opt.bgLevel) || opt.bgLevel < 0 || opt.i0Peak > 60000)
        err = QStringLiteral("beam counts must exceed the dark level and stay below 60000");
    for (double e : energies())
        if (opt.kind == QLatin1String("xafs") && !(e > 0))
            err = QStringLiteral("energies must be positive");
    if (err.isEmpty() && !(opt.drift >= 0 && opt.drift <= 0.25 * std::min(axisDim(), alongDim())))
        err = QStringLiteral("the drift must lie between 0 and a quarter of the image");
    if (err.isEmpty() && !opt.spectra.isEmpty()) {
        if (opt.spectra.size() != 2)
            err = QStringLiteral("give two spectra, one per chemical state");
        const QList<double> es = energies();
        for (int k = 0; err.isEmpty() && k < 2; ++k) {
            XafsReference r;
            XafsNormalize fit;
            QString why;
            if (!(opt.fractions[k] >= 0 && opt.fractions[k] <= 1))
                err = QStringLiteral("fractions must lie in 0 .. 1");
            else if (!r.load(opt.spectra[k], &why))
                err = why;
            else if (!fit.fit(r.energy.data(), r.value.data(), int(r.energy.size())))
                err = QStringLiteral("%1: %2").arg(opt.spectra[k], fit.why());
            else if (*std::min_element(es.begin(), es.end()) < r.energy.front()
                     || *std::max_element(es.begin(), es.end()) > r.energy.back())
                err = QStringLiteral("%1 does not cover the energies").arg(opt.spectra[k]);
            if (err.isEmpty()) {
                stateEnergy[k] = r.energy;
                stateNorm[k] = fit.normalised(r.energy.data(), r.value.data(), int(r.energy.size()));
            }
        }
    }
    if (!err.isEmpty())
        qCDebug(lcData).noquote() << QStringLiteral("Sample writer: ") + err;
    return err.isEmpty();
}

bool SampleWriter::write()
{
    if (!valid())
        return false;
    QDir dir(opt.outDir);
    for (const char* sub : { "i0", "bg", "truth" }) {
        if (!dir.mkpath(QLatin1String(sub))) {
            err = QStringLiteral("can not make directories in ") + opt.outDir;
            qCDebug(lcData).noquote() << QStringLiteral("Sample writer: ") + err;
            return false;
        }
    }
    if (!writeBg())
        return false;
    for (double e : energies()) {
        if (!writeI0(e) || !writeSeries(e))
            return false;
        for (int s : truthIndices())
            if (!writeTruth(s, e))
                return false;
    }
    if (opt.kind == QLatin1String("xafs") && opt.drift > 0 && !writeDrift()) {
        err = QStringLiteral("can not write drift.csv");
        return false;
    }
    return writeInfo();
}

bool SampleWriter::writeBg()
{
    const int w = opt.width, h = opt.height;
    std::vector<quint16> px(size_t(w) * h);
    std::mt19937 g(streamSeed(1, 0));
    Gauss gauss(g);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            double v = bgAt(c, r);
            if (opt.noise)
                v += kReadNoise * gauss();
            px[size_t(r) * w + c] = toCount(v);
        }
    ItexWriter wr(w, h, 2);
    wr.expTime = opt.expTime;
    if (!wr.write16(QDir(opt.outDir).filePath(bgName()), px.data())) {
        err = QStringLiteral("can not write ") + bgName();
        return false;
    }
    return true;
}

bool SampleWriter::writeI0(double energyEv)
{
    const int w = opt.width, h = opt.height;
    std::vector<quint16> px(size_t(w) * h);
    std::mt19937 g(streamSeed(2, quint32(std::lround(energyEv * 1000.0))));
    Gauss gauss(g);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            const double bg = bgAt(c, r);
            double v = i0At(c, r, energyEv);
            if (opt.noise)
                v = bg + noisyCount(v - bg, gauss);
            px[size_t(r) * w + c] = toCount(v);
        }
    ItexWriter wr(w, h, 2);
    wr.expTime = opt.expTime;
    if (!wr.write16(QDir(opt.outDir).filePath(i0Name(energyEv)), px.data())) {
        err = QStringLiteral("can not write ") + i0Name(energyEv);
        return false;
    }
    return true;
}

bool SampleWriter::writeSeries(double energyEv)
{
    const int w = opt.width, h = opt.height;
    const size_t n = size_t(w) * h;
    const Phantom ph = phantom(energyEv);
    std::vector<double> i0(n), bg(n);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            i0[size_t(r) * w + c] = i0At(c, r, energyEv);
            bg[size_t(r) * w + c] = bgAt(c, r);
        }
    const quint32 stream = 3 + quint32(std::lround(energyEv * 1000.0));
    const double centre = axisCentre();
    const int along = alongDim(), across = axisDim();
    double dx = 0, dz = 0;
    driftAt(energyEv, dx, dz);
    const double dAcross = opt.axisVertical ? dx : dz, dAlong = opt.axisVertical ? dz : dx;

    // A phase-contrast cylinder about the axis looks the same from every angle.
    std::vector<double> phase;
    if (opt.deltaBeta > 0) {
        PhaseCylinder c;
        c.deltaBeta = opt.deltaBeta;
        c.distanceMm = opt.distanceMm;
        c.energyKeV = opt.energyKeV;
        c.pixelUm = opt.pixelUm;
        c.radiusPx = 0.6 * radius();
        c.axisPx = cor();
        c.centreAbsorbance = 0.5;
        phase = c.intensity(across);
    }
    std::atomic<int> next { 0 };
    std::atomic<bool> failed { false };
    // Projections are independent; each worker takes the next one and writes it.
    auto work = [&]() {
        std::vector<quint16> px(n);
        std::vector<double> line(static_cast<size_t>(across));
        ItexWriter wr(w, h, 2);
        wr.expTime = opt.expTime;
        for (int p = next++; p < opt.nProj && !failed; p = next++) {
            const double theta = (opt.turn == QLatin1String("half") ? M_PI : 2.0 * M_PI) * p / opt.nProj;
            std::mt19937 g(streamSeed(stream, quint32(p)));
            Gauss gauss(g);
            for (int a = 0; a < along; ++a) {
                if (phase.empty())
                    ph.projectLine(theta, a - centre - dAlong, -corAt(a) - dAcross, across, line.data());
                for (int k = 0; k < across; ++k) {
                    const size_t at = opt.axisVertical ? size_t(a) * w + k : size_t(k) * w + a;
                    const double signal = (i0[at] - bg[at]) * (phase.empty() ? std::exp(-line[size_t(k)]) : phase[size_t(k)]);
                    double v = bg[at] + signal;
                    if (opt.noise)
                        v = bg[at] + noisyCount(signal, gauss);
                    px[at] = toCount(v);
                }
            }
            if (!wr.write16(QDir(opt.outDir).filePath(seriesName(p, energyEv)), px.data()))
                failed = true;
        }
    };
    QThreadPool pool;
    const int threads = std::max(1, std::min(QThread::idealThreadCount(), opt.nProj));
    for (int t = 1; t < threads; ++t)
        pool.start(work);
    work();
    pool.waitForDone();
    if (failed) {
        err = QStringLiteral("can not write the series into ") + opt.outDir;
        return false;
    }
    return true;
}

bool SampleWriter::writeTruth(int slice, double energyEv) const
{
    const int nn = truthSize();
    const Phantom ph = phantom(energyEv);
    const QString path = QDir(opt.outDir).filePath(truthName(slice, energyEv));
    SafeWrite sw(path);
    QIODevice& f = *sw.device();
    if (!sw.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qCDebug(lcData).noquote() << QStringLiteral("Sample writer: can not open ") + path;
        return false;
    }
    QTextStream out(&f);
    out << "#ZUVO-CTImg\n";
    out << "# Range_X0       : " << 0 << "\n";
    out << "# Range_Y0       : " << 0 << "\n";
    out << "# Range_X1       : " << nn << "\n";
    out << "# Range_Y1       : " << nn << "\n";
    out << "# sx,sy, ex,ey   : " << 0 << "\t" << 0 << "\t" << nn << "\t" << nn << "\n";
    out.flush();
    const double Y = slice - axisCentre();
    QByteArray buf;
    for (int z = 0; z < nn; ++z) {
        buf.clear();
        for (int x = 0; x < nn; ++x) {
            double m = ph.mu(x - nn / 2.0, Y, z - nn / 2.0);
            if (std::fabs(m) < 1e-12) // overlapping ellipsoids that cancel
                m = 0;
            // Locale-free "%g", as the text stream writes doubles.
            buf += QByteArray::number(x) + '\t' + QByteArray::number(z) + '\t' + QByteArray::number(m, 'g', 6) + '\n';
        }
        f.write(buf);
    }
    out.flush();
    if (!sw.commit()) {
        qCDebug(lcData).noquote() << QStringLiteral("Sample writer: can not write ") + path;
        return false;
    }
    return true;
}

bool SampleWriter::writeInfo() const
{
    const QString path = QDir(opt.outDir).filePath(QStringLiteral("sample.txt"));
    SafeWrite sw(path);
    QIODevice& f = *sw.device();
    if (!sw.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qCDebug(lcData).noquote() << QStringLiteral("Sample writer: can not open ") + path;
        return false;
    }
    QTextStream out(&f);
    out << "# Synthetic measurement; geometry as documented in data/Phantom.h\n";
    out << "kind=" << opt.kind << "\n";
    out << "width=" << opt.width << "\n";
    out << "height=" << opt.height << "\n";
    out << "nProj=" << opt.nProj << "\n";
    out << "axis=" << (opt.axisVertical ? "v" : "h") << "\n";
    out << "cor=" << QString::number(cor(), 'g', 10) << "\n";
    if (opt.tilt != 0)
        out << "tilt=" << QString::number(opt.tilt, 'g', 10) << "\n";
    out << "axisCentre=" << axisCentre() << "\n";
    out << "truthSize=" << truthSize() << "\n";
    QStringList slices;
    for (int s : truthIndices())
        slices << QString::number(s);
    out << "truthSlices=" << slices.join(QLatin1Char(',')) << "\n";
    out << "seed=" << opt.seed << "\n";
    out << "noise=" << (opt.noise ? "on" : "off") << "\n";
    out << "prefix=" << prefix() << "\n";
    out << "i0Peak=" << opt.i0Peak << "\n";
    out << "bgLevel=" << opt.bgLevel << "\n";
    if (opt.kind == QLatin1String("xafs")) {
        QStringList es;
        for (double e : energies())
            es << QString::number(e, 'g', 10);
        out << "energies=" << es.join(QLatin1Char(',')) << "\n";
        out << "edge=" << QString::number(opt.edge, 'g', 10) << "\n";
        out << "edge2=" << QString::number(opt.edge2, 'g', 10) << "\n";
        if (!opt.spectra.isEmpty()) {
            out << "spectra=" << opt.spectra.join(QLatin1Char(',')) << "\n";
            out << "fractions=" << opt.fractions[0] << "," << opt.fractions[1] << "\n";
        }
        if (opt.drift > 0)
            out << "drift=" << opt.drift << "\n";
    }
    out.flush();
    return sw.commit();
}
