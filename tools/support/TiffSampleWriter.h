#pragma once
// Writes TIFF files of every layout the image reader meets (and some it
// refuses), for tests and benchmarks: sample format and width, compression,
// strips or tiles, byte order, pages, samples per pixel.
#include <QList>
#include <QString>

struct TiffLayout
{
    int bits = 16;              // bits per sample: 1, 8, 16, 32, 64
    int sampleFormat = 1;       // 1 unsigned, 2 signed, 3 float
    int compression = 1;        // TIFF code: 1 none, 5 LZW, 8 Deflate, 32773 PackBits, 7 JPEG
    bool tiled = false;
    int tileSize = 16;          // tile width and height (a multiple of 16)
    int rowsPerStrip = 3;       // strips of a few rows, so a file has several
    bool bigEndian = false;
    int samplesPerPixel = 1;    // every sample of a pixel gets its value
    int photometric = 1;        // 1 min-is-black, 2 RGB, 3 palette
};

class TiffSampleWriter
{
public:
    explicit TiffSampleWriter(const TiffLayout& layout = TiffLayout()) : lay(layout) {}

    // One page per entry of pages, each width x height values row-major,
    // converted to the sample type (integers rounded).
    bool write(const QString& path, int width, int height, const QList<const double*>& pages);
    QString error() const { return err; }
    // The image description of the first page ("" when it has none), and
    // the page's bits per sample and sample format, to check written files.
    static QString description(const QString& path, int* bits = nullptr, int* sampleFormat = nullptr);

private:
    TiffLayout lay;
    QString err;
};
