#include "SeriesPlan.h"

#include "CtCond.h"

#include <QJsonArray>

#include <climits>

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
    QJsonArray written, failures;
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
        for (const QJsonValue& v : p.value("failures").toArray())
            failures << v;
        stopped = stopped || p.value("stopped").toBool();
        interrupted = interrupted || p.value("interrupted").toBool();
        threads = qMax(threads, p.value("threads").toInt());
    }
    o["start"] = start;
    o["end"] = end;
    o["written"] = written;
    o["failures"] = failures;
    o["stopped"] = stopped;
    o["interrupted"] = interrupted;
    o["threads"] = threads;
    o["parts"] = int(parts.size());
    o["slices"] = QJsonObject{{"from", from}, {"to", to}, {"step", step}};
    return o;
}
