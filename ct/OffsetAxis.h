#pragma once
// Offset-axis full-turn scans ("half acquisition"): with the axis near one
// edge of the detector, the projection at angle theta sees one side of the
// sample and the one at theta + 180 degrees, mirrored about the axis, the
// other. Each pair is joined into one line about twice as wide, blended
// linearly over the part both see, and the joined lines are reconstructed
// as a half turn of a wider detector.
//
// Positions are those of the first projection's detector line, extended by
// `added` pixels on the side the axis is near: joined sample j lies at
// detector position j - added (axis on the left) or j (on the right).
#include <QString>

struct OffsetJoin
{
    int width = 0;       // detector line length
    double cor = 0;      // centre on the detector line
    bool axisLeft = true;
    int added = 0;       // pixels added beyond the detector edge
    int joinedWidth = 0; // width + added
    double joinedCor = 0;
    // Positions both projections see: lo .. hi on the detector line.
    double overlapLo = 0, overlapHi = 0;

    // The join of lines of `width` pixels about cor; why it cannot be
    // made (a centre outside the line, or one so near the middle that the
    // join would add under a tenth of the width) in *why, and then
    // joinedWidth is 0.
    static OffsetJoin make(int width, double cor, QString* why = nullptr);
    // Joins line a (angle theta) and b (theta + 180 degrees), both `width`
    // values, into out (joinedWidth values).
    void join(const double* a, const double* b, double* out) const;
    // The centre on a joined line found from one on the detector line.
    double joinedCentre(double detectorCor) const { return axisLeft ? detectorCor + added : detectorCor; }
};
