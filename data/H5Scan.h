#pragma once
// A whole CT scan in one HDF5 file of the Data Exchange layout:
//   /exchange/data        projections x rows x columns, uint16 or float32
//   /exchange/data_white  flats x rows x columns (any integer or float type)
//   /exchange/data_dark   darks x rows x columns (the same)
//   /exchange/theta       one rotation angle per projection (optional), in
//                         degrees unless its "units" attribute (or angleUnit)
//                         says radians
// open() checks the layout and reads only the angles; the images are read by
// hyperslab, one projection or a band of rows at a time, so only what is
// asked for is in memory. The HDF5 library is used from one thread at a time
// (Debian builds it without thread safety): the window's load thread (loads
// never overlap), or a tool's main.
#include "LineBand.h"
#include "ScanAngles.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <atomic>
#include <vector>

class ImgDatas;

class H5Scan
{
public:
    H5Scan() = default;
    ~H5Scan();
    H5Scan(const H5Scan&) = delete;
    H5Scan& operator=(const H5Scan&) = delete;

    // False with the reason in error() for a file that is no HDF5 file or
    // whose layout is not the one above (missing datasets, wrong ranks or
    // types, sizes that disagree, angles that are not finite).
    bool open(const QString& file);
    void close();
    bool isOpen() const { return fileId >= 0; }
    QString error() const { return err; }
    QString fileName() const { return name; }

    int projections() const { return nProj; }
    int rows() const { return nRows; }
    int columns() const { return nCols; }
    int whites() const { return nWhite; }
    int darks() const { return nDark; }
    // float32 projections; uint16 otherwise.
    bool isFloat() const { return floatData; }
    // Empty when the file has no /exchange/theta.
    const QVector<double>& anglesDeg() const { return angles; }
    // The unit of /exchange/theta when the user gave it (set before open();
    // Auto: the file's units attribute, or refused when they look like radians).
    ScanAngles::Unit angleUnit = ScanAngles::Unit::Auto;

    // Projection p, rows x columns values row-major, as doubles.
    bool readProjection(int p, std::vector<double>& out);
    // Projection p as stored: uint16 or float32 values in host order; with
    // a band, only its part (rows of band-wide or whole lines, row-major).
    bool readProjectionRaw(int p, QByteArray& out, const LineBand& band = LineBand());
    // Rows row0 .. row0 + n - 1 of every projection:
    // out[(p * n + r) * columns + c].
    bool readRows(int row0, int n, std::vector<double>& out);
    // Mean of the flat (white) or dark frames, rows x columns, frame by frame.
    // With a band, only its part.
    bool meanWhite(std::vector<double>& out, const LineBand& band = LineBand())
    {
        return meanOf(whiteId, nWhite, "/exchange/data_white", out, band);
    }
    bool meanDark(std::vector<double>& out, const LineBand& band = LineBand())
    {
        return meanOf(darkId, nDark, "/exchange/data_dark", out, band);
    }

private:
    bool failWith(const QString& text);
    bool openFrames(const char* path, qint64& id, int& frames, bool projectionsItself);
    // Frames first .. first + count - 1, the part rect of each.
    bool readBlock(qint64 dataset, const char* path, qint64 memType, int first, int count, const QRect& rect,
                   void* out);
    QRect frameRect() const { return QRect(0, 0, nCols, nRows); }
    bool meanOf(qint64 id, int frames, const char* path, std::vector<double>& out, const LineBand& band);

    QString name;
    QString err;
    qint64 fileId = -1;
    qint64 dataId = -1;
    qint64 whiteId = -1;
    qint64 darkId = -1;
    int nProj = 0, nRows = 0, nCols = 0, nWhite = 0, nDark = 0;
    bool floatData = false;
    QVector<double> angles;
};

// Loads a Data Exchange file into set as its whole series: every projection,
// I0 the mean of the flats, BG the mean of the darks, and the angles when the
// file has them (set.anglesDeg); of each image only the lines the set's
// planned band keeps (ImgDatas::planBand). Replaces what the set held. A file that is
// malformed or would not fit in the memory budget loads nothing: the set is
// left empty with the file counted as failed, the failure recorded, and the
// reason in *why.
// A cancel (set from another thread) ends the reading before the next
// projection: the scan is then not loaded, with the reason "cancelled".
bool loadH5Scan(const QString& file, ImgDatas& set, QString* why = nullptr,
                const std::atomic<bool>* cancel = nullptr);
