// zuvo2-series: cuts a slice series into chunks, and checks a series that
// ran in parts (the tasks of a cluster job array): every data file there,
// one run report of the parts' reports, the slices missing with the
// commands that make only them.
#include "CtFiles.h"
#include "CtRunReport.h"
#include "SafeWrite.h"
#include "SeriesPlan.h"
#include "VolumeWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {
enum Exit { Ok = 0, Missing = 1, Usage = 2 };

const char* kUsage =
    "Usage: zuvo2-series chunks FROM:TO[:STEP] N\n"
    "       zuvo2-series check PLAN\n"
    "       zuvo2-series join-volumes OUT.h5 PART.h5...\n"
    "chunks: prints the series in runs of N slices, one FROM:TO:STEP a line.\n"
    "check: PLAN has one line per part: output directory, name, slices, run report\n"
    "and command (with {slices} for FROM:TO:STEP), separated by tabs. Checks that\n"
    "every data file OUT/NAME-%05d.dat of every part is there, removes temporary\n"
    "files an ended task left, writes OUT/NAME-run.json from the parts' reports and\n"
    "prints the slices missing with the commands that make only them.\n"
    "join-volumes: makes OUT.h5 a virtual dataset \"volume\" of the parts' volumes\n"
    "(zuvo2-recon --volume PART.h5), one after the other, without copying them.\n"
    "Exit status: 0 every file there (volumes joined), 1 some missing (a volume not\n"
    "joined), 2 bad usage.\n";

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

int usage(const QString& why)
{
    err() << "zuvo2-series: " << why << "\n" << kUsage;
    return Usage;
}

struct Group
{
    QString out, name;
    QList<int> slices;
    QList<int> missing;
    QList<QJsonObject> reports;
    QStringList noReport;
    // Command of each missing slice's part.
    QMap<int, QString> commandOf;
};

int check(const QString& planFile)
{
    QFile f(planFile);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return usage(QStringLiteral("cannot read the plan %1").arg(planFile));
    std::vector<Group> groups;
    int lineNo = 0;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        ++lineNo;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        SeriesPlan::Part part;
        QString why;
        if (!SeriesPlan::parsePart(line, part, &why))
            return usage(QStringLiteral("%1, line %2: %3").arg(planFile).arg(lineNo).arg(why));
        auto g = std::find_if(groups.begin(), groups.end(),
                              [&](const Group& x) { return x.out == part.out && x.name == part.name; });
        if (g == groups.end()) {
            groups.push_back(Group{part.out, part.name, {}, {}, {}, {}, {}});
            g = groups.end() - 1;
        }
        QList<int> s;
        SeriesPlan::slices(part.slices, s);
        for (int slice : s) {
            g->slices << slice;
            const QFileInfo data(QDir(part.out).filePath(
                CtFiles::sliceName(part.name + QStringLiteral(".dat"), QString(), slice, QStringLiteral("dat"))));
            if (!data.isFile() || data.size() == 0) {
                g->missing << slice;
                g->commandOf[slice] = part.command;
            }
        }
        QFile r(part.report);
        const QJsonDocument doc = r.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(r.readAll()) : QJsonDocument();
        if (doc.isObject())
            g->reports << doc.object();
        else
            g->noReport << part.report;
    }
    if (groups.empty())
        return usage(QStringLiteral("the plan %1 names no part").arg(planFile));

    int total = 0, missing = 0;
    for (Group& g : groups) {
        // A task ended by force may leave the temporary file of a slice.
        QDir dir(g.out);
        for (const QString& t : dir.entryList({g.name + QStringLiteral("-*.part-*")}, QDir::Files))
            if (dir.remove(t))
                out() << g.name << ": removed the unfinished " << t << "\n";
        const int step = g.slices.size() > 1 ? g.slices[1] - g.slices[0] : 1;
        QJsonObject merged = SeriesPlan::merge(g.reports, g.slices.value(0), g.slices.value(g.slices.size() - 1), step);
        const QStringList gaps = SeriesPlan::ranges(g.missing, step);
        merged["missingSlices"] = QJsonArray::fromStringList(gaps);
        merged["partsWithoutReport"] = QJsonArray::fromStringList(g.noReport);
        const QString reportPath = dir.filePath(CtRunReport::fileName(g.name + QStringLiteral(".dat"), QString()));
        QString error;
        const QByteArray text = QJsonDocument(merged).toJson();
        if (!SafeWrite::write(reportPath, [&](QIODevice* d, QString&) { return d->write(text) == text.size(); }, &error))
            err() << "zuvo2-series: " << error << "\n";
        total += int(g.slices.size());
        missing += int(g.missing.size());
        out() << g.name << ": " << g.slices.size() - g.missing.size() << " of " << g.slices.size()
              << " slices written to " << g.out << ", report " << reportPath << "\n";
        for (const QString& p : g.noReport)
            out() << g.name << ": no run report " << p << "\n";
        if (gaps.isEmpty())
            continue;
        out() << g.name << ": missing slices " << gaps.join(QStringLiteral(" ")) << "\n";
        for (const QString& gap : gaps) {
            QString cmd = g.commandOf.value(gap.section(QLatin1Char(':'), 0, 0).toInt());
            out() << "re-run: " << cmd.replace(QStringLiteral("{slices}"), gap) << "\n";
        }
    }
    out() << (missing == 0 ? "complete" : "INCOMPLETE") << ": " << total - missing << " of " << total
          << " slices written\n";
    return missing == 0 ? Ok : Missing;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments().mid(1);
    if (a.value(0) == QLatin1String("-h") || a.value(0) == QLatin1String("--help")) {
        out() << kUsage;
        return Ok;
    }
    if (a.value(0) == QLatin1String("chunks") && a.size() == 3) {
        bool ok = false;
        const int n = a[2].toInt(&ok, 10);
        const QStringList c = ok ? SeriesPlan::chunks(a[1], n) : QStringList();
        if (c.isEmpty())
            return usage(QStringLiteral("chunks needs FROM:TO[:STEP] and a size of 1 or more, not %1 %2").arg(a[1], a[2]));
        out() << c.join(QLatin1Char('\n')) << "\n";
        return Ok;
    }
    if (a.value(0) == QLatin1String("check") && a.size() == 2)
        return check(a[1]);
    if (a.value(0) == QLatin1String("join-volumes") && a.size() >= 3) {
        QString why;
        if (!VolumeWriter::joinHdf5(a[1], a.mid(2), &why)) {
            err() << "zuvo2-series: " << why << "\n";
            return Missing;
        }
        out() << "joined " << a.size() - 2 << " volumes into " << a[1] << "\n";
        return Ok;
    }
    return usage(QStringLiteral("unknown command"));
}
