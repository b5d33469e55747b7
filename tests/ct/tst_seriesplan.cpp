// A series split into parts: chunks cover every slice once, missing slices
// come back as the ranges to do again, reports merge, and zuvo2-series check
// finds what a part did not write.
#include "CtFiles.h"
#include "CtRunReport.h"
#include "SafeWrite.h"
#include "SeriesPlan.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <vector>
#include <QtTest>

class TstSeriesPlan : public QObject
{
    Q_OBJECT
private slots:
    void slicesOfText_data();
    void slicesOfText();
    void chunksCoverTheSeriesOnce_data();
    void chunksCoverTheSeriesOnce();
    void rangesJoinNeighbours_data();
    void rangesJoinNeighbours();
    void mergeKeepsEveryPart();
    void checkNamesWhatAPartLeftUndone();
    void checkTrustsOnlyWhatTheReportsRecord_data();
    void checkTrustsOnlyWhatTheReportsRecord();
};

void TstSeriesPlan::slicesOfText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QList<int>>("slices");
    QTest::newRow("up") << "2:5" << true << QList<int>{2, 3, 4, 5};
    QTest::newRow("down by two") << "9:2:2" << true << QList<int>{9, 7, 5, 3};
    QTest::newRow("step past the end") << "0:10:4" << true << QList<int>{0, 4, 8};
    QTest::newRow("one slice") << "5:5" << true << QList<int>{5};
    QTest::newRow("step 0 gives the first alone") << "3:10:0" << true << QList<int>{3};
    QTest::newRow("not numbers") << "a:b" << false << QList<int>{};
    QTest::newRow("four fields") << "1:2:3:4" << false << QList<int>{};
}

void TstSeriesPlan::slicesOfText()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QList<int>, slices);
    QList<int> got;
    QCOMPARE(SeriesPlan::slices(text, got), ok);
    QCOMPARE(got, slices);
}

void TstSeriesPlan::chunksCoverTheSeriesOnce_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("size");
    QTest::addColumn<QStringList>("chunks");
    QTest::newRow("three even chunks") << "0:47" << 16 << QStringList{"0:15:1", "16:31:1", "32:47:1"};
    QTest::newRow("a short last chunk") << "0:10:3" << 3 << QStringList{"0:6:3", "9:9:3"};
    QTest::newRow("downwards") << "10:0:4" << 2 << QStringList{"10:6:-4", "2:2:-4"};
    QTest::newRow("larger than the series") << "4:7" << 100 << QStringList{"4:7:1"};
    QTest::newRow("size 0") << "0:9" << 0 << QStringList{};
}

void TstSeriesPlan::chunksCoverTheSeriesOnce()
{
    QFETCH(QString, text);
    QFETCH(int, size);
    QFETCH(QStringList, chunks);
    const QStringList got = SeriesPlan::chunks(text, size);
    QCOMPARE(got, chunks);
    // Together the chunks deal exactly the series' slices, in order.
    QList<int> all, joined;
    SeriesPlan::slices(text, all);
    for (const QString& c : got) {
        QList<int> part;
        QVERIFY(SeriesPlan::slices(c, part));
        joined << part;
    }
    if (size > 0)
        QCOMPARE(joined, all);
}

void TstSeriesPlan::rangesJoinNeighbours_data()
{
    QTest::addColumn<QList<int>>("slices");
    QTest::addColumn<int>("step");
    QTest::addColumn<QStringList>("ranges");
    QTest::newRow("one run") << QList<int>{16, 17, 18} << 1 << QStringList{"16:18:1"};
    QTest::newRow("two runs and a single") << QList<int>{0, 3, 9, 15, 18} << 3 << QStringList{"0:3:3", "9:9:3", "15:18:3"};
    QTest::newRow("downwards") << QList<int>{8, 6, 2} << -2 << QStringList{"8:6:-2", "2:2:-2"};
    QTest::newRow("none") << QList<int>{} << 1 << QStringList{};
}

void TstSeriesPlan::rangesJoinNeighbours()
{
    QFETCH(QList<int>, slices);
    QFETCH(int, step);
    QFETCH(QStringList, ranges);
    QCOMPARE(SeriesPlan::ranges(slices, step), ranges);
}

