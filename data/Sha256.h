#pragma once
// SHA-256 of bytes as they go by, through OpenSSL's libcrypto, which uses the
// processor's SHA instructions or AVX2 where it has them: the run report
// records the digest of every file written, and Qt's portable digest took
// about as long as a slice's data file.  Feed it the bytes in order with
// add, then take hex once.
#include <QString>

#include <cstddef>

class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const void* data, size_t size);
    // Bytes added so far.
    qint64 size() const { return count; }
    // The digest as 64 lower-case hex digits; empty when the library failed.
    // Ends the digest: later adds are ignored.
    QString hex();

    // The digest of a file's bytes; empty when it cannot be read (then
    // *size is left alone).
    static QString ofFile(const QString& path, qint64* size = nullptr);

private:
    void* ctx = nullptr;  // EVP_MD_CTX
    qint64 count = 0;
    bool ok = false;
};
