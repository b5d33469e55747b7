#pragma once
// The rotation angles a scan file brings: their unit and whether they can be
// a scan at all.  A scan written in radians but read as degrees spans a few
// degrees and reconstructs into a plausible-looking but wrong slice, so an
// unlabelled span that fits in one turn of radians is refused, not guessed.
#include <QString>
#include <QStringList>
#include <QVector>

class ScanAngles
{
public:
    // Auto (default): the file's units attribute decides; without one the
    // angles are degrees unless they look like radians (then refused).
    enum class Unit { Auto, Degrees, Radians };

    // "auto", "deg"/"degrees", "rad"/"radians" (any case); false otherwise.
    static bool parseUnit(const QString& text, Unit& out);
    static QString unitName(Unit unit);
    static QStringList unitNames();

    // Turns angles (as read) into degrees and checks them. `unit` given by
    // the user wins over `attribute` (the file's units text, empty when it
    // has none). False with the reason in *why for an unknown unit text,
    // angles that are not finite, all equal, spanning more than 370 degrees,
    // or (no unit anywhere) spanning at most 2 pi + 0.01 with more than two
    // distinct values.
    static bool toDegrees(QVector<double>& angles, Unit unit, const QString& attribute, QString* why);
};
