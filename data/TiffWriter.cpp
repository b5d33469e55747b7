#include "TiffWriter.h"

#include "SafeWrite.h"
#include "TiffHandle.h"

#include <QFile>

#include <tiffio.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace {

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

    // The safe writer gives the temporary file and its sync and rename;
    // libtiff writes through a descriptor of its own on that file.
    SafeWrite out(path);
    if (!out.open())
        return failWith(out.errorString());
    const int fd = ::dup(static_cast<QFile*>(out.device())->handle());
    if (fd < 0)
        return failWith(QStringLiteral("can not write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    TiffHandle t; // closes fd from here on
    if (!t.openWrite(fd, path)) {
        ::close(fd);
        return failWith(QStringLiteral("can not start a TIFF file %1: %2").arg(path, t.firstError()));
    }
    TIFF* tif = t.tif();
    const uint32_t rps = stripRows(width);
    bool ok = t.setFloatImage(width, height, rps)
        && (description.isEmpty()
            || TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, description.toUtf8().constData()));
    std::vector<float> strip;
    errno = 0;
    for (uint32_t s = 0; ok && s * rps < uint32_t(height); ++s) {
        const qint64 first = qint64(s) * rps;
        const qint64 n = qMin<qint64>(rps, height - first) * width;
        strip.assign(values + first * width, values + first * width + n);
        const tmsize_t bytes = tmsize_t(n * qint64(sizeof(float)));
        ok = TIFFWriteEncodedStrip(tif, s, strip.data(), bytes) == bytes;
    }
    ok = ok && TIFFWriteDirectory(tif) && TIFFFlush(tif);
    const int err = errno;
    const QString libText = t.firstError();
    t.close();
    if (!ok) {
        out.cancel();
        QString text = QStringLiteral("can not write %1").arg(path);
        if (!libText.isEmpty())
            text += QStringLiteral(": ") + libText;
        if (err)
            text += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(err)));
        return failWith(text);
    }
    if (!out.commit())
        return failWith(out.errorString());
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
