// CT-XAFS analysis speed: writes COUNT slices of SIZE x SIZE pixels over
// energy (float TIFFs, and a few CT data files to time the text reader),
// builds the energy stack, the edge-jump, E0 and mask maps and the
// linear-combination fraction maps against three references, and prints
// the times. Everything written is removed again.
#include "CtFiles.h"
#include "Phantom.h"
#include "TiffWriter.h"
#include "XafsAlign.h"
#include "XafsLcf.h"
#include "XafsMaps.h"
#include "XafsReference.h"
#include "XafsStack.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {
const char* kUsage =
    "Usage: bench_xafs [-s SIZE] [-n COUNT] [-d DATAFILES] [directory]\n"
    "Writes COUNT slices of SIZE x SIZE values (default 100 of 1024 x 1024, 400 MB) as float\n"
    "TIFFs into the directory (default: a temporary one), builds the energy stack from them\n"
    "and the maps with one thread and with all; then times DATAFILES (default 5) of the same\n"
    "slices as CT data text files. The files are deleted afterwards.\n";

// Energies of a XANES scan: coarse below and above, fine across the edge.
std::vector<double> energies(int count)
{
    std::vector<double> e;
    const int pre = count / 5, post = count / 5, edge = count - pre - post;
    for (int i = 0; i < pre; ++i)
        e.push_back(7000.0 + i * 95.0 / std::max(1, pre));
    for (int i = 0; i < edge; ++i)
        e.push_back(7095.0 + i * 40.0 / std::max(1, edge));
    for (int i = 0; i < post; ++i)
        e.push_back(7135.0 + (i + 1) * 105.0 / std::max(1, post));
    return e;
}

