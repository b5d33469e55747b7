#pragma once
// What the window and batch programs share of CT-XAFS analysis: the loaded
// energy stack, the fit ranges, the jump threshold, the maps made from them
// (remade when any of these changes) and the record of every file written,
// kept as "xafs-run.json" beside the files. Lives in the GUI thread.
#include "XafsMaps.h"
#include "XafsNormalize.h"
#include "XafsStack.h"

#include <QDateTime>
#include <QJsonObject>
#include <QStringList>

class XafsSession
{
public:
    // False with *why set when no file is usable (the old stack is gone then).
    bool loadStack(const QString& dir, const QString& pattern, QString* why);
    bool setRanges(const XafsRanges& r, QString* why);
    void setThreshold(double t);
    // Region spectrum with its normalisation; false with *why set when the
    // region misses the slice or the spectrum cannot be normalised.
    bool spectrum(const XafsRoi& roi, XafsSpectrum& s, XafsNormalize& fit, QString* why) const;
    bool exportSpectrum(const XafsRoi& roi, const QString& path, QString* why);
    bool exportMap(XafsMaps::Kind k, const QString& path, QString* why);
    const XafsMaps& maps();

    const XafsStack& stack() const { return st; }
    const XafsRanges& ranges() const { return rng; }
    double threshold() const { return thr; }
    // Counts changes of stack, ranges and threshold (views redraw on it).
    int generation() const { return gen; }

    QJsonObject reportJson() const;
    static QString reportName() { return QStringLiteral("xafs-run.json"); }

private:
    bool noStack(QString* why) const;
    // Adds the file (or the failure) to the record and rewrites the report
    // beside it.
    bool recorded(const QString& path, bool ok, const QString& failure, QString* why);

    XafsStack st;
    XafsRanges rng;
    double thr = 0;
    XafsMaps cache;
    bool cacheValid = false;
    int gen = 0;
    QDateTime loaded;
    QStringList written, failures;
};
