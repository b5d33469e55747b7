#include "SeriesListing.h"

#include "FileEnergy.h"
#include "FileIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace {
// A name split around its last run of digits.
struct Numbered
{
    QString prefix, suffix;
    qint64 number = -1;
};

bool splitNumber(const QString& name, Numbered& out)
{
    int end = int(name.size());
    while (end > 0 && !name.at(end - 1).isDigit())
        --end;
    int start = end;
    while (start > 0 && name.at(start - 1).isDigit())
        --start;
    // Up to 18 digits fit a qint64 with room to spare.
    if (start == end || end - start > 18)
        return false;
    bool ok = false;
    out.number = name.mid(start, end - start).toLongLong(&ok);
    out.prefix = name.left(start);
    out.suffix = name.mid(end);
    return ok;
}
// Why some of paths are no readable regular files, naming them; empty when
// all are.
QString unreadable(const QStringList& paths)
{
    QStringList bad;
    for (const QString& p : paths) {
        QString problem = FileIdentity::kindProblem(p);
        if (problem.isEmpty() && ::access(QFile::encodeName(p).constData(), R_OK) != 0)
            problem = QStringLiteral("not readable");
        if (!problem.isEmpty())
            bad << QStringLiteral("%1 (%2)").arg(QFileInfo(p).fileName(), problem);
    }
    if (bad.isEmpty())
        return {};
    return QStringLiteral("%1 of %2 matching entries are not readable files: %3%4")
        .arg(bad.size())
        .arg(paths.size())
        .arg(bad.mid(0, 5).join(QStringLiteral(", ")), bad.size() > 5 ? QStringLiteral(", ...") : QString());
}
} // namespace

QString SeriesListing::Result::text() const
{
    if (files.isEmpty())
        return refusal;
    if (energies)
        return QStringLiteral("%1 files in energy order, %2 (%3 eV) to %4 (%5 eV)")
            .arg(files.size())
            .arg(QFileInfo(files.first()).fileName())
            .arg(fileEnergy(files.first()), 0, 'g', 10)
            .arg(QFileInfo(files.last()).fileName())
            .arg(fileEnergy(files.last()), 0, 'g', 10);
    QString t = QStringLiteral("%1 projection files in %2 order, %3 to %4")
                    .arg(files.size())
                    .arg(numeric ? QStringLiteral("numeric") : QStringLiteral("name"),
                         QFileInfo(files.first()).fileName(), QFileInfo(files.last()).fileName());
    if (!gaps.isEmpty())
        t += QStringLiteral("; numbers missing (accepted): ") + gaps;
    return t;
}

QString SeriesListing::runsText(const QList<QPair<qint64, qint64>>& runs, int most)
{
    QStringList parts;
    for (const auto& [lo, hi] : runs) {
        if (parts.size() == most) {
            parts << QStringLiteral("...");
            break;
        }
        parts << (lo == hi ? QString::number(lo) : QStringLiteral("%1-%2").arg(lo).arg(hi));
    }
    return parts.join(QStringLiteral(", "));
}

QStringList SeriesListing::entries(const QString& dir, const QStringList& patterns)
{
    // System: FIFOs, devices, sockets and dangling links are listed too.
    QDir d(dir);
    const QStringList names = d.entryList(patterns, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                          QDir::Name);
    QStringList paths;
    paths.reserve(names.size());
    for (const QString& n : names)
        paths << d.absoluteFilePath(n);
    return paths;
}

