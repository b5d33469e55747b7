#include "SafeWrite.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
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
    const long nameMax = ::pathconf(QFile::encodeName(fi.absolutePath()).constData(), _PC_NAME_MAX);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString suffix = QStringLiteral(".part-%1-%2").arg(qint64(::getpid())).arg(tempCounter++);
        tempPath = fi.absolutePath() + QLatin1Char('/') + tempName(fi.fileName(), suffix, nameMax > 0 ? int(nameMax) : 255);
        file.setFileName(tempPath);
        // NewOnly: never writes through an existing name (or a link planted there).
        if (file.open(mode | QIODevice::WriteOnly | QIODevice::NewOnly)) {
            // Held while the file is written: whoever finds it locked knows
            // its writer still runs (the lock goes with the process).
            ::flock(file.handle(), LOCK_EX | LOCK_NB);
            return true;
        }
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

QString SafeWrite::tempName(const QString& name, const QString& suffix, int nameMax)
{
    // The name is cut (whole characters, counted in bytes) to leave room
    // for the suffix; the target keeps its full name.
    QString head = name;
    while (!head.isEmpty() && QFile::encodeName(head + suffix).size() > nameMax) {
        head.chop(1);
        if (!head.isEmpty() && head.back().isHighSurrogate())
            head.chop(1);
    }
    return head + suffix;
}

bool SafeWrite::isTempName(const QString& name)
{
    static const QRegularExpression re(QStringLiteral("\\.part-[0-9]+-[0-9]+$"));
    return re.match(name).hasMatch();
}

bool SafeWrite::writerGone(const QString& tempPath)
{
    struct stat st;
    const QByteArray name = QFile::encodeName(tempPath);
    if (::lstat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // Between its creation and its lock a file is unlocked for an instant:
    // a file modified in the last seconds is left alone.
    if (::time(nullptr) - st.st_mtime < 3)
        return false;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

QStringList SafeWrite::removeStale(const QString& dir)
{
    QStringList removed;
    QDir d(dir);
    for (const QString& name : d.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (isTempName(name) && writerGone(d.filePath(name)) && d.remove(name))
            removed << name;
    }
    return removed;
}

bool SafeWrite::writeBytes(const QString& path, const QByteArray& bytes, QString* error)
{
    return write(
        path,
        [&](QIODevice* d, QString& why) {
            if (d->write(bytes) == bytes.size())
                return true;
            why = d->errorString();
            return false;
        },
        error);
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
