#pragma once
// The projection series of one measurement: equally sized images in load
// order, plus where the current I0 and BG images live (owned elsewhere).
#include "LineBand.h"
#include "ScanAngles.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>

class ColorScale;
class ImgData;

class ImgDatas : public QObject
{
    Q_OBJECT
public:
    explicit ImgDatas(QObject* parent = nullptr);
    ~ImgDatas() override;

    // Appends the image of path; a file that does not load is counted in
    // `failed` with a message naming it and the cause (a load failure).
    bool addFile(const QString& path);
    // Appends every page of a multi-page TIFF file as one projection each.
    // Pages that do not load are counted in `failed` as "path (page n)";
    // a stack that would not fit in the memory budget loads nothing and is
    // counted as one failed file. False unless every page was added.
    // A cancel (set from another thread) ends it before the next page, with
    // the pages not read counted as one failure.
    bool addTiffStack(const QString& path, const std::atomic<bool>* cancel = nullptr);
    // Takes over everything other holds (images, size, failed files, a
    // scan's own I0 and BG, angles, source file); other is left empty.  The
    // references to the user's I0 and BG stay as they are.
    void takeSeries(ImgDatas& other);
    // Makes the series the projections of one scan with its own I0 and BG
    // images (the set owns them) and, when the scan has them, its angles:
    // what an HDF5 scan brings. Replaces whatever the set held; the images
    // must all be ready and of one size.
    void setScan(QList<ImgData*> projections, ImgData* i0, ImgData* bg, QVector<double> angles);
    // Why the run must not start on this series with these I0 and BG names
    // (empty names: no correction): files that failed to load, an empty
    // series, an I0 or BG image whose name was given but that did not load
    // or does not match the series' size; the same for the I0 taken after
    // the scan, which also needs an I0 before it and does not go with a
    // scan's own I0. Empty when the run may start.
    QString runRefusal(const QString& i0Name, const QString& bgName, const QString& i0AfterName = QString()) const;
    // Bytes the images of files would take in memory whole, from the header
    // of the first file that has one (the others must match it, and its size
    // goes to *w, *h); 0 if none has.
    static qint64 seriesBytes(const QStringList& files, int* w = nullptr, int* h = nullptr);
    // Bytes one image file (the first page of a TIFF file) would take in
    // memory whole, from its header (its size to *w, *h); 0 if it has no
    // usable one.
    static qint64 imageBytes(const QString& file, int* w = nullptr, int* h = nullptr);
    // Bytes the loaded images hold.
    qint64 bytesHeld() const;
    // Why files must not be loaded: they would not fit in the memory budget
    // (replacing: the loaded images are dropped first), even as the lines of
    // `fallback`. Empty when they fit; the lines to load are then `planned`.
    QString memoryRefusal(const QStringList& files, bool replacing);
    // Chooses the lines the next load keeps and puts them in `planned`:
    // `band` when it is set; else the whole series when its `need` bytes
    // (images of w x h) fit in the memory budget; else the lines of
    // `fallback`, when set and they fit, saying so in the log. Returns why
    // nothing can be loaded ("<what> need 12.0 MB, 8.0 MB of memory
    // available"); empty when something can.
    QString planBand(qint64 need, int w, int h, const QString& what, bool replacing);
    // The lines the loaded images hold (whole when none is loaded).
    LineBand heldBand() const;
    // Why slices lo .. hi of an axis cannot be reconstructed from the lines
    // held; empty when they can.
    QString bandRefusal(bool rotAxIsV, long long lo, long long hi) const;
    bool render(int index, QImage& image, ColorScale* colorBar);

    int count() const { return int(imgs.size()); }
    ImgData* at(int i) const { return (i >= 0 && i < imgs.size()) ? imgs.at(i) : nullptr; }
    // A scan's own I0 and BG images come first: they belong to its projections.
    ImgData* i0() const { return scanI0 ? scanI0.get() : i0Img ? *i0Img : nullptr; }
    ImgData* bg() const { return scanBg ? scanBg.get() : bgImg ? *bgImg : nullptr; }
    ImgData* i0After() const { return i0AfterImg ? *i0AfterImg : nullptr; }

    // The lines every following load keeps (whole by default).
    LineBand band;
    // Lines loaded instead when a whole series would not fit in memory (the
    // run's slice range); whole: such a series is refused.
    LineBand fallback;
    // What planBand chose for the load under way.
    LineBand planned;
    // The unit of the angles an HDF5 scan brings (Auto: its units attribute).
    ScanAngles::Unit angleUnit = ScanAngles::Unit::Auto;

    // 0 x 0 while no size is fixed.
    qint32 width = 0;
    qint32 height = 0;
    QList<ImgData*> imgs;
    // Files selected for this series that did not load, in order; emptied
    // with the images.
    QStringList failed;
    ImgData** i0Img = nullptr;
    ImgData** bgImg = nullptr;
    // I0 taken after the scan (optional): with it, projection p of n is
    // normalised by I0 interpolated linearly between i0 (p = 0) and this
    // (p = n - 1).
    ImgData** i0AfterImg = nullptr;
    // I0 and BG images that came with the projections (an HDF5 scan's flat
    // and dark means); emptied with the images.
    std::unique_ptr<ImgData> scanI0;
    std::unique_ptr<ImgData> scanBg;
    // Rotation angle of each projection in degrees, when the data gave them
    // (one per image, in order); empty otherwise, and emptied as soon as the
    // images no longer match them.
    QVector<double> anglesDeg;
    // The one file the whole series came from (an HDF5 scan, a TIFF stack);
    // empty for a series of image files, and emptied when the series changes.
    QString sourceFile;
    // Numbers missing from the file names, accepted when the series was
    // listed ("45, 60-62"); empty when none, and emptied with the images.
    QString gaps;

    // Appends a loaded image when it is ready and of the set's size; counts
    // it as failed under name (with why) otherwise. Takes ownership either way.
    bool adopt(ImgData* img, const QString& name, const QString& why);

signals:
    void imageUpdated();

private:
    QString budgetRefusal(qint64 need, const QString& what, bool replacing) const;

public slots:
    void clear();
    void clearImgs();
};
