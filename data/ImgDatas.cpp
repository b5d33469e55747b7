#include "ImgDatas.h"

#include "ImgData.h"

#include <QDebug>

ImgDatas::ImgDatas(QObject* parent)
    : QObject(parent)
{
}

ImgDatas::~ImgDatas()
{
    clear();
}

bool ImgDatas::addFile(const QString& path)
{
    ImgData* img = loadImgData(path);
    if (!img)
        return false;
    if (!img->ready) {
        qDebug().noquote() << QStringLiteral("File is not ready to access ") + path;
        delete img;
        return false;
    }
    if (width == 0) {
        width = img->width;
        height = img->height;
    } else if (img->width != width || img->height != height) {
        qDebug().noquote() << QStringLiteral("Mismatch image size")
                + QStringLiteral(": (%1, %2) != (%3, %4) : ").arg(width).arg(height).arg(img->width).arg(img->height)
                + path;
        delete img;
        return false;
    }
    imgs.append(img);
    return true;
}

bool ImgDatas::render(int index, QImage& image, ColorScale* colorBar)
{
    if (index < 0 || index >= imgs.size())
        return false;
    imgs.at(index)->renderTo(image, colorBar);
    emit imageUpdated();
    return true;
}

void ImgDatas::clearImgs()
{
    qDeleteAll(imgs);
    imgs.clear();
}

void ImgDatas::clear()
{
    clearImgs();
    width = height = 0;
}
