// Result files are written whole or not at all: an older file of the name
// survives every failure, nothing but a regular file is ever replaced, and
// a full disk is reported (checked on a real, small tmpfs).
#include "SafeWrite.h"
#include "SampleWriter.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}
} // namespace

class TstSafeWrite : public QObject
{
    Q_OBJECT
private slots:
    void targets_data();
    void targets();
    void failedFillKeepsOlderFile();
    void fullDisk();
    void onlyTheTempFilesOfEndedWritersGo_data();
    void onlyTheTempFilesOfEndedWritersGo();
};

void TstSafeWrite::targets_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("message");
    QTest::newRow("new file") << "none" << true << "";
    QTest::newRow("older file replaced") << "file" << true << "";
    QTest::newRow("symbolic link to a device") << "devlink" << false << "it exists and is a symbolic link, not replaced";
    QTest::newRow("dangling symbolic link") << "dangling" << false << "it exists and is a symbolic link, not replaced";
    QTest::newRow("directory") << "dir" << false << "it exists and is a directory, not replaced";
    QTest::newRow("named pipe") << "fifo" << false << "it exists and is a pipe, not replaced";
    QTest::newRow("missing directory") << "nodir" << false << "No such file or directory";
    // The temporary name would pass the file system's 255 bytes: it is cut.
    QTest::newRow("name at the length limit") << "long" << true << "";
    QTest::newRow("name of wide characters at the limit") << "wide" << true << "";
}

void TstSafeWrite::targets()
{
    QFETCH(QString, kind);
    QFETCH(bool, written);
    QFETCH(QString, message);
    QTemporaryDir d;
    QString path = d.filePath("result.dat");
    const QByteArray path8 = QFile::encodeName(path);
    if (kind == "file")
        QVERIFY(writeText(path, "older"));
    else if (kind == "devlink")
        QVERIFY(::symlink("/dev/null", path8.constData()) == 0);
    else if (kind == "dangling")
        QVERIFY(::symlink("nowhere", path8.constData()) == 0);
    else if (kind == "dir")
        QVERIFY(QDir().mkpath(path));
    else if (kind == "fifo")
        QVERIFY(::mkfifo(path8.constData(), 0600) == 0);
    else if (kind == "nodir")
        path = d.filePath("no/such/result.dat");
    else if (kind == "long")
        path = d.filePath(QString(251, 'a') + ".dat");
    else if (kind == "wide")
        path = d.filePath(QString(83, QChar(0x9577)) + ".dat");
    const QStringList before = entries(d.path());
    struct stat st0 = {};
    ::lstat(path8.constData(), &st0);

    QString error;
    const bool ok = SafeWrite::write(path, [](QIODevice* out, QString&) { return out->write("new\n") == 4; }, &error);
    QCOMPARE(ok, written);
    if (written) {
        QVERIFY(error.isEmpty());
        QCOMPARE(contents(path), QByteArray("new\n"));
        QCOMPARE(entries(d.path()), QStringList{QFileInfo(path).fileName()});
        return;
    }
    QVERIFY2(error.startsWith("Can't write " + path + ": ") && error.endsWith(message), qPrintable(error));
    // The thing of that name is untouched, and no temporary file is left.
    QCOMPARE(entries(d.path()), before);
    struct stat st1 = {};
    ::lstat(path8.constData(), &st1);
    QCOMPARE(st1.st_mode, st0.st_mode);
    QCOMPARE(st1.st_ino, st0.st_ino);
}

void TstSafeWrite::failedFillKeepsOlderFile()
{
    QTemporaryDir d;
    const QString path = d.filePath("pic.png");
    QVERIFY(writeText(path, "older"));
    QString error;
    const bool ok = SafeWrite::write(path, [](QIODevice* out, QString& why) {
        out->write("half of it");
        why = QStringLiteral("encoder gave up");
        return false;
    }, &error);
    QVERIFY(!ok);
    QCOMPARE(error, "Can't write " + path + ": encoder gave up");
    QCOMPARE(contents(path), QByteArray("older"));
    QCOMPARE(entries(d.path()), QStringList{"pic.png"});
}

