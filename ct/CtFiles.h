#pragma once
// Names of the files saved after each slice, and the CT data text file:
// "#ZUVO-CTImg", the region in five header lines, then one
// "x<TAB>z<TAB>value" line per pixel of the region, z outer and x inner.
#include <QByteArray>
#include <QString>

#include <vector>

struct CtJob;
struct CtResult;
struct CtSlice;
struct ReconOutput;
struct ReconSettings;
class QIODevice;
class QImage;
class QRectF;
class Sha256;

class CtFiles
{
public:
    // File name of name (directory dropped) with "-tag" before its suffix.
    static QString insertTag(const QString& name, const QString& tag);
    // name without its last suffix, then "." and suffix.
    static QString replaceSuffix(const QString& name, const QString& suffix);
    // The picture (".png") or data (".dat") name of a slice: the tag when
    // there is one, then the slice number as five digits.
    static QString sliceName(const QString& name, const QString& tag, int slice, const QString& suffix);
    // Where the float TIFFs of settings s go: their own directory and name,
    // or the data files' when empty, always with the data files' tag.
    static ReconOutput tiffOutput(const ReconSettings& s);
    // The absolute paths of the picture, data file and float TIFF of slice
    // in j, as s asks for them (empty: not written).  The one place that
    // names a slice's files, for every calculator.
    static void nameOutputs(CtJob& j, const ReconSettings& s, int slice);
    // The picture of a centre sweep on slice, beside the runs' files: named
    // as the slice's picture (or, without pictures, its data file) with the
    // tag "sweep"; empty when s saves neither.
    static QString sweepPath(const ReconSettings& s, int slice);
    // Writes the files r.job names from r's data and picture (each aside,
    // then renamed): what was written goes to r.written and r.fileRecords,
    // what failed to r.failures and is counted.  Every calculator's writer.
    static void writeResult(CtResult& r);

    // Writes the data file of an n x n image (row = z) over the region
    // x0 .. x1, z0 .. z1.  Pixels of the region outside the image are written
    // as 0.  False (and nothing written) when the region is absurdly large.
    // Every byte written is also added to hash when one is given.
    static bool writeData(QIODevice* out, const double* image, int n, double x0, double z0, double x1,
                          double z1, Sha256* hash = nullptr);
    // The same into a file, written aside and renamed into place when
    // complete.  Failures go to the debug log, or into *error when given.
    // hash, when given, receives the file's bytes (its digest is the file's
    // when this returns true).
    static bool saveData(const QString& path, const double* image, int n, double x0, double z0,
                         double x1, double z1, QString* error = nullptr, Sha256* hash = nullptr);
    // The part `part` of a picture (the whole picture when part is empty;
    // pixels beyond the picture are black) in the format of the path's
    // suffix, written aside and renamed into place.  False with *error set.
    static bool savePicture(const QString& path, const QImage& picture, const QRectF& part,
                            QString* error);
    // The slice's values over its calculation region (pixels of the region
    // outside the image as 0) as a 32-bit float TIFF whose description gives
    // the region's offset and the scale to mu; written aside and renamed.
    // False with *error set.  valueToPerCm above 0 (a pixel size was
    // given) adds "per_cm=value*F" to the description.
    static bool saveFloatTiff(const QString& path, const CtSlice& s, QString* error, double valueToPerCm = 0);
    // The region's values as a float TIFF holds them (w x h from x0, z0);
    // false with *error naming path for an empty or oversized region.
    static bool regionValues(const CtSlice& s, std::vector<float>& v, int& w, int& h, long long& x0, long long& z0,
                             const QString& path, QString* error);
    // The image description of that file.
    static QString tiffDescription(const CtSlice& s, long long x0, long long z0, int w, int h,
                                   double valueToPerCm = 0);
    // Data lines the region asks for (0 when it is empty), as a double so
    // that absurd regions cannot overflow.
    static double lineCount(double x0, double z0, double x1, double z1);
    // More data lines than this are not written.
    static double maxLines(int n);
};
