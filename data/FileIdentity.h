#pragma once
// One file as the file system knows it (device and inode once links are
// followed), so two names of the same file compare equal: a symbolic link,
// a hard link, "dir/../dir/x" and an absolute path all name it.
#include <QString>

#include <cstdint>

struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool valid = false;

    // The file path names (links followed); invalid when there is none.
    static FileIdentity of(const QString& path);
    // Without links: the entry itself (a dangling link is still an entry).
    static FileIdentity ofEntry(const QString& path);
    // What an entry that is not a regular file is: "a directory", "a FIFO",
    // "a device", "a socket", "a dangling link", "missing"; empty for a
    // regular file (after links).
    static QString kindProblem(const QString& path);

    bool operator==(const FileIdentity& o) const { return valid && o.valid && device == o.device && inode == o.inode; }
};
