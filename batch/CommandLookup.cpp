#include "CommandLookup.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {
const char* const controlWords[] = {":ifok", ":ifng", ":goto", ":end", ":stop", ":echo"};
const int nearMiss = 2;
} // namespace

CommandLookup::CommandLookup(const QStringList& words)
{
    for (int i = 0; i < words.size(); ++i) {
        upper << words.at(i).toUpper();
        rows.insert(upper.last(), i);
    }
}

int CommandLookup::find(const QString& word) const
{
    return rows.value(word.toUpper(), -1);
}

bool CommandLookup::isControlWord(const QString& word)
{
    for (const char* c : controlWords)
        if (word.compare(QLatin1String(c), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

int CommandLookup::editDistance(const QString& a0, const QString& b0, int limit)
{
    // Cheap refusal first: words this far apart in length (a huge label,
    // say) never reach the table.
    if (std::abs(qint64(a0.size()) - qint64(b0.size())) > limit)
        return limit + 1;
    const QString a = a0.toUpper(), b = b0.toUpper();
    const qsizetype n = a.size(), m = b.size();
    // Three rows of the optimal-string-alignment table.
    std::vector<int> prev2(size_t(m + 1)), prev(size_t(m + 1)), cur(size_t(m + 1));
    for (qsizetype j = 0; j <= m; ++j)
        prev[size_t(j)] = int(j);
    for (qsizetype i = 1; i <= n; ++i) {
        cur[0] = int(i);
        for (qsizetype j = 1; j <= m; ++j) {
            const int cost = a.at(i - 1) == b.at(j - 1) ? 0 : 1;
            int d = std::min({prev[size_t(j)] + 1, cur[size_t(j - 1)] + 1, prev[size_t(j - 1)] + cost});
            if (i > 1 && j > 1 && a.at(i - 1) == b.at(j - 2) && a.at(i - 2) == b.at(j - 1))
                d = std::min(d, prev2[size_t(j - 2)] + 1);
            cur[size_t(j)] = d;
        }
        std::swap(prev2, prev);
        std::swap(prev, cur);
    }
    return std::min(prev[size_t(m)], limit + 1);
}

QString CommandLookup::notACommand(const BatchCmd& cmd) const
{
    if (cmd.cmd.isEmpty() || isControlWord(cmd.cmd))
        return QString();
    bool meant = !cmd.args.isEmpty();
    for (qsizetype i = 0; !meant && i < upper.size(); ++i)
        meant = editDistance(cmd.cmd, upper.at(i), nearMiss) <= nearMiss;
    if (!meant && cmd.cmd.startsWith(QLatin1Char(':')))
        for (const char* c : controlWords)
            meant = meant || editDistance(cmd.cmd, QLatin1String(c), nearMiss) <= nearMiss;
    if (!meant)
        return QString();
    return QStringLiteral("Not a command, line %1: %2").arg(cmd.lineNo).arg(cmd.cmd);
}