void TstSeriesPlan::mergeKeepsEveryPart()
{
    QJsonObject a{{"start", "2026-01-02T10:00:05.000"}, {"end", "2026-01-02T10:01:00.000"}, {"centre", 31.5},
                  {"written", QJsonArray{"/o/s-00000.dat"}}, {"failures", QJsonArray{}}, {"threads", 4},
                  {"interrupted", false}};
    QJsonObject b{{"start", "2026-01-02T10:00:01.000"}, {"end", "2026-01-02T10:02:00.000"}, {"centre", 31.5},
                  {"written", QJsonArray{"/o/s-00001.dat"}}, {"failures", QJsonArray{"slice 2: disk full"}},
                  {"threads", 8}, {"interrupted", true}};
    const QJsonObject m = SeriesPlan::merge({a, b}, 0, 2, 1);
    QCOMPARE(m.value("start").toString(), QStringLiteral("2026-01-02T10:00:01.000"));
    QCOMPARE(m.value("end").toString(), QStringLiteral("2026-01-02T10:02:00.000"));
    QCOMPARE(m.value("written").toArray(), (QJsonArray{"/o/s-00000.dat", "/o/s-00001.dat"}));
    QCOMPARE(m.value("failures").toArray(), QJsonArray{"slice 2: disk full"});
    QCOMPARE(m.value("interrupted").toBool(), true);
    QCOMPARE(m.value("threads").toInt(), 8);
    QCOMPARE(m.value("parts").toInt(), 2);
    QCOMPARE(m.value("centre").toDouble(), 31.5);
    QCOMPARE(m.value("slices").toObject().value("to").toInt(), 2);
}

