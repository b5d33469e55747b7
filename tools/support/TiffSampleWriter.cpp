#include "TiffSampleWriter.h"

#include <QFile>

#include <tiffio.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

template<typename T>
void put(std::vector<uchar>& row, int i, double v)
{
    const T t = T(v);
    std::memcpy(row.data() + size_t(i) * sizeof(T), &t, sizeof(T));
}

int quietHandler(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

} // namespace

bool TiffSampleWriter::write(const QString& path, int width, int height, const QList<const double*>& pages)
{
    TIFFOpenOptions* o = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(o, quietHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(o, quietHandler, nullptr);
    TIFF* tif = TIFFOpenExt(QFile::encodeName(path).constData(), lay.bigEndian ? "wb" : "wl", o);
    TIFFOpenOptionsFree(o);
    if (!tif) {
        err = QStringLiteral("can not create ") + path;
        return false;
    }
    const int spp = lay.samplesPerPixel;
    const size_t pixelBytes = size_t(std::max(lay.bits, 8) / 8) * size_t(spp);
    const size_t rowBytes = lay.bits == 1 ? size_t(width * spp + 7) / 8 : size_t(width) * pixelBytes;
    bool ok = true;
    for (int pg = 0; pg < pages.size(); ++pg) {
        const double* px = pages.at(pg);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(spp));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(lay.bits));
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, uint16_t(lay.sampleFormat));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(lay.photometric));
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
        TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(lay.compression));
        if (lay.photometric == PHOTOMETRIC_PALETTE) {
            std::vector<uint16_t> map(size_t(1) << lay.bits, 0);
            TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
        }
        if (pages.size() > 1) {
            TIFFSetField(tif, TIFFTAG_SUBFILETYPE, uint32_t(FILETYPE_PAGE));
            TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(pg), uint16_t(pages.size()));
        }
        // Each row as the file stores it.
        auto rowOf = [&](int y, std::vector<uchar>& row) {
            row.assign(rowBytes, 0);
            for (int x = 0; x < width; ++x) {
                const double v = px[size_t(y) * width + x];
                for (int s = 0; s < spp; ++s) {
                    const int i = x * spp + s;
                    if (lay.bits == 1) {
                        if (std::lround(v) & 1)
                            row[size_t(i) / 8] |= uchar(0x80 >> (i % 8));
                    } else if (lay.sampleFormat == 3) {
                        if (lay.bits == 64)
                            put<double>(row, i, v);
                        else
                            put<float>(row, i, v);
                    } else if (lay.bits == 8) {
                        put<quint8>(row, i, std::round(v));
                    } else if (lay.bits == 16) {
                        put<quint16>(row, i, std::round(v));
                    } else {
                        put<quint32>(row, i, std::round(v));
                    }
                }
            }
        };
        std::vector<uchar> row;
        if (lay.tiled) {
            const int ts = lay.tileSize;
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, uint32_t(ts));
            TIFFSetField(tif, TIFFTAG_TILELENGTH, uint32_t(ts));
            std::vector<uchar> tile(size_t(ts) * ts * pixelBytes);
            for (int ty = 0; ok && ty < height; ty += ts)
                for (int tx = 0; ok && tx < width; tx += ts) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (int r = 0; r < ts && ty + r < height; ++r) {
                        rowOf(ty + r, row);
                        const int cols = std::min(ts, width - tx);
                        std::memcpy(tile.data() + size_t(r) * ts * pixelBytes, row.data() + size_t(tx) * pixelBytes,
                                    size_t(cols) * pixelBytes);
                    }
                    ok = TIFFWriteTile(tif, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0) >= 0;
                }
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(lay.rowsPerStrip));
            for (int y = 0; ok && y < height; ++y) {
                rowOf(y, row);
                ok = TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) >= 0;
            }
        }
        ok = ok && TIFFWriteDirectory(tif);
        if (!ok)
            break;
    }
    TIFFClose(tif);
    if (!ok)
        err = QStringLiteral("can not write ") + path;
    return ok;
}

QString TiffSampleWriter::description(const QString& path, int* bits, int* sampleFormat)
{
    TIFFOpenOptions* o = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(o, quietHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(o, quietHandler, nullptr);
    TIFF* tif = TIFFOpenExt(QFile::encodeName(path).constData(), "r", o);
    TIFFOpenOptionsFree(o);
    if (!tif)
        return QString();
    char* text = nullptr;
    QString d;
    if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text) && text)
        d = QString::fromUtf8(text);
    uint16_t b = 0, f = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &b);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &f);
    if (bits)
        *bits = b;
    if (sampleFormat)
        *sampleFormat = f;
    TIFFClose(tif);
    return d;
}