// Absorber in a disc, with its edge shifting across the slice.
void slice(int n, double energy, std::vector<float>& out)
{
    out.resize(size_t(n) * size_t(n));
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const double dx = x - n / 2.0, dz = z - n / 2.0;
            const bool in = dx * dx + dz * dz < 0.16 * n * n;
            const double edge = 7110.0 + 10.0 * x / n;
            out[size_t(z) * size_t(n) + size_t(x)] = in ? float(Phantom::edgeAbsorber(energy, edge)) : 0.0f;
        }
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    int size = 1024, count = 100, dataFiles = 5;
    QString dirPath;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args.at(i);
        if ((a == QLatin1String("-s") || a == QLatin1String("-n") || a == QLatin1String("-d")) && i + 1 < args.size()) {
            bool ok = false;
            const int v = args.at(++i).toInt(&ok);
            if (!ok || v < 0 || v > 8192 || (v < 5 && a != QLatin1String("-d"))) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            (a == QLatin1String("-s") ? size : a == QLatin1String("-n") ? count : dataFiles) = v;
        } else if (a.startsWith(QLatin1Char('-'))) {
            std::fputs(kUsage, a == QLatin1String("-h") ? stdout : stderr);
            return a == QLatin1String("-h") ? 0 : 2;
        } else {
            dirPath = a;
        }
    }
    QTemporaryDir tmp(dirPath.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_xafs-XXXXXX")
                                        : QDir(dirPath).filePath(QStringLiteral("bench_xafs-XXXXXX")));
    if (!tmp.isValid()) {
        std::fprintf(stderr, "bench_xafs: can not make a directory\n");
        return 1;
    }
    const std::vector<double> e = energies(count);
    std::vector<float> img;
    QElapsedTimer t;
    t.start();
    for (double en : e) {
        slice(size, en, img);
        const QString field = QString::number(en, 'f', 2).replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString name = QStringLiteral("s-%1eV-00001.tif").arg(field);
        QString why;
        if (!writeFloatTiff(tmp.filePath(name), img.data(), size, size, QString(), &why)) {
            std::fprintf(stderr, "bench_xafs: %s\n", qPrintable(why));
            return 1;
        }
    }
    std::printf("wrote %d float TIFFs of %d x %d in %.2f s\n", count, size, size, t.elapsed() / 1000.0);

    XafsStack st;
    QString why;
    t.restart();
    if (!st.load(tmp.path(), QStringLiteral("s-*.tif"), &why)) {
        std::fprintf(stderr, "bench_xafs: %s\n", qPrintable(why));
        return 1;
    }
    const double loadS = t.elapsed() / 1000.0;
    std::printf("stack of %d energies from float TIFFs: %.2f s (%.0f MB/s)\n", st.count(), loadS,
                double(st.values.size()) * 4 / 1e6 / std::max(loadS, 1e-3));
    const int all = QThread::idealThreadCount();
    for (int threads : {1, all}) {
        t.restart();
        const XafsMaps m = XafsMaps::compute(st, XafsRanges(), 0.05, threads);
        const double s = t.elapsed() / 1000.0;
        std::printf("maps (jump, E0, mask), %d thread%s: %.2f s, %.2f us per fitted pixel (%d fitted)\n", threads,
                    threads == 1 ? "" : "s", s, s * 1e6 / std::max(1, m.fitted), m.fitted);
        if (all == 1)
            break;
    }

    // Three references on a fine grid: edges across the slice's range.
    std::vector<XafsReference> refs(3);
    for (int r = 0; r < 3; ++r) {
        std::vector<double> re, rv;
        for (double x = 6950; x <= 7300; x += 0.5) {
            re.push_back(x);
            rv.push_back(Phantom::edgeAbsorber(x, 7110.0 + 5.0 * r) * (1.0 + 0.1 * r * std::exp(-(x - 7125) * (x - 7125) / 50)));
        }
        if (!refs[size_t(r)].set(QStringLiteral("ref%1").arg(r), re, rv, false, &why)) {
            std::fprintf(stderr, "bench_xafs: %s\n", qPrintable(why));
            return 1;
        }
    }
    XafsLcf lcf;
    if (!lcf.prepare(refs, XafsRanges(), XafsLcfWindow(), false, st.energies, &why)) {
        std::fprintf(stderr, "bench_xafs: %s\n", qPrintable(why));
        return 1;
    }
    for (int threads : {1, all}) {
        t.restart();
        const XafsLcfMaps m = XafsLcfMaps::compute(st, 0.05, lcf, threads);
        const double s = t.elapsed() / 1000.0;
        std::printf("LCF maps (%d references, %d energies in the window), %d thread%s: %.2f s, %.2f us per fitted pixel (%d fitted)\n",
                    lcf.k(), lcf.w(), threads, threads == 1 ? "" : "s", s, s * 1e6 / std::max(1, m.fitted), m.fitted);
        if (all == 1)
            break;
    }

    // Alignment: one energy is 12 projections (4 angles and their
    // neighbours) of 512 x 512 pixels measured against the reference's.
    {
        const int side = 512;
        std::vector<float> a(size_t(side) * side), b(a.size());
        for (int z = 0; z < side; ++z)
            for (int x = 0; x < side; ++x) {
                const double u = x - side / 2.0, v = z - side / 2.0;
                a[size_t(z) * side + size_t(x)] = float(std::exp(-(u * u + v * v) / 20000.0) + 0.3 * std::sin(x * 0.11) * std::cos(z * 0.07));
                const double u2 = u - 3.3, v2 = v + 1.7;
                b[size_t(z) * side + size_t(x)] = float(std::exp(-(u2 * u2 + v2 * v2) / 20000.0) + 0.3 * std::sin((x - 3.3) * 0.11) * std::cos((z + 1.7) * 0.07));
            }
        XafsAlign align;
        XafsShift sh;
        t.restart();
        for (int k = 0; k < 12; ++k)
            align.measure(a.data(), b.data(), side, side, sh, &why);
        std::printf("alignment of 512 x 512 projections: %.2f s per energy (12 projections; shift %.2f, %.2f px, true 3.30, -1.70)\n",
                    t.elapsed() / 1000.0, sh.dx, sh.dz);
    }

    if (dataFiles > 0) {
        QTemporaryDir text(tmp.path() + QStringLiteral("/text-XXXXXX"));
        std::vector<double> v(size_t(size) * size_t(size));
        for (int k = 0; k < dataFiles && k < count; ++k) {
            // Reconstructed slices are noisy everywhere: six significant digits per line.
            const float* p = st.image(k);
            for (size_t i = 0; i < v.size(); ++i)
                v[i] = p[i] + 1e-3 * double((i * 2654435761u) % 1000) / 1000.0;
            const QString name = QStringLiteral("s-%1-00001.dat").arg(k + 1);
            if (!CtFiles::saveData(text.filePath(name), v.data(), size, 0, 0, size, size)) {
                std::fprintf(stderr, "bench_xafs: can not write %s\n", qPrintable(name));
                return 1;
            }
        }
        XafsStack ts;
        t.restart();
        if (!ts.load(text.path(), QStringLiteral("s-*.dat"), &why)) {
            std::fprintf(stderr, "bench_xafs: %s\n", qPrintable(why));
            return 1;
        }
        const double s = t.elapsed() / 1000.0;
        std::printf("%d CT data files of %d x %d: %.2f s, %.2f s per file (%d files would take %.0f s)\n", ts.count(),
                    size, size, s, s / ts.count(), count, s / ts.count() * count);
    }
    return 0;
}
