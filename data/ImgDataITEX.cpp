#include "ImgDataITEX.h"

#include "Logging.h"
#include "TextUtils.h"

#include <QDebug>
#include <QtEndian>

#include <QFile>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

const int kHeaderBytes = 64;

int toInt32(const QString& s)
{
    bool ok = false;
    const int v = s.toInt(&ok, 10);
    return ok ? v : 0;
}

QString firstItemAfter(const QString& prop, const QString& key)
{
    return itemsAfter(prop, key).value(0);
}

} // namespace

ImgDataITEX::~ImgDataITEX() = default;

void ImgDataITEX::resetReader()
{
    file.reset();
    dataOffset = 0;
    rowRaw.clear();
    pixels.clear();
}

void ImgDataITEX::evalProp(const QString& prop, int& fbWidth, int& fbHeight, bool& bppSeen)
{
    static const QString kWidth = QStringLiteral("Prop_ImageWidth=");
    static const QString kHeight = QStringLiteral("Prop_ImageHeight=");
    static const QString kBpp = QStringLiteral("BytesPerPixel=");
    static const QString kExp1 = QStringLiteral("Prop_ExposureTime1=");
    static const QString kExp2 = QStringLiteral("Prop_ExposureTime2=");
    static const QString kTime = QStringLiteral("Time=");
    static const QString kArea = QStringLiteral("areSource=");

    if (beginsWith(prop, kWidth)) {
        width = toInt32(firstItemAfter(prop, kWidth));
    } else if (beginsWith(prop, kHeight)) {
        height = toInt32(firstItemAfter(prop, kHeight));
    } else if (beginsWith(prop, kBpp)) {
        // Anything but 2 means 32-bit pixels; keep the stride equal to what is read.
        bytesPerPixel = toInt32(firstItemAfter(prop, kBpp)) == 2 ? 2 : 4;
        bppSeen = true;
    } else if (beginsWith(prop, kExp1)) {
        expTime = firstItemAfter(prop, kExp1).toDouble();
    } else if (beginsWith(prop, kExp2)) {
        expTime = firstItemAfter(prop, kExp2).toDouble();
    } else if (beginsWith(prop, kTime)) {
        // Acquisition time in ms; recognised but not used for the exposure.
        QString t = firstItemAfter(prop, kTime);
        if (t.endsWith(QLatin1String("ms")))
            t.chop(2);
        Q_UNUSED(t);
    } else if (beginsWith(prop, kArea)) {
        QString rest = prop.mid(kArea.size());
        rest.replace(QLatin1Char(','), QLatin1Char(' '));
        rest.remove(QLatin1Char('"'));
        int v[4];
        for (int& x : v) {
            QString item;
            rest = nextItem(rest, item);
            x = toInt32(item);
        }
        // In 64 bits: the corners may lie anywhere in the 32-bit range.
        const qint64 w = qint64(v[2]) - v[0];
        const qint64 h = qint64(v[3]) - v[1];
        fbWidth = (w > 0 && w <= std::numeric_limits<int>::max()) ? int(w) : 0;
        fbHeight = (h > 0 && h <= std::numeric_limits<int>::max()) ? int(h) : 0;
    }
}

qint64 ImgDataITEX::blockBytes() const
{
    return qint64(width) * qint64(height) * bytesPerPixel;
}

