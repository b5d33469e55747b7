#pragma once
// What the window and batch programs share of CT-XAFS analysis: the loaded
// energy stack, the fit ranges, the jump threshold, the maps made from them
// (remade when any of these changes) and the record of every file written,
// kept as "xafs-run.json" beside the files. Lives in the GUI thread.
#include "XafsAlign.h"
#include "XafsClusters.h"
#include "XafsExport.h"
#include "XafsLcf.h"
#include "XafsMaps.h"
#include "XafsNormalize.h"
#include "XafsPca.h"
#include "XafsProgress.h"
#include "XafsReference.h"
#include "XafsStack.h"

#include <QDateTime>
#include <QJsonObject>
#include <QStringList>

class ConfigStore;

class XafsSession
{
public:
    // Configuration keys: XafsElement "Fe K", XafsMonoD (Angstrom),
    // XafsFacility, XafsBeamline, XafsScanStart (ISO 8601). False with *why
    // naming the key when a value is unusable (the others still apply).
    bool applyConfig(const ConfigStore& c, QString* why);

    // False with *why set when no file is usable (the old stack is gone then).
    bool loadStack(const QString& dir, const QString& pattern, QString* why);
    // A stack loaded elsewhere (a worker thread) takes the place of the
    // current one, as loadStack's would.
    void takeStack(XafsStack loadedStack);
    bool setRanges(const XafsRanges& r, QString* why);
    void setThreshold(double t);
    // Region spectrum with its normalisation; false with *why set when the
    // region misses the slice or the spectrum cannot be normalised.
    bool spectrum(const XafsRoi& roi, XafsSpectrum& s, XafsNormalize& fit, QString* why) const;
    bool exportSpectrum(const XafsRoi& roi, const QString& path, QString* why);
    bool exportMap(XafsMaps::Kind k, const QString& path, QString* why);
    const XafsMaps& maps();
    // The maps when they are up to date, else null: what the window shows
    // without computing them in its own thread.
    const XafsMaps* currentMaps() const { return cacheValid ? &cache : nullptr; }
    // Maps computed elsewhere for generation forGeneration; dropped when
    // the stack, ranges or threshold have changed since.
    void takeMaps(XafsMaps made, int forGeneration);

    bool setElement(const QString& symbol, const QString& edge, QString* why);
    bool setMonoD(double angstrom, QString* why);
    const XafsMeta& meta() const { return md; }

    // Replaces the reference spectra by those of files, all or none. False
    // with *why naming the file and its fault.
    bool loadReferences(const QStringList& files, QString* why);
    bool setLcfWindow(const XafsLcfWindow& w, QString* why);
    void setSumToOne(bool on);
    const std::vector<XafsReference>& references() const { return refs; }
    const XafsLcfWindow& lcfWindow() const { return window; }
    bool sumToOne() const { return oneSum; }
    // The fit made ready for the current stack and settings.
    bool lcf(XafsLcf& out, QString* why) const;
    // Region fit: fractions, their errors and the fit as CSV.
    bool lcfRegion(const XafsRoi& roi, XafsLcfFit& fit, XafsLcf& lcf, XafsSpectrum& s, QString* why) const;
    bool exportLcfRegion(const XafsRoi& roi, const QString& path, QString* why);
    // One float TIFF per reference ("lcf_NAME.tif"), "lcf_sum.tif" and
    // "lcf_rfactor.tif" in dir.
    bool exportLcfMaps(const QString& dir, QString* why, XafsProgress* progress = nullptr);
    // Explained variance of the principal components as CSV.
    bool exportPca(const QString& path, QString* why, XafsProgress* progress = nullptr);
    // "clusters.tif" (class 1 .. k, 0 none) and "clusters.csv" (each
    // class's mean normalised spectrum) in dir.
    bool exportClusters(int k, const QString& dir, QString* why, XafsProgress* progress = nullptr);
    // Drift of every energy set of a CT-XAFS data directory ("<prefix>-<energy>-<index>.<ext>"
    // projections over a half turn) against the set at refEnergy (eV):
    // measured at 0, 45, 90 and 135 degrees and their neighbours on the
    // middle of the projections (at most 512 x 512 pixels), written as CSV.
    // False with *why (no set at refEnergy, an unreadable projection, sets of
    // other sizes or counts); nothing is written then.
    bool exportAlignment(const QString& dir, double refEnergy, const QString& path, QString* why,
                         XafsProgress* progress = nullptr);
    const std::vector<XafsEnergyShift>& lastShifts() const { return shifts; }

    // The fraction maps and the classes kept for the window without
    // writing files (exportLcfMaps and exportClusters keep theirs too).
    bool computeLcfMaps(QString* why, XafsProgress* progress = nullptr);
    bool computeClusters(int k, QString* why, XafsProgress* progress = nullptr);
    // Last results, for the window.
    const XafsLcfMaps& lastLcfMaps() const { return lcfMaps; }
    const QStringList& lastLcfNames() const { return lcfNames; }
    const XafsClusters& lastClusters() const { return clusters; }
    const XafsPca& lastPca() const { return pcaResult; }

    const XafsStack& stack() const { return st; }
    const XafsRanges& ranges() const { return rng; }
    double threshold() const { return thr; }
    // Counts changes of stack, ranges and threshold (views redraw on it).
    int generation() const { return gen; }

    QJsonObject reportJson() const;
    static QString reportName() { return QStringLiteral("xafs-run.json"); }

private:
    bool noStack(QString* why) const;
    void warnAboutMaps() const;
    // Why writing outputs would overwrite an input (a stack file, a
    // reference, one of more); empty when none would.
    QString clash(const QStringList& outputs, const QStringList& more = {}) const;
    // Adds the file (or the failure) to the record and rewrites the report
    // beside it.
    bool recorded(const QString& path, bool ok, const QString& failure, QString* why);
    bool recordedAll(const QStringList& paths, bool ok, const QString& failure, QString* why);
    bool spectraTable(XafsSpectraTable& t, QString* why, XafsProgress* progress);

    XafsStack st;
    XafsRanges rng;
    double thr = 0;
    XafsMaps cache;
    bool cacheValid = false;
    int gen = 0;
    XafsMeta md;
    std::vector<XafsReference> refs;
    XafsLcfWindow window;
    bool oneSum = false;
    XafsLcfMaps lcfMaps;
    QStringList lcfNames;
    XafsClusters clusters;
    XafsPca pcaResult;
    std::vector<XafsEnergyShift> shifts;
    QDateTime loaded;
    QStringList written, failures;
};
