#include "ImgDataITEX.h"

#include "TextUtils.h"

#include <QDebug>
#include <QtEndian>

#include <algorithm>
#include <cstring>

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

ImgDataITEX::~ImgDataITEX()
{
    if (file.isOpen())
        file.close();
}

void ImgDataITEX::resetReader()
{
    dataOffset = 0;
    rowRaw.clear();
    pixels.clear();
}

void ImgDataITEX::evalProp(const QString& prop, int& fbWidth, int& fbHeight)
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
        fbWidth = v[2] - v[0];
        fbHeight = v[3] - v[1];
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

    QFile f(fname);
    if (!f.open(QIODevice::ReadOnly)) {
        qDebug().noquote() << QStringLiteral("Can not open ITEX file to read props. ") + fname;
        return false;
    }
    const qint64 fileSize = f.size();
    char head[10];
    const qint64 got = f.read(head, sizeof head);
    if (got < qint64(sizeof head)) {
        f.close();
        qDebug().noquote() << QStringLiteral("Error on reading ITEX file props. ") + fname;
        return false;
    }
    const int n = qFromLittleEndian<quint16>(head + 2);
    dataOffset = n + kHeaderBytes;

    // The comment is read as bytes so that a multi-byte character can never
    // pull pixel bytes into the text; carriage returns are dropped as a text
    // reader would.
    QByteArray raw;
    if (n > 0 && f.seek(kHeaderBytes))
        raw = f.read(n);
    f.close();

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
                evalProp(prop, fbWidth, fbHeight);
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
    if (width < 1 || height < 1 || dataOffset <= kHeaderBytes) {
        width = height = 0;
        return false;
    }

    // The header alone decides the size: check it against the file before
    // anything is allocated, so a broken or hostile header cannot ask for gigabytes.
    if (qint64(width) > fileSize / height || blockBytes() > fileSize) {
        qDebug().noquote() << QStringLiteral("ITEX image size does not fit the file size, rejected: %1 x %2 x %3 bytes, ")
                                  .arg(width).arg(height).arg(bytesPerPixel)
                                  + fname;
        width = height = 0;
        return false;
    }
    w = width;
    h = height;
    rowRaw.resize(qsizetype(width) * bytesPerPixel);
    return true;
}

bool ImgDataITEX::openData()
{
    if (file.isOpen())
        file.close();
    file.setFileName(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug().noquote() << QStringLiteral("Can not open ITEX file ") + fileName;
        return false;
    }
    if (preload) {
        const qint64 bytes = blockBytes();
        pixels = QByteArray(qsizetype(bytes), Qt::Uninitialized);
        qint64 got = 0;
        if (file.seek(dataOffset)) {
            // One read for the whole block; loop only for devices that return less.
            while (got < bytes) {
                const qint64 r = file.read(pixels.data() + got, bytes - got);
                if (r <= 0)
                    break;
                got += r;
            }
        }
        if (got < bytes) {
            std::memset(pixels.data() + got, 0, size_t(bytes - got));
            qDebug().noquote() << QStringLiteral("ITEX pixel block is shorter than its header says; missing pixels read as 0: ")
                                      + fileName;
        }
    }
    return true;
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
    if (iy < 0 || iy >= height) {
        std::fill(out, out + width, 0.0);
        return out;
    }
    const qint64 rowBytes = qint64(width) * bytesPerPixel;
    const qint64 start = qint64(iy) * rowBytes;
    if (preload) {
        if (pixels.size() < start + rowBytes) {
            std::fill(out, out + width, 0.0);
            return out;
        }
        convert(reinterpret_cast<const uchar*>(pixels.constData()) + start, out, width, bytesPerPixel);
        return out;
    }
    if (rowRaw.size() < rowBytes)
        rowRaw.resize(rowBytes);
    qint64 got = 0;
    if (file.isOpen() && file.seek(dataOffset + start))
        got = qMax<qint64>(0, file.read(rowRaw.data(), rowBytes));
    if (got < rowBytes)
        std::memset(rowRaw.data() + got, 0, size_t(rowBytes - got));
    convert(reinterpret_cast<const uchar*>(rowRaw.constData()), out, width, bytesPerPixel);
    return out;
}

double* ImgDataITEX::readColumn(int ix, double* out)
{
    if (!out)
        return out;
    if (ix < 0 || ix >= width) {
        std::fill(out, out + height, 0.0);
        return out;
    }
    const qint64 bytes = blockBytes();
    const qint64 stride = qint64(width) * bytesPerPixel;
    const qint64 start = qint64(ix) * bytesPerPixel;
    if (preload) {
        if (pixels.size() < bytes) {
            std::fill(out, out + height, 0.0);
            return out;
        }
        convert(reinterpret_cast<const uchar*>(pixels.constData()) + start, out, height, stride);
        return out;
    }
    QByteArray block(qsizetype(bytes), '\0');
    if (file.isOpen() && file.seek(dataOffset))
        file.read(block.data(), bytes);
    convert(reinterpret_cast<const uchar*>(block.constData()) + start, out, height, stride);
    return out;
}
