// Writes a synthetic CT or CT-XAFS measurement of ITEX files for trying and testing.
#include "SampleWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

namespace {

const char* kUsage =
    "Usage: zuvo2-sample [options] <output directory>\n"
    "Writes a synthetic measurement of ITEX (.img) files.\n"
    "\n"
    "  -k, --kind ct|xafs     ct: one series; xafs: one series per energy (default ct)\n"
    "  -W, --width N          image width in pixels (default 256)\n"
    "  -H, --height N         image height in pixels (default 128)\n"
    "  -n, --nproj N          projections over a half turn (default 180)\n"
    "  -a, --axis v|h         rotation axis vertical or horizontal on the detector (default v)\n"
    "  -c, --cor X            centre of rotation in pixels across the axis (default size/2 + 2.5)\n"
    "  -s, --seed N           seed of the noise (default 1)\n"
    "      --noise on|off     Poisson noise on the counts (default on)\n"
    "  -e, --energies LIST    xafs energies in eV, comma-separated\n"
    "                         (default 7040 ... 7095 by 15, 7100 ... 7136 by 2, 7145 ... 7220)\n"
    "      --edge E           edge of the left absorber in eV (default 7112)\n"
    "      --edge2 E          edge of the right absorber in eV (default 7122)\n"
    "      --spectra A,B      measured spectra (energy, mu) of two chemical states; the\n"
    "                         absorbers mix them instead of having steps at --edge, --edge2\n"
    "      --fractions F,G    share of state A in the left and right absorber (default 0.3,0.8)\n"
    "      --drift PX         xafs: every energy but the first moved by up to PX pixels\n"
    "                         along and across the axis, at random (truth in drift.csv)\n"
    "  -p, --prefix TEXT      file name prefix (default ct, or Fe for xafs)\n"
    "  -t, --truth N          number of true slices written to truth/ (default 5)\n"
    "      --i0 COUNTS        beam counts at the brightest point (default 30000)\n"
    "      --bg COUNTS        dark level (default 100)\n"
    "      --turn RANGE       half (default), full (360 degrees) or full-offset (360 degrees,\n"
    "                         the head sized for an axis near one edge: give -c near an edge)\n"
    "      --phase DB,Z,E     a homogeneous cylinder in phase contrast instead of the head:\n"
    "                         delta/beta, distance in mm, energy in keV (Fresnel propagation)\n"
    "      --pixel-size UM    detector pixel size for --phase (default 1)\n"
    "  -h, --help             this text\n"
    "\n"
    "Layout: <dir>/<prefix>-0001.img ... (xafs: <prefix>-<energy>-0001.img, energy as 7_100keV),\n"
    "<dir>/i0/ (I0 images), <dir>/bg/BG.img, <dir>/truth/ (true mu, #ZUVO-CTImg text),\n"
    "<dir>/sample.txt (settings and geometry).\n";

bool toInt(const QString& s, int& v)
{
    bool ok = false;
    v = s.toInt(&ok);
    return ok;
}

bool toDouble(const QString& s, double& v)
{
    bool ok = false;
    v = s.toDouble(&ok);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();

    SampleOptions opt;
    auto fail = [](const QString& text) {
        std::fprintf(stderr, "zuvo2-sample: %s\n%s", qPrintable(text), kUsage);
        return 2;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args.at(i);
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!a.startsWith(QLatin1Char('-'))) {
            if (!opt.outDir.isEmpty())
                return fail(QStringLiteral("more than one output directory"));
            opt.outDir = a;
            continue;
        }
        if (i + 1 >= args.size())
            return fail(QStringLiteral("option %1 needs a value").arg(a));
        const QString v = args.at(++i);
        bool ok = true;
        int iv = 0;
        double dv = 0;
        if (a == QLatin1String("-k") || a == QLatin1String("--kind")) {
            opt.kind = v;
        } else if (a == QLatin1String("-W") || a == QLatin1String("--width")) {
            ok = toInt(v, opt.width);
        } else if (a == QLatin1String("-H") || a == QLatin1String("--height")) {
            ok = toInt(v, opt.height);
        } else if (a == QLatin1String("-n") || a == QLatin1String("--nproj")) {
            ok = toInt(v, opt.nProj);
        } else if (a == QLatin1String("-a") || a == QLatin1String("--axis")) {
            ok = v == QLatin1String("v") || v == QLatin1String("h");
            opt.axisVertical = v == QLatin1String("v");
        } else if (a == QLatin1String("-c") || a == QLatin1String("--cor")) {
            ok = toDouble(v, opt.cor) && opt.cor >= 0;
        } else if (a == QLatin1String("-s") || a == QLatin1String("--seed")) {
            ok = toInt(v, iv);
            opt.seed = quint32(iv);
        } else if (a == QLatin1String("--noise")) {
            ok = v == QLatin1String("on") || v == QLatin1String("off");
            opt.noise = v == QLatin1String("on");
        } else if (a == QLatin1String("-e") || a == QLatin1String("--energies")) {
            opt.energies.clear();
            for (const QString& e : v.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                ok = ok && toDouble(e, dv);
                opt.energies << dv;
            }
        } else if (a == QLatin1String("--edge")) {
            ok = toDouble(v, opt.edge);
        } else if (a == QLatin1String("--edge2")) {
            ok = toDouble(v, opt.edge2);
        } else if (a == QLatin1String("--spectra")) {
            opt.spectra = v.split(QLatin1Char(','));
        } else if (a == QLatin1String("--fractions")) {
            const QStringList f = v.split(QLatin1Char(','));
            ok = f.size() == 2 && toDouble(f[0], opt.fractions[0]) && toDouble(f[1], opt.fractions[1]);
        } else if (a == QLatin1String("--drift")) {
            ok = toDouble(v, opt.drift);
        } else if (a == QLatin1String("-p") || a == QLatin1String("--prefix")) {
            opt.prefix = v;
            ok = !v.contains(QLatin1Char('-')) && !v.contains(QLatin1Char('/'));
        } else if (a == QLatin1String("-t") || a == QLatin1String("--truth")) {
            ok = toInt(v, opt.truthSlices) && opt.truthSlices >= 0;
        } else if (a == QLatin1String("--i0")) {
            ok = toDouble(v, opt.i0Peak);
        } else if (a == QLatin1String("--bg")) {
            ok = toDouble(v, opt.bgLevel);
        } else if (a == QLatin1String("--turn")) {
            opt.turn = v;
        } else if (a == QLatin1String("--phase")) {
            const QStringList parts = v.split(QLatin1Char(','));
            ok = parts.size() == 3 && toDouble(parts[0], opt.deltaBeta) && toDouble(parts[1], opt.distanceMm)
                 && toDouble(parts[2], opt.energyKeV) && opt.deltaBeta > 0;
        } else if (a == QLatin1String("--pixel-size")) {
            ok = toDouble(v, opt.pixelUm) && opt.pixelUm > 0;
        } else {
            return fail(QStringLiteral("unknown option %1").arg(a));
        }
        if (!ok)
            return fail(QStringLiteral("bad value for %1: %2").arg(a, v));
    }
    if (opt.outDir.isEmpty())
        return fail(QStringLiteral("no output directory given"));

    SampleWriter writer(opt);
    if (!writer.valid())
        return fail(writer.error());
    QElapsedTimer t;
    t.start();
    if (!writer.write()) {
        std::fprintf(stderr, "zuvo2-sample: %s\n", qPrintable(writer.error()));
        return 1;
    }
    std::printf("%s: %d x %d, %d projections x %d energies, CoR %g, truth %d x %d, %.2f s\n",
                qPrintable(opt.outDir), opt.width, opt.height, opt.nProj, int(writer.energies().size()),
                writer.cor(), writer.truthSize(), writer.truthSize(), t.elapsed() / 1000.0);
    return 0;
}
