#include "ItexWriter.h"

#include "Logging.h"
#include <QDebug>
#include "SafeWrite.h"
#include <QtEndian>

#include <vector>

namespace {
const int kHeaderBytes = 64;

void put16(QByteArray& b, int at, quint32 v)
{
    qToLittleEndian<quint16>(quint16(v > 0xFFFF ? 0 : v), b.data() + at);
}
} // namespace

ItexWriter::ItexWriter(int w, int h, int bpp)
    : width(w)
    , height(h)
    , bytesPerPixel(bpp)
{
}

QByteArray ItexWriter::comment() const
{
    QByteArray c = QStringLiteral("Prop_ImageWidth=%1,Prop_ImageHeight=%2,BytesPerPixel=%3,Prop_ExposureTime1=%4,")
                       .arg(width)
                       .arg(height)
                       .arg(bytesPerPixel)
                       .arg(expTime, 0, 'g', 6)
                       .toLatin1();
    return c + extraComment;
}

QByteArray ItexWriter::header(int commentLength) const
{
    QByteArray h(kHeaderBytes, '\0');
    h[0] = 'I';
    h[1] = 'M';
    put16(h, 2, quint32(commentLength));
    put16(h, 4, quint32(width));
    put16(h, 6, quint32(height));
    put16(h, 8, 0);  // x offset
    put16(h, 10, 0); // y offset
    put16(h, 12, bytesPerPixel == 2 ? 2 : 3); // pixel type: 16 or 32 bit
    return h;
}

bool ItexWriter::write(const QString& path, const void* pixels) const
{
    if (width < 1 || height < 1 || (bytesPerPixel != 2 && bytesPerPixel != 4) || !pixels) {
        qCDebug(lcData).noquote() << QStringLiteral("ITEX writer: bad image size or pixel width, not written: ") + path;
        return false;
    }
    const QByteArray text = comment();
    if (text.size() > 0xFFFF) {
        qCDebug(lcData).noquote() << QStringLiteral("ITEX writer: comment too long, not written: ") + path;
        return false;
    }
    SafeWrite sw(path);
    QIODevice& f = *sw.device();
    if (!sw.open(QIODevice::WriteOnly)) {
        qCDebug(lcData).noquote() << QStringLiteral("ITEX writer: can not open ") + path;
        return false;
    }
    f.write(header(int(text.size())));
    f.write(text);
    const qint64 n = qint64(width) * height;
    const qint64 bytes = n * bytesPerPixel;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    f.write(static_cast<const char*>(pixels), bytes);
#else
    std::vector<char> le(size_t(bytes));
    if (bytesPerPixel == 2)
        qToLittleEndian<quint16>(pixels, n, le.data());
    else
        qToLittleEndian<quint32>(pixels, n, le.data());
    f.write(le.data(), bytes);
#endif
    if (!sw.commit()) {
        qCDebug(lcData).noquote() << QStringLiteral("ITEX writer: can not write ") + path;
        return false;
    }
    return true;
}

bool ItexWriter::write16(const QString& path, const quint16* pixels) const
{
    if (bytesPerPixel != 2) {
        qCDebug(lcData).noquote() << QStringLiteral("ITEX writer: 16-bit pixels for a 32-bit file, not written: ") + path;
        return false;
    }
    return write(path, pixels);
}

bool ItexWriter::write32(const QString& path, const quint32* pixels) const
{
    if (bytesPerPixel != 4) {
        qCDebug(lcData).noquote() << QStringLiteral("ITEX writer: 32-bit pixels for a 16-bit file, not written: ") + path;
        return false;
    }
    return write(path, pixels);
}