bool ImgDataITEX::readProps(const QString& fname, qint32& w, qint32& h)
{
    w = h = 0;
    width = height = 0;
    dataOffset = 0;
    bytesPerPixel = 2;

    file = std::make_unique<QFile>(fname);
    QFile& f = *file;
    if (!f.open(QIODevice::ReadOnly)) {
        const QString why = f.errorString();
        file.reset();
        error = QStringLiteral("can not open the ITEX file: %1").arg(why);
        return fail(QStringLiteral("Can not open ITEX file to read props (%1).").arg(why), fname);
    }
    struct stat st;
    if (::fstat(f.handle(), &st) != 0) {
        file.reset();
        return fail(QStringLiteral("Can not open ITEX file to read props."), fname);
    }
    sizeAtOpen = st.st_size;
    changeAtOpen = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    const qint64 fileSize = sizeAtOpen;
    // Bytes 12-13 hold the pixel type; a file too short for them has no comment anyway.
    char head[14] = {};
    const qint64 got = f.read(head, sizeof head);
    if (got < 10) {
        file.reset();
        return fail(QStringLiteral("Error on reading ITEX file props."), fname);
    }
    const int n = qFromLittleEndian<quint16>(head + 2);
    const int headerType = got >= 14 ? qFromLittleEndian<quint16>(head + 12) : 0;
    dataOffset = n + kHeaderBytes;
    bool bppSeen = false;

    // The comment is read as bytes so that a multi-byte character can never
    // pull pixel bytes into the text; carriage returns are dropped as a text
    // reader would.
    QByteArray raw;
    if (n > 0 && f.seek(kHeaderBytes))
        raw = f.read(n);

    int fbWidth = 0, fbHeight = 0;
    if (raw.size() == n) {
        raw.replace('\r', QByteArray());
        const QString text = QString::fromUtf8(raw);
        QString prop;
        bool quoted = false;
        for (const QChar c : text) {
            if (c == QLatin1Char('"')) {
                quoted = !quoted;
                prop.append(c);
            } else if (c == QLatin1Char(',') && !quoted) {
                evalProp(prop, fbWidth, fbHeight, bppSeen);
                prop.clear();
                quoted = false;
            } else {
                prop.append(c);
            }
        }
    } else {
        width = height = 0;
        fbWidth = fbHeight = 0;
    }
    if (width < 1)
        width = fbWidth;
    if (height < 1)
        height = fbHeight;
    if (!bppSeen && headerType == 3)
        bytesPerPixel = 4;
    if (width < 1 || height < 1 || dataOffset <= kHeaderBytes) {
        width = height = 0;
        error = QStringLiteral("no image size in the ITEX header");
        return false;
    }

    // The header alone decides the size: check it against the bytes after the
    // header before anything is allocated, so a short pixel block is refused
    // and a broken or hostile header cannot ask for gigabytes.
    const qint64 pixelBytes = fileSize - dataOffset;
    if (pixelBytes <= 0 || qint64(width) > pixelBytes / height || blockBytes() > pixelBytes) {
        const QString text = QStringLiteral("ITEX image size does not fit the file size, rejected: %1 x %2 x %3 bytes, %4 pixel bytes in the file,")
                                 .arg(width).arg(height).arg(bytesPerPixel).arg(qMax<qint64>(pixelBytes, 0));
        width = height = 0;
        return fail(text, fname);
    }
    w = width;
    h = height;
    rowRaw.resize(qsizetype(width) * bytesPerPixel);
    return true;
}

QString ImgDataITEX::changedSinceOpen() const
{
    struct stat st;
    if (!file || ::fstat(file->handle(), &st) != 0)
        return QStringLiteral("the file is no longer open");
    const qint64 change = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (st.st_size != sizeAtOpen)
        return QStringLiteral("the file changed from %1 to %2 bytes while it was read").arg(sizeAtOpen).arg(qint64(st.st_size));
    if (change != changeAtOpen)
        return QStringLiteral("the file was rewritten while it was read");
    return {};
}

bool ImgDataITEX::readAt(qint64 pos, char* dst, qint64 len) const
{
    // The file the header came from while it is open; a fresh open for the
    // rows of an image read without preload.
    QFile own(fileName);
    QFile& f = file ? *file : own;
    if ((!f.isOpen() && !f.open(QIODevice::ReadOnly)) || !f.seek(pos))
        return false;
    qint64 got = 0;
    // One read for the whole block; loop only for devices that return less.
    while (got < len) {
        const qint64 r = f.read(dst + got, len - got);
        if (r <= 0)
            break;
        got += r;
    }
    return got == len;
}

bool ImgDataITEX::readBand()
{
    const QRect r = heldRect();
    const qint64 rowBytes = qint64(width) * bytesPerPixel;
    // A bad_alloc here reaches load(), which turns it into a failed load.
    pixels = QByteArray(qsizetype(heldRectBytes(bytesPerPixel)), Qt::Uninitialized);
    if (band.rows) {
        // The rows lie together in the file: one seek, one read.
        if (readAt(dataOffset + qint64(r.top()) * rowBytes, pixels.data(), pixels.size()))
            return true;
    } else {
        // Columns: every row is read in order, a few megabytes at a time,
        // and the band's part of each kept.
        QFile own(fileName);
        QFile& f = file ? *file : own;
        if ((f.isOpen() || f.open(QIODevice::ReadOnly)) && f.seek(dataOffset)) {
            const int chunkRows = int(std::clamp<qint64>((qint64(4) << 20) / rowBytes, 1, height));
            QByteArray chunk(qsizetype(chunkRows * rowBytes), Qt::Uninitialized);
            const qint64 keep = qint64(r.width()) * bytesPerPixel;
            int y = 0;
            while (y < height) {
                const int n = std::min(chunkRows, height - y);
                const qint64 want = n * rowBytes;
                qint64 got = 0;
                while (got < want) {
                    const qint64 k = f.read(chunk.data() + got, want - got);
                    if (k <= 0)
                        break;
                    got += k;
                }
                if (got != want)
                    break;
                for (int i = 0; i < n; ++i)
                    std::memcpy(pixels.data() + qint64(y + i) * keep,
                                chunk.constData() + i * rowBytes + qint64(r.left()) * bytesPerPixel, size_t(keep));
                y += n;
            }
            if (y == height)
                return true;
        }
    }
    pixels.clear();
    return fail(QStringLiteral("ITEX pixel block is shorter than its header says, rejected:"));
}

