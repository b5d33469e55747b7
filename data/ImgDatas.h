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

    bool addFile(const QString& path);
    bool render(int index, QImage& image, ColorScale* colorBar);

    int count() const { return int(imgs.size()); }
    ImgData* at(int i) const { return (i >= 0 && i < imgs.size()) ? imgs.at(i) : nullptr; }
    ImgData* i0() const { return i0Img ? *i0Img : nullptr; }
    ImgData* bg() const { return bgImg ? *bgImg : nullptr; }

    // 0 x 0 while no size is fixed.
    qint32 width = 0;
    qint32 height = 0;
    QList<ImgData*> imgs;
    ImgData** i0Img = nullptr;
    ImgData** bgImg = nullptr;

signals:
    void imageUpdated();

public slots:
    void clear();
    void clearImgs();
};
