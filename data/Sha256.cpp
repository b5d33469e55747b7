#include "Sha256.h"

#include <QFile>

#include <openssl/evp.h>

#include <vector>

Sha256::Sha256()
{
    EVP_MD_CTX* c = EVP_MD_CTX_new();
    ok = c && EVP_DigestInit_ex(c, EVP_sha256(), nullptr) == 1;
    ctx = c;
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(ctx));
}

void Sha256::add(const void* data, size_t size)
{
    if (!ok || size == 0)
        return;
    ok = EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(ctx), data, size) == 1;
    count += qint64(size);
}

QString Sha256::hex()
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    const bool done = ok && EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(ctx), md, &len) == 1 && len == 32;
    ok = false;
    if (!done)
        return {};
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(md), int(len)).toHex());
}

QString Sha256::ofFile(const QString& path, qint64* size)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    Sha256 h;
    // Large reads: a data file of a big slice has tens of megabytes.
    std::vector<char> buf(size_t(1) << 20);
    for (;;) {
        const qint64 got = f.read(buf.data(), qint64(buf.size()));
        if (got < 0)
            return {};
        if (got == 0)
            break;
        h.add(buf.data(), size_t(got));
    }
    const QString digest = h.hex();
    if (!digest.isEmpty() && size)
        *size = h.size();
    return digest;
}