bool ImgDataITEX::openData()
{
    // Whatever happens, the file is closed when this returns.
    struct Closer
    {
        std::unique_ptr<QFile>& f;
        ~Closer() { f.reset(); }
    } closer{file};
    pixels.clear();
    if (!preload && band.whole()) {
        if (const QString changed = changedSinceOpen(); !changed.isEmpty())
            return fail(QStringLiteral("ITEX file refused (%1):").arg(changed));
        return true;
    }
    bool ok = false;
    if (!band.whole()) {
        ok = readBand();
    } else {
        // A bad_alloc here reaches load(), which turns it into a failed load.
        const qint64 bytes = blockBytes();
        pixels = QByteArray(qsizetype(bytes), Qt::Uninitialized);
        ok = readAt(dataOffset, pixels.data(), bytes);
        // The file may have shrunk since its header was read: never zero-fill.
        if (!ok)
            fail(QStringLiteral("ITEX pixel block is shorter than its header says, rejected:"));
    }
    // Rewritten in place between header and pixels: a mix of two images.
    if (const QString changed = changedSinceOpen(); ok && !changed.isEmpty())
        ok = fail(QStringLiteral("ITEX file refused (%1):").arg(changed));
    if (!ok)
        pixels.clear();
    return ok;
}

void ImgDataITEX::convert(const uchar* src, double* out, int n, qint64 stride) const
{
    if (bytesPerPixel == 2) {
        for (int i = 0; i < n; ++i, src += stride)
            out[i] = qFromLittleEndian<quint16>(src);
    } else {
        for (int i = 0; i < n; ++i, src += stride)
            out[i] = qFromLittleEndian<quint32>(src);
    }
}

double* ImgDataITEX::readRow(int iy, double* out)
{
    if (!out)
        return out;
    const auto conv = [this](const uchar* src, double* o, int n, qint64 stride) { convert(src, o, n, stride); };
    if (preload || !band.whole())
        return readHeldRow(pixels, bytesPerPixel, iy, out, conv);
    if (iy < 0 || iy >= height) {
        std::fill(out, out + width, 0.0);
        return out;
    }
    const qint64 rowBytes = qint64(width) * bytesPerPixel;
    if (rowRaw.size() < rowBytes)
        rowRaw.resize(rowBytes);
    if (!readAt(dataOffset + qint64(iy) * rowBytes, rowRaw.data(), rowBytes))
        std::memset(rowRaw.data(), 0, size_t(rowBytes));
    convert(reinterpret_cast<const uchar*>(rowRaw.constData()), out, width, bytesPerPixel);
    return out;
}

double* ImgDataITEX::readColumn(int ix, double* out)
{
    if (!out)
        return out;
    const auto conv = [this](const uchar* src, double* o, int n, qint64 stride) { convert(src, o, n, stride); };
    if (preload || !band.whole())
        return readHeldColumn(pixels, bytesPerPixel, ix, out, conv);
    if (ix < 0 || ix >= width) {
        std::fill(out, out + height, 0.0);
        return out;
    }
    const qint64 bytes = blockBytes();
    const qint64 stride = qint64(width) * bytesPerPixel;
    try {
        QByteArray block(qsizetype(bytes), '\0');
        if (!readAt(dataOffset, block.data(), bytes))
            block.fill('\0');
        convert(reinterpret_cast<const uchar*>(block.constData()) + qint64(ix) * bytesPerPixel, out, height, stride);
    } catch (const std::bad_alloc&) {
        qCWarning(lcData).noquote() << QStringLiteral("Out of memory reading a column of ") + fileName;
        std::fill(out, out + height, 0.0);
    }
    return out;
}
