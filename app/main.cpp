#include "Body.h"
#include "ConfigStore.h"
#include "QuitOnSignal.h"

#include <QApplication>
#include <QTranslator>
#include <cstdio>

#ifdef __GLIBC__
#include <malloc.h>
#endif

static const char* kUsage =
    "Usage: zuvo2 [options]\n"
    "  -c FILE, -config FILE  configuration file (default config.cfg; -config wins)\n"
    "  -d DIR                 data root for file dialogs (overrides DataRoot)\n"
    "  -e                     English interface (no Japanese translation)\n"
    "  -j                     Japanese interface (the default)\n"
    "  -b FILE                load the batch program FILE\n"
    "  -x                     run the loaded batch program\n"
    "  -q                     with -x: quit when the batch program stops\n"
    "  -nw                    do not show the main window\n"
    "  -h                     print this text and exit\n";

int main(int argc, char** argv)
{
#ifdef __GLIBC__
    // Sinograms and images of many megabytes come and go with every slice.
    // A fixed threshold keeps them mapped on their own, so a freed one goes
    // back to the system at once instead of lingering in 32 thread arenas.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    configStore.parseArguments(argc, argv);
    if (configStore.contains("-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QTranslator translator;

    configStore.readFile(configStore.configFileName());
    dataRoot = configStore.dataRootFrom(dataRoot);

    const bool english = configStore.contains("-e");
    const bool noWindow = configStore.contains("-nw");
    const bool hasBatch = configStore.contains("-b");
    const QString batchFile = configStore.value("-b", "batchFile.bat");
    const bool execBatch = configStore.contains("-x");
    const bool quitAfterBatch = configStore.contains("-q");

    if (!english) {
        (void)translator.load(":zuvo2_ja_JP", QCoreApplication::applicationDirPath());
        app.installTranslator(&translator);
    }

    int rc;
    {
        Body body;
        QObject::connect(&body, SIGNAL(finishing()), &app, SLOT(quit()));
        QuitOnSignal quitOnSignal;
        QObject::connect(&quitOnSignal, &QuitOnSignal::requested, &body, &QWidget::close);
        if (execBatch && quitAfterBatch)
            QObject::connect(&body, &Body::batchProgramStopped, &app, &QApplication::quit,
                             Qt::QueuedConnection);
        if (!noWindow)
            body.show();
        if (hasBatch)
            emit body.callBatchLoad(batchFile);
        if (execBatch)
            emit body.callBatchExec();
        rc = app.exec();
    }
    app.removeTranslator(&translator);
    return rc;
}
