#include "AveragedImage.h"

#include <QFileInfo>

#include <algorithm>
#include <new>

AveragedImage* AveragedImage::average(const QList<ImgData*>& images, QString* why)
{
    auto refuse = [&](const QString& text) {
        if (why)
            *why = text;
        return nullptr;
    };
    if (images.isEmpty())
        return refuse(QStringLiteral("no images to average"));
    const ImgData* first = images.first();
    for (const ImgData* img : images) {
        if (!img || !img->ready)
            return refuse(QStringLiteral("an image to average did not load"));
        if (img->width != first->width || img->height != first->height)
            return refuse(QStringLiteral("images to average differ in size: %1 is %2 x %3, %4 is %5 x %6")
                              .arg(QFileInfo(first->fileName).fileName())
                              .arg(first->width)
                              .arg(first->height)
                              .arg(QFileInfo(img->fileName).fileName())
                              .arg(img->width)
                              .arg(img->height));
    }
    auto* a = new AveragedImage;
    a->fileName = first->fileName;
    a->sources = int(images.size());
    try {
        a->pixels.assign(size_t(first->width) * size_t(first->height), 0.0);
        std::vector<double> row(size_t(std::max(first->width, 1)));
        for (ImgData* img : images)
            for (int y = 0; y < first->height; ++y) {
                img->readRow(y, row.data());
                double* dst = a->pixels.data() + size_t(y) * size_t(first->width);
                for (int x = 0; x < first->width; ++x)
                    dst[x] += row[size_t(x)];
            }
    } catch (const std::bad_alloc&) {
        delete a;
        return refuse(QStringLiteral("out of memory averaging %1 images").arg(images.size()));
    }
    const double scale = 1.0 / images.size();
    for (double& v : a->pixels)
        v *= scale;
    a->width = first->width;
    a->height = first->height;
    if (!a->load()) {
        delete a;
        return refuse(QStringLiteral("averaged image could not be set up"));
    }
    return a;
}

void AveragedImage::resetReader()
{
    std::vector<double>().swap(pixels);
}

bool AveragedImage::readProps(const QString&, qint32& w, qint32& h)
{
    // The size was fixed when the pixels were summed.
    w = width;
    h = height;
    return !pixels.empty();
}

bool AveragedImage::openData()
{
    return !pixels.empty();
}

double* AveragedImage::readRow(int iy, double* out)
{
    if (iy < 0 || iy >= height) {
        std::fill(out, out + width, 0.0);
        return out;
    }
    std::copy_n(pixels.data() + size_t(iy) * size_t(width), width, out);
    return out;
}

double* AveragedImage::readColumn(int ix, double* out)
{
    for (int y = 0; y < height; ++y)
        out[y] = ix >= 0 && ix < width ? pixels[size_t(y) * size_t(width) + size_t(ix)] : 0.0;
    return out;
}
