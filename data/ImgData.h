#pragma once
// One detector image bound to one file: size, rows and columns as double,
// value range, and rendering into an 8-bit grey picture through a colour scale.
#include "LineBand.h"

#include <QImage>
#include <QString>

#include <algorithm>

class ColorScale;

enum ImgFileType { ITEX = 0, TIFF = 1, Unsupported = 2 };

class ImgData;

bool isTiffFile(const QString& path);
bool isItexFile(const QString& path);
ImgFileType imgFileType(const QString& path);
// The caller owns the result; null for an unsupported type.
ImgData* newImgData(ImgFileType type);
// Why path cannot be read as an image file before anything opens it: a
// dangling link, a directory, FIFO or device (opening a FIFO would block), a
// missing or empty file. Empty when it is a regular file with bytes.
QString fileTypeProblem(const QString& path);
// The usual way to read a file: a reader of its type, loaded (preloaded by
// default), with `ready` telling whether that worked. The caller owns the
// result; null for a file that is no regular file or of no known type, with
// the reason in *why when given (a reader that failed keeps it in `error`).
// With a band other than whole, only those lines are read and held.
ImgData* loadImgData(const QString& path, bool preload = true, QString* why = nullptr,
                     const LineBand& band = LineBand());

class ImgData
{
public:
    ImgData();
    virtual ~ImgData();
    ImgData(const ImgData&) = delete;
    ImgData& operator=(const ImgData&) = delete;

    virtual void resetReader() = 0;
    virtual bool readProps(const QString& fileName, qint32& width, qint32& height) = 0;
    virtual bool openData() = 0;
    // Fill out[0..width-1] with row iy and return out.
    virtual double* readRow(int iy, double* out) = 0;
    // Fill out[0..height-1] with column ix and return out.
    virtual double* readColumn(int ix, double* out) = 0;
    // Bytes of pixels this image holds in memory.
    virtual qint64 heldBytes() const { return 0; }

    bool load();
    // Logs text and the file name (path, or fileName when empty), keeps text
    // as the reason of the failure, returns false.
    bool fail(const QString& text, const QString& path = QString());
    void computeMinMax();
    void getMinMax(double& min, double& max);
    void renderTo(QImage& image, ColorScale* colorBar);

    // The part of the image held: set before load(); reading a line outside
    // it gives zeros. width and height stay those of the whole image.
    LineBand band;
    // band as a rectangle of the image (valid once the size is known).
    QRect heldRect() const { return band.rectIn(width, height); }

    bool ready = false;
    bool preload = true;
    double expTime = 1.0;
    qint32 width = 0;
    qint32 height = 0;
    QString fileName;
    // Why the last load failed; empty after a successful one.
    QString error;
    bool minMaxValid = false;
    double minValue;
    double maxValue;
    double* rowBuf = nullptr;
    double* colBuf = nullptr;

protected:
    // Row iy or column ix of the held rectangle, whose pixels are px row-major
    // at step bytes each, through conv(src, out, n, stride); the rest is zero.
    template<typename Conv>
    double* readHeldRow(const QByteArray& px, int step, int iy, double* out, Conv conv) const
    {
        const QRect r = heldRect();
        if (r.width() != width)
            std::fill(out, out + width, 0.0);
        const qint64 rowBytes = qint64(r.width()) * step;
        if (iy < r.top() || iy > r.bottom() || px.size() < (qint64(iy - r.top()) + 1) * rowBytes) {
            std::fill(out, out + width, 0.0);
            return out;
        }
        conv(reinterpret_cast<const uchar*>(px.constData()) + qint64(iy - r.top()) * rowBytes, out + r.left(),
             r.width(), qint64(step));
        return out;
    }
    template<typename Conv>
    double* readHeldColumn(const QByteArray& px, int step, int ix, double* out, Conv conv) const
    {
        const QRect r = heldRect();
        if (r.height() != height)
            std::fill(out, out + height, 0.0);
        const qint64 rowBytes = qint64(r.width()) * step;
        if (ix < r.left() || ix > r.right() || px.size() < rowBytes * r.height()) {
            std::fill(out, out + height, 0.0);
            return out;
        }
        conv(reinterpret_cast<const uchar*>(px.constData()) + qint64(ix - r.left()) * step, out + r.top(),
             r.height(), rowBytes);
        return out;
    }
    // Bytes the held rectangle takes at step bytes a pixel.
    qint64 heldRectBytes(int step) const
    {
        const QRect r = heldRect();
        return qint64(r.width()) * r.height() * step;
    }
};
