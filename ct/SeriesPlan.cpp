#include "SeriesPlan.h"

#include "CtCond.h"
#include "CtRunReport.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <climits>
#include <cmath>

bool SeriesPlan::slices(const QString& text, QList<int>& out)
{
    out.clear();
    const QStringList s = text.split(QLatin1Char(':'));
    if (s.size() < 2 || s.size() > 3)
        return false;
    bool ok[3] = {true, true, true};
    const int from = s[0].trimmed().toInt(&ok[0], 10);
    const int to = s[1].trimmed().toInt(&ok[1], 10);
    const int rawStep = s.size() == 3 ? s[2].trimmed().toInt(&ok[2], 10) : 1;
    if (!ok[0] || !ok[1] || !ok[2])
        return false;
    const int step = CtCond::seriesStep(from, to, rawStep);
    const long long lo = qMin(from, to), hi = qMax(from, to);
    if (step == 0) {
        out << from;
        return true;
    }
    // A step pointing away from TO deals FROM alone, as a run does.
    for (long long k = from; k >= lo && k <= hi; k += step)
        out << int(k);
    return true;
}

QStringList SeriesPlan::chunks(const QString& text, int size)
{
    QList<int> all;
    if (size < 1 || !slices(text, all))
        return {};
    const int step = all.size() > 1 ? all[1] - all[0] : 1;
    QStringList out;
    for (qsizetype i = 0; i < all.size(); i += size) {
        const int last = all[qMin(i + size, all.size()) - 1];
        out << QStringLiteral("%1:%2:%3").arg(all[i]).arg(last).arg(step);
    }
    return out;
}

QStringList SeriesPlan::ranges(const QList<int>& list, int step)
{
    QStringList out;
    if (step == 0)
        step = 1;
    for (qsizetype i = 0; i < list.size();) {
        qsizetype j = i;
        while (j + 1 < list.size() && qint64(list[j + 1]) - list[j] == step)
            ++j;
        out << QStringLiteral("%1:%2:%3").arg(list[i]).arg(list[j]).arg(step);
        i = j + 1;
    }
    return out;
}

bool SeriesPlan::parsePart(const QString& line, Part& part, QString* why)
{
    const QStringList f = line.split(QLatin1Char('\t'));
    QList<int> s;
    QString problem;
    if (f.size() != 5)
        problem = QStringLiteral("%1 fields, not 5 (out, name, slices, report, command)").arg(f.size());
    else if (f[0].isEmpty() || f[1].isEmpty() || f[3].isEmpty())
        problem = QStringLiteral("an empty output directory, name or report");
    else if (!slices(f[2], s))
        problem = QStringLiteral("slices \"%1\" are not FROM:TO[:STEP]").arg(f[2]);
    if (!problem.isEmpty()) {
        if (why)
            *why = problem;
        return false;
    }
    part = Part{f[0], f[1], f[2], f[3], f[4]};
    return true;
}

QJsonObject SeriesPlan::merge(const QList<QJsonObject>& parts, int from, int to, int step)
{
    QJsonObject o = parts.isEmpty() ? QJsonObject() : parts.first();
    QString start, end;
    QJsonArray written, files, failures;
    bool stopped = false, interrupted = false;
    int threads = 0;
    for (const QJsonObject& p : parts) {
        // ISO times of one zone sort as text.
        const QString s = p.value("start").toString(), e = p.value("end").toString();
        if (!s.isEmpty() && (start.isEmpty() || s < start))
            start = s;
        if (e > end)
            end = e;
        for (const QJsonValue& v : p.value("written").toArray())
            written << v;
        for (const QJsonValue& v : p.value("files").toArray())
            files << v;
        for (const QJsonValue& v : p.value("failures").toArray())
            failures << v;
        stopped = stopped || p.value("stopped").toBool();
        interrupted = interrupted || p.value("interrupted").toBool();
        threads = qMax(threads, p.value("threads").toInt());
    }
    o["start"] = start;
    o["end"] = end;
    o["written"] = written;
    o["files"] = files;
    o["failures"] = failures;
    o["stopped"] = stopped;
    o["interrupted"] = interrupted;
    o["threads"] = threads;
    o["parts"] = int(parts.size());
    o["slices"] = QJsonObject{{"from", from}, {"to", to}, {"step", step}};
    return o;
}

QStringList SeriesPlan::words(const QString& command)
{
    QStringList out;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const qsizetype end = command.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? command.size() : end;
            for (qsizetype k = i + 1; k < stop; ++k) {
                // Inside double quotes a backslash still quotes these.
                if (c == QLatin1Char('"') && command.at(k) == QLatin1Char('\\') && k + 1 < stop
                    && QStringLiteral("\"\\$`").contains(command.at(k + 1)))
                    ++k;
                word += command.at(k);
            }
            i = stop;
            inWord = true;
        } else if (c == QLatin1Char('\\') && i + 1 < command.size()) {
            word += command.at(++i);
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                out << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        out << word;
    return out;
}

namespace {
// The value of --name in words ("--name V" or "--name=V"); null when absent.
QString optionValue(const QStringList& words, const QString& name)
{
    const QString flag = QStringLiteral("--") + name;
    QString value;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (words[i] == flag && i + 1 < words.size())
            value = words[i + 1];
        else if (words[i].startsWith(flag + QLatin1Char('=')))
            value = words[i].mid(flag.size() + 1);
    }
    return value;
}

bool sameNumber(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max({1.0, std::fabs(a), std::fabs(b)});
}

QString text(const QJsonValue& v)
{
    if (v.isArray()) {
        QStringList parts;
        for (const QJsonValue& x : v.toArray())
            parts << text(x);
        return parts.join(QLatin1Char(','));
    }
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 10);
    if (v.isNull() || v.isUndefined())
        return QStringLiteral("none");
    return v.toVariant().toString();
}