SeriesListing::Result SeriesListing::order(const QStringList& paths, const QStringList& references,
                                           bool allowGaps)
{
    Result r;
    QList<FileIdentity> refs;
    for (const QString& ref : references)
        if (const FileIdentity id = FileIdentity::of(ref); id.valid)
            refs << id;
    QStringList kept;
    for (const QString& p : paths) {
        const FileIdentity id = FileIdentity::of(p);
        if (id.valid && refs.contains(id)) {
            r.removed << p;
            continue;
        }
        kept << p;
    }
    r.refusal = unreadable(kept);
    if (!r.refusal.isEmpty())
        return r;
    if (kept.isEmpty()) {
        r.refusal = QStringLiteral("no projection files left once the I0 and BG files are taken out");
        return r;
    }
    // Numeric order only when every name is the same around its number.
    QList<Numbered> nums;
    bool numeric = kept.size() > 1;
    for (const QString& p : kept) {
        Numbered n;
        if (!numeric || !splitNumber(QFileInfo(p).fileName(), n)
            || (!nums.isEmpty() && (n.prefix != nums.first().prefix || n.suffix != nums.first().suffix))) {
            numeric = false;
            break;
        }
        nums << n;
    }
    if (!numeric) {
        r.files = kept;
        return r;
    }
    QList<qsizetype> index(kept.size());
    for (qsizetype i = 0; i < index.size(); ++i)
        index[i] = i;
    std::stable_sort(index.begin(), index.end(),
                     [&](qsizetype a, qsizetype b) { return nums.at(a).number < nums.at(b).number; });
    QStringList repeated;
    QList<QPair<qint64, qint64>> missing;
    for (qsizetype k = 1; k < index.size(); ++k) {
        const qint64 prev = nums.at(index.at(k - 1)).number, cur = nums.at(index.at(k)).number;
        if (cur == prev)
            repeated << QStringLiteral("%1 and %2").arg(QFileInfo(kept.at(index.at(k - 1))).fileName(),
                                                        QFileInfo(kept.at(index.at(k))).fileName());
        else if (cur > prev + 1)
            missing << qMakePair(prev + 1, cur - 1);
    }
    const QString range = QStringLiteral("%1 to %2").arg(QFileInfo(kept.at(index.first())).fileName(),
                                                         QFileInfo(kept.at(index.last())).fileName());
    if (!repeated.isEmpty()) {
        r.refusal = QStringLiteral("numbers used twice in %1: %2").arg(range, repeated.mid(0, 5).join(QStringLiteral(", ")));
        return r;
    }
    if (!missing.isEmpty()) {
        if (!allowGaps) {
            r.refusal = QStringLiteral("numbers missing from %1: %2 (a gap is accepted with images_allow_gaps 1 "
                                       "or --allow-gaps)").arg(range, runsText(missing));
            return r;
        }
        r.gaps = runsText(missing);
    }
    r.numeric = true;
    for (qsizetype i : index)
        r.files << kept.at(i);
    return r;
}

SeriesListing::Result SeriesListing::byEnergy(const QStringList& paths)
{
    Result r;
    r.refusal = unreadable(paths);
    if (!r.refusal.isEmpty())
        return r;
    QList<QPair<double, QString>> byE;
    QStringList none;
    for (const QString& p : paths) {
        const double e = fileEnergy(p);
        if (!(e > 0) || !std::isfinite(e))
            none << QFileInfo(p).fileName();
        byE << qMakePair(e, p);
    }
    if (!none.isEmpty()) {
        r.refusal = QStringLiteral("%1 of %2 names carry no energy (between their last two \"-\", as in "
                                   "I0-7_112keV-0001.img): %3%4")
                        .arg(none.size())
                        .arg(paths.size())
                        .arg(none.mid(0, 5).join(QStringLiteral(", ")), none.size() > 5 ? QStringLiteral(", ...") : QString());
        return r;
    }
    std::stable_sort(byE.begin(), byE.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList twice;
    for (qsizetype k = 1; k < byE.size(); ++k)
        if (byE.at(k).first == byE.at(k - 1).first)
            twice << QStringLiteral("%1 and %2 (%3 eV)")
                         .arg(QFileInfo(byE.at(k - 1).second).fileName(), QFileInfo(byE.at(k).second).fileName())
                         .arg(byE.at(k).first, 0, 'g', 10);
    if (!twice.isEmpty()) {
        r.refusal = QStringLiteral("energies used twice: %1; choose one file per energy with the pattern")
                        .arg(twice.mid(0, 5).join(QStringLiteral(", ")));
        return r;
    }
    r.energies = true;
    for (const auto& [e, p] : byE)
        r.files << p;
    return r;
}

SeriesListing::Result SeriesListing::list(const QString& dir, const QStringList& patterns,
                                          const QStringList& references, bool allowGaps)
{
    const QFileInfo info(dir);
    if (!info.isDir() || !info.isReadable()) {
        Result r;
        r.refusal = QStringLiteral("cannot read the directory %1").arg(dir);
        return r;
    }
    const QStringList paths = entries(dir, patterns);
    if (paths.isEmpty()) {
        Result r;
        r.refusal = QStringLiteral("no files match %1 in %2").arg(patterns.join(QLatin1Char(' ')), dir);
        return r;
    }
    return order(paths, references, allowGaps);
}
