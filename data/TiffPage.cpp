#include "TiffPage.h"

#include "TiffHandle.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

TiffPage::TiffPage()
    : h(new TiffHandle)
{
}

TiffPage::~TiffPage() = default;

int TiffPage::pageCount(const QString& path, QString* why)
{
    TiffHandle h;
    if (!h.openRead(path)) {
        if (why)
            *why = QStringLiteral("damaged or unreadable TIFF: ") + h.firstError();
        return 0;
    }
    const int n = int(TIFFNumberOfDirectories(h.tif()));
    // Counting walks every directory: a broken link in the chain shows here.
    if (!h.firstError().isEmpty()) {
        if (why)
            *why = QStringLiteral("damaged TIFF directory: ") + h.firstError();
        return 0;
    }
    if (n < 1 && why)
        *why = QStringLiteral("no pages");
    return n;
}

bool TiffPage::open(const QString& path, int page)
{
    lay = Layout();
    error.clear();
    if (!h->openRead(path)) {
        error = QStringLiteral("damaged or unreadable TIFF: ") + h->firstError();
        return false;
    }
    TIFF* tif = h->tif();
    if (page > 0 && !TIFFSetDirectory(tif, tdir_t(page))) {
        error = QStringLiteral("no page %1, the file has %2").arg(page + 1).arg(TIFFNumberOfDirectories(tif));
        return false;
    }
    uint32_t w = 0, ht = 0;
    uint16_t spp = 1, bps = 1, fmt = SAMPLEFORMAT_UINT, photo = 0, comp = COMPRESSION_NONE;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &ht);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &fmt);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &comp);
    lay.photometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photo) ? photo : -1;
    const char* text = nullptr;
    if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text) && text)
        lay.description = QString::fromUtf8(text);
    lay.width = w;
    lay.height = ht;
    lay.samplesPerPixel = spp;
    lay.bitsPerSample = bps;
    lay.sampleFormat = fmt;
    lay.compression = comp;
    lay.tiled = TIFFIsTiled(tif);
    lay.rowBytes = lay.tiled ? 0 : TIFFScanlineSize64(tif);
    if (lay.tiled) {
        // The decoded row of a tiled page, as a striped one would hold it.
        lay.rowBytes = (quint64(w) * spp * bps + 7) / 8;
    }
    if (!h->firstError().isEmpty()) {
        error = QStringLiteral("damaged TIFF directory: ") + h->firstError();
        return false;
    }
    return true;
}

bool TiffPage::read(char* dst)
{
    TIFF* tif = h->tif();
    if (!tif) {
        error = QStringLiteral("no page open");
        return false;
    }
    const qint64 rowBytes = qint64(lay.rowBytes);
    const qint64 height = lay.height;
    if (!lay.tiled) {
        uint32_t rps = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
        if (rps < 1 || rps > lay.height)
            rps = lay.height;
        const uint32_t strips = uint32_t((height + rps - 1) / rps);
        if (TIFFNumberOfStrips(tif) < strips) {
            error = QStringLiteral("%1 strips for %2 rows of %3").arg(TIFFNumberOfStrips(tif)).arg(height).arg(rps);
            return false;
        }
        for (uint32_t s = 0; s < strips; ++s) {
            const qint64 rows = qMin<qint64>(rps, height - qint64(s) * rps);
            const tmsize_t want = tmsize_t(rows * rowBytes);
            if (TIFFReadEncodedStrip(tif, s, dst + qint64(s) * rps * rowBytes, want) != want) {
                error = QStringLiteral("damaged pixel data in strip %1: %2").arg(s).arg(h->firstError());
                return false;
            }
        }
        return true;
    }
    uint32_t tw = 0, th = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
    const qint64 px = qint64(lay.samplesPerPixel) * lay.bitsPerSample / 8;
    const qint64 tileBytes = qint64(tw) * th * px;
    if (px < 1 || tw < 1 || th < 1 || tw > (1u << 16) || th > (1u << 16) || quint64(tileBytes) != TIFFTileSize64(tif)) {
        error = QStringLiteral("tiles of %1 x %2 pixels").arg(tw).arg(th);
        return false;
    }
    QByteArray tile(qsizetype(tileBytes), Qt::Uninitialized);
    for (uint32_t y = 0; y < lay.height; y += th) {
        for (uint32_t x = 0; x < lay.width; x += tw) {
            const uint32_t index = TIFFComputeTile(tif, x, y, 0, 0);
            if (TIFFReadEncodedTile(tif, index, tile.data(), tmsize_t(tileBytes)) != tmsize_t(tileBytes)) {
                error = QStringLiteral("damaged pixel data in tile %1: %2").arg(index).arg(h->firstError());
                return false;
            }
            // Tiles at the right and bottom edges reach beyond the image.
            const qint64 cols = qMin<qint64>(tw, qint64(lay.width) - x);
            const qint64 rows = qMin<qint64>(th, height - y);
            for (qint64 r = 0; r < rows; ++r)
                std::memcpy(dst + (qint64(y) + r) * rowBytes + qint64(x) * px, tile.constData() + r * qint64(tw) * px,
                            size_t(cols * px));
        }
    }
    return true;
}