bool sameValue(const QJsonValue& a, const QJsonValue& b)
{
    if (a.isDouble() && b.isDouble())
        return sameNumber(a.toDouble(), b.toDouble());
    if (a.isArray() && b.isArray()) {
        const QJsonArray x = a.toArray(), y = b.toArray();
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i)
            if (!sameValue(x[i], y[i]))
                return false;
        return true;
    }
    return a == b;
}

// The four corners of the data file's header; false when it has none.
bool headerRegion(const QString& path, double corners[4])
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.readLine(64).trimmed() != "#ZUVO-CTImg")
        return false;
    for (int i = 0; i < 4; ++i) {
        const QByteArray line = f.readLine(256);
        const qsizetype colon = line.indexOf(':');
        bool ok = false;
        corners[i] = colon < 0 ? 0 : line.mid(colon + 1).trimmed().toDouble(&ok);
        if (!line.startsWith("# Range_") || !ok)
            return false;
    }
    return true;
}
} // namespace

QStringList SeriesPlan::reportProblems(const QJsonObject& report, const QJsonObject& reference, const Part& part)
{
    QStringList problems;
    const QJsonObject sl = report.value("slices").toObject();
    QList<int> want, got;
    slices(part.slices, want);
    slices(QStringLiteral("%1:%2:%3").arg(sl.value("from").toInt()).arg(sl.value("to").toInt()).arg(sl.value("step").toInt()), got);
    if (!sl.contains("from") || got != want)
        problems << QStringLiteral("slices %1:%2:%3 are not the part's %4")
                        .arg(sl.value("from").toInt()).arg(sl.value("to").toInt()).arg(sl.value("step").toInt()).arg(part.slices);

    const QStringList w = words(part.command);
    const QString cor = optionValue(w, QStringLiteral("cor"));
    const bool corFit = w.contains(QStringLiteral("--cor-fit"));
    bool numeric = false;
    const double corValue = cor.toDouble(&numeric);
    if (numeric && !sameNumber(report.value("centre").toDouble(), corValue))
        problems << QStringLiteral("centre %1 is not the command's %2").arg(text(report.value("centre")), cor);
    const QString filter = optionValue(w, QStringLiteral("filter"));
    if (!filter.isEmpty()) {
        const QString name = filter.section(QLatin1Char(':'), 0, 0);
        const double cutoff = filter.contains(QLatin1Char(':')) ? filter.section(QLatin1Char(':'), 1).toDouble() : 1.0;
        if (report.value("filter").toString().compare(name, Qt::CaseInsensitive) != 0
            || !sameNumber(report.value("cutoff").toDouble(), cutoff))
            problems << QStringLiteral("filter %1:%2 is not the command's %3")
                            .arg(report.value("filter").toString(), text(report.value("cutoff")), filter);
    }
    const QString region = optionValue(w, QStringLiteral("region"));
    QJsonValue wantRegion = QStringLiteral("whole");
    if (!region.isEmpty()) {
        QJsonArray corners;
        for (const QString& c : region.split(QLatin1Char(',')))
            corners << c.trimmed().toDouble();
        wantRegion = corners;
    }
    if (!sameValue(report.value("region"), wantRegion))
        problems << QStringLiteral("region %1 is not the command's %2").arg(text(report.value("region")), text(wantRegion));

    // Every part reads the same series with the same settings.
    QStringList keys{"inputDir", "pattern", "inputFile", "fileCount", "imageSize", "i0", "bg",
                     "filter", "cutoff", "axis", "angles", "precision", "ringRemoval", "calculator"};
    if (!numeric && !corFit && cor.compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0)
        keys << QStringLiteral("centre");
    if (corFit)
        keys << QStringLiteral("centrePerSlice");
    for (const QString& k : keys) {
        if (!sameValue(report.value(k), reference.value(k)))
            problems << QStringLiteral("%1 %2 is not the other parts' %3").arg(k, text(report.value(k)), text(reference.value(k)));
    }
    return problems;
}

QStringList SeriesPlan::fileProblems(const QString& path, const QList<QJsonObject>& records, const QJsonValue& region)
{
    QStringList problems;
    const QFileInfo fi(path);
    const QString absolute = fi.absoluteFilePath();
    const QJsonObject* record = nullptr;
    for (const QJsonObject& r : records) {
        const QString f = r.value("file").toString();
        // A directory moved as a whole keeps its names.
        if (f == absolute || (!record && QFileInfo(f).fileName() == fi.fileName()))
            record = &r;
    }
    if (!record)
        return {QStringLiteral("no run report records it")};
    qint64 size = -1;
    const QString hash = CtRunReport::sha256(path, &size);
    const qint64 recorded = qint64(record->value("size").toDouble(-1));
    if (hash.isEmpty())
        problems << QStringLiteral("cannot be read");
    else if (size != recorded)
        problems << QStringLiteral("%1 bytes, its run report says %2").arg(size).arg(recorded);
    else if (hash != record->value("sha256").toString())
        problems << QStringLiteral("its content is not the one its run report records (SHA-256)");
    if (fi.suffix() == QLatin1String("dat")) {
        double c[4];
        if (!headerRegion(path, c))
            problems << QStringLiteral("no CT data header");
        else if (region.isArray() ? !sameValue(QJsonArray{c[0], c[1], c[2], c[3]}, region)
                                  : !(c[0] == 0 && c[1] == 0 && c[2] > 0 && c[2] == c[3]))
            problems << QStringLiteral("header region %1,%2,%3,%4 is not the run's %5")
                            .arg(c[0]).arg(c[1]).arg(c[2]).arg(c[3]).arg(text(region));
    }
    return problems;
}
