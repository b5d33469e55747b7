#include "SafeWrite.h"

#include <QFileInfo>
#include <QImageWriter>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString systemText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// Temporary names differ between threads and processes writing side by side.
std::atomic<unsigned> tempCounter{0};
} // namespace

SafeWrite::SafeWrite(const QString& p) : path(p)
{
}

SafeWrite::~SafeWrite()
{
    if (!committed)
        cancel();
}

QString SafeWrite::targetReason(const QString& path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? QString() : systemText(errno);
    if (S_ISREG(st.st_mode))
        return {};
    return notRegular(st.st_mode);
}

QString SafeWrite::targetProblem(const QString& path)
{
    const QString r = targetReason(path);
    return r.isEmpty() ? r : QStringLiteral("Can't write %1: %2").arg(path, r);
}

QString SafeWrite::notRegular(unsigned mode)
{
    const char* what = S_ISDIR(mode)                     ? "a directory"
                       : S_ISLNK(mode)                   ? "a symbolic link"
                       : S_ISFIFO(mode)                  ? "a pipe"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                         : "something other than a file";
    return QStringLiteral("it exists and is %1, not replaced").arg(QLatin1String(what));
}

bool SafeWrite::fail(const QString& reason)
{
    why = reason;
    error = QStringLiteral("Can't write %1: %2").arg(path, reason);
    cancel();
    return false;
}

bool SafeWrite::open(QIODevice::OpenMode mode)
{
    error.clear();
    why.clear();
    committed = false;
    if (const QString problem = targetReason(path); !problem.isEmpty())
        return fail(problem);
    const QFileInfo fi(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = fi.absolutePath() + QLatin1Char('/') + fi.fileName()
                   + QStringLiteral(".part-%1-%2").arg(qint64(::getpid())).arg(tempCounter++);
        file.setFileName(tempPath);
        // NewOnly: never writes through an existing name (or a link planted there).
        if (file.open(mode | QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (file.error() != QFileDevice::OpenError || QFile::exists(tempPath) == false)
            break;
    }
    const QString reason = file.errorString();
    tempPath.clear();
    return fail(reason);
}

bool SafeWrite::commit()
{
    if (!file.isOpen())
        return fail(error.isEmpty() ? QStringLiteral("not open") : error);
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    if (::fsync(file.handle()) != 0 && errno != EINVAL)
        return fail(systemText(errno));
    file.close();
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    // The target may have been replaced by something else meanwhile.
    if (const QString problem = targetReason(path); !problem.isEmpty())
        return fail(problem);
    if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(path).constData()) != 0)
        return fail(systemText(errno));
    committed = true;
    tempPath.clear();
    return true;
}

void SafeWrite::cancel()
{
    if (file.isOpen())
        file.close();
    if (!tempPath.isEmpty())
        QFile::remove(tempPath);
    tempPath.clear();
}

bool SafeWrite::writeImage(const QString& path, const QImage& image, QString* error)
{
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    return write(
        path,
        [&](QIODevice* dev, QString& reason) {
            QImageWriter writer(dev, format);
            if (image.isNull() || !writer.canWrite() || !writer.write(image)) {
                reason = writer.errorString();
                return false;
            }
            return true;
        },
        error);
}

bool SafeWrite::write(const QString& path, const std::function<bool(QIODevice*, QString&)>& fill, QString* error,
                      QIODevice::OpenMode mode)
{
    SafeWrite w(path);
    QString why;
    bool ok = w.open(mode);
    if (ok && !fill(w.device(), why)) {
        // A device error says more than the filler's own reason.
        if (w.file.error() != QFileDevice::NoError)
            why = w.file.errorString();
        ok = w.fail(why.isEmpty() ? QStringLiteral("write failed") : why);
    }
    if (ok)
        ok = w.commit();
    if (!ok && error)
        *error = w.errorString();
    return ok;
}
