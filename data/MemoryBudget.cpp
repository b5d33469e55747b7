#include "MemoryBudget.h"

#include <QFile>

#include <unistd.h>

namespace {
const qint64 kMB = qint64(1) << 20;

qint64 memAvailable()
{
    // Read whole at once: /proc files report size 0.
    QFile f(QStringLiteral("/proc/meminfo"));
    if (f.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = f.readAll().split('\n');
        for (const QByteArray& line : lines) {
            if (!line.startsWith("MemAvailable:"))
                continue;
            const QList<QByteArray> parts = line.simplified().split(' ');
            bool ok = false;
            const qint64 kb = parts.value(1).toLongLong(&ok);
            if (ok && kb >= 0)
                return kb * 1024;
        }
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && size > 0)
        return qint64(pages) * size;
    return -1;
}

// The variable's budget in bytes, -1 when unset or not a positive number.
qint64 envBudget()
{
    const QByteArray env = qgetenv("ZUVO2_MEMORY_BUDGET_MB");
    bool ok = false;
    const qint64 mb = env.trimmed().toLongLong(&ok);
    return ok && mb > 0 && mb < (qint64(1) << 43) ? mb * kMB : -1;
}
} // namespace

bool memoryBudgetIsSet()
{
    return envBudget() > 0;
}

qint64 memoryBudgetBytes()
{
    const qint64 env = envBudget();
    return env > 0 ? env : memAvailable();
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / double(kMB), 'f', 1) + QStringLiteral(" MB");
}
