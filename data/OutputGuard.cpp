#include "OutputGuard.h"

#include "FileIdentity.h"
#include "Logging.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>

#include <cerrno>
#include <signal.h>

namespace {
// Directory identity and name: how a file not yet written is compared.
QString placeKey(const QString& path)
{
    const QFileInfo info(path);
    const FileIdentity dir = FileIdentity::of(info.absolutePath());
    if (!dir.valid)
        return {};
    return QStringLiteral("%1:%2/%3").arg(dir.device).arg(dir.inode).arg(info.fileName());
}

QString idKey(const FileIdentity& id)
{
    return QStringLiteral("%1:%2").arg(id.device).arg(id.inode);
}
} // namespace

OutputGuard::OutputGuard() = default;

OutputGuard::~OutputGuard()
{
    release();
}

QString OutputGuard::collision(const QStringList& outputs, const QStringList& inputs)
{
    QHash<QString, QString> byId, byPlace;
    for (const QString& in : inputs) {
        if (in.isEmpty())
            continue;
        if (const FileIdentity id = FileIdentity::of(in); id.valid)
            byId.insert(idKey(id), in);
        // A link's own entry and its target's place are both the input.
        byPlace.insert(placeKey(in), in);
        const QFileInfo info(in);
        for (const QString& target : {info.canonicalFilePath(), info.isSymLink() ? info.symLinkTarget() : QString()})
            if (!target.isEmpty())
                byPlace.insert(placeKey(target), in);
    }
    byPlace.remove(QString());
    for (const QString& out : outputs) {
        QString in;
        if (const FileIdentity id = FileIdentity::of(out); id.valid)
            in = byId.value(idKey(id));
        if (in.isEmpty())
            in = byPlace.value(placeKey(out));
        if (!in.isEmpty())
            return QStringLiteral("the output %1 is the input %2").arg(out, in);
    }
    return {};
}

QString OutputGuard::lockFile(const QString& dir, const QString& name)
{
    return QDir(dir).absoluteFilePath(QLatin1Char('.') + name + QStringLiteral(".lock"));
}

bool OutputGuard::lock(const QString& dir, const QString& name, QString* why)
{
    const QString path = lockFile(dir, name);
    for (const Held& h : held)
        if (h.path == path)
            return true;
    auto file = std::make_unique<QLockFile>(path);
    // Only a dead owner makes a lock stale, never its age: runs take hours.
    file->setStaleLockTime(0);
    qint64 pid = 0;
    QString host, app;
    const bool found = file->getLockInfo(&pid, &host, &app);
    if (found && pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        qCWarning(lcData).noquote() << QStringLiteral("Lock of %1 left by process %2 (%3), which has ended: taken over")
                                           .arg(path).arg(pid).arg(app);
    if (file->tryLock(0)) {
        held.push_back({path, std::move(file)});
        return true;
    }
    // A directory that cannot take the lock cannot take the files either:
    // their writes fail and say why, as they did without a lock.
    if (file->error() != QLockFile::LockFailedError)
        return true;
    if (why) {
        if (file->getLockInfo(&pid, &host, &app))
            *why = QStringLiteral("%1 in %2 is being written by process %3 (%4 on %5); lock file %6")
                       .arg(name, dir).arg(pid).arg(app, host, path);
        else
            *why = QStringLiteral("%1 in %2 is locked by another run; lock file %3").arg(name, dir, path);
    }
    return false;
}

void OutputGuard::release()
{
    for (Held& h : held)
        h.file->unlock();
    held.clear();
}
