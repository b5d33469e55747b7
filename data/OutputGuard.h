#pragma once
// What a run must make sure of before it writes anything: no file it will
// write is one of its inputs (the same file under any name), and no other
// run writes the same output name in the same directory at the same time
// (their files would mix and the surviving report would describe both).
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QLockFile;

class OutputGuard
{
public:
    OutputGuard();
    ~OutputGuard();
    OutputGuard(const OutputGuard&) = delete;
    OutputGuard& operator=(const OutputGuard&) = delete;

    // Why writing outputs would overwrite an input: "OUT is the input IN"
    // (device and inode after links; an output not yet there is compared by
    // its directory and name). Empty when none does.
    static QString collision(const QStringList& outputs, const QStringList& inputs);

    // Takes the lock of output name `name` in dir (the file ".NAME.lock"
    // there, holding this process's id) unless this guard holds it already.
    // A lock left by a process that is gone is taken over with a message.
    // False with why ("... is being written by process 1234 (zuvo2-recon)")
    // when a live process holds it. A directory where no lock file can be
    // made (missing, read-only) is not locked: writes there fail on their
    // own. Locks are released by release() or the
    // end of the guard (so at exit).
    bool lock(const QString& dir, const QString& name, QString* why);
    void release();
    // The lock file of name in dir.
    static QString lockFile(const QString& dir, const QString& name);

private:
    struct Held
    {
        QString path;
        std::unique_ptr<QLockFile> file;
    };
    std::vector<Held> held;
};
