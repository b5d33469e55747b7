// Runs the real application unattended and checks what it logs and returns.
#include <QtTest>

class TstStartup : public QObject
{
    Q_OBJECT
private slots:
    void unattendedRun();
    void missingConfigStillRuns();
    void usage();
    void terminateClosesCleanly();

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
            line.startsWith("Can't"))
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
    QCOMPARE(runApp({"-nw", "-b", "prog.bat", "-x", "-q"}, &err), 0);
    const QStringList expected{
        "Can't open config file : config.cfg",
        "cmd :echo", ":echo start ",
        "cmd count", "body-cmd count",
        "cmd :goto",
        "cmd Skip", "body-cmd Skip",
        "cmd :ifok", ":echo ok",
        "cmd :IFNG", "body-cmd :IFNG",
        "cmd no_such_command", "body-cmd no_such_command",
        "cmd :end"};
    QCOMPARE(interesting(err), expected);
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
    QCOMPARE(interesting(err), (QStringList{"Can't open config file : missing.cfg", "cmd :echo", ":echo hi"}));
    // A batch file that cannot be opened leaves an empty program, which ends at once.
    QCOMPARE(runApp({"-nw", "-c", "b.cfg", "-b", "nothere.bat", "-x", "-q"}, &err), 0);
    QCOMPARE(interesting(err), QStringList{"Can't open batch file nothere.bat"});
}

void TstStartup::usage()
{
    QString err, out;
    QCOMPARE(runApp({"-h"}, &err, &out), 0);
    for (const char* opt : {"-c", "-config", "-d", "-e", "-b", "-x", "-q", "-nw", "-h"})
        QVERIFY2(out.contains(QString(opt) + " "), opt);
}

void TstStartup::terminateClosesCleanly()
{
    // A program that never ends; SIGTERM must close the window and end the
    // process normally instead of killing it mid-work.
    QFile f(dir.filePath("loop.bat"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
    f.write("again\n:goto again\n");
    f.close();
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2"), {"-nw", "-b", "loop.bat", "-x"});
    QVERIFY(p.waitForStarted());
    // The handler is installed before the program starts: once its first line
    // is logged, the signal is ours to handle, however slow the start-up was.
    QByteArray err;
    QVERIFY(QTest::qWaitFor([&] {
        err += p.readAllStandardError();
        return err.contains("cmd again");
    }, 60000));
    p.terminate();
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    err += p.readAllStandardError();
    QVERIFY(err.contains("Signal 15 received, closing"));
}

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
