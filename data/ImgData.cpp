#include "ImgData.h"

#include "Logging.h"
#include "ColorScale.h"
#include "ImgDataITEX.h"
#include "ImgDataTiff.h"

#include <QDebug>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>
#include <new>

namespace {

// First two bytes of a file; false when it cannot be opened.
bool magicIs(const QString& path, const char* a, const char* b, const QString& failText)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        qCDebug(lcData).noquote() << failText + path;
        return false;
    }
    char m[2] = { 0, 0 };
    const qint64 n = f.read(m, 2);
    f.close();
    if (n != 2)
        return false;
    return (m[0] == a[0] && m[1] == a[1]) || (b && m[0] == b[0] && m[1] == b[1]);
}

} // namespace

bool isTiffFile(const QString& path)
{
    return magicIs(path, "II", "MM", QStringLiteral("Check File Type (TIFF):: Can not open "));
}

bool isItexFile(const QString& path)
{
    return magicIs(path, "IM", nullptr, QStringLiteral("Check File Type (ITEX):: Can not open "));
}

ImgFileType imgFileType(const QString& path)
{
    if (isTiffFile(path))
        return TIFF;
    if (isItexFile(path))
        return ITEX;
    qCDebug(lcData).noquote() << QStringLiteral("Unknown file type : ") + path;
    return Unsupported;
}

ImgData* newImgData(ImgFileType type)
{
    switch (type) {
    case ITEX:
        return new ImgDataITEX;
    case TIFF:
        return new ImgDataTiff;
    default:
        return nullptr;
    }
}

ImgData::ImgData()
    : minValue(std::numeric_limits<double>::max())
    , maxValue(-std::numeric_limits<double>::max())
{
}

ImgData::~ImgData()
{
    delete[] rowBuf;
    delete[] colBuf;
}

QString fileTypeProblem(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("no file name");
    // Bytes that are no UTF-8 came as U+FFFD, which names another file.
    if (path.contains(QChar::ReplacementCharacter))
        return QStringLiteral("the file name is not valid UTF-8; rename the file");
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0) {
        const int err = errno;
        struct stat link;
        if (::lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode) && err == ENOENT)
            return QStringLiteral("dangling symbolic link");
        if (err != ENOENT)
            return QStringLiteral("not readable: %1").arg(QString::fromLocal8Bit(std::strerror(err)));
        return QStringLiteral("no such file");
    }
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("a directory, not a file");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("a FIFO, not a file");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return QStringLiteral("a device, not a file");
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("not a regular file");
    if (st.st_size == 0)
        return QStringLiteral("empty file");
    if (::access(name.constData(), R_OK) != 0)
        return QStringLiteral("not readable: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return QString();
}

ImgData* loadImgData(const QString& path, bool preload, QString* why, const LineBand& band)
{
    const QString problem = fileTypeProblem(path);
    if (!problem.isEmpty()) {
        qCDebug(lcData).noquote() << QStringLiteral("Not an image file (%1): ").arg(problem) + path;
        if (why)
            *why = problem;
        return nullptr;
    }
    ImgData* img = newImgData(imgFileType(path));
    if (!img) {
        if (why)
            *why = QStringLiteral("unknown file type or unreadable");
        return nullptr;
    }
    img->preload = preload;
    img->band = band;
    img->fileName = path;
    img->ready = img->load();
    if (why)
        *why = img->error;
    return img;
}

bool ImgData::fail(const QString& text, const QString& path)
{
    error = text;
    qCDebug(lcData).noquote() << text + QLatin1Char(' ') + (path.isEmpty() ? fileName : path);
    return false;
}

bool ImgData::load()
{
    ready = false;
    error.clear();
    if (!readProps(fileName, width, height)) {
        if (error.isEmpty())
            error = QStringLiteral("no usable ITEX header");
        // Nothing stays open of a file that was refused.
        resetReader();
        return false;
    }
    minMaxValid = false;
    if (!band.whole()) {
        const int lines = band.linesOf(width, height);
        if (band.first < 0 || band.last() >= lines) {
            const QString text = QStringLiteral("%1 lie outside the image of %2 x %3 pixels:")
                                     .arg(band.text()).arg(width).arg(height);
            resetReader();
            return fail(text);
        }
        // A band of every line is the whole image.
        if (band.count >= lines)
            band = LineBand();
    }
    try {
        if (!openData()) {
            if (error.isEmpty())
                error = QStringLiteral("cannot read the pixels");
            qCDebug(lcData).noquote() << QStringLiteral("Can not open ImgData ") + fileName;
            return false;
        }
        delete[] rowBuf;
        delete[] colBuf;
        rowBuf = colBuf = nullptr;
        // Sizes were checked against the file by the reader, so these stay small.
        rowBuf = new double[size_t(qMax(width, 1))]();
        colBuf = new double[size_t(qMax(height, 1))]();
    } catch (const std::bad_alloc&) {
        resetReader();
        return fail(QStringLiteral("Out of memory reading the image (%1 x %2 pixels):").arg(width).arg(height));
    }
    ready = true;
    return true;
}

void ImgData::computeMinMax()
{
    minValue = std::numeric_limits<double>::max();
    maxValue = -std::numeric_limits<double>::max();
    // Only what is held: the zeros outside a band are no values of the image.
    const QRect r = heldRect();
    if (rowBuf) {
        for (int iy = r.top(); iy <= r.bottom(); ++iy) {
            readRow(iy, rowBuf);
            for (int x = r.left(); x <= r.right(); ++x) {
                const double v = rowBuf[x];
                if (v < minValue)
                    minValue = v;
                if (v > maxValue)
                    maxValue = v;
            }
        }
    }
    minMaxValid = true;
}

void ImgData::getMinMax(double& min, double& max)
{
    if (!minMaxValid) {
        if (!ready) {
            min = max = 0;
            return;
        }
        computeMinMax();
    }
    min = minValue;
    max = maxValue;
}

void ImgData::renderTo(QImage& image, ColorScale* colorBar)
{
    if (!ready || !colorBar)
        return;
    if (!minMaxValid)
        computeMinMax();
    colorBar->autoMinMax(minValue, maxValue);
    image = QImage(width, height, QImage::Format_Grayscale8);
    if (image.isNull())
        return;
    for (int iy = 0; iy < height; ++iy) {
        readRow(iy, rowBuf);
        colorBar->levelRow(rowBuf, image.scanLine(iy), width);
    }
}
