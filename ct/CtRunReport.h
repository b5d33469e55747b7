#pragma once
// The record of one reconstruction run that wrote files, kept beside its
// data files as "<name>-run.json": what went in (series, references,
// geometry, slices), what came out (every file written) and every failure
// with its message.  Written whole or not at all (aside, then renamed).
#include "CtRegion.h"
#include "EnergyShifts.h"
#include "ReconSettings.h"

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

class ImgDatas;

class CtRunReport
{
public:
    // Takes what the run reads from the series: directory, pattern, file
    // count, image size, I0 and BG names.
    void setInput(const ImgDatas& set);

    // The settings the run started with; the fields below are what the
    // file shows of them and of the input.
    ReconSettings settings;
    QDateTime startTime, endTime;
    QString inputDir;
    // A glob naming the projection files (given, or made from their names).
    QString pattern;
    int fileCount = 0;
    int width = 0, height = 0;
    QString i0, bg;             // file names, empty when none is used
    // The one file holding the whole series (HDF5 scan, TIFF stack); empty otherwise.
    QString inputFile;
    // Lines of the detector loaded: all (empty) or e.g. "rows 64 to 127".
    QString linesLoaded;
    // The projections came with their own rotation angles.
    bool anglesFromData = false;
    QString i0After;            // I0 after the scan (interpolated), empty when none
    int i0Count = 0, bgCount = 0, i0AfterCount = 0;  // images averaged into each
    QString calculator;         // "CT2" or "CT1"
    double cor = 0;
    // Tilted axis: slice s used the centre corAt0 + corSlope * s.
    bool corFit = false;
    double corAt0 = 0, corSlope = 0;
    bool rotAxIsV = false;
    bool wholeImage = true;     // region of each slice's whole image
    CtRegion region;
    int from = 0, to = 0, step = 0;
    int threads = 0;
    QString filter = QStringLiteral("ramp");
    // Arithmetic of the back-projection: "single" or "double".
    QString precision = QStringLiteral("double");
    double cutoff = 1.0;
    int ringSize = 0;           // 0: no ring removal
    QString angles = QStringLiteral("half");
    int projections = 0;        // images reconstructed from (fileCount or one fewer)
    double pixelSizeUm = 0;     // 0: not given (binned pixels when binned)
    int binning = 1;            // 1: none
    QString paganin;            // "deltaBeta,distanceMm,energyKeV"; empty: no phase retrieval
    double zingerThreshold = 0; // 0: no zinger removal
    QVector<int> zingers;       // pixels replaced in each projection
    int zingersI0 = 0, zingersBg = 0;
    QString volume;             // the one-file volume asked for; empty: none
    // Drift correction of a CT-XAFS energy: the shifts table and its row used.
    AppliedShift shift;
    QString shiftsFile;
    // The run ended before its last slice was dealt.
    bool stopped = false;
    // It was ended by a quit signal (SIGTERM, SIGINT).
    bool interrupted = false;
    QStringList written;
    QStringList failures;
    // One fileRecord per file written, in the order written.
    QList<QJsonObject> files;
    // Slices with samples that had no logarithm: (invalid, repaired).
    QMap<int, QPair<long long, long long>> invalidSamples;
    double maxInvalid = 0.001;
    // Numbers missing from the projection names, accepted on request.
    QString gaps;

    QJsonObject toJson() const;
    // Writes the report to path; false with *error set when it failed.
    bool save(const QString& path, QString* error) const;

    // "<base>-run.json" for a data or picture name as the settings give it
    // (tag included, suffix dropped); "run.json" for an empty base.
    static QString fileName(const QString& name, const QString& tag);
    // Common start and end of the names around a "*" ("ct-*.img").
    static QString namePattern(const QStringList& names);
    static QString programVersion();
    // {"file": absolute path, "size": bytes, "sha256": hex} of a file as it
    // is now; size -1 and no hash when it cannot be read.
    static QJsonObject fileRecord(const QString& path);
    // The same of a file whose size and digest were taken as it was written
    // (an empty hash: size -1 and no hash).
    static QJsonObject fileRecord(const QString& path, qint64 size, const QString& hash);
    // The SHA-256 of a file's bytes as hex; empty when it cannot be read.
    static QString sha256(const QString& path, qint64* size = nullptr);
    // Factor from a data-file value to mu in 1/cm for pixels of pixelSizeUm
    // micrometres: CT2 values are the sum of nProj back-projections
    // (value / (2 nProj) = mu per pixel), CT1 values their mean.  0 when the
    // pixel size or nProj is not positive.
    static double valueToPerCm(double pixelSizeUm, int nProj, bool ct1);
};
