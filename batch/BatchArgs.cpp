#include "BatchArgs.h"

#include <algorithm>
#include <cmath>

QString BatchArgs::shown(double v)
{
    return QString::number(v, 'g', 12);
}

QString BatchArgs::rangeText(double min, double max)
{
    if (std::isinf(min) && std::isinf(max))
        return QString();
    if (std::isinf(max))
        return QStringLiteral(" (at least %1)").arg(shown(min));
    if (std::isinf(min))
        return QStringLiteral(" (at most %1)").arg(shown(max));
    return QStringLiteral(" (%1 to %2)").arg(shown(min), shown(max));
}

QString BatchArgs::where(const BatchCmd& cmd)
{
    return QStringLiteral("%1, line %2").arg(cmd.cmd).arg(cmd.lineNo);
}

bool BatchArgs::fail(const BatchCmd& cmd, const QString& why)
{
    error = where(cmd) + QStringLiteral(": ") + why;
    return false;
}

bool BatchArgs::readInt(const BatchCmd& cmd, int i, const Rule& rule, int& out)
{
    if (i >= cmd.args.size())
        return fail(cmd, QStringLiteral("an integer is missing"));
    bool ok = false;
    const qlonglong v = cmd.args.at(i).toLongLong(&ok, 10);
    if (!ok)
        return fail(cmd, QStringLiteral("\"%1\" is not an integer").arg(cmd.args.at(i)));
    // An open end of the range stops where int does.
    const double lo = std::max(rule.min, double(std::numeric_limits<int>::min()));
    const double hi = std::min(rule.max, double(std::numeric_limits<int>::max()));
    if (double(v) < lo || double(v) > hi)
        return fail(cmd, QStringLiteral("%1 is out of range%2").arg(v).arg(rangeText(lo, hi)));
    out = int(v);
    return true;
}

bool BatchArgs::readReal(const BatchCmd& cmd, int i, const Rule& rule, double& out)
{
    if (i >= cmd.args.size())
        return fail(cmd, QStringLiteral("a number is missing"));
    bool ok = false;
    const double v = cmd.args.at(i).toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return fail(cmd, QStringLiteral("\"%1\" is not a number").arg(cmd.args.at(i)));
    if (v < rule.min || v > rule.max)
        return fail(cmd, QStringLiteral("%1 is out of range%2").arg(shown(v), rangeText(rule.min, rule.max)));
    out = v;
    return true;
}

bool BatchArgs::parse(const BatchCmd& cmd, const Rule& rule)
{
    *this = BatchArgs();
    const QString first = cmd.args.value(0);
    switch (rule.kind) {
    case None:
        return true;
    case Flag: {
        bool ok = false;
        flag = first.toInt(&ok, 10) == 1 && ok;
        return true;
    }
    case Int:
        return readInt(cmd, 0, rule, integer);
    case OptInt:
        given = !cmd.args.isEmpty();
        return !given || readInt(cmd, 0, rule, integer);
    case OptIntPair:
        given = !cmd.args.isEmpty();
        return !given || (readInt(cmd, 0, rule, integer) && readInt(cmd, 1, rule, second));
    case Real:
        return readReal(cmd, 0, rule, real);
    case Text:
        text = first;
        return true;
    case DirPatterns:
        text = first;
        patterns = cmd.args.mid(1);
        return true;
    case Region:
    case RegionFile: {
        const Rule any = realArg();
        for (int i = 0; i < 4; ++i)
            if (!readReal(cmd, i, any, region[size_t(i)]))
                return false;
        if (rule.kind == Region)
            return true;
        text = cmd.args.value(4);
        if (text.isEmpty())
            return fail(cmd, QStringLiteral("a file name is missing"));
        return true;
    }
    case RangeFile: {
        const Rule any = realArg();
        for (int i = 0; i < 3; ++i)
            if (!readReal(cmd, i, any, region[size_t(i)]))
                return false;
        text = cmd.args.value(3);
        return true;
    }
    case FlagCount: {
        bool ok = false;
        flag = first.toInt(&ok, 10) == 1 && ok;
        if (cmd.args.size() < 2)
            return true;
        return readInt(cmd, 1, rule, integer);
    }
    case DisplayFile: {
        static const char* const names[] = {"raw", "sinogram", "ct1", "i0", "bg", "ct2"};
        int d = -1;
        for (int k = 0; k < 6; ++k)
            if (first.compare(QLatin1String(names[k]), Qt::CaseInsensitive) == 0)
                d = k;
        if (d < 0)
            return fail(cmd, QStringLiteral("no display \"%1\" (raw, sinogram, ct1, i0, bg or ct2 N)").arg(first));
        display = Display(d);
        int fileAt = 1;
        if (display == Ct2) {
            if (!readInt(cmd, 1, intArg(0, inf), integer))
                return false;
            fileAt = 2;
        }
        text = cmd.args.value(fileAt);
        if (text.isEmpty())
            return fail(cmd, QStringLiteral("a file name is missing"));
        return true;
    }
    }
    return true;
}
