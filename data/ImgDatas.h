#pragma once
// The projection series of one measurement: equally sized images in load
// order, plus where the current I0 and BG images live (owned elsewhere).
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

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
    // Why the run must not start on this series with these I0 and BG names
    // (empty names: no correction): files that failed to load, an empty
    // series, an I0 or BG image whose name was given but that did not load
    // or does not match the series' size. Empty when the run may start.
    QString runRefusal(const QString& i0Name, const QString& bgName) const;
    // Bytes the images of files would take in memory, from the header of
    // the first file that has one (the others must match it); 0 if none has.
    static qint64 seriesBytes(const QStringList& files);
    // Bytes the loaded images hold.
    qint64 bytesHeld() const;
    // Why files must not be loaded: they would not fit in the memory budget
    // (replacing: the loaded images are dropped first). Empty when they fit.
    QString memoryRefusal(const QStringList& files, bool replacing) const;
    bool render(int index, QImage& image, ColorScale* colorBar);

    int count() const { return int(imgs.size()); }
    ImgData* at(int i) const { return (i >= 0 && i < imgs.size()) ? imgs.at(i) : nullptr; }
    ImgData* i0() const { return i0Img ? *i0Img : nullptr; }
    ImgData* bg() const { return bgImg ? *bgImg : nullptr; }
    ImgData* i0After() const { return i0AfterImg ? *i0AfterImg : nullptr; }

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

signals:
    void imageUpdated();

public slots:
    void clear();
    void clearImgs();
};
