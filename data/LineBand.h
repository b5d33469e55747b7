#pragma once
// The detector lines an image holds: a run needs only the lines of its
// slices, rows for a vertical rotation axis, columns for a horizontal one.
// Line numbers are always those of the whole detector.
#include <QRect>
#include <QString>

#include <algorithm>

struct LineBand
{
    int first = 0;
    // Lines held from first on; 0 (the default) means the whole image.
    int count = 0;
    // Rows (vertical axis) or columns (horizontal axis).
    bool rows = true;

    bool whole() const { return count <= 0; }
    // Grouped so that a band ending on INT_MAX does not overflow on the way.
    int last() const { return first + (count - 1); }
    bool holds(int line) const { return whole() || (line >= first && line <= last()); }
    bool operator==(const LineBand& o) const
    {
        return whole() == o.whole() && (whole() || (first == o.first && count == o.count && rows == o.rows));
    }
    bool operator!=(const LineBand& o) const { return !(*this == o); }

    // The lines of slices a to b (either order) of an axis.
    static LineBand ofSlices(int a, int b, bool rotAxIsV)
    {
        const int lo = std::min(a, b), hi = std::max(a, b);
        // In 64 bits: 0 to INT_MAX is one line more than an int counts.
        const long long n = static_cast<long long>(hi) - lo + 1;
        return LineBand{lo, static_cast<int>(std::min<long long>(n, 2147483647LL)), rotAxIsV};
    }
    // Lines across an image of w x h: its height for rows, its width for columns.
    int linesOf(int w, int h) const { return rows ? h : w; }
    // The rectangle of a w x h image this band holds (whole when it covers
    // every line); empty when the band lies outside the image.
    QRect rectIn(int w, int h) const
    {
        if (whole())
            return QRect(0, 0, w, h);
        const int n = linesOf(w, h);
        const int lo = std::max(first, 0), hi = std::min(last(), n - 1);
        if (hi < lo)
            return QRect();
        return rows ? QRect(0, lo, w, hi - lo + 1) : QRect(lo, 0, hi - lo + 1, h);
    }
    // "rows 10 to 73", "columns 0 to 63", "all lines"
    QString text() const
    {
        if (whole())
            return QStringLiteral("all lines");
        return QStringLiteral("%1 %2 to %3").arg(rows ? QStringLiteral("rows") : QStringLiteral("columns"))
            .arg(first).arg(last());
    }
};
