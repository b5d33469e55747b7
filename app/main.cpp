#include "Body.h"
#include "ConfigStore.h"
#include "Failures.h"
#include "MemoryBudget.h"
#include "QuitOnSignal.h"
#include "SessionHost.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QScreen>
#include <QTranslator>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/resource.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

// Address space (ulimit -v) below which the window cannot even be built:
// its threads' stacks and the libraries take most of this.
static constexpr qint64 kLeastAddressSpace = qint64(768) << 20;

static const char* kUsage =
    "Usage: zuvo2 [options]\n"
    "  -c FILE, -config FILE  configuration file (default config.cfg; -config wins)\n"
    "  -d DIR                 data root for file dialogs (overrides DataRoot)\n"
    "  -e                     English interface (no Japanese translation)\n"
    "  -j                     Japanese interface (the default)\n"
    "  -b FILE                load the batch program FILE\n"
    "  -x                     run the loaded batch program\n"
    "  -q                     with -x: quit when the batch program stops; exit status\n"
    "                         0 when it ran to its end without a failure, 1 when\n"
    "                         something failed, 2 when the batch file could not be read\n"
    "                         (SIGTERM/SIGINT: 128 + the signal number, after the slices\n"
    "                         in progress are written; a second signal ends at once)\n"
    "  -nw                    do not show the main window\n"
    "  -v                     also log each batch line as it is taken (cmd, body-cmd)\n"
    "  -h, -help, --help      print this text and exit\n"
    "  --version              print the version and exit\n";

// Options this program reads; any other key is kept for the configuration
// store but reported, since it is most likely a typing error.
static const char* const kOptions[] = {"-c", "-config", "-d", "-e", "-j", "-b", "-x", "-q", "-nw", "-v",
                                       "-h", "-help", "--help", "--version"};

static void reportUnknownOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-')
            continue;
        bool known = false;
        for (const char* o : kOptions)
            known = known || std::strcmp(argv[i], o) == 0;
        if (!known)
            std::fprintf(stderr, "Unknown option %s (see -h)\n", argv[i]);
    }
}

// Without a window and without a display, the offscreen platform instead of
// an abort (the user's own choice of platform stays); a window without a
// display would end in Qt's abort, so it is refused with what helps instead.
static bool choosePlatform()
{
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                           && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (configStore.contains("-nw") && noDisplay)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!configStore.contains("-nw") && noDisplay && !configStore.contains("-platform")) {
        std::fputs("zuvo2: no display (DISPLAY is not set): set DISPLAY, or run without a window with -nw,\n"
                   "or choose a platform with QT_QPA_PLATFORM (offscreen for pictures without a screen)\n",
                   stderr);
        return false;
    }
    return true;
}

// The status once the event loop has ended: 128 + the signal that ended it;
// the loop's own status with a window; unattended (-x -q), whether every
// result can be trusted.
static int exitStatus(int rc, int signalled, bool unattended, bool batchEnded, bool batchUnreadable,
                      const QString& batchFile)
{
    if (signalled) {
        if (unattended && !batchEnded && !batchUnreadable)
            std::fputs("Batch program stopped before its end\n", stderr);
        const QString summary = Failures::summary();
        if (!summary.isEmpty())
            std::fprintf(stderr, "%s\n", summary.toLocal8Bit().constData());
        std::fprintf(stderr, "Interrupted by signal %d\n", signalled);
        return 128 + signalled;
    }
    if (!unattended)
        return rc;
    if (batchUnreadable) {
        std::fprintf(stderr, "Batch file could not be read: %s\n", batchFile.toLocal8Bit().constData());
        return 2;
    }
    const QString summary = Failures::summary();
    if (!batchEnded)
        std::fputs("Batch program stopped before its end\n", stderr);
    if (!summary.isEmpty())
        std::fprintf(stderr, "%s\n", summary.toLocal8Bit().constData());
    return batchEnded && summary.isEmpty() ? 0 : 1;
}

// How the event loop ended, for the exit status.
struct SessionEnd
{
    int rc = 0;
    // The quit signal that ended it (0: none).
    int signalled = 0;
    bool batchEnded = false;
    bool batchUnreadable = false;
};

