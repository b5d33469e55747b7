// Long and interrupted runs of the real application on generated data: a
// night of beam time must end without a crash, a lost thread, a half-written
// file or memory that keeps growing.
#include "SampleWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {
const QString app = QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2");

// Resident memory of a running process in KiB (0 when it cannot be read).
qint64 residentKiB(qint64 pid, const char* field = "VmRSS:")
{
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

void writeText(const QString& path, const QString& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate));
    f.write(text.toUtf8());
}

// Every CT data file in dir is complete: its header announces the region and
// exactly that many value lines follow. No temporary file is left behind;
// beside them only the run report.
void checkResults(const QString& dir, int expectedFiles, int regionPixels)
{
    const QDir d(dir);
    const QStringList all = d.entryList(QDir::Files);
    for (const QString& name : all)
        QVERIFY2(name.endsWith(".dat") || name.endsWith(".png") || name.endsWith("-run.json"),
                 qPrintable("stray file " + name));
    const QStringList dats = d.entryList({"*.dat"}, QDir::Files);
    if (expectedFiles >= 0)
        QCOMPARE(dats.size(), expectedFiles);
    for (const QString& name : dats) {
        QFile f(d.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QCOMPARE(lines.value(0), QByteArray("#ZUVO-CTImg"));
        QCOMPARE(lines.size() - 1, 6 + regionPixels); // the last line ends with a line feed
    }
}
} // namespace

class TstStress : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void longSeries();
    void terminateDuringSeries();
    void secondSignalEndsAtOnce();
    void repeatedLoadsKeepMemoryFlat();

private:
    QString program(const QString& outDir, int from, int to, int threads,
                    const QString& sampleDir = QString(), double cor = 26.5,
                    bool smallRegion = true, bool pictures = false) const;
    QTemporaryDir dir;
    QString sample;
    QString heavySample; // slices that take a while each, to be caught mid-run
};

void TstStress::initTestCase()
{
    QVERIFY(dir.isValid());
    sample = dir.filePath("sample");
    SampleOptions o;
    o.outDir = sample;
    o.width = 48;
    o.height = 2000;
    o.nProj = 24;
    o.truthSlices = 0;
    SampleWriter w(o);
    QVERIFY(w.valid());
    QVERIFY(w.write());

    heavySample = dir.filePath("heavy");
    o.outDir = heavySample;
    o.width = 300;
    o.height = 60;
    o.nProj = 600;
    o.cor = 149.5;
    SampleWriter h(o);
    QVERIFY(h.valid());
    QVERIFY(h.write());
}

QString TstStress::program(const QString& outDir, int from, int to, int threads,
                           const QString& sampleDir, double cor, bool smallRegion, bool pictures) const
{
    const QString src = sampleDir.isEmpty() ? sample : sampleDir;
    return QString("ct_auto_gen_sinogram 0\n"
                   "images_load \"%1\" ct-*.img\n"
                   "i0_load \"%1/i0/I0.img\"\n"
                   "bg_load \"%1/bg/BG.img\"\n"
                   "ct_rot_ax_is_v 1\n"
                   "ct_cor %6\n"
                   "calc_ct1 0\n"
                   "calc_ct2 1\n"
                   "ct_auto_exec 1\n"
                   "ct_slice_from %2\n"
                   "ct_slice_to %3\n"
                   "ct_slice_step 1\n"
                   "ct_threads %4\n"
                   "%7"
                   "auto_save_data 1\n"
                   "auto_save_data_path \"%5\"\n"
                   "auto_save_data_name res.dat\n"
                   "%8"
                   "calc_exec\n"
                   ":echo series done\n")
        .arg(src).arg(from).arg(to).arg(threads).arg(outDir).arg(cor)
        .arg(smallRegion ? "ct_set_calc_region 10 10 14 13\n" : "")
        .arg(pictures ? QString("auto_save_image 1\nauto_save_image_path \"%1\"\nauto_save_image_name res.png\n").arg(outDir)
                      : QString());
}

void TstStress::longSeries()
{
    const QString out = dir.filePath("long");
    QVERIFY(QDir().mkpath(out));
    writeText(dir.filePath("long.bat"), program(out, 0, 1999, 32));
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    p.start(app, {"-nw", "-e", "-b", dir.filePath("long.bat"), "-x", "-q"});
    QVERIFY(p.waitForStarted());
    QVERIFY2(p.waitForFinished(600000), "2000 slices did not finish in 10 minutes");
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    checkResults(out, 2000, 4 * 3);
    QVERIFY(QFile::exists(out + "/res-00000.dat") && QFile::exists(out + "/res-01999.dat"));
}

