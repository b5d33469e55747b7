#pragma once
// Every setting of one reconstruction run as one value: what the window, a
// batch program and zuvo2-recon hand to CtRun::start and what the run report
// records.  Each field that can be set from outside has one row in
// SettingTable (batch word, zuvo2-recon option, configuration key, range,
// default and help); the defaults here are the ones that table documents.
#include "CtCond.h"
#include "CtRegion.h"
#include "FbpKernel.h"
#include "ScanAngles.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

// One kind of file a run writes for every slice.
struct ReconOutput
{
    bool on = false;
    // Directory, file name (its suffix is replaced by the kind's) and the tag
    // put before the slice number; the TIFFs take the data files' tag.
    QString path, name, tag;
};

struct ReconSettings
{
    // Calculators, axis, centre or centre line, slices, threads, filter and
    // cutoff, ring removal, angular range, pixel size and the corrections of
    // whole projections (zingers, phase retrieval, binning).
    CtCond cond;
    // The workers' back-projection arithmetic (CT1 always works in double).
    FbpKernel::Precision precision = FbpKernel::Precision::Single;
    // Calculation region of runs without a result panel (zuvo2-recon, tests);
    // the window's panels publish their own.
    bool wholeImage = true;
    CtRegion region;
    // Draw each result for display.
    bool showImage = true;
    // Pictures, data files and float TIFFs of each slice's region (an empty
    // TIFF path or name takes the data files' one).
    ReconOutput image, data, tiff;
    // The glob the projections were chosen with, for the run report (made
    // from their names when empty).
    QString pattern;
    // Where the run report goes; empty: beside the files, named after them.
    QString reportFile;
    // Every slice of a series in one file: .tif or .tiff a multi-page float
    // TIFF, .h5 or .hdf5 one HDF5 dataset (VolumeWriter); empty (default):
    // none. It appears only when the run made every slice.
    QString volumeFile;
    // The I0, BG and after-scan I0 the user named (empty: none); a named
    // reference that did not load refuses the run.  An after-scan I0 does not
    // go with an I0 chosen by energy for each data set.
    QString i0Name, bgName, i0AfterName;
    bool i0ChosenByEnergy = false;
    // Why no I0 could be chosen by energy for the data set; set, it refuses
    // the run.
    QString i0Refusal;

    // Inputs of a run outside the window (zuvo2-recon): one of a directory
    // with a glob, an HDF5 scan or a TIFF stack, and reference images
    // (several are averaged).
    QString projectionsDir, h5File, stackFile;
    QStringList i0Files, bgFiles, i0AfterFiles;
    // Numbers missing from the projection names are accepted (and reported)
    // instead of refusing the series.
    bool allowGaps = false;
    // Unit of an HDF5 scan's angles; Auto: the file's units attribute.
    ScanAngles::Unit angleUnit = ScanAngles::Unit::Auto;
    // Files the run reads besides the series and its references (the batch
    // program, configuration files, every averaged reference): no output
    // may be one of them.
    QStringList otherInputs;
    // Centre found on the first slice instead of given.
    bool autoCor = false;
    // Detector lines loaded: "auto" (those of the slices) or "all".
    QString rows = QStringLiteral("auto");
    // CT-XAFS drift: the shifts table of the energy sets (empty: none); the
    // run takes the row of its projections' energy, moves the centre by the
    // shift across the axis and the slices by the shift along it.
    QString shiftsFile;
    // Detector lines the window's next loads keep when a batch program names
    // them: every line, or the slices from linesFrom to linesTo.
    bool allLines = true;
    int linesFrom = 0, linesTo = 0;
};

Q_DECLARE_METATYPE(ReconSettings)