// The real programs on a full file system: every write fails with the
// system's reason, the run says so, and older results stay as they were.
void TstSafeWrite::fullDisk()
{
    if (QStandardPaths::findExecutable("unshare").isEmpty())
        QSKIP("no unshare: a private tmpfs cannot be made here");
    QProcess probe;
    probe.start("unshare", {"-rm", "true"});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        QSKIP("unprivileged mount namespaces are not allowed here: full-disk test skipped");

    QTemporaryDir d;
    SampleOptions o;
    o.outDir = d.filePath("sample");
    o.width = 32;
    o.height = 8;
    o.nProj = 12;
    o.noise = false;
    o.truthSlices = 0;
    SampleWriter w(o);
    QVERIFY2(w.valid() && w.write(), qPrintable(w.error()));
    const QString mnt = d.filePath("full");
    QVERIFY(QDir().mkpath(mnt));
    QVERIFY(writeText(d.filePath("save.bat"), QString("images_load \"%1\" ct-*.img\nsave_image raw \"%2/old.png\"\n")
                                                  .arg(o.outDir, mnt).toUtf8()));
    const QString script = QString(
        "mount -t tmpfs -o size=256k zuvo2full \"$M\" || exit 77\n"
        "printf older > \"$M/slice-00001.dat\"; printf older > \"$M/slice-00001.png\"; printf older > \"$M/old.png\"\n"
        "dd if=/dev/zero of=\"$M/fill\" bs=4096 2>/dev/null; dd if=/dev/zero of=\"$M/fill2\" bs=1 2>/dev/null\n"
        "\"$B/zuvo2-recon\" --projections \"$S\" --pattern 'ct-*.img' --cor %1 --axis v --slices 0:3 --out \"$M\" "
        "--png --quiet 2> \"$D/recon.err\"; echo \"recon $?\"\n"
        // A display's picture needs the window (offscreen here).
        "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \"$B/zuvo2\" -e -b \"$D/save.bat\" -x -q "
        "2> \"$D/zuvo2.err\"; echo \"zuvo2 $?\"\n"
        "for f in \"$M\"/*; do n=$(basename \"$f\"); case $n in fill*) echo \"$n\";; *) echo \"$n $(cat \"$f\")\";; esac; done\n")
                               .arg(w.cor());
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("M", mnt);
    env.insert("S", o.outDir);
    env.insert("D", d.path());
    env.insert("B", ZUVO2_BINARY_DIR);
    p.setProcessEnvironment(env);
    p.start("unshare", {"-rm", "sh", "-c", script});
    QVERIFY(p.waitForFinished(120000));
    if (p.exitCode() == 77)
        QSKIP("tmpfs cannot be mounted here: full-disk test skipped");
    const QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    const QString reconErr = QString::fromUtf8(contents(d.filePath("recon.err")));
    const QString zuvo2Err = QString::fromUtf8(contents(d.filePath("zuvo2.err")));
    // Every write failed: the status says so, with the system's reason.
    QVERIFY2(out.contains("recon 1"), qPrintable(out.join('|') + reconErr));
    QVERIFY2(reconErr.contains("Can't write " + mnt + "/slice-00000.dat: No space left on device"), qPrintable(reconErr));
    QVERIFY2(reconErr.contains("Can't write " + mnt + "/slice-run.json: No space left on device"), qPrintable(reconErr));
    QVERIFY2(reconErr.contains("Can't write " + mnt + "/slice-00001.png: No space left on device"), qPrintable(reconErr));
    QVERIFY2(out.contains("zuvo2 1"), qPrintable(out.join('|') + zuvo2Err));
    QVERIFY2(zuvo2Err.contains("Can't write " + mnt + "/old.png: No space left on device"), qPrintable(zuvo2Err));
    // Older results intact; no half file, no temporary file, no report.
    QCOMPARE(out.mid(2), (QStringList{"fill", "fill2", "old.png older", "slice-00001.dat older", "slice-00001.png older"}));
}

void TstSafeWrite::onlyTheTempFilesOfEndedWritersGo_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("writer"); // "gone", "here" (holds its lock), "just now" (new, no lock yet)
    QTest::addColumn<bool>("removed");
    QTest::newRow("writer gone") << "s-00001.dat.part-99999-3" << "gone" << true;
    QTest::newRow("writer still writing") << "s-00001.dat" << "here" << false;
    QTest::newRow("made a moment ago") << "s-00001.dat.part-99999-3" << "just now" << false;
    QTest::newRow("not a temporary file") << "s-00001.dat.part" << "gone" << false;
}

void TstSafeWrite::onlyTheTempFilesOfEndedWritersGo()
{
    QFETCH(QString, name);
    QFETCH(QString, writer);
    QFETCH(bool, removed);
    QTemporaryDir d;
    SafeWrite live(d.filePath(name));
    if (writer == "here") {
        QVERIFY(live.open());
        // Old, yet locked.
        QVERIFY(static_cast<QFile*>(live.device())->setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                                                QFileDevice::FileModificationTime));
    } else {
        QVERIFY(writeText(d.filePath(name), "part"));
        QFile f(d.filePath(name));
        QVERIFY(f.open(QIODevice::ReadWrite));
        if (writer == "gone")
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    }
    const QStringList before = entries(d.path());
    QCOMPARE(before.size(), 1);
    QCOMPARE(SafeWrite::removeStale(d.path()), removed ? before : QStringList());
    QCOMPARE(entries(d.path()).size(), removed ? 0 : 1);
}

QTEST_GUILESS_MAIN(TstSafeWrite)
#include "tst_safewrite.moc"
