#pragma once
// Writes ITEX image files that ImgDataITEX reads: the 64-byte header ("IM",
// comment length, width, height, offsets, pixel type), a comment of
// comma-separated properties, then little-endian unsigned pixels.
// Files appear complete or not at all (written to a temporary file first).
#include <QByteArray>
#include <QString>

class ItexWriter
{
public:
    ItexWriter() = default;
    ItexWriter(int width, int height, int bytesPerPixel = 2);

    // Comment text for the current settings, every property closed by a comma.
    QByteArray comment() const;
    // 64-byte header for a comment of the given length.
    QByteArray header(int commentLength) const;

    // pixels: width x height values of bytesPerPixel bytes each in host order.
    bool write(const QString& path, const void* pixels) const;
    bool write16(const QString& path, const quint16* pixels) const;
    bool write32(const QString& path, const quint32* pixels) const;

    int width = 0;
    int height = 0;
    int bytesPerPixel = 2;      // 2 or 4
    double expTime = 0.5;       // written as Prop_ExposureTime1
    QByteArray extraComment;    // appended as is; end it with a comma to be read
};
