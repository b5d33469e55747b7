#pragma once
// An image whose pixels are held in memory, row-major, top row first, in
// host byte order, as 8-, 16- or 32-bit unsigned integers or 32- or 64-bit
// floats: the pixels of a TIFF page or of a frame of an HDF5 scan. Rows and
// columns are converted to double on demand, so several threads may read
// one image at once with buffers of their own.
#include "ImgData.h"

#include <QByteArray>

class ImgDataMem : public ImgData
{
public:
    enum Sample { U8, U16, U32, F32, F64 };
    static int sampleBytes(Sample s);

    // A ready image named name (shown in messages) of w x h values of kind
    // s; bytes must hold exactly the values of band's part of it (all w x h
    // by default), and floats must be finite. Null with the reason in *why
    // otherwise.
    static ImgDataMem* fromPixels(const QString& name, int w, int h, Sample s, QByteArray bytes,
                                  QString* why = nullptr, const LineBand& band = LineBand());

    void resetReader() override;
    // Succeeds when the held pixels match width x height (set beforehand).
    bool readProps(const QString& fileName, qint32& width, qint32& height) override;
    bool openData() override { return true; }
    double* readRow(int iy, double* out) override;
    double* readColumn(int ix, double* out) override;
    qint64 heldBytes() const override { return pixels.size(); }

    // Bytes width x height pixels of the current kind take.
    qint64 blockBytes() const;
    // Bytes the band's part of them takes.
    qint64 bandBytes() const { return heldRectBytes(sampleBytes(sample)); }
    // False when a float pixel is NaN or infinite (they would poison every
    // absorbance they touch).
    bool allFinite() const;

    Sample sample = U16;
    QByteArray pixels;
};
