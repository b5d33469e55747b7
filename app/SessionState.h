#pragma once
// What a session holds besides the run settings and the images: the switches
// of the next projection loads, the exposure times shown with the images, how
// the I0 of each image kind is given, the colour range the CT displays fix,
// the display region and the sinogram's auto update.  Batch words and the
// window's controls write it; the window shows it (Session::stateChanged).
#include "CtRegion.h"

#include <QMetaType>
#include <QString>

struct SessionState
{
    // Most copies of one file a load reads (each becomes an image of its own).
    static constexpr int maxMultiTimes = 3600;

    // How the next projection files join the series.
    struct SeriesOptions
    {
        // New files replace the series; false: they are added to it.
        bool replace = true;
        // Slice, centre, slice range and regions are kept for a new series
        // (fitted into it); false: the regions become the new whole image.
        bool keepConditions = false;
        // Exposure time of the projections, shown only (s).
        double expTime = 0;
        // One chosen file is read multiTimes times (a test of the detector).
        bool multi = false;
        int multiTimes = 0;
    } series;
    // A load keeps only the detector lines of the slice range (and what the
    // corrections reach beyond it).
    bool sliceLinesOnly = false;
    // Files chosen for the I0 list by energy replace it (else are added).
    bool i0FilesReplace = true;
    // Exposure times of the I0 and BG images, shown only (s).
    double i0ExpTime = 0, bgExpTime = 0;

    // How the I0 of one image kind is given: a value, or an XAFS file and
    // the energy pattern of the image file names.  Recorded, shown only.
    struct I0Source
    {
        double value = 0;
        bool fromXafs = false;
        QString xafsFile;
        QString energyPattern;
    };
    I0Source rawI0, i0I0;
    // The additional information is shown.
    bool additionalInfo = false;

    // The CT displays keep min..max instead of following each slice.
    struct ColourRange
    {
        bool fixed = false;
        double min = 0, max = 0;
    } colour;
    // Region of the reconstructed image the CT displays show.
    CtRegion displayRegion;
    // The sinogram of the current slice is made again on every change.
    bool autoSinogram = true;

    // Which part changed (DataSets: the session's data-directory sets).
    enum class Part { Series, ExpTimes, RawI0, I0I0, AdditionalInfo, Colour, DisplayRegion, AutoSinogram, DataSets };
};

Q_DECLARE_METATYPE(SessionState::Part)
