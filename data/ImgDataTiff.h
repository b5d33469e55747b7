#pragma once
// Reader of TIFF files through libtiff: one page of one sample per pixel,
// 8-, 16- or 32-bit unsigned integers or 32-bit floats, in strips or tiles,
// uncompressed, LZW, Deflate or PackBits, either byte order. Anything else
// (colour, several samples, 1-bit, JPEG, a damaged directory) is refused
// with the reason. The page is read whole and the file closed, with or
// without preload; TIFF carries no exposure time (it stays 1).
#include "ImgDataMem.h"

class ImgDataTiff : public ImgDataMem
{
public:
    bool readProps(const QString& fileName, qint32& width, qint32& height) override;
    bool openData() override;

    // Pages of a TIFF file; 0 with the reason in *why when it has none that
    // can be read.
    static int pageCount(const QString& path, QString* why = nullptr);

    // Page (image file directory) to read, counted from 0.
    int page = 0;
    // What the directory says: TIFF compression code, tiled or in strips.
    int compression = 1;
    bool tiled = false;

private:
    bool refuse(const QString& reason, const QString& path = QString());
};
