#include "TiffWriter.h"

#include "TiffHandle.h"

#include <QFile>
#include <QFileInfo>

#include <tiffio.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<int> tempSerial { 0 };

QString sysError(int err)
{
    return err ? QString::fromLocal8Bit(std::strerror(err)) : QString();
}

// Rows of one strip: about 64 KB, as readers like.
uint32_t stripRows(int width)
{
    const int rows = (64 * 1024) / qMax(1, width * 4);
    return uint32_t(qMax(1, rows));
}

template<typename T>
bool writeAll(const QString& path, const T* values, int width, int height, const QString& description,
              QString* why)
{
    auto failWith = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (!values || width < 1 || height < 1 || qint64(width) * height > (qint64(1) << 31))
        return failWith(QStringLiteral("no image to write (%1 x %2)").arg(width).arg(height));

    // A name of our own beside the target, created with the usual permissions.
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp" + QByteArray::number(qint64(::getpid())) + '-' + QByteArray::number(tempSerial++);
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return failWith(QStringLiteral("can not create %1: %2").arg(QFile::decodeName(temp), sysError(errno)));

    TiffHandle t; // closes fd from here on
    if (!t.openWrite(fd, QFile::decodeName(temp))) {
        ::close(fd);
        ::unlink(temp.constData());
        return failWith(QStringLiteral("can not start a TIFF file %1: %2").arg(path, t.firstError()));
    }
    TIFF* tif = t.tif();
    errno = 0;
    const uint32_t rps = stripRows(width);
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width))
        && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height))
        && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1))
        && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(32))
        && TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, uint16_t(SAMPLEFORMAT_IEEEFP))
        && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISBLACK))
        && TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG))
        && TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_NONE))
        && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rps)
        && (description.isEmpty()
            || TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, description.toUtf8().constData()));
    std::vector<float> strip;
    for (uint32_t s = 0; ok && s * rps < uint32_t(height); ++s) {
        const qint64 first = qint64(s) * rps;
        const qint64 n = qMin<qint64>(rps, height - first) * width;
        strip.assign(values + first * width, values + first * width + n);
        const tmsize_t bytes = tmsize_t(n * qint64(sizeof(float)));
        ok = TIFFWriteEncodedStrip(tif, s, strip.data(), bytes) == bytes;
    }
    ok = ok && TIFFWriteDirectory(tif) && TIFFFlush(tif);
    int err = errno;
    // Everything on the disk before the name says the file is there.
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        err = errno;
    }
    const QString libText = t.firstError();
    t.close();
    if (ok && ::rename(temp.constData(), target.constData()) != 0) {
        err = errno;
        ::unlink(temp.constData());
        return failWith(QStringLiteral("can not rename %1 to %2: %3").arg(QFile::decodeName(temp), path, sysError(err)));
    }
    if (!ok) {
        ::unlink(temp.constData());
        QString text = QStringLiteral("can not write %1").arg(path);
        if (!libText.isEmpty())
            text += QStringLiteral(": ") + libText;
        if (err)
            text += QStringLiteral(" (%1)").arg(sysError(err));
        return failWith(text);
    }
    return true;
}

} // namespace

bool writeFloatTiff(const QString& path, const float* values, int width, int height,
                    const QString& description, QString* why)
{
    return writeAll(path, values, width, height, description, why);
}

bool writeFloatTiff(const QString& path, const double* values, int width, int height,
                    const QString& description, QString* why)
{
    return writeAll(path, values, width, height, description, why);
}