// The session, with the window or alone, runs the batch program asked for
// until the event loop ends.
static SessionEnd runSession(QGuiApplication& app, QuitOnSignal& quitOnSignal, bool noWindow, const QString& batchFile,
                             bool hasBatch, bool execBatch, bool quitAfterBatch)
{
    SessionEnd e;
    std::unique_ptr<Body> body;
    std::unique_ptr<SessionHost> alone;
    if (noWindow) {
        alone = std::make_unique<SessionHost>(32);
        alone->begin();
    } else {
        body = std::make_unique<Body>();
        QObject::connect(body.get(), &Body::finishing, &app, &QCoreApplication::quit);
    }
    SessionHost& host = body ? body->sessionHost() : *alone;
    QObject::connect(&host, &SessionHost::finishing, &app, &QCoreApplication::quit);
    // Nothing new starts; the program ends once the slices in progress are written.
    QObject::connect(&quitOnSignal, &QuitOnSignal::requested, &host, [&](int sig) {
        e.signalled = sig;
        host.quitOnSignal();
    });
    QObject::connect(&host.batch(), &Batch::loadFailed, &app, [&] { e.batchUnreadable = true; });
    if (execBatch && quitAfterBatch)
        QObject::connect(
            &host, &SessionHost::batchStopped, &app,
            [&] {
                // A program stopped by a quit signal did not reach its end.
                if (e.signalled)
                    return;
                e.batchEnded = true;
                app.quit();
            },
            Qt::QueuedConnection);
    if (body) {
        // On a screen no larger than the window's first size the window
        // manager is asked to fit it, frame and all, into the free area.
        const QScreen* sc = body->screen();
        if (sc && body->size() == sc->availableGeometry().size())
            body->showMaximized();
        else
            body->show();
    }
    if (hasBatch)
        host.loadBatch(batchFile);
    if (execBatch)
        host.execBatch();
    e.rc = app.exec();
    return e;
}

int main(int argc, char** argv)
{
#ifdef __GLIBC__
    // Sinograms and images of many megabytes come and go with every slice.
    // A fixed threshold keeps them mapped on their own, so a freed one goes
    // back to the system at once instead of lingering in 32 thread arenas.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    struct rlimit as = {};
    const bool asLimited = ::getrlimit(RLIMIT_AS, &as) == 0 && as.rlim_cur != RLIM_INFINITY;
#ifdef __GLIBC__
    // Each thread's malloc arena reserves 64 MB of address space: under
    // ulimit -v the 40-odd threads would take it all before a file is read.
    if (asLimited)
        mallopt(M_ARENA_MAX, 2);
#endif
    configStore.parseArguments(argc, argv);
    if (configStore.contains("-h") || configStore.contains("-help") || configStore.contains("--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (configStore.contains("--version")) {
        std::fputs("zuvo2 " ZUVO2_VERSION "\n", stdout);
        return 0;
    }

    // A budget given wrong would be ignored silently: refuse to start instead.
    if (const QString why = memoryBudgetProblem(); !why.isEmpty()) {
        std::fprintf(stderr, "%s\n", why.toLocal8Bit().constData());
        return 2;
    }
    // Too little address space ends in a crash somewhere inside the toolkit.
    if (asLimited && qint64(as.rlim_cur) < kLeastAddressSpace) {
        std::fprintf(stderr, "zuvo2: the address space limit (ulimit -v) of %s is below the %s the window needs; "
                             "raise it, or use zuvo2-recon\n",
                     megabytes(qint64(as.rlim_cur)).toLocal8Bit().constData(),
                     megabytes(kLeastAddressSpace).toLocal8Bit().constData());
        return 2;
    }

    // Before anything slow: a kill while the window is built still ends the
    // process the orderly way.
    QuitOnSignal::install();

    // Categories serve filtering (QT_LOGGING_RULES); lines keep their own
    // texts unless QT_MESSAGE_PATTERN asks for more.
    qSetMessagePattern(QStringLiteral("%{message}"));
    if (!choosePlatform())
        return 2;
    // The environment's rules (QT_LOGGING_RULES) still win over these.
    if (configStore.contains("-v"))
        QLoggingCategory::setFilterRules(QStringLiteral("zuvo2.lines.debug=true"));
    // Without a window no widget is made: the session runs alone, in a GUI
    // application only for the fonts of the pictures it draws.
    const bool noWindow = configStore.contains("-nw");
    std::unique_ptr<QGuiApplication> app;
    if (noWindow)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QuitOnSignal quitOnSignal;
    QTranslator translator;
    // Qt has taken its own options (-platform, -style, ...) out of argv.
    reportUnknownOptions(argc, argv);

    // Stops at a quit signal; the signal is then answered as any other.
    configStore.readFile(configStore.configFileName());
    dataRoot = configStore.dataRootFrom(dataRoot);

    const bool english = configStore.contains("-e");
    const bool hasBatch = configStore.contains("-b");
    const QString batchFile = configStore.value("-b", "batchFile.bat");
    const bool execBatch = configStore.contains("-x");
    const bool quitAfterBatch = configStore.contains("-q");

    if (!english) {
        (void)translator.load(":zuvo2_ja_JP", QCoreApplication::applicationDirPath());
        app->installTranslator(&translator);
    }

    const SessionEnd end = runSession(*app, quitOnSignal, noWindow, batchFile, hasBatch, execBatch, quitAfterBatch);
    app->removeTranslator(&translator);
    // A signal caught before the loop ran is answered here as well.
    const int signalled = end.signalled ? end.signalled : QuitOnSignal::received();
    return exitStatus(end.rc, signalled, execBatch && quitAfterBatch, end.batchEnded, end.batchUnreadable, batchFile);
}
