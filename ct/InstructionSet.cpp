#include "InstructionSet.h"

#include <QFile>
#include <QtGlobal>

#include <cstdlib>
#include <cstring>

namespace {

InstructionSet::Level detect()
{
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq"))
        return InstructionSet::Avx512;
    if (avx2)
        return InstructionSet::Avx2;
#endif
    return InstructionSet::Portable;
}

InstructionSet::Level capped(InstructionSet::Level own)
{
    const char* cap = std::getenv("ZUVO2_ISA");
    if (!cap || !*cap)
        return own;
    for (InstructionSet::Level l : {InstructionSet::Portable, InstructionSet::Avx2, InstructionSet::Avx512}) {
        if (std::strcmp(cap, InstructionSet::name(l)) == 0)
            return l < own ? l : own;
    }
    qWarning("ZUVO2_ISA=%s is not avx512, avx2 or portable: ignored, the processor's %s loops run", cap,
             InstructionSet::name(own));
    return own;
}

} // namespace

InstructionSet::Level InstructionSet::processorLevel()
{
    static const Level own = detect();
    return own;
}

InstructionSet::Level InstructionSet::level()
{
    static const Level l = capped(processorLevel());
    return l;
}

const char* InstructionSet::name(Level l)
{
    switch (l) {
    case Avx512:
        return "avx512";
    case Avx2:
        return "avx2";
    case Portable:
        break;
    }
    return "portable";
}

QString InstructionSet::processorModel()
{
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                const int colon = line.indexOf(':');
                if (colon >= 0)
                    return QString::fromLatin1(line.mid(colon + 1).trimmed());
            }
        }
    }
    return QStringLiteral("unknown");
}

QString InstructionSet::describe()
{
    QString s = QLatin1String(name(level()));
    if (level() < processorLevel())
        s += QStringLiteral(" (the processor has %1; ZUVO2_ISA=%2)")
                 .arg(QLatin1String(name(processorLevel())), QString::fromLocal8Bit(qgetenv("ZUVO2_ISA")));
    return s;
}
