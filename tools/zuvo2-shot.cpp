// Runs a batch program in the main window and saves a picture of the window
// once the program has stopped; with QT_QPA_PLATFORM=offscreen it needs no display.
#include "Body.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <cstring>

namespace {
const char* kUsage =
    "Usage: zuvo2-shot [options]\n"
    "Runs a batch program in the Zuvo2 main window, then saves a picture of the window.\n"
    "\n"
    "  -b FILE     batch program to run (none: the empty window)\n"
    "  -o FILE     picture to write; the suffix gives the format (default zuvo2-shot.png)\n"
    "  -W N, -H N  window size in pixels (default 1840 x 1000, as the window opens on a full-HD screen)\n"
    "  -w NAME     picture of the window's part of this object name only (XafsPanel, DispCt, ...)\n"
    "  -T SECONDS  give up waiting for the program after this long (default 600)\n"
    "  -j          Japanese interface\n"
    "  -e          English interface (the default)\n"
    "  -h          this text (needs no display)\n";

int fail(const char* text)
{
    std::fprintf(stderr, "zuvo2-shot: %s\n", text);
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    // Before the application object: the help needs no display.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();

    QString batchFile;
    QString out = QStringLiteral("zuvo2-shot.png");
    QString part;
    int width = 1840, height = 1000, timeoutS = 600;
    bool japanese = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == QLatin1String("-j")) {
            japanese = true;
        } else if (a == QLatin1String("-e")) {
            japanese = false;
        } else if (a == QLatin1String("-b") && hasValue) {
            batchFile = args.at(++i);
        } else if (a == QLatin1String("-w") && hasValue) {
            part = args.at(++i);
        } else if (a == QLatin1String("-o") && hasValue) {
            out = args.at(++i);
        } else if (a == QLatin1String("-W") && hasValue) {
            width = args.at(++i).toInt(&ok);
        } else if (a == QLatin1String("-H") && hasValue) {
            height = args.at(++i).toInt(&ok);
        } else if (a == QLatin1String("-T") && hasValue) {
            timeoutS = args.at(++i).toInt(&ok);
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (!ok)
            return fail("a number was expected");
    }
    if (width < 100 || width > 8000 || height < 100 || height > 8000)
        return fail("window size out of range (100 ... 8000)");
    if (timeoutS <= 0)
        return fail("the time-out must be positive");
    if (!batchFile.isEmpty() && !QFileInfo(batchFile).isFile())
        return fail("batch program not found");

    QTranslator translator;
    if (japanese) {
        if (!translator.load(QStringLiteral(":zuvo2_ja_JP")))
            return fail("the Japanese catalogue is missing");
        app.installTranslator(&translator);
    }
    int rc = 0;
    {
        Body body;
        body.resize(width, height);
        body.show();
        auto shoot = [&] {
            // Let queued repaints and result images arrive first.
            QCoreApplication::processEvents();
            QWidget* w = part.isEmpty() ? static_cast<QWidget*>(&body) : body.findChild<QWidget*>(part);
            const QImage picture = w ? w->grab().toImage() : QImage();
            if (picture.isNull() || !picture.save(out)) {
                std::fprintf(stderr, "zuvo2-shot: cannot write %s\n", qPrintable(out));
                rc = 1;
            } else {
                std::printf("%s\n", qPrintable(out));
            }
            app.quit();
        };
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &body, [&] {
            std::fprintf(stderr, "zuvo2-shot: the batch program did not stop in time\n");
            rc = 1;
            app.quit();
        });
        if (batchFile.isEmpty()) {
            QTimer::singleShot(200, &body, shoot);
        } else {
            QObject::connect(&body, &Body::batchProgramStopped, &body,
                             [&] { QTimer::singleShot(300, &body, shoot); }, Qt::QueuedConnection);
            timeout.start(timeoutS * 1000);
            emit body.callBatchLoad(batchFile);
            emit body.callBatchExec();
        }
        const int loop = app.exec();
        if (rc == 0)
            rc = loop;
    }
    app.removeTranslator(&translator);
    return rc;
}