bool TiffPage::readRect(char* dst, const QRect& rect)
{
    TIFF* tif = h->tif();
    if (!tif) {
        error = QStringLiteral("no page open");
        return false;
    }
    if (rect.isEmpty() || rect.left() < 0 || rect.top() < 0 || quint64(rect.right()) >= lay.width
        || quint64(rect.bottom()) >= lay.height || lay.width < 1) {
        error = QStringLiteral("no such part of the page");
        return false;
    }
    const qint64 rowBytes = qint64(lay.rowBytes);
    const qint64 px = rowBytes / qint64(lay.width);
    const qint64 outRow = qint64(rect.width()) * px;
    if (px < 1 || px * qint64(lay.width) != rowBytes) {
        error = QStringLiteral("rows of %1 bytes for %2 pixels").arg(rowBytes).arg(lay.width);
        return false;
    }
    // Copies the part of a decoded block (at bx, by; bw x bh pixels) that lies in rect.
    auto copy = [&](const char* block, qint64 bx, qint64 by, qint64 bw, qint64 bh) {
        const qint64 x0 = std::max<qint64>(bx, rect.left()), x1 = std::min<qint64>(bx + bw, rect.right() + 1);
        const qint64 y0 = std::max<qint64>(by, rect.top()), y1 = std::min<qint64>(by + bh, rect.bottom() + 1);
        for (qint64 y = y0; y < y1; ++y)
            std::memcpy(dst + (y - rect.top()) * outRow + (x0 - rect.left()) * px,
                        block + ((y - by) * bw + (x0 - bx)) * px, size_t((x1 - x0) * px));
    };
    if (!lay.tiled) {
        uint32_t rps = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
        if (rps < 1 || rps > lay.height)
            rps = lay.height;
        const uint32_t strips = uint32_t((qint64(lay.height) + rps - 1) / rps);
        if (TIFFNumberOfStrips(tif) < strips) {
            error = QStringLiteral("%1 strips for %2 rows of %3").arg(TIFFNumberOfStrips(tif)).arg(lay.height).arg(rps);
            return false;
        }
        QByteArray strip(qsizetype(qint64(rps) * rowBytes), Qt::Uninitialized);
        for (uint32_t s = uint32_t(rect.top()) / rps; s <= uint32_t(rect.bottom()) / rps; ++s) {
            const qint64 rows = qMin<qint64>(rps, qint64(lay.height) - qint64(s) * rps);
            const tmsize_t want = tmsize_t(rows * rowBytes);
            if (TIFFReadEncodedStrip(tif, s, strip.data(), want) != want) {
                error = QStringLiteral("damaged pixel data in strip %1: %2").arg(s).arg(h->firstError());
                return false;
            }
            copy(strip.constData(), 0, qint64(s) * rps, lay.width, rows);
        }
        return true;
    }
    uint32_t tw = 0, th = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
    const qint64 tileBytes = qint64(tw) * th * px;
    if (tw < 1 || th < 1 || tw > (1u << 16) || th > (1u << 16) || quint64(tileBytes) != TIFFTileSize64(tif)) {
        error = QStringLiteral("tiles of %1 x %2 pixels").arg(tw).arg(th);
        return false;
    }
    QByteArray tile(qsizetype(tileBytes), Qt::Uninitialized);
    // Tile rows in file order; in each only the tiles that reach into rect.
    for (uint32_t y = uint32_t(rect.top()) / th * th; y <= uint32_t(rect.bottom()); y += th) {
        for (uint32_t x = uint32_t(rect.left()) / tw * tw; x <= uint32_t(rect.right()); x += tw) {
            const uint32_t index = TIFFComputeTile(tif, x, y, 0, 0);
            if (TIFFReadEncodedTile(tif, index, tile.data(), tmsize_t(tileBytes)) != tmsize_t(tileBytes)) {
                error = QStringLiteral("damaged pixel data in tile %1: %2").arg(index).arg(h->firstError());
                return false;
            }
            copy(tile.constData(), x, y, tw, th);
        }
    }
    return true;
}
