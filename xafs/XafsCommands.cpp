#include "XafsCommands.h"

#include "XafsSession.h"

#include <cmath>

namespace {
using A = BatchArgs;
using C = BatchCmd;
using X = XafsCommands::Context;
using K = Failures::Kind;

// n finite numbers from the arguments.
bool reals(const C& c, int n, double* out, QString& why)
{
    if (c.args.size() < n) {
        why = QStringLiteral("%1 numbers are needed, %2 given").arg(n).arg(c.args.size());
        return false;
    }
    for (int i = 0; i < n; ++i) {
        bool ok = false;
        out[i] = c.args[i].toDouble(&ok);
        if (!ok || !std::isfinite(out[i])) {
            why = QStringLiteral("\"%1\" is not a number").arg(c.args[i]);
            return false;
        }
    }
    return true;
}

bool map(X& x, const A& a, XafsMaps::Kind k, K& kind, QString& why)
{
    if (a.text.isEmpty()) {
        kind = Failures::Command;
        why = QStringLiteral("a file name is missing");
        return false;
    }
    kind = Failures::Write;
    return x.session.exportMap(k, a.text, &why);
}
} // namespace

QString XafsCommands::optionName(const char* word)
{
    QString w = QString::fromLatin1(word);
    if (w.startsWith(QLatin1String("xafs_")))
        w = w.mid(5);
    return w.replace(QLatin1Char('_'), QLatin1Char('-'));
}

// The settings of the analysis.
std::vector<XafsCommands::Row> XafsCommands::settingRows()
{
    return {
        {"xafs_element", A::none(), "SYMBOL EDGE", "absorbing element and edge written to XDI files (Fe K)",
         [](X& x, const C& c, const A&, K& kind, QString& why) {
             kind = Failures::Command;
             if (c.args.size() != 2) {
                 why = QStringLiteral("give SYMBOL EDGE, e.g. Fe K");
                 return false;
             }
             return x.session.setElement(c.args[0], c.args[1], &why);
         },
         false},
        {"xafs_mono_d", A::realArg(), "ANGSTROM", "monochromator d-spacing written to XDI files",
         [](X& x, const C&, const A& a, K& kind, QString& why) {
             kind = Failures::Command;
             return x.session.setMonoD(a.real, &why);
         },
         false},
        {"xafs_fit_ranges", A::regionArg(), "PRE1 PRE2 POST1 POST2",
         "normalisation ranges in eV from E0 (default -60 -15 20 100)",
         [](X& x, const C&, const A& a, K& kind, QString& why) {
             kind = Failures::Command;
             XafsRanges r = x.session.ranges();
             r.pre1 = a.region[0];
             r.pre2 = a.region[1];
             r.post1 = a.region[2];
             r.post2 = a.region[3];
             return x.session.setRanges(r, &why);
         },
         false},
        {"xafs_post_order", A::intArg(1, 2), "1|2", "post-edge fit: 1 line (default), 2 quadratic",
         [](X& x, const C&, const A& a, K& kind, QString& why) {
             kind = Failures::Command;
             XafsRanges r = x.session.ranges();
             r.postOrder = a.integer;
             return x.session.setRanges(r, &why);
         },
         false},
        {"xafs_e0_method", A::none(), "derivative|half-jump|fixed E|smoothed",
         "how E0 is found: largest derivative of the unsmoothed spectrum (default), where the normalised spectrum "
         "crosses 0.5, a fixed energy in eV, or the derivative of the 1-2-1 smoothed spectrum (older results)",
         [](X& x, const C& c, const A&, K& kind, QString& why) {
             kind = Failures::Command;
             XafsRanges r = x.session.ranges();
             if (c.args.isEmpty() || !XafsRanges::methodOf(c.args[0], r.e0Method)) {
                 why = QStringLiteral("give derivative, half-jump, fixed E or smoothed%1")
                           .arg(c.args.isEmpty() ? QString() : QStringLiteral(", not %1").arg(c.args[0]));
                 return false;
             }
             if (r.e0Method == XafsE0Method::Fixed) {
                 bool ok = false;
                 r.fixedE0 = c.args.value(1).toDouble(&ok);
                 if (!ok) {
                     why = QStringLiteral("fixed needs the energy in eV");
                     return false;
                 }
             } else if (c.args.size() > 1) {
                 why = QStringLiteral("%1 takes no energy").arg(c.args[0]);
                 return false;
             }
             return x.session.setRanges(r, &why);
         },
         false},
        {"xafs_jump_threshold", A::realArg(), "JUMP",
         "smallest edge jump that counts in the E0 map, the mask, fits and classes (default 0)",
         [](X& x, const C&, const A& a, K&, QString&) {
             x.session.setThreshold(a.real);
             return true;
         },
         false},
        {"xafs_lcf_window", A::none(), "LO HI", "linear-combination fit window in eV from E0 (default -20 80)",
         [](X& x, const C& c, const A&, K& kind, QString& why) {
             kind = Failures::Command;
             double v[2];
             if (!reals(c, 2, v, why))
                 return false;
             XafsLcfWindow w;
             w.lo = v[0];
             w.hi = v[1];
             return x.session.setLcfWindow(w, &why);
         },
         false},
        {"xafs_lcf_sum_to_one", A::flagArg(), "0|1", "fractions of a fit sum to 1 (default 0)",
         [](X& x, const C&, const A& a, K&, QString&) {
             x.session.setSumToOne(a.flag);
             return true;
         },
         false},
    };
}