namespace {
bool touch(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// Slices from..to of a 4 x 4 image as data files in out, and their run
// report at report, made with centre cor.
bool writePart(const QString& out, int from, int to, double cor, const QString& report)
{
    CtRunReport r;
    r.from = from;
    r.to = to;
    r.step = 1;
    r.cor = cor;
    const std::vector<double> image(16, cor);
    for (int s = from; s <= to; ++s) {
        const QString path = out + QStringLiteral("/s-%1.dat").arg(s, 5, 10, QLatin1Char('0'));
        if (!CtFiles::saveData(path, image.data(), 4, 0, 0, 4, 4))
            return false;
        r.written << path;
        r.files << CtRunReport::fileRecord(path);
    }
    QString error;
    return r.save(report, &error);
}

int runCheck(const QString& plan, QString* text)
{
    QProcess p;
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2-series"), {"check", plan});
    if (!p.waitForFinished(30000))
        return -1;
    *text = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitCode();
}
} // namespace

void TstSeriesPlan::checkNamesWhatAPartLeftUndone()
{
    QTemporaryDir tmp;
    const QString out = tmp.filePath("out");
    QDir().mkpath(out);
    // Part one wrote slices 0 to 3; part two only slice 4, an empty 5 and
    // the temporary file of 6 (its writer long gone), and no report.
    QVERIFY(writePart(out, 0, 3, 10, tmp.filePath("r1.json")));
    QVERIFY(writePart(out, 4, 4, 10, tmp.filePath("other.json")));
    QVERIFY(touch(out + "/s-00005.dat", ""));
    const QString temp = out + "/s-00006.dat.part-123-0";
    QVERIFY(touch(temp, "#ZUV"));
    QFile t(temp);
    QVERIFY(t.open(QIODevice::ReadWrite));
    QVERIFY(t.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    t.close();
    const QString plan = tmp.filePath("plan.tsv");
    QVERIFY(touch(plan, QStringLiteral("%1\ts\t0:3:1\t%2\trecon --cor 10 --slices {slices}\n"
                                       "%1\ts\t4:7:1\t%3\trecon --cor 10 --slices {slices}\n")
                            .arg(out, tmp.filePath("r1.json"), tmp.filePath("r2.json")).toUtf8()));
    QString text;
    QCOMPARE(runCheck(plan, &text), 1);
    // Slice 4 is there but no report of its part vouches for it.
    QVERIFY2(text.contains("s: missing slices 4:7:1\n"), qPrintable(text));
    QVERIFY2(text.contains("FAILED s-00004.dat: no run report records it"), qPrintable(text));
    QVERIFY2(text.contains("re-run: recon --cor 10 --slices 4:7:1\n"), qPrintable(text));
    QVERIFY2(text.contains("INCOMPLETE: 4 of 8 slices written"), qPrintable(text));
    QVERIFY2(text.contains("no run report " + tmp.filePath("r2.json")), qPrintable(text));
    QVERIFY(!QFile::exists(temp));
    QFile r(out + "/s-run.json");
    QVERIFY(r.open(QIODevice::ReadOnly));
    const QJsonObject merged = QJsonDocument::fromJson(r.readAll()).object();
    QCOMPARE(merged.value("missingSlices").toArray(), QJsonArray{"4:7:1"});
    QCOMPARE(merged.value("parts").toInt(), 1);
    QCOMPARE(merged.value("files").toArray().size(), 4);

    // A plan line that is not one is refused with its place.
    QVERIFY(touch(plan, "only\ttwo\n"));
    QProcess p;
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2-series"), {"check", plan});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains("line 1: 2 fields, not 5"));
}

void TstSeriesPlan::checkTrustsOnlyWhatTheReportsRecord_data()
{
    QTest::addColumn<QString>("attack");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("said");
    QTest::newRow("sound series") << "none" << 0 << "complete: 4 of 4 slices written";
    QTest::newRow("file cut to 100 bytes") << "truncate" << 1 << "FAILED s-00001.dat: 100 bytes, its run report says";
    QTest::newRow("file replaced by text") << "text" << 1 << "FAILED s-00001.dat: its content is not the one its run report records";
    QTest::newRow("file and report of another centre") << "old centre" << 1
        << "FAILED the run report of slices 2:3:1 does not fit the plan: centre 12 is not the command's 10";
    QTest::newRow("file of another series") << "foreign" << 1 << "FAILED s-00001.dat: its content is not";
    QTest::newRow("task report missing") << "no report" << 1 << "FAILED s-00002.dat: no run report records it";
    QTest::newRow("temporary file being written") << "live temp" << 1 << "kept s-00003.dat.part-";
    QTest::newRow("re-run report vouches for a lost task") << "rerun" << 0 << "complete: 4 of 4 slices written";
}

void TstSeriesPlan::checkTrustsOnlyWhatTheReportsRecord()
{
    QFETCH(QString, attack);
    QFETCH(int, exit);
    QFETCH(QString, said);
    QTemporaryDir tmp;
    const QString out = tmp.filePath("out"), other = tmp.filePath("other");
    QVERIFY(QDir().mkpath(out) && QDir().mkpath(other));
    const QString r0 = tmp.filePath("r0.json"), r1 = tmp.filePath("r1.json");
    QVERIFY(writePart(out, 0, 1, 10, r0));
    QVERIFY(writePart(out, 2, 3, attack == "old centre" ? 12 : 10, r1));
    const QString s1 = out + "/s-00001.dat";
    std::unique_ptr<SafeWrite> live;
    if (attack == "truncate") {
        QVERIFY(QFile::resize(s1, 100));
    } else if (attack == "text") {
        const qint64 size = QFileInfo(s1).size();
        QVERIFY(touch(s1, QByteArray(size, 'x')));
    } else if (attack == "foreign") {
        QVERIFY(writePart(other, 0, 1, 11, tmp.filePath("o.json")));
        QVERIFY(QFile::remove(s1) && QFile::copy(other + "/s-00001.dat", s1));
    } else if (attack == "no report") {
        QVERIFY(QFile::remove(r1));
    } else if (attack == "live temp") {
        QVERIFY(QFile::remove(out + "/s-00003.dat"));
        live = std::make_unique<SafeWrite>(out + "/s-00003.dat");
        QVERIFY(live->open());
        // Old enough that only its writer's lock can keep it.
        QVERIFY(static_cast<QFile*>(live->device())->setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                                                 QFileDevice::FileModificationTime));
    } else if (attack == "rerun") {
        // Task two's report is lost; its re-run wrote a report of its own.
        QVERIFY(QFile::remove(r1));
        QVERIFY(writePart(out, 2, 3, 10, tmp.filePath("rerun-2:3:1-run.json")));
    }
    const QString cmd = QStringLiteral("recon --pattern ct-\\*.img --cor 10 --report %1/rerun-{slices}-run.json --slices {slices}")
                            .arg(tmp.path());
    QVERIFY(touch(tmp.filePath("plan.tsv"), QStringLiteral("%1\ts\t0:1:1\t%2\t%4\n%1\ts\t2:3:1\t%3\t%4\n")
                                                .arg(out, r0, r1, cmd).toUtf8()));
    QString text;
    QCOMPARE(runCheck(tmp.filePath("plan.tsv"), &text), exit);
    QVERIFY2(text.contains(said), qPrintable(text));
    if (live) {
        QCOMPARE(QDir(out).entryList({"s-00003.dat.part-*"}).size(), 1);
        QVERIFY(live->commit());
    }
}

QTEST_GUILESS_MAIN(TstSeriesPlan)
#include "tst_seriesplan.moc"
