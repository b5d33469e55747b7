#include "FileIdentity.h"

#include <QFile>

#include <sys/stat.h>

namespace {
FileIdentity fromStat(const struct stat& st)
{
    FileIdentity id;
    id.device = std::uint64_t(st.st_dev);
    id.inode = std::uint64_t(st.st_ino);
    id.valid = true;
    return id;
}
} // namespace

FileIdentity FileIdentity::of(const QString& path)
{
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return fromStat(st);
}

FileIdentity FileIdentity::ofEntry(const QString& path)
{
    struct stat st;
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return fromStat(st);
}

QString FileIdentity::kindProblem(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0) {
        struct stat link;
        if (::lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode))
            return QStringLiteral("a dangling link");
        return QStringLiteral("missing");
    }
    if (S_ISREG(st.st_mode))
        return {};
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("a directory");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}
