#pragma once
// Files of spectra and maps, each written whole or not at all (aside, then
// renamed). The file suffix chooses the format:
// spectra: ".xdi" the XDI text that XAFS analysis programs read, anything
// else CSV "energy_eV,mu,sigma,norm"; maps: ".tif"/".tiff" a 32-bit float
// TIFF of the values, anything else a grey picture from the smallest to the
// largest value shown.
#include "XafsMaps.h"
#include "XafsStack.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringList>

// What XDI files say of the measurement besides the spectrum. Empty or 0
// fields are left out of the header.
struct XafsMeta
{
    QString element;      // "Fe"
    QString edge;         // "K", "L3", ...
    double monoD = 0;     // monochromator d-spacing, Angstrom
    QString facility, beamline;
    QDateTime start;      // scan start
};

class XafsExport
{
public:
    static QByteArray csv(const XafsSpectrum& s, const std::vector<double>& norm);
    // extra: "Namespace.tag: value" header fields written after the
    // standard ones. The mu columns carry unit in their labels.
    static QByteArray xdi(const XafsSpectrum& s, const XafsNormalize& fit, const std::vector<double>& norm,
                          const QString& unit, const XafsMeta& meta, const QStringList& extra);
    static bool writeSpectrum(const QString& path, const XafsSpectrum& s, const XafsNormalize& fit,
                              const QString& unit, const XafsMeta& meta, const QStringList& extra, QString* error);
    // Empty when symbol is an element's symbol and edge an absorption edge
    // (K, L1-L3, M1-M5), else why not.
    static QString elementProblem(const QString& symbol, const QString& edge);
    // Float TIFFs of several maps, each whole; when one cannot be written
    // the ones already written by this call are removed again.
    static bool writeFloatMaps(const QStringList& paths, const std::vector<const std::vector<float>*>& maps, int width,
                               int height, const QString& description, QString* error);
    static bool writeMap(const QString& path, const XafsMaps& m, XafsMaps::Kind k, QString* error);
    static bool isTiffPath(const QString& path);
};
