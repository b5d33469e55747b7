#pragma once
// Synthetic measurements for development and tests, reproducible from a seed:
//
// kind "ct":   <dir>/<prefix>-0001.img ... one projection per step over a half turn,
//              <dir>/i0/I0.img, <dir>/bg/BG.img,
//              <dir>/truth/truth-<slice>.dat (true mu of some slices),
//              <dir>/sample.txt (the settings and derived geometry, key=value).
// kind "xafs": per energy <dir>/<prefix>-<energy>-0001.img ... (energy as "7_112keV"),
//              <dir>/i0/I0-<energy>-0001.img, <dir>/bg/BG.img,
//              <dir>/truth/truth-<energy>-<slice>.dat, <dir>/sample.txt.
//
// Counts are I = BG + (I0 - BG) exp(-P) with P the phantom's line integral
// (Phantom.h has the geometry), optionally with Poisson noise, rounded and
// clipped to 16 bits. Truth files are "#ZUVO-CTImg" text: the header with the
// region 0, 0, N, N and one "x<TAB>z<TAB>mu" line per grid pixel.
#include "Phantom.h"

#include <QList>
#include <QString>
#include <QStringList>

struct SampleOptions
{
    QString outDir;
    QString kind = QStringLiteral("ct"); // "ct" or "xafs"
    int width = 256;
    int height = 128;
    int nProj = 180;
    bool axisVertical = true;
    double cor = -1;            // below 0: dim / 2 + 2.5
    double tilt = 0;            // tilted axis: the centre moves by this from the first line along the axis to the last
    quint32 seed = 1;
    bool noise = true;
    // eV; empty: a XANES scan of 29 energies, 15 eV steps from 7040 to
    // 7095, 2 eV steps from 7100 to 7136, then 7145 ... 7220.
    QList<double> energies;
    double edge = 7112.0;       // eV, the left absorber's edge
    double edge2 = 7122.0;      // eV, the right absorber's edge
    // Two measured spectra (files XafsReference reads: energy and mu) of
    // one element's two chemical states; empty: tanh steps at edge and
    // edge2. With them both absorbers mix the states: fractions[k] of
    // absorber k is in the first state, the rest in the second.
    QStringList spectra;
    double fractions[2] = {0.3, 0.8};
    // Drift between energies: each energy but the first is seen moved by
    // a random shift of up to this many pixels along and across the axis
    // (written to drift.csv); 0 (default): none.
    double drift = 0;
    QString prefix;             // empty: "ct" or "Fe"
    int truthSlices = 5;
    double i0Peak = 30000.0;
    double bgLevel = 100.0;
    double expTime = 0.5;
    // "half" (default): nProj projections over 180 degrees; "full": over 360;
    // "full-offset": over 360 with the head sized for the far side of an
    // axis near one edge (truth slices then cover the joined field).
    QString turn = QStringLiteral("half");
    // Above 0: the projections are of a homogeneous cylinder about the axis
    // (radius 0.6 of the head's) seen in propagation-based phase contrast
    // (PhaseSample.h), with pixelUm micrometre pixels; no truth is written.
    double deltaBeta = 0;
    double distanceMm = 0;
    double energyKeV = 0;
    double pixelUm = 1;

    // A small noise-free series of nProj projections into dir, one true
    // slice: what tests that drive the window load.
    static SampleOptions small(const QString& dir, int width, int height, int nProj)
    {
        SampleOptions o;
        o.outDir = dir;
        o.width = width;
        o.height = height;
        o.nProj = nProj;
        o.noise = false;
        o.truthSlices = 1;
        return o;
    }
};

class SampleWriter
{
public:
    explicit SampleWriter(const SampleOptions& options);

    // Checks the options; false with a message in error() when they cannot work.
    bool valid();
    // Writes everything the kind asks for.
    bool write();

    const SampleOptions& options() const { return opt; }
    QString error() const { return err; }

    // Derived geometry.
    int axisDim() const;        // detector size across the axis
    int alongDim() const;       // detector size along the axis
    double cor() const;
    double corAt(int along) const;  // the centre at a position along the axis (tilt included)
    double axisCentre() const;  // detector position of Y = 0 along the axis
    int truthSize() const;      // N
    double radius() const;      // in-plane head radius
    double halfHeight() const;  // head size along the axis
    QList<int> truthIndices() const;
    QList<double> energies() const;
    QString prefix() const;

    Phantom phantom(double energyEv) const;
    // The drift of an energy's projections in detector columns (dx) and rows (dz).
    void driftAt(double energyEv, double& dx, double& dz) const;
    // Row (axis vertical) or column of the detector, and grid pixel (x, z)
    // of a truth slice, at the centre of absorber k (0 left, 1 right).
    void absorberPixel(int k, int& slice, double& x, double& z) const;
    // Noise-free beam and dark counts at a detector pixel.
    double i0At(int c, int r, double energyEv) const;
    double bgAt(int c, int r) const;

    static QString energyText(double energyEv);
    QString seriesName(int index, double energyEv) const;   // relative to outDir
    QString i0Name(double energyEv) const;
    QString bgName() const;
    QString truthName(int slice, double energyEv) const;

private:
    bool writeSeries(double energyEv);
    bool writeI0(double energyEv);
    bool writeBg();
    bool writeTruth(int slice, double energyEv) const;
    bool writeInfo() const;
    quint32 streamSeed(quint32 stream, quint32 index) const;
    bool writeDrift() const;
    // Normalised spectrum k of opt.spectra at an energy (linear between points).
    double state(int k, double energyEv) const;

    SampleOptions opt;
    std::vector<double> stateEnergy[2], stateNorm[2];
    QString err;
};