void TstStress::terminateDuringSeries()
{
    const QString out = dir.filePath("term");
    QVERIFY(QDir().mkpath(out));
    writeText(dir.filePath("term.bat"), program(out, 0, 59, 32, heavySample, 149.5, false, true));
    QProcess p;
    p.start(app, {"-nw", "-e", "-b", dir.filePath("term.bat"), "-x", "-q"});
    QVERIFY(p.waitForStarted());
    // Wait until results are being written, then end the run from outside.
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(out).entryList({"*.dat"}, QDir::Files).isEmpty(), 120000);
    p.terminate();
    QVERIFY2(p.waitForFinished(120000), "did not end after SIGTERM");
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    // Ended by SIGTERM: 128 + 15, and it says so.
    QCOMPARE(p.exitCode(), 143);
    const QByteArray err = p.readAllStandardError();
    QVERIFY(!err.contains("series done"));
    QVERIFY(err.contains("Batch program stopped before its end"));
    QVERIFY(err.contains("Interrupted by signal 15"));
    // N = 296: the whole reconstructed square is written.
    checkResults(out, -1, 296 * 296);
    // Every slice begun is finished with both its files, the picture whole.
    const QStringList dats = QDir(out).entryList({"*.dat"}, QDir::Files);
    QStringList pngs = QDir(out).entryList({"*.png"}, QDir::Files);
    QCOMPARE(pngs.replaceInStrings(".png", ".dat"), dats);
    for (const QString& name : QDir(out).entryList({"*.png"}, QDir::Files))
        QCOMPARE(QImage(out + "/" + name).size(), QSize(296, 296));
    QFile f(out + "/res-run.json");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(f.readAll()).object();
    QCOMPARE(report.value("interrupted").toBool(), true);
    QCOMPARE(report.value("stopped").toBool(), true);
    QCOMPARE(report.value("written").toArray().size(), 2 * dats.size());
    qInfo("ended from outside after %d of 60 slices, every file complete", int(dats.size()));
    QVERIFY(dats.size() < 60);
}

// The orderly end waits for the slices in progress; a second signal does
// not.  Files under their final names are still never half-written.
void TstStress::secondSignalEndsAtOnce()
{
    const QString out = dir.filePath("term2");
    QVERIFY(QDir().mkpath(out));
    writeText(dir.filePath("term2.bat"), program(out, 0, 59, 32, heavySample, 149.5, false, true));
    QProcess p;
    p.start(app, {"-nw", "-e", "-b", dir.filePath("term2.bat"), "-x", "-q"});
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(out).entryList({"*.dat"}, QDir::Files).isEmpty(), 120000);
    p.terminate();
    // The second once the first is being handled (two pending ones are one).
    QByteArray err;
    p.setReadChannel(QProcess::StandardError);
    while (!err.contains("Signal 15 received") && p.waitForReadyRead(30000))
        err += p.readAllStandardError();
    QVERIFY(err.contains("Signal 15 received"));
    p.terminate();
    QVERIFY2(p.waitForFinished(120000), "did not end after two signals");
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 143);
    err += p.readAllStandardError();
    QVERIFY(!err.contains("Interrupted by signal"));
    for (const QString& name : QDir(out).entryList({"*.dat"}, QDir::Files)) {
        QFile f(out + "/" + name);
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(f.readAll().count('\n'), 6 + 296 * 296);
    }
    for (const QString& name : QDir(out).entryList({"*.png"}, QDir::Files))
        QCOMPARE(QImage(out + "/" + name).size(), QSize(296, 296));
}

void TstStress::repeatedLoadsKeepMemoryFlat()
{
    const QString out = dir.filePath("rep");
    QVERIFY(QDir().mkpath(out));
    const int rounds = 200;
    QString prog = program(out, 100, 103, 2);
    for (int i = 1; i < rounds; ++i)
        prog += QString("images_clear\n"
                        "images_load \"%1\" ct-*.img\n"
                        "calc_exec\n"
                        ":echo round %2\n").arg(sample).arg(i);
    writeText(dir.filePath("rep.bat"), prog);
    QProcess p;
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer keeps freed memory in quarantine (256 MiB by default),
    // which would look like growth; without it the same check applies.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString asan = env.value("ASAN_OPTIONS");
    env.insert("ASAN_OPTIONS", (asan.isEmpty() ? QString() : asan + ":") + "quarantine_size_mb=0");
    p.setProcessEnvironment(env);
#endif
    p.start(app, {"-nw", "-e", "-b", dir.filePath("rep.bat"), "-x", "-q"});
    QVERIFY(p.waitForStarted());
    // Peak resident memory over rounds 10..20 and over the last twenty rounds.
    qint64 early = 0, late = 0;
    int round = 0;
    QByteArray err;
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < 600000) {
        p.waitForReadyRead(2);
        err += p.readAllStandardError();
        const int at = err.lastIndexOf(":echo round ");
        if (at >= 0)
            round = err.mid(at + 12, err.indexOf('\n', at) - at - 12).toInt();
        if (err.size() > (1 << 20))
            err = err.right(4096);
        const qint64 rss = residentKiB(p.processId());
        if (round >= 10 && round <= 20)
            early = qMax(early, rss);
        if (round >= rounds - 20)
            late = qMax(late, rss);
    }
    QVERIFY(p.state() == QProcess::NotRunning || p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QVERIFY2(early > 0 && late > 0, "resident memory not sampled");
    qInfo("peak resident memory, rounds 10-20: %lld KiB; last 20 of %d rounds: %lld KiB", early, rounds, late);
    // Loading the same series again and again must not pile up memory.
    QVERIFY2(late < early + 64 * 1024, qPrintable(QString("%1 -> %2 KiB").arg(early).arg(late)));
    checkResults(out, 4, 4 * 3);
}

QTEST_GUILESS_MAIN(TstStress)
#include "tst_stress.moc"
