#include "ImgDataTiff.h"

#include "MemoryBudget.h"
#include "TiffPage.h"

#include <QFileInfo>

namespace {

// Whole-page bytes a compressed page may claim per byte of its file. The
// codecs read here expand at most about a thousand (Deflate) to a few
// thousand (LZW) times; a directory that claims more is damaged or hostile.
const qint64 kMaxExpansion = 4096;

QString compressionName(int c)
{
    switch (c) {
    case TiffPage::CompNone: return QStringLiteral("none");
    case TiffPage::CompLzw: return QStringLiteral("LZW");
    case TiffPage::CompAdobeDeflate:
    case TiffPage::CompDeflate: return QStringLiteral("Deflate");
    case TiffPage::CompPackBits: return QStringLiteral("PackBits");
    default: return QString::number(c);
    }
}

} // namespace

bool ImgDataTiff::refuse(const QString& reason, const QString&)
{
    width = height = 0;
    pixels.clear();
    // Not logged here: whoever loads the image reports it once, with this reason.
    error = QStringLiteral("TIFF image refused (%1)").arg(reason);
    return false;
}

int ImgDataTiff::pageCount(const QString& path, QString* why)
{
    return TiffPage::pageCount(path, why);
}

bool ImgDataTiff::readProps(const QString& fname, qint32& w, qint32& h)
{
    w = h = 0;
    width = height = 0;
    pixels.clear();
    TiffPage tp;
    if (!tp.open(fname, page))
        return refuse(tp.error, fname);
    const TiffPage::Layout& l = tp.layout();
    compression = l.compression;
    tiled = l.tiled;
    const int comp = l.compression, bps = l.bitsPerSample, fmt = l.sampleFormat;

    if (l.width < 1 || l.height < 1)
        return refuse(QStringLiteral("no image size"), fname);
    if (l.photometric >= 0 && l.photometric != TiffPage::MinIsBlack && l.photometric != TiffPage::MinIsWhite)
        return refuse(QStringLiteral("colour image, photometric interpretation %1").arg(l.photometric), fname);
    if (l.samplesPerPixel != 1)
        return refuse(QStringLiteral("%1 samples per pixel, only one is read").arg(l.samplesPerPixel), fname);
    if (bps == 1)
        return refuse(QStringLiteral("1-bit pixels"), fname);
    if (comp == TiffPage::CompJpeg || comp == TiffPage::CompOldJpeg)
        return refuse(QStringLiteral("JPEG-compressed"), fname);
    if (comp != TiffPage::CompNone && comp != TiffPage::CompLzw && comp != TiffPage::CompAdobeDeflate
        && comp != TiffPage::CompDeflate && comp != TiffPage::CompPackBits)
        return refuse(QStringLiteral("compression %1 is not read").arg(comp), fname);
    if (fmt == TiffPage::FormatUInt && bps == 8)
        sample = U8;
    else if (fmt == TiffPage::FormatUInt && bps == 16)
        sample = U16;
    else if (fmt == TiffPage::FormatUInt && bps == 32)
        sample = U32;
    else if (fmt == TiffPage::FormatFloat && bps == 32)
        sample = F32;
    else if (fmt == TiffPage::FormatInt)
        return refuse(QStringLiteral("signed %1-bit pixels").arg(bps), fname);
    else if (fmt == TiffPage::FormatFloat)
        return refuse(QStringLiteral("%1-bit floating-point pixels").arg(bps), fname);
    else
        return refuse(QStringLiteral("%1-bit pixels of sample format %2").arg(bps).arg(fmt), fname);
    if (l.width > (1u << 20) || l.height > (1u << 20))
        return refuse(QStringLiteral("image of %1 x %2 pixels").arg(l.width).arg(l.height), fname);

    width = qint32(l.width);
    height = qint32(l.height);
    // The size is checked before anything is allocated: against the file for
    // what it can hold, against the memory budget for what may be taken.
    const qint64 bytes = blockBytes();
    const qint64 fileSize = QFileInfo(fname).size();
    if (bytes > fileSize * (comp == TiffPage::CompNone ? 1 : kMaxExpansion))
        return refuse(QStringLiteral("%1 x %2 pixels of %3 bytes cannot come from a file of %4 bytes, compression %5")
                          .arg(l.width).arg(l.height).arg(sampleBytes(sample)).arg(fileSize).arg(compressionName(comp)),
                      fname);
    const qint64 budget = memoryBudgetBytes();
    if (budget > 0 && bandBytes() > budget)
        return refuse(QStringLiteral("%1 x %2 pixels (%3) need %4, %5 of memory available")
                          .arg(l.width).arg(l.height).arg(band.text(), megabytes(bandBytes()), megabytes(budget)),
                      fname);
    if (l.rowBytes != quint64(width) * quint64(sampleBytes(sample)))
        return refuse(QStringLiteral("rows of %1 bytes for %2 pixels").arg(l.rowBytes).arg(width), fname);
    w = width;
    h = height;
    return true;
}

bool ImgDataTiff::openData()
{
    pixels.clear();
    TiffPage tp;
    if (!tp.open(fileName, page))
        return refuse(tp.error);
    const TiffPage::Layout& l = tp.layout();
    if (qint64(l.width) != width || qint64(l.height) != height || l.tiled != tiled
        || l.rowBytes != quint64(width) * quint64(sampleBytes(sample)))
        return refuse(QStringLiteral("the file changed while it was read"));
    // A bad_alloc here reaches load(), which turns it into a failed load.
    pixels = QByteArray(qsizetype(bandBytes()), Qt::Uninitialized);
    if (!(band.whole() ? tp.read(pixels.data()) : tp.readRect(pixels.data(), heldRect())))
        return refuse(tp.error);
    if (!allFinite())
        return refuse(QStringLiteral("NaN or infinite pixel values"));
    return true;
}
