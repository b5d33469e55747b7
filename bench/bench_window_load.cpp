// How live the window stays while a large series loads: writes COUNT ITEX
// images of SIZE x SIZE 16-bit pixels, loads them into the main window with
// "images_load" (offscreen unless QT_QPA_PLATFORM is set) and measures the
// GUI event loop meanwhile with a 10 ms timer: the longest gap between two
// ticks and the 99th percentile.  The files are deleted afterwards.
#include "Body.h"
#include "ItexWriter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
const char* kUsage =
    "Usage: bench_window_load [-s SIZE] [-n COUNT] [directory]\n"
    "Writes COUNT images of SIZE x SIZE 16-bit pixels (default 900 of 2048 x 2048, 7.5 GB)\n"
    "into the directory (default: a temporary one), loads them in the main window and prints\n"
    "the load time and the GUI event loop's latency meanwhile. The files are deleted afterwards.\n";
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    int size = 2048, count = 900;
    QString dirPath;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args.at(i);
        if ((a == QLatin1String("-s") || a == QLatin1String("-n")) && i + 1 < args.size()) {
            bool ok = false;
            const int v = args.at(++i).toInt(&ok);
            if (!ok || v < 1 || v > 16384) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            (a == QLatin1String("-s") ? size : count) = v;
        } else if (a.startsWith(QLatin1Char('-'))) {
            std::fputs(kUsage, a == QLatin1String("-h") ? stdout : stderr);
            return a == QLatin1String("-h") ? 0 : 2;
        } else {
            dirPath = a;
        }
    }
    QTemporaryDir tmp(dirPath.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_window_load-XXXXXX")
                                        : QDir(dirPath).filePath(QStringLiteral("bench_window_load-XXXXXX")));
    if (!tmp.isValid()) {
        std::fprintf(stderr, "bench_window_load: can not make a directory\n");
        return 1;
    }
    std::vector<quint16> px(size_t(size) * size);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = quint16(1000 + (i * 7) % 3000);
    ItexWriter wr(size, size, 2);
    QElapsedTimer t;
    t.start();
    for (int k = 0; k < count; ++k)
        if (!wr.write16(tmp.filePath(QStringLiteral("w-%1.img").arg(k + 1, 4, 10, QLatin1Char('0'))), px.data())) {
            std::fprintf(stderr, "bench_window_load: write failed\n");
            return 1;
        }
    const double mb = double(size) * size * 2 * count / 1e6;
    std::printf("wrote %d x %d x %d (%.0f MB) in %.1f s\n", count, size, size, mb, t.elapsed() / 1000.0);
    std::fflush(stdout);

    int rc = 0;
    {
        Body body;
        body.resize(900, 1000);
        body.show();
        std::vector<qint64> gaps;
        qint64 last = 0;
        QElapsedTimer clock;
        QTimer tick;
        tick.setInterval(10);
        // Only while the files are read: from the hand-over to the loader to the last file.
        bool reading = false;
        QObject::connect(&body, &Body::seriesLoadStarted, &body, [&] {
            reading = true;
            last = clock.elapsed();
        }, Qt::DirectConnection);
        QObject::connect(&tick, &QTimer::timeout, &body, [&] {
            const qint64 now = clock.elapsed();
            if (reading && body.isLoading())
                gaps.push_back(now - last);
            last = now;
        });
        QObject::connect(&body, &Body::seriesLoadEnded, &app, [&](bool ok) {
            const double s = clock.elapsed() / 1000.0;
            tick.stop();
            std::sort(gaps.begin(), gaps.end());
            const qint64 p99 = gaps.empty() ? 0 : gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)];
            std::printf("loaded %d images %s in %.1f s (%.0f MB/s)\n", body.images()->count(),
                        ok ? "whole" : "NOT whole", s, mb / s);
            std::printf("GUI event loop, 10 ms timer: %zu ticks, longest gap %lld ms, 99th percentile %lld ms\n",
                        gaps.size(), gaps.empty() ? 0LL : gaps.back(), p99);
            rc = ok ? 0 : 1;
            app.quit();
        });
        // After the window has drawn once (its first text lays out the fonts).
        QTimer::singleShot(500, &body, [&] {
            clock.start();
            tick.start();
            body.sessionHost().runCommand(BatchCmd(QStringLiteral("images_load \"%1\" w-*.img").arg(tmp.path())));
        });
        app.exec();
    }
    return rc;
}
