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
#include <QStringList>

class XafsExport
{
public:
    static QByteArray csv(const XafsSpectrum& s, const std::vector<double>& norm);
    // extra: "Namespace.tag: value" header fields written after the
    // standard ones.
    static QByteArray xdi(const XafsSpectrum& s, const XafsNormalize& fit, const std::vector<double>& norm,
                          const QString& unit, const QStringList& extra);
    static bool writeSpectrum(const QString& path, const XafsSpectrum& s, const XafsNormalize& fit,
                              const QString& unit, const QStringList& extra, QString* error);
    static bool writeMap(const QString& path, const XafsMaps& m, XafsMaps::Kind k, QString* error);
    static bool isTiffPath(const QString& path);
};
