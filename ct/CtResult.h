#pragma once
// What a worker hands back for one slice: the data, the picture and the job
// it was made from.  Passed by value; the slice data are shared and never
// changed once made.
#include "ColorSnapshot.h"
#include "CtJob.h"
#include "CtRegion.h"

#include <QDateTime>
#include <QImage>
#include <QJsonObject>
#include <QMetaType>
#include <QStringList>

#include <memory>
#include <vector>

struct CtSlice
{
    int n = 0;                  // side of the image
    int slice = 0;
    int nProj = 0;              // projections summed: value / (2 nProj) is mu per pixel
    // The mean of the projections instead (the single-slice calculator's):
    // value / 2 is mu per pixel.
    bool mean = false;
    std::vector<double> image;  // n rows of n values, row = z
    double minV = 0;
    double maxV = 0;
    CtRegion region;            // the calculation region it was made with
};

struct CtResult
{
    CtJob job;
    // Null when the slice gave nothing (no sinogram, kernel not sized).
    std::shared_ptr<const CtSlice> data;
    // Drawn when the job shows or saves it; null otherwise.
    QImage picture;
    // The scale the picture was drawn with, its range taken from the data
    // unless the job's scale was fixed.
    ColorSnapshot colours;
    QDateTime startTime;
    QDateTime endTime;
    // Files written whole, and what went wrong (one message each).
    QStringList written;
    QStringList failures;
    // Size and SHA-256 of each file written (CtRunReport::fileRecord).
    QList<QJsonObject> fileRecords;
    // Sinogram samples without a logarithm, and how many were repaired.
    long long invalidSamples = 0;
    long long repairedSamples = 0;

    bool ok() const { return bool(data); }
};

Q_DECLARE_METATYPE(CtResult)
