#pragma once
// The run conditions copied from the process control panel when a run starts.
#include <QMetaType>
#include <QString>

struct CtCond
{
    bool ct1 = false;
    bool ct2 = false;
    bool rotAxIsV = false;
    int sliceNo = 0;
    double cor = 0.0;
    bool autoExec = false;
    int from = 0;
    int to = 0;
    int step = 0;  // always points from `from` toward `to`
    int threads = 0;
    // A tilted axis: slice s is reconstructed about corAt0 + corSlope * s.
    bool corFit = false;
    double corAt0 = 0.0;
    double corSlope = 0.0;

    // The centre slice s is reconstructed about.
    double corOf(long long slice) const { return corFit ? corAt0 + corSlope * double(slice) : cor; }

    // from, to and step out of the texts of the series fields.
    void setSeries(const QString& fromText, const QString& toText, const QString& stepText);
    // True when slice lies in the closed range between from and to (either direction).
    bool inSeries(long long slice) const;

    // A decimal integer, 0 when the text is not one or does not fit an int.
    static int sliceNumber(const QString& text);
    // |step|, made negative when to < from, so a series always runs toward to.
    static int seriesStep(int from, int to, int step);
};

Q_DECLARE_METATYPE(CtCond)
