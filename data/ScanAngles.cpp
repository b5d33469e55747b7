#include "ScanAngles.h"

#include <algorithm>
#include <cmath>
#include <set>

bool ScanAngles::parseUnit(const QString& text, Unit& out)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("auto"))
        out = Unit::Auto;
    else if (t == QLatin1String("deg") || t == QLatin1String("degree") || t == QLatin1String("degrees"))
        out = Unit::Degrees;
    else if (t == QLatin1String("rad") || t == QLatin1String("radian") || t == QLatin1String("radians"))
        out = Unit::Radians;
    else
        return false;
    return true;
}

QString ScanAngles::unitName(Unit unit)
{
    switch (unit) {
    case Unit::Degrees:
        return QStringLiteral("deg");
    case Unit::Radians:
        return QStringLiteral("rad");
    case Unit::Auto:
        break;
    }
    return QStringLiteral("auto");
}

QStringList ScanAngles::unitNames()
{
    return {QStringLiteral("auto"), QStringLiteral("deg"), QStringLiteral("rad")};
}

bool ScanAngles::toDegrees(QVector<double>& angles, Unit unit, const QString& attribute, QString* why)
{
    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (angles.isEmpty())
        return true;
    for (double a : angles)
        if (!std::isfinite(a))
            return fail(QStringLiteral("an angle is not a number"));
    Unit from = unit;
    if (from == Unit::Auto && !attribute.trimmed().isEmpty() && !parseUnit(attribute, from))
        return fail(QStringLiteral("unknown angle unit \"%1\" (deg or rad; or set --angle-unit)").arg(attribute));
    const auto [lo, hi] = std::minmax_element(angles.begin(), angles.end());
    const double span = *hi - *lo;
    if (angles.size() > 1 && span == 0)
        return fail(QStringLiteral("all %1 angles are equal (%2)").arg(angles.size()).arg(*lo, 0, 'g', 6));
    if (from == Unit::Auto) {
        const std::set<double> distinct(angles.begin(), angles.end());
        if (distinct.size() > 2 && span <= 2 * M_PI + 0.01)
            return fail(QStringLiteral("angles look like radians (span %1); set units or --angle-unit")
                            .arg(span, 0, 'g', 6));
    }
    if (from == Unit::Radians)
        for (double& a : angles)
            a *= 180.0 / M_PI;
    const double spanDeg = from == Unit::Radians ? span * 180.0 / M_PI : span;
    if (spanDeg > 370)
        return fail(QStringLiteral("angles span %1 degrees, more than a turn").arg(spanDeg, 0, 'g', 6));
    return true;
}
