// The real zuvo2 runs the shipped example programs unattended on small
// generated samples; the saved pictures and data files are checked against
// the phantom's true attenuation.
#include "SampleWriter.h"

#include <QtTest>

#include <cmath>

namespace {
struct CtData
{
    bool ok = false;
    QString error;
    double x0 = 0, z0 = 0, x1 = 0, z1 = 0;
    QHash<qint64, double> values;  // key z * 100000 + x
};

qint64 key(int x, int z)
{
    return qint64(z) * 100000 + x;
}

CtData readCtData(const QString& path)
{
    CtData d;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        d.error = "cannot open " + path;
        return d;
    }
    QTextStream in(&f);
    const QStringList head = {"#ZUVO-CTImg", "# Range_X0       : ", "# Range_Y0       : ",
                              "# Range_X1       : ", "# Range_Y1       : ", "# sx,sy, ex,ey   : "};
    double* range[] = {&d.x0, &d.z0, &d.x1, &d.z1};
    for (int i = 0; i < head.size(); ++i) {
        const QString line = in.readLine();
        if (!line.startsWith(head.at(i))) {
            d.error = QString("header line %1 of %2: %3").arg(i + 1).arg(path, line);
            return d;
        }
        if (i >= 1 && i <= 4)
            *range[i - 1] = line.mid(head.at(i).size()).toDouble();
    }
    // One line per pixel, z outer and x inner.
    int expectX = int(d.x0), expectZ = int(d.z0);
    while (!in.atEnd()) {
        const QStringList parts = in.readLine().split('\t');
        if (parts.size() != 3 || parts.at(0).toInt() != expectX || parts.at(1).toInt() != expectZ) {
            d.error = QString("grid broken at %1, %2 in %3").arg(expectX).arg(expectZ).arg(path);
            return d;
        }
        d.values.insert(key(expectX, expectZ), parts.at(2).toDouble());
        if (++expectX >= d.x1) {
            expectX = int(d.x0);
            ++expectZ;
        }
    }
    if (expectZ != int(d.z1) || d.values.size() != qint64(d.x1 - d.x0) * qint64(d.z1 - d.z0)) {
        d.error = "data lines missing in " + path;
        return d;
    }
    d.ok = true;
    return d;
}

// Correlation and regression gain of result / (2 nProj) against the truth.
void compare(const CtData& result, const CtData& truth, int nProj, double& corr, double& gain)
{
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    qint64 n = 0;
    for (auto it = truth.values.cbegin(); it != truth.values.cend(); ++it) {
        if (!result.values.contains(it.key()))
            continue;
        const double a = result.values.value(it.key()) / (2.0 * nProj);
        const double b = it.value();
        sa += a;
        sb += b;
        saa += a * a;
        sbb += b * b;
        sab += a * b;
        ++n;
    }
    corr = gain = 0;
    if (n < 2)
        return;
    const double cov = sab - sa * sb / n, va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    corr = cov / std::sqrt(va * vb);
    gain = cov / vb;
}
} // namespace

class TstE2e : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void ctSeries();
    void ctXafs();

private:
    bool run(const QString& program);
    void checkSlice(const QString& resultPath, const QString& truthPath, int nProj);

    QTemporaryDir work;
    SampleOptions ctOpt, xafsOpt;
};

void TstE2e::initTestCase()
{
    QVERIFY(work.isValid());
    // The examples' fixed geometry (CoR 130.5, slices 21 ... 107) with fewer
    // projections and energies, to stay quick.
    ctOpt.outDir = work.filePath("out/sample");
    ctOpt.nProj = 90;
    SampleWriter ct(ctOpt);
    QVERIFY2(ct.valid() && ct.write(), qPrintable(ct.error()));
    QCOMPARE(ct.cor(), 130.5);
    xafsOpt.outDir = work.filePath("out/sample-xafs");
    xafsOpt.kind = "xafs";
    xafsOpt.nProj = 60;
    xafsOpt.energies = {7100, 7120};
    SampleWriter xafs(xafsOpt);
    QVERIFY2(xafs.valid() && xafs.write(), qPrintable(xafs.error()));
}

bool TstE2e::run(const QString& program)
{
    QProcess p;
    p.setWorkingDirectory(work.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2"),
            {"-nw", "-e", "-b", QStringLiteral(ZUVO2_SOURCE_DIR "/examples/") + program, "-x", "-q"});
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        qWarning() << "zuvo2 did not end";
        return false;
    }
    const QString log = QString::fromUtf8(p.readAll());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning().noquote() << log;
        return false;
    }
    return true;
}

void TstE2e::checkSlice(const QString& resultPath, const QString& truthPath, int nProj)
{
    const CtData r = readCtData(resultPath);
    QVERIFY2(r.ok, qPrintable(r.error));
    const CtData t = readCtData(truthPath);
    QVERIFY2(t.ok, qPrintable(t.error));
    double corr = 0, gain = 0;
    compare(r, t, nProj, corr, gain);
    QVERIFY2(corr >= 0.9, qPrintable(QString("%1: correlation %2").arg(resultPath).arg(corr)));
    QVERIFY2(gain > 0.8 && gain < 1.2, qPrintable(QString("%1: gain %2").arg(resultPath).arg(gain)));
}

void TstE2e::ctSeries()
{
    QVERIFY(run("ct-series.bat"));
    const QDir pics(work.filePath("out/results/ct-series/pictures"));
    const QDir data(work.filePath("out/results/ct-series/data"));
    QCOMPARE(pics.entryList({"*.png"}, QDir::Files).size(), 87);
    QCOMPARE(data.entryList({"*.dat"}, QDir::Files).size(), 87);
    QCOMPARE(data.entryList(QDir::Files).size(), 87);  // nothing half written beside them
    for (int s : {21, 64, 107}) {
        const QString name = QString("ct-%1").arg(s, 5, 10, QChar('0'));
        QImage pic(pics.filePath(name + ".png"));
        QVERIFY2(!pic.isNull(), qPrintable(name));
        QVERIFY(pic.width() > 100 && pic.height() > 100);
    }
    SampleWriter w(ctOpt);
    for (int s : w.truthIndices())
        checkSlice(data.filePath(QString("ct-%1.dat").arg(s, 5, 10, QChar('0'))),
                   ctOpt.outDir + "/" + w.truthName(s, 0), ctOpt.nProj);
}

void TstE2e::ctXafs()
{
    QVERIFY(run("ct-xafs.bat"));
    const QDir pics(work.filePath("out/results/ct-xafs/pictures"));
    const QDir data(work.filePath("out/results/ct-xafs/data"));
    QStringList expected;
    for (const char* e : {"7_100keV", "7_120keV"})
        for (int s : {21, 64, 107})
            expected << QString("Fe-%1-%2").arg(e).arg(s, 5, 10, QChar('0'));
    QStringList gotPics = pics.entryList({"*.png"}, QDir::Files);
    QStringList gotData = data.entryList({"*.dat"}, QDir::Files);
    QStringList wantPics, wantData;
    for (const QString& n : expected) {
        wantPics << n + ".png";
        wantData << n + ".dat";
    }
    QCOMPARE(gotPics, wantPics);
    QCOMPARE(gotData, wantData);
    SampleWriter w(xafsOpt);
    for (double e : xafsOpt.energies)
        checkSlice(data.filePath(QString("Fe-%1-00064.dat").arg(SampleWriter::energyText(e))),
                   xafsOpt.outDir + "/" + w.truthName(64, e), xafsOpt.nProj);
}

QTEST_GUILESS_MAIN(TstE2e)
#include "tst_e2e.moc"
