#pragma once
// Every slice of a run in one file, as volume viewers open it:
//   .tif / .tiff  a 32-bit float multi-page TIFF, one page per slice in
//                 slice order (BigTIFF when it would pass 4 GiB), with the
//                 pixel size as its resolution (pixels per centimetre)
//   .h5 / .hdf5   one HDF5 dataset "volume" of slices x rows x columns
//                 float32, chunked by slice, with attributes "pixel_size"
//                 (micrometres) and "run_report" (the run report's JSON)
// The file is written under a temporary name beside the target and renamed
// into place only when every slice is in: it appears complete or not at all.
// Slices may arrive in any order; TIFF pages wait for the ones before them.
// Used from one thread.
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

class VolumeWriter
{
public:
    VolumeWriter();
    ~VolumeWriter();  // an uncommitted file is removed
    VolumeWriter(const VolumeWriter&) = delete;
    VolumeWriter& operator=(const VolumeWriter&) = delete;

    // Why path cannot take a volume: an unknown suffix, a missing or
    // unwritable directory, a target that is not a regular file. Empty
    // when it can.
    static QString pathProblem(const QString& path);
    // Starts a volume of `slices` slices; nothing is created until the
    // first slice. False with *why set when the path cannot take it.
    bool begin(const QString& path, int slices, double pixelUm, QString* why);
    // Slice `index` (0 .. slices - 1) of w x h values, row-major. Every
    // slice must have the first one's size. False with *why set on a write
    // failure (then the volume is given up and add/commit fail).
    bool add(int index, const float* values, int w, int h, QString* why);
    // Completes the file: false (the temporary file removed) when a slice
    // is missing or a write fails. report: the run report's JSON (HDF5).
    bool commit(const QString& report, QString* why);
    void cancel();

    bool active() const { return !target.isEmpty(); }
    QString path() const { return target; }
    int slicesAdded() const { return added; }

    // One HDF5 file `out` whose dataset "volume" is a virtual dataset of the
    // "volume" datasets of parts (HDF5 volumes of equal rows and columns),
    // one after the other, without copying them: the parts must stay where
    // they are (they are named relative to out's directory). Written as
    // volumes are; false with *why set (a part missing or unlike the first).
    static bool joinHdf5(const QString& out, const QStringList& parts, QString* why);

    // Bytes above which a TIFF volume is written as BigTIFF.
    static constexpr long long classicTiffLimit = (1LL << 32) - (1LL << 24);

private:
    struct Tiff;
    struct Hdf5;
    bool open(int w, int h, QString* why);
    bool fail(const QString& text, QString* why);
    bool writeTiffPage(const float* values, QString* why);

    QString target;
    QString temp;
    bool hdf5 = false;
    int count = 0;
    double pixel = 0;
    int width = 0, height = 0;
    int added = 0;
    bool failed = false;
    std::vector<bool> have;
    // TIFF pages that arrived before their turn.
    std::map<int, std::vector<float>> waiting;
    int nextPage = 0;
    std::unique_ptr<Tiff> tiff;
    std::unique_ptr<Hdf5> h5;
};
