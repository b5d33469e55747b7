#pragma once
// Writes HDF5 files of datasets given as plain values, for tests and
// benchmarks: a Data Exchange scan, or one broken on purpose (a dataset left
// out, of another rank, type or size).
#include <QList>
#include <QString>

#include <vector>

struct H5Dataset
{
    QString path;                // e.g. "/exchange/data"; groups are created on the way
    QString type = "u16";        // "u8", "u16", "i32", "f32", "f64"
    QList<qint64> dims;          // slowest first
    std::vector<double> values;  // product of dims values, converted by the library
    // When set, values hold one frame (the product of all dims but the
    // first), written as every frame: large scans without their size in memory.
    bool repeatFrame = false;
    // A "units" text attribute of the dataset when not empty.
    QString units = QString();
};

class H5SampleWriter
{
public:
    static bool write(const QString& file, const QList<H5Dataset>& sets, QString* why = nullptr);
    // A Data Exchange scan: projections p x rows x columns in type dataType,
    // flats and darks as u16, theta (degrees) when not empty.
    static QList<H5Dataset> exchange(int rows, int columns, const std::vector<double>& data, int projections,
                                     const std::vector<double>& white, int whites, const std::vector<double>& dark,
                                     int darks, const std::vector<double>& theta, const QString& dataType = "u16");
};
