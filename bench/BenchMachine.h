#pragma once
// What every benchmark reads from the machine: processor time (other
// programs on a shared machine do not count against a loop), peak and
// current resident memory, the load average to print beside figures, and
// the processor with the instructions its loops use.
#include "InstructionSet.h"

#include <QFile>
#include <QIODevice>
#include <QString>

#include <sys/resource.h>
#include <cstdio>
#include <ctime>

namespace BenchMachine {

inline double seconds(clockid_t clock)
{
    timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Processor time of the calling thread, and of the whole process, in seconds.
inline double threadCpu() { return seconds(CLOCK_THREAD_CPUTIME_ID); }
inline double processCpu() { return seconds(CLOCK_PROCESS_CPUTIME_ID); }

inline double peakMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

inline double currentMiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toDouble() * 4096.0 / (1024.0 * 1024.0) : 0;
}

// "1.20 1.13 2.01": the three averages of /proc/loadavg.
inline QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

// "processor: <model>; instructions: avx2 (the processor has avx512;
// ZUVO2_ISA=avx2); loop: avx2; load 1.20 1.13 2.01"
inline void printMachine(const char* loop)
{
    std::printf("processor: %s; instructions: %s; loop: %s; load %s\n",
                qPrintable(InstructionSet::processorModel()), qPrintable(InstructionSet::describe()), loop,
                qPrintable(loadAverage()));
}

// A device that counts what it is given and keeps nothing: the cost of
// making a file's bytes without the file system's.
class NullDevice : public QIODevice
{
public:
    qint64 bytes = 0;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 len) override
    {
        bytes += len;
        return len;
    }
};

} // namespace BenchMachine
