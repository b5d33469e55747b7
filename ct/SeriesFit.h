#pragma once
// Brings the slice, centre of rotation, slice range and CT region inside a
// newly loaded series: a value that lies outside it is replaced (the middle
// line, the middle of the detector, the first or last line, the whole slice
// field) with a message; a value inside is left exactly as it was, so
// settings made before the series was loaded survive.
#include "CtRegion.h"

#include <QStringList>

class SeriesFit
{
public:
    // width x height images; the axis decides which lines are slices.
    SeriesFit(bool rotAxIsV, int width, int height);

    // Lines that are slices (rows with a vertical axis) and detector
    // positions across the axis.
    int lines() const { return nLines; }
    int across() const { return nAcross; }

    // Each returns whether the value had to change, with the message added.
    bool fitSlice(int& slice);
    bool fitCor(double& cor);
    bool fitRange(int& from, int& to);
    // The region is judged against the field of the centre cor (fit it first).
    bool fitRegion(CtRegion& region, double cor);

    // Side of the reconstructed slice for centre cor; 0 when there is none.
    int fieldSize(double cor) const;

    QStringList messages;

private:
    bool inLines(long long v) const { return v >= 0 && v < nLines; }

    int nLines = 0;
    int nAcross = 0;
};
