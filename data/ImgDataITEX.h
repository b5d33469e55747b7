#pragma once
// Reader of ITEX image files: a 64-byte header starting "IM" with the comment
// length, a comment of comma-separated properties, then unsigned 16- or 32-bit
// little-endian pixels, row-major, top row first.
#include "ImgData.h"

#include <QByteArray>
#include <QFile>

#include <memory>

class ImgDataITEX : public ImgData
{
public:
    ~ImgDataITEX() override;

    void resetReader() override;
    bool readProps(const QString& fileName, qint32& width, qint32& height) override;
    bool openData() override;
    double* readRow(int iy, double* out) override;
    double* readColumn(int ix, double* out) override;
    qint64 heldBytes() const override { return pixels.size(); }

    // No file stays open: a preloaded image is read whole and closed; without
    // preload each row or column read opens the file for that read. A band
    // is always read at load, in one pass from its first row to its last.
    qint32 dataOffset = 0;
    // 2 for 16-bit pixels, 4 for 32-bit ones: the comment's BytesPerPixel=,
    // else the header's pixel type (3 = 32-bit), else 16-bit.
    qint32 bytesPerPixel = 2;
    QByteArray rowRaw;
    QByteArray pixels;

private:
    // Open from readProps to the end of openData: header and pixels come
    // from one file, even when its name is given to another meanwhile.
    std::unique_ptr<QFile> file;
    // Size and change time of that file when the header was read.
    qint64 sizeAtOpen = -1;
    qint64 changeAtOpen = 0;
    // "" when the open file still has the size and change time it had;
    // otherwise why not.
    QString changedSinceOpen() const;
    void evalProp(const QString& prop, int& fbWidth, int& fbHeight, bool& bppSeen);
    // Reads len bytes at pos of the pixel block's file into dst; false if short.
    bool readAt(qint64 pos, char* dst, qint64 len) const;
    qint64 blockBytes() const;
    bool readBand();
    void convert(const uchar* src, double* out, int n, qint64 stride) const;
};
