#pragma once
// Reader of ITEX image files: a 64-byte header starting "IM" with the comment
// length, a comment of comma-separated properties, then unsigned 16- or 32-bit
// little-endian pixels, row-major, top row first.
#include "ImgData.h"

#include <QByteArray>
#include <QFile>

class ImgDataITEX : public ImgData
{
public:
    ~ImgDataITEX() override;

    void resetReader() override;
    bool readProps(const QString& fileName, qint32& width, qint32& height) override;
    bool openData() override;
    double* readRow(int iy, double* out) override;
    double* readColumn(int ix, double* out) override;

    QFile file;
    qint32 dataOffset = 0;
    // 2 for 16-bit pixels, 4 for 32-bit ones; files without the property are 16-bit.
    qint32 bytesPerPixel = 2;
    QByteArray rowRaw;
    QByteArray pixels;

private:
    void evalProp(const QString& prop, int& fbWidth, int& fbHeight);
    qint64 blockBytes() const;
    void convert(const uchar* src, double* out, int n, qint64 stride) const;
};
