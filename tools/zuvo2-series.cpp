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
#include <QRegularExpression>
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
    "every data file OUT/NAME-%05d.dat of every part is there and is the file its\n"
    "run report records (size, SHA-256, header region), that every part has its\n"
    "report and that the report's settings are the plan's (centre, filter, region,\n"
    "series); removes temporary files of tasks that ended (a file still being\n"
    "written stays), writes OUT/NAME-run.json from the parts' reports and prints\n"
    "each failing file and the slices missing with the commands that make only them.\n"
    "join-volumes: makes OUT.h5 a virtual dataset \"volume\" of the parts' volumes\n"
    "(zuvo2-recon --volume PART.h5), one after the other, without copying them.\n"
    "Exit status: 0 every file there and sound (volumes joined), 1 something missing\n"
    "or failing (a volume not joined), 2 bad usage.\n";

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
    // Slices without a data file that can be trusted.
    QList<int> missing;
    QList<QJsonObject> reports;
    QStringList noReport;
    // What is wrong with each file or part, one line each.
    QStringList problems;
    // Command of each missing slice's part.
    QMap<int, QString> commandOf;
};

QJsonObject readReport(const QString& path)
{
    QFile r(path);
    const QJsonDocument doc = r.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(r.readAll()) : QJsonDocument();
    return doc.object();
}

// The reports a part's re-runs wrote: its command's --report with {slices}
// taken as any text.
QList<QJsonObject> rerunReports(const QString& command)
{
    QList<QJsonObject> out;
    const QStringList w = SeriesPlan::words(command);
    const qsizetype i = w.indexOf(QStringLiteral("--report"));
    if (i < 0 || i + 1 >= w.size() || !w[i + 1].contains(QStringLiteral("{slices}")))
        return out;
    const QFileInfo pattern(w[i + 1]);
    QDir dir(pattern.absolutePath());
    QString glob = pattern.fileName();
    glob.replace(QStringLiteral("{slices}"), QStringLiteral("*"));
    for (const QString& f : dir.entryList({glob}, QDir::Files, QDir::Time | QDir::Reversed))
        if (const QJsonObject o = readReport(dir.filePath(f)); !o.isEmpty())
            out << o;
    return out;
}

QList<QJsonObject> recordsOf(const QList<QJsonObject>& reports)
{
    QList<QJsonObject> out;
    for (const QJsonObject& r : reports)
        for (const QJsonValue& v : r.value("files").toArray())
            out << v.toObject();
    return out;
}

// Reads the plan's parts; false with the usage status in *rc when it cannot.
bool readPlan(const QString& planFile, std::vector<SeriesPlan::Part>& parts, int* rc)
{
    QFile f(planFile);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *rc = usage(QStringLiteral("cannot read the plan %1").arg(planFile));
        return false;
    }
    int lineNo = 0;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        ++lineNo;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        SeriesPlan::Part part;
        QString why;
        if (!SeriesPlan::parsePart(line, part, &why)) {
            *rc = usage(QStringLiteral("%1, line %2: %3").arg(planFile).arg(lineNo).arg(why));
            return false;
        }
        parts.push_back(part);
    }
    if (parts.empty()) {
        *rc = usage(QStringLiteral("the plan %1 names no part").arg(planFile));
        return false;
    }
    return true;
}

// One part's slices into its group: written and recorded, or missing with
// the command that makes them; reference: the series' first report.
void checkPart(const SeriesPlan::Part& part, const QJsonObject& reference, Group* g)
{
    // A report counts only when it is this part's, made with the plan's settings.
    QList<QJsonObject> trusted;
    QList<QJsonObject> candidates;
    const QJsonObject own = readReport(part.report);
    if (own.isEmpty())
        g->noReport << part.report;
    else
        candidates << own;
    candidates << rerunReports(part.command);
    for (const QJsonObject& r : candidates) {
        const QStringList why = SeriesPlan::reportProblems(r, reference, part);
        if (why.isEmpty()) {
            trusted << r;
            continue;
        }
        // A re-run report covers only some slices, and its name may match
        // another series' re-runs: it counts when its settings fit, and is
        // passed over otherwise (the files it made then have no record).
        if (r != own) {
            if (why.filter(QRegularExpression(QStringLiteral("^(?!slices )"))).isEmpty())
                trusted << r;
            continue;
        }
        g->problems << QStringLiteral("the run report of slices %1 does not fit the plan: %2")
                           .arg(part.slices, why.join(QStringLiteral("; ")));
    }
    if (!own.isEmpty() && trusted.contains(own))
        g->reports << own;
    const QList<QJsonObject> records = recordsOf(trusted);
    const QJsonValue region = trusted.isEmpty() ? QJsonValue() : trusted.first().value("region");
    QList<int> s;
    SeriesPlan::slices(part.slices, s);
    for (int slice : s) {
        g->slices << slice;
        const QString path = QDir(part.out).filePath(
            CtFiles::sliceName(part.name + QStringLiteral(".dat"), QString(), slice, QStringLiteral("dat")));
        const QFileInfo data(path);
        bool good = data.isFile() && data.size() > 0;
        if (good) {
            const QStringList why = SeriesPlan::fileProblems(path, records, region);
            if (!why.isEmpty()) {
                g->problems << data.fileName() + QStringLiteral(": ") + why.join(QStringLiteral("; "));
                good = false;
            }
        }
        if (!good) {
            g->missing << slice;
            g->commandOf[slice] = part.command;
        }
    }
}

