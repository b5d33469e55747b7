#pragma once
// Shared by the fuzz targets: a quiet debug log and a check that aborts, so
// that a broken property is a finding just like a sanitizer report.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                              \
    do {                                                                              \
        if (!(cond)) {                                                                \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, \
                         #cond);                                                      \
            std::abort();                                                             \
        }                                                                             \
    } while (0)

namespace fuzz {

// Lines the readers log for bad input are expected here; printing them all
// would only slow the run down. A hook lets a target watch them.
inline void (*logHook)(const QString&) = nullptr;

inline void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (logHook)
        logHook(msg);
    if (type == QtFatalMsg)
        std::abort();
}

inline void quiet()
{
    static const bool once = [] {
        qInstallMessageHandler(quietHandler);
        return true;
    }();
    (void)once;
}

inline QString text(const uint8_t* data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

inline bool writeFile(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

} // namespace fuzz
