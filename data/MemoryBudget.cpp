#include "MemoryBudget.h"

#include <QFile>

#include <sys/resource.h>
#include <unistd.h>

namespace {
const qint64 kMB = qint64(1) << 20;
// Larger values are no memory any machine has: taken as unset.
const qint64 kMaxMB = qint64(1) << 43;

// Read whole at once: /proc and cgroup files report size 0.
QByteArray slurp(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The value in kB of a "Key:   123 kB" line of a /proc file; -1 if none.
qint64 procKb(const QByteArray& text, const char* key)
{
    for (const QByteArray& line : text.split('\n')) {
        if (!line.startsWith(key))
            continue;
        bool ok = false;
        const qint64 kb = line.simplified().split(' ').value(1).toLongLong(&ok);
        if (ok && kb >= 0)
            return kb;
    }
    return -1;
}

qint64 memAvailable()
{
    const qint64 kb = procKb(slurp(QStringLiteral("/proc/meminfo")), "MemAvailable:");
    if (kb >= 0)
        return kb * 1024;
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && size > 0)
        return qint64(pages) * size;
    return -1;
}

// Room under this process's cgroup limit (v2, else v1's memory controller).
qint64 cgroupLimitRoom()
{
    for (const QByteArray& line : slurp(QStringLiteral("/proc/self/cgroup")).split('\n')) {
        const QList<QByteArray> f = line.split(':');
        if (f.size() < 3)
            continue;
        const QString path = QString::fromUtf8(f.mid(2).join(':'));
        if (f[0] == "0" && f[1].isEmpty()) {
            const QString dir = QStringLiteral("/sys/fs/cgroup") + path;
            const qint64 room = cgroupRoom(slurp(dir + QStringLiteral("/memory.max")),
                                           slurp(dir + QStringLiteral("/memory.current")));
            if (room >= 0)
                return room;
        } else if (f[1].split(',').contains("memory")) {
            const QString dir = QStringLiteral("/sys/fs/cgroup/memory") + path;
            const qint64 room = cgroupRoom(slurp(dir + QStringLiteral("/memory.limit_in_bytes")),
                                           slurp(dir + QStringLiteral("/memory.usage_in_bytes")));
            if (room >= 0)
                return room;
        }
    }
    return -1;
}

// Room under a resource limit, given what the process holds of it now.
qint64 rlimitRoom(int resource, qint64 heldBytes)
{
    struct rlimit rl;
    if (::getrlimit(resource, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY)
        return -1;
    return qMax<qint64>(0, qint64(rl.rlim_cur) - qMax<qint64>(0, heldBytes));
}

qint64 smaller(qint64 a, qint64 b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return qMin(a, b);
}

// The variable's budget in bytes; -1 when unset or not usable.
qint64 envBudget()
{
    const QByteArray env = qgetenv("ZUVO2_MEMORY_BUDGET_MB");
    bool ok = false;
    const qint64 mb = env.trimmed().toLongLong(&ok, 10);
    return ok && mb > 0 && mb < kMaxMB ? mb * kMB : -1;
}
} // namespace

qint64 cgroupRoom(const QByteArray& limit, const QByteArray& usage)
{
    bool ok = false;
    const qint64 max = limit.trimmed().toLongLong(&ok);
    // "max", or v1's huge number for no limit.
    if (!ok || max <= 0 || max >= (qint64(1) << 60))
        return -1;
    bool used = false;
    const qint64 current = usage.trimmed().toLongLong(&used);
    return qMax<qint64>(0, max - (used && current > 0 ? current : 0));
}

QString memoryBudgetProblem()
{
    if (!qEnvironmentVariableIsSet("ZUVO2_MEMORY_BUDGET_MB"))
        return {};
    if (envBudget() > 0)
        return {};
    return QStringLiteral("ZUVO2_MEMORY_BUDGET_MB=%1 is not a whole number of megabytes from 1 to %2")
        .arg(QString::fromLocal8Bit(qgetenv("ZUVO2_MEMORY_BUDGET_MB")))
        .arg(kMaxMB - 1);
}

bool memoryBudgetIsSet()
{
    return envBudget() > 0;
}

qint64 memoryBudgetBytes()
{
    const qint64 env = envBudget();
    qint64 budget = env > 0 ? env : memAvailable();
    budget = smaller(budget, cgroupLimitRoom());
    const QByteArray status = slurp(QStringLiteral("/proc/self/status"));
    const qint64 vmSize = procKb(status, "VmSize:"), vmData = procKb(status, "VmData:");
    budget = smaller(budget, rlimitRoom(RLIMIT_AS, vmSize * 1024));
    budget = smaller(budget, rlimitRoom(RLIMIT_DATA, vmData * 1024));
    return budget;
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / double(kMB), 'f', 1) + QStringLiteral(" MB");
}