// The group's merged report written, its temporary leftovers cleared and its
// state told; adds its slices to total, missing and unfit.
void finishGroup(Group& g, int& total, int& missing, int& unfit)
{
    // A task ended by force may leave the temporary file of a slice; one
    // still being written stays.
    QDir dir(g.out);
    for (const QString& t : dir.entryList({g.name + QStringLiteral("-*.part-*")}, QDir::Files | QDir::Hidden)) {
        if (!SafeWrite::isTempName(t))
            continue;
        if (SafeWrite::writerGone(dir.filePath(t)) && dir.remove(t))
            out() << g.name << ": removed the unfinished " << t << "\n";
        else
            out() << g.name << ": kept " << t << ", still being written\n";
    }
    const int step = g.slices.size() > 1 ? g.slices[1] - g.slices[0] : 1;
    QJsonObject merged = SeriesPlan::merge(g.reports, g.slices.value(0), g.slices.value(g.slices.size() - 1), step);
    std::sort(g.missing.begin(), g.missing.end(), [step](int a, int b) { return step < 0 ? a > b : a < b; });
    const QStringList gaps = SeriesPlan::ranges(g.missing, step);
    merged["missingSlices"] = QJsonArray::fromStringList(gaps);
    merged["partsWithoutReport"] = QJsonArray::fromStringList(g.noReport);
    merged["problems"] = QJsonArray::fromStringList(g.problems);
    const QString reportPath = dir.filePath(CtRunReport::fileName(g.name + QStringLiteral(".dat"), QString()));
    QString error;
    const QByteArray text = QJsonDocument(merged).toJson();
    if (!SafeWrite::write(reportPath, [&](QIODevice* d, QString&) { return d->write(text) == text.size(); }, &error))
        err() << "zuvo2-series: " << error << "\n";
    total += int(g.slices.size());
    missing += int(g.missing.size());
    // A part without its report fails through its files: none of them
    // is recorded unless a re-run recorded it.
    unfit += int(g.problems.size());
    out() << g.name << ": " << g.slices.size() - g.missing.size() << " of " << g.slices.size()
          << " slices written to " << g.out << ", report " << reportPath << "\n";
    for (const QString& p : g.noReport)
        out() << g.name << ": no run report " << p << "\n";
    for (const QString& p : g.problems)
        out() << g.name << ": FAILED " << p << "\n";
    if (gaps.isEmpty())
        return;
    out() << g.name << ": missing slices " << gaps.join(QStringLiteral(" ")) << "\n";
    for (const QString& gap : gaps) {
        QString cmd = g.commandOf.value(gap.section(QLatin1Char(':'), 0, 0).toInt());
        out() << "re-run: " << cmd.replace(QStringLiteral("{slices}"), gap) << "\n";
    }
}

int check(const QString& planFile)
{
    std::vector<Group> groups;
    std::vector<SeriesPlan::Part> parts;
    int rc = 0;
    if (!readPlan(planFile, parts, &rc))
        return rc;

    // The first report found of a series (one output directory and name) is
    // what its other parts are compared with.
    QMap<QString, QJsonObject> references;
    const auto seriesKey = [](const SeriesPlan::Part& p) { return p.out + QLatin1Char('\n') + p.name; };
    for (const SeriesPlan::Part& part : parts)
        if (references.value(seriesKey(part)).isEmpty())
            references[seriesKey(part)] = readReport(part.report);

    for (const SeriesPlan::Part& part : parts) {
        auto g = std::find_if(groups.begin(), groups.end(),
                              [&](const Group& x) { return x.out == part.out && x.name == part.name; });
        if (g == groups.end()) {
            groups.push_back(Group{part.out, part.name, {}, {}, {}, {}, {}, {}});
            g = groups.end() - 1;
        }
        checkPart(part, references.value(seriesKey(part)), &*g);
    }

    int total = 0, missing = 0, unfit = 0;
    for (Group& g : groups)
        finishGroup(g, total, missing, unfit);
    const bool complete = missing == 0 && unfit == 0;
    out() << (complete ? "complete" : "INCOMPLETE") << ": " << total - missing << " of " << total
          << " slices written\n";
    return complete ? Ok : Missing;
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
