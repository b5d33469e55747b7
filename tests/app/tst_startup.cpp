// Runs the real application unattended and checks what it logs and returns.
#include "TextFile.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

class TstStartup : public QObject
{
    Q_OBJECT
private slots:
    void unattendedRun();
    void missingConfigStillRuns();
    void usage_data();
    void usage();
    void exitStatus_data();
    void exitStatus();
    void version();
    void signalEndsOrderly_data();
    void signalEndsOrderly();
    void noWindowWithoutDisplay_data();
    void noWindowWithoutDisplay();
    void shotHelpWithoutDisplay();
    void addressSpaceLimit_data();
    void addressSpaceLimit();

private:
    int runApp(const QStringList& args, QString* err, QString* out = nullptr);
    QTemporaryDir dir;
};

int TstStartup::runApp(const QStringList& args, QString* err, QString* out)
{
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2"), args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    *err = QString::fromUtf8(p.readAllStandardError());
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
}

static QStringList interesting(const QString& err)
{
    QStringList l;
    for (const QString& line : err.split('\n'))
        if (line.startsWith("cmd") || line.startsWith("body-cmd") || line.startsWith(":echo") ||
            line.startsWith("Can't") || line.startsWith("Not a command"))
            l << line;
    return l;
}

void TstStartup::unattendedRun()
{
    QFile f(dir.filePath("prog.bat"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
    f.write(":echo start # greeting\n"
            "count\n"
            ":goto Skip\n"
            ":echo never\n"
            "Skip\n"
            ":ifok :echo ok\n"
            ":IFNG :echo ng\n"
            "no_such_command 1 2\n"
            ":end\n"
            "after_end\n");
    f.close();
    QString err;
    // The word with arguments is a mistyped command: the run fails.  -v
    // echoes every line as the interpreter and the window take it.
    QCOMPARE(runApp({"-nw", "-v", "-b", "prog.bat", "-x", "-q"}, &err), 1);
    const QStringList expected{
        "Can't open config file : config.cfg",
        "cmd :echo", ":echo start ",
        "cmd count", "body-cmd count",
        "cmd :goto",
        "cmd Skip", "body-cmd Skip",
        "cmd :ifok", ":echo ok",
        "cmd :IFNG", "body-cmd :IFNG",
        "cmd no_such_command", "body-cmd no_such_command", "Not a command, line 8: no_such_command",
        "cmd :end"};
    QCOMPARE(interesting(err), expected);
    QCOMPARE(err.trimmed().split('\n').last(), QString("1 failure: 1 command"));
}

void TstStartup::missingConfigStillRuns()
{
    QFile f(dir.filePath("one.bat"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
    f.write(":echo hi\n");
    f.close();
    QFile c(dir.filePath("b.cfg"));
    QVERIFY(c.open(QIODevice::WriteOnly | QIODevice::Text));
    c.write("DataRoot /tmp\n");
    c.close();
    QString err;
    QCOMPARE(runApp({"-nw", "-config", "missing.cfg", "-c", "b.cfg", "-b", "one.bat", "-x", "-q", "-e"}, &err), 0);
    // Without -v the lines are not echoed.
    QCOMPARE(interesting(err), (QStringList{"Can't open config file : missing.cfg", ":echo hi"}));
    // A batch file that cannot be opened: nothing runs, and the status says so.
    QCOMPARE(runApp({"-nw", "-c", "b.cfg", "-b", "nothere.bat", "-x", "-q"}, &err), 2);
    QCOMPARE(interesting(err), QStringList{"Can't open batch file nothere.bat"});
}

void TstStartup::usage_data()
{
    QTest::addColumn<QString>("option");
    for (const char* o : {"-h", "-help", "--help"})
        QTest::newRow(o) << o;
}

void TstStartup::usage()
{
    QFETCH(QString, option);
    QString err, out;
    QCOMPARE(runApp({option}, &err, &out), 0);
    for (const char* opt : {"-c", "-config", "-d", "-e", "-b", "-x", "-q", "-nw", "-h", "--help", "--version"})
        QVERIFY2(out.contains(QString(opt) + " ") || out.contains(QString(opt) + ","), opt);
}

// Each row: a program, the unattended exit status, and the last line on
// standard error (or a text it must hold).
void TstStartup::exitStatus_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("holds");
    QTest::newRow("clean run") << QByteArray("Loop\n:echo hi\n") << QStringList() << 0 << ":echo hi" << "";
    QTest::newRow("mistyped command, seen by ifng") << QByteArray("calc_exce\n:ifng :echo caught\n") << QStringList() << 1
                                                    << "1 failure: 1 command" << ":echo caught\n";
    QTest::newRow("bad numbers") << QByteArray("ct_cor 34,5\nct_threads abc\n") << QStringList() << 1 << "2 failures: 2 command"
                                 << "ct_threads, line 2: \"abc\" is not an integer";
    QTest::newRow("picture not written") << QByteArray("save_image raw /no/such/dir/x.png\n") << QStringList() << 1
                                         << "1 failure: 1 write"
                                         << "save_image, line 1: the raw image display's picture needs the window; run without -nw";
    QTest::newRow("no set left is normal") << QByteArray("seq_exec_next\n:ifng :end\n:echo never\n") << QStringList{"-v"}
                                           << 0 << "cmd :ifng" << "";
    QTest::newRow("lone CR line ends") << QByteArray(":echo a\r:echo b\r") << QStringList() << 0 << ":echo b" << ":echo a\n";
    QTest::newRow("unknown option goes on") << QByteArray(":echo ran\n") << QStringList{"-frobnicate"} << 0 << ":echo ran"
                                            << "Unknown option -frobnicate (see -h)";
}

void TstStartup::exitStatus()
{
    QFETCH(QByteArray, program);
    QFETCH(QStringList, extra);
    QFETCH(int, status);
    QFETCH(QString, last);
    QFETCH(QString, holds);
    QFile f(dir.filePath("status.bat"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(program);
    f.close();
    QString err;
    QCOMPARE(runApp(QStringList{"-nw", "-b", "status.bat", "-x", "-q"} + extra, &err), status);
    QCOMPARE(err.trimmed().split('\n').last(), last);
    QVERIFY2(err.contains(holds), qPrintable(holds));
}

void TstStartup::version()
{
    QString err, out;
    // It wins over a batch run: nothing runs.
    QCOMPARE(runApp({"-nw", "-b", "none.bat", "-x", "--version"}, &err, &out), 0);
    QVERIFY2(QRegularExpression("^zuvo2 \\d+\\.\\d+(\\.\\d+)?\n$").match(out).hasMatch(), qPrintable(out));
    QVERIFY(!err.contains("cmd"));
}

// Each row: a batch program, the line on standard error after which the
// signals are sent, and the signals.  (A second signal during a long
// orderly end is tried in tests/stress.)
void TstStartup::signalEndsOrderly_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QString>("ready");
    QTest::addColumn<QList<int>>("sigs");
    QTest::addColumn<int>("delayMs");        // from the ready line to the signal
    QTest::addColumn<QStringList>("extra");  // more options
    QTest::addColumn<int>("withinMs");       // the end comes this soon after the signal (0: any time)
    // Printed once the application object exists, before the window is built.
    const QString building = "Can't open config file : config.cfg";
    const QByteArray loop(":echo tick\n:goto :echo\n");
    QTest::newRow("SIGTERM at start-up") << QByteArray(":echo hi\n") << building << QList<int>{SIGTERM} << 0 << QStringList() << 0;
    QTest::newRow("SIGINT at start-up") << QByteArray(":echo hi\n") << building << QList<int>{SIGINT} << 0 << QStringList() << 0;
    QTest::newRow("SIGTERM in a loop of control words") << loop << ":echo tick" << QList<int>{SIGTERM} << 0 << QStringList() << 0;
    QTest::newRow("SIGTERM in a loop of commands") << QByteArray("again\n:goto again\n") << "body-cmd again"
                                                   << QList<int>{SIGTERM} << 0 << QStringList() << 0;
    // A second of log lines queued for the window must not hold the signal back.
    QTest::newRow("SIGTERM a second into a loop of control words") << loop << ":echo tick" << QList<int>{SIGTERM}
                                                                   << 1000 << QStringList() << 1000;
    // Each file INCLUDEs the next twice: read once each, the start-up ends.
    for (int i = 0; i < 40; ++i)
        QVERIFY(writeTextFile(dir.filePath(QString("n%1.cfg").arg(i)),
                              QString("INCLUDE %1\nINCLUDE %1\n").arg(dir.filePath(QString("n%1.cfg").arg(i + 1)))));
    QVERIFY(writeTextFile(dir.filePath("n40.cfg"), "K 1\n"));
    QTest::newRow("SIGTERM after a start-up through 40 double INCLUDEs") << loop << ":echo tick" << QList<int>{SIGTERM}
                                                                         << 0 << QStringList{"-c", dir.filePath("n0.cfg")} << 5000;
}

void TstStartup::signalEndsOrderly()
{
    QFETCH(QByteArray, program);
    QFETCH(QString, ready);
    QFETCH(QList<int>, sigs);
    QFETCH(int, delayMs);
    QFETCH(QStringList, extra);
    QFETCH(int, withinMs);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers slow the window's teardown and look for leaks at exit.
    withinMs *= 3;
#endif
    QFile f(dir.filePath("sig.bat"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(program);
    f.close();
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    // -v: the lines echoed tell how far the program got.
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2"), QStringList{"-nw", "-v", "-b", "sig.bat", "-x", "-q"} + extra);
    QVERIFY(p.waitForStarted());
    p.setReadChannel(QProcess::StandardError);
    // Wait for the program to reach the point, never for a fixed time.
    QByteArray err;
    while (!err.contains(ready.toUtf8()) && p.state() == QProcess::Running)
        if (p.waitForReadyRead(30000))
            err += p.readAllStandardError();
        else
            break;
    QVERIFY2(err.contains(ready.toUtf8()), err.right(2000).constData());
    // Standard error is drained meanwhile, as a terminal would.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < delayMs && p.state() == QProcess::Running) {
        p.waitForReadyRead(50);
        err += p.readAllStandardError();
    }
    for (int sig : sigs)
        ::kill(pid_t(p.processId()), sig);
    clock.start();
    // A hang would show here: the loop never gave the event loop back.
    while (p.state() == QProcess::Running && clock.elapsed() < 10000) {
        p.waitForReadyRead(50);
        err += p.readAllStandardError();
    }
    QVERIFY2(p.state() == QProcess::NotRunning, "did not end after the signal");
    // Within a second where it counts, with room for a busy machine.
    QVERIFY2(withinMs == 0 || clock.elapsed() < withinMs, qPrintable(QString("ended %1 ms after the signal").arg(clock.elapsed())));
    err += p.readAllStandardError();
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 128 + sigs.first());
    const QByteArray received = QString("Signal %1 received, closing").arg(sigs.first()).toUtf8();
    QVERIFY(err.contains(received));
    QVERIFY(err.contains(QString("Interrupted by signal %1").arg(sigs.first()).toUtf8()));
}

// Without a display, "-nw" needs no platform setting.
void TstStartup::noWindowWithoutDisplay_data()
{
    QTest::addColumn<bool>("window");
    QTest::newRow("-nw runs offscreen") << false;
    QTest::newRow("a window says what to do") << true;
}

void TstStartup::noWindowWithoutDisplay()
{
    QFETCH(bool, window);
    QFile f(dir.filePath("nw.bat"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(":echo headless\n");
    f.close();
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(v);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2"),
            window ? QStringList{"-b", "nw.bat", "-x", "-q"} : QStringList{"-nw", "-b", "nw.bat", "-x", "-q"});
    QVERIFY(p.waitForFinished(30000));
    const QByteArray err = p.readAllStandardError();
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    if (window) {
        // Not Qt's abort: a message naming the way out, and nothing run.
        QCOMPARE(p.exitCode(), 2);
        QVERIFY2(err.contains("no display") && err.contains("-nw"), err.constData());
        QVERIFY(!err.contains(":echo headless"));
        return;
    }
    QVERIFY2(p.exitCode() == 0, err.constData());
    QVERIFY(err.contains(":echo headless"));
}

// The picture tool explains itself where no window can open.
void TstStartup::shotHelpWithoutDisplay()
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(v);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2-shot"), {"-h"});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    const QByteArray out = p.readAllStandardOutput();
    for (const char* opt : {"-b FILE", "-o FILE", "-j ", "-e "})
        QVERIFY2(out.contains(opt), opt);
}

void TstStartup::addressSpaceLimit_data()
{
    QTest::addColumn<int>("megabytes");  // ulimit -v
    QTest::addColumn<int>("status");
    QTest::newRow("500 MB: refused, the limit named") << 500 << 2;
    QTest::newRow("1000 MB: the program runs") << 1000 << 0;
}

// Under a small ulimit -v the window is refused with a message instead of
// crashing somewhere inside the toolkit (each thread's malloc arena alone
// once took 64 MB of it); with enough, a program runs.
void TstStartup::addressSpaceLimit()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("the sanitizers reserve address space of their own");
#endif
    QFETCH(int, megabytes);
    QFETCH(int, status);
    QVERIFY(writeTextFile(dir.filePath("as.bat"), ":echo runs\n"));
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    const rlim_t bytes = rlim_t(megabytes) << 20;
    p.setChildProcessModifier([bytes] {
        const struct rlimit r = {bytes, bytes};
        ::setrlimit(RLIMIT_AS, &r);
    });
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2"), {"-nw", "-b", "as.bat", "-x", "-q"});
    QVERIFY(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == status, qPrintable(err));
    QCOMPARE(err.contains("(ulimit -v) of 500.0 MB is below the 768.0 MB the window needs"), status == 2);
}

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
