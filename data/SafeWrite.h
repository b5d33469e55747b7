#pragma once
// Writes one result file whole or not at all.  The content goes to a
// temporary file beside the target; it is flushed, synced and closed with
// every step checked, and only then renamed over the target.  On any failure
// the temporary file is removed and an older file of that name stays as it
// was.  QSaveFile is not used: Qt 6.4's commit() reports success after a
// failed buffered write, which left empty pictures on a full disk.
#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

class SafeWrite
{
public:
    explicit SafeWrite(const QString& path);
    // An uncommitted temporary file is removed.
    ~SafeWrite();
    SafeWrite(const SafeWrite&) = delete;
    SafeWrite& operator=(const SafeWrite&) = delete;

    // Refuses a target that exists and is not a regular file, then creates
    // the temporary file (mode may add QIODevice::Text).
    bool open(QIODevice::OpenMode mode = QIODevice::WriteOnly);
    QIODevice* device() { return &file; }
    // Flush, sync, close, rename.  False with errorString() set on failure.
    bool commit();
    void cancel();
    // "Can't write <path>: <the system's reason>".
    QString errorString() const { return error; }
    // The reason alone.
    QString reason() const { return why; }

    // open, fill, commit in one call; fill returns false for a failure of
    // its own (then `why`, when fill set it, is the reason given).
    static bool write(const QString& path, const std::function<bool(QIODevice*, QString& why)>& fill,
                      QString* error, QIODevice::OpenMode mode = QIODevice::WriteOnly);
    // bytes as the whole file, written as write() does.
    static bool writeBytes(const QString& path, const QByteArray& bytes, QString* error);
    // A picture in the format its file suffix names, written as write() does.
    static bool writeImage(const QString& path, const QImage& image, QString* error);
    // Why path cannot take a result (it exists and is a directory, a device,
    // a pipe or a symbolic link); empty when it can.
    static QString targetProblem(const QString& path);

    // Temporary files are "<name>.part-<process>-<count>", the name cut so
    // the whole stays within nameMax bytes (the file system's limit).
    static QString tempName(const QString& name, const QString& suffix, int nameMax);
    static bool isTempName(const QString& name);
    // True when the temporary file's writer is gone: it holds no lock on it
    // and it has not changed for some seconds.
    static bool writerGone(const QString& tempPath);
    // Removes the temporary files in dir whose writers are gone; their names.
    static QStringList removeStale(const QString& dir);

private:
    bool fail(const QString& reason);
    static QString targetReason(const QString& path);
    static QString notRegular(unsigned mode);

    QString path;
    QString tempPath;
    QFile file;
    QString error;
    QString why;
    bool committed = false;
};
