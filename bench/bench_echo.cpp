// How fast the batch interpreter and the log take plain lines: writes a batch
// program of COUNT ":echo" lines and runs it with "zuvo2 -nw -b FILE -x -q",
// as an unattended run would (standard error to a file). Prints the wall
// time, the child's processor time, the lines per second and the load.
#include "BenchMachine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {
const char* kUsage =
    "Usage: bench_echo [-n COUNT] [-z ZUVO2]\n"
    "Runs a batch program of COUNT :echo lines (default 100000) with ZUVO2 -nw -x -q\n"
    "(default: the zuvo2 built beside bench/) and prints how long it took.\n";

double childCpu()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec * 1e-6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec * 1e-6;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    int count = 100000;
    QString zuvo2 = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../zuvo2"));
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args.at(i);
        if (a == QLatin1String("-n") && i + 1 < args.size()) {
            bool ok = false;
            count = args.at(++i).toInt(&ok);
            if (!ok || count < 1 || count > 10000000) {
                std::fputs(kUsage, stderr);
                return 2;
            }
        } else if (a == QLatin1String("-z") && i + 1 < args.size()) {
            zuvo2 = args.at(++i);
        } else {
            std::fputs(kUsage, a == QLatin1String("-h") ? stdout : stderr);
            return a == QLatin1String("-h") ? 0 : 2;
        }
    }
    QTemporaryDir tmp;
    if (!tmp.isValid()) {
        std::fprintf(stderr, "bench_echo: can not make a directory\n");
        return 1;
    }
    const QString prog = tmp.filePath(QStringLiteral("echo.bat"));
    {
        QFile f(prog);
        if (!f.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "bench_echo: can not write %s\n", qPrintable(prog));
            return 1;
        }
        QByteArray text;
        for (int i = 0; i < count; ++i)
            text += ":echo line " + QByteArray::number(i) + '\n';
        text += ":end\n";
        f.write(text);
    }
    QProcess p;
    p.setWorkingDirectory(tmp.path());
    p.setStandardErrorFile(tmp.filePath(QStringLiteral("err.log")));
    p.setStandardOutputFile(QProcess::nullDevice());
    const double cpu0 = childCpu();
    QElapsedTimer t;
    t.start();
    p.start(zuvo2, {QStringLiteral("-nw"), QStringLiteral("-e"), QStringLiteral("-b"), prog, QStringLiteral("-x"),
                    QStringLiteral("-q")});
    if (!p.waitForStarted()) {
        std::fprintf(stderr, "bench_echo: can not start %s\n", qPrintable(zuvo2));
        return 1;
    }
    p.waitForFinished(-1);
    const double wall = t.nsecsElapsed() * 1e-9;
    const double cpu = childCpu() - cpu0;
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "bench_echo: zuvo2 failed (exit %d), see nothing written\n", p.exitCode());
        return 1;
    }
    // Every line reached standard error.
    QFile err(tmp.filePath(QStringLiteral("err.log")));
    int echoed = 0;
    if (err.open(QIODevice::ReadOnly))
        echoed = int(err.readAll().count(":echo line "));
    std::printf("%d :echo lines (%d logged): %.2f s wall, %.2f s processor, %.0f lines/s; load %s\n", count, echoed,
                wall, cpu, count / wall, qPrintable(BenchMachine::loadAverage()));
    return echoed == count ? 0 : 1;
}
