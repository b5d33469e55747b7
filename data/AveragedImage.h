#pragma once
// Several I0 (or BG) images of one size averaged pixel by pixel into one
// image held in memory: flats and darks taken more than once.
#include "ImgData.h"

#include <QList>

#include <vector>

class AveragedImage : public ImgData
{
public:
    // The mean of images (each ready, all of one size); null with *why set
    // when the list is empty or the images differ in size.  fileName is the
    // first image's, so reports still name a file.
    static AveragedImage* average(const QList<ImgData*>& images, QString* why);

    int count() const { return sources; }

    void resetReader() override;
    bool readProps(const QString& fileName, qint32& width, qint32& height) override;
    bool openData() override;
    double* readRow(int iy, double* out) override;
    double* readColumn(int ix, double* out) override;

private:
    std::vector<double> pixels;  // height rows of width values
    int sources = 0;
};