// The stack and the references, then the outputs.
std::vector<XafsCommands::Row> XafsCommands::stackAndOutputRows()
{
    return {
        {"xafs_stack_load", A::dirPatterns(), "DIR PATTERN", "loads the energy stack of one slice",
         [](X& x, const C&, const A& a, K& kind, QString& why) {
             kind = Failures::Command;
             if (a.patterns.size() != 1) {
                 why = QStringLiteral("give a directory and one file-name pattern");
                 return false;
             }
             kind = Failures::Load;
             return x.session.loadStack(a.text, a.patterns.first(), &why);
         },
         false},
        {"xafs_references_load", A::none(), "FILE...",
         "reference spectra for linear-combination fits (CSV or XDI; mu or normalised mu)",
         [](X& x, const C& c, const A&, K& kind, QString& why) {
             kind = Failures::Load;
             return x.session.loadReferences(c.args, &why);
         },
         false},
        {"xafs_align", A::none(), "DIR ENERGY FILE",
         "shift of every energy set of a data directory against the set at ENERGY (eV), as CSV (shifts.csv)",
         [](X& x, const C& c, const A&, K& kind, QString& why) {
             kind = Failures::Command;
             bool ok = false;
             const double e = c.args.value(1).toDouble(&ok);
             if (c.args.size() != 3 || !ok) {
                 why = QStringLiteral("give the data directory, the reference energy in eV and the CSV file");
                 return false;
             }
             kind = Failures::Write;
             return x.session.exportAlignment(c.args[0], e, c.args[2], &why, x.progress);
         },
         true},
        {"xafs_roi_spectrum", A::regionFileArg(), "X0 Z0 X1 Z1 FILE", "spectrum of a rectangle as CSV or XDI",
         [](X& x, const C&, const A& a, K& kind, QString& why) {
             kind = Failures::Write;
             return x.session.exportSpectrum(XafsRoi::rect(a.region[0], a.region[1], a.region[2], a.region[3]), a.text, &why);
         },
         true},
        {"xafs_edge_map", A::textArg(), "FILE", "E0 map",
         [](X& x, const C&, const A& a, K& kind, QString& why) { return map(x, a, XafsMaps::E0, kind, why); }, true},
        {"xafs_jump_map", A::textArg(), "FILE", "edge-jump map",
         [](X& x, const C&, const A& a, K& kind, QString& why) { return map(x, a, XafsMaps::Jump, kind, why); }, true},
        {"xafs_mask_map", A::textArg(), "FILE", "mask map (1, 2 where E0 is questionable)",
         [](X& x, const C&, const A& a, K& kind, QString& why) { return map(x, a, XafsMaps::Mask, kind, why); }, true},
        {"xafs_lcf_map", A::textArg(), "DIR",
         "fraction maps (lcf_NAME.tif per reference), lcf_sum.tif and lcf_rfactor.tif as float TIFFs",
         [](X& x, const C&, const A& a, K& kind, QString& why) {
             kind = Failures::Write;
             return x.session.exportLcfMaps(a.text, &why, x.progress);
         },
         true},
        {"xafs_lcf_roi", A::regionFileArg(), "X0 Z0 X1 Z1 FILE",
         "fractions of a rectangle's spectrum with their errors, and the fit, as CSV",
         [](X& x, const C&, const A& a, K& kind, QString& why) {
             kind = Failures::Write;
             return x.session.exportLcfRegion(XafsRoi::rect(a.region[0], a.region[1], a.region[2], a.region[3]), a.text, &why);
         },
         true},
        {"xafs_pca", A::textArg(), "FILE", "explained variance of the principal components of the normalised spectra, CSV",
         [](X& x, const C&, const A& a, K& kind, QString& why) {
             kind = Failures::Write;
             if (a.text.isEmpty()) {
                 why = QStringLiteral("a file name is missing");
                 return false;
             }
             return x.session.exportPca(a.text, &why, x.progress);
         },
         true},
        {"xafs_cluster_map", A::none(), "K DIR",
         "k-means classes of the spectra: clusters.tif (class 1..K) and clusters.csv (mean spectra)",
         [](X& x, const C& c, const A&, K& kind, QString& why) {
             kind = Failures::Command;
             bool ok = false;
             const int k = c.args.value(0).toInt(&ok, 10);
             if (!ok || k < 1 || c.args.size() < 2) {
                 why = QStringLiteral("give K (a whole number from 1) and a directory");
                 return false;
             }
             kind = Failures::Write;
             return x.session.exportClusters(k, c.args[1], &why, x.progress);
         },
         true},
    };
}

const std::vector<XafsCommands::Row>& XafsCommands::table()
{
    static const std::vector<Row> rows = [] {
        std::vector<Row> all = settingRows();
        for (const Row& r : stackAndOutputRows())
            all.push_back(r);
        return all;
    }();
    return rows;
}

int XafsCommands::find(const QString& word)
{
    const std::vector<Row>& t = table();
    for (size_t i = 0; i < t.size(); ++i)
        if (word.compare(QLatin1String(t[i].word), Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

bool XafsCommands::run(Context& x, const BatchCmd& c, Failures::Kind* kind, QString* why)
{
    const int r = find(c.cmd);
    Failures::Kind k = Failures::Command;
    QString w;
    bool ok = false;
    if (r < 0) {
        w = BatchArgs::where(c) + QStringLiteral(": not an XAFS word");
    } else {
        BatchArgs a;
        if (!a.parse(c, table()[size_t(r)].rule))
            w = a.error;
        else if (!(ok = table()[size_t(r)].handler(x, c, a, k, w)))
            w = BatchArgs::where(c) + QStringLiteral(": ") + w;
    }
    if (!ok) {
        if (kind)
            *kind = k;
        if (why)
            *why = w;
    }
    return ok;
}
