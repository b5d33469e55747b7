#pragma once
// TIFF files are recognised by type only: they load as ready 0 x 0 images.
#include "ImgData.h"

class ImgDataTiff : public ImgData
{
public:
    void resetReader() override {}
    bool readProps(const QString& fileName, qint32& width, qint32& height) override;
    bool openData() override { return true; }
    double* readRow(int, double* out) override { return out; }
    double* readColumn(int, double* out) override { return out; }
};
