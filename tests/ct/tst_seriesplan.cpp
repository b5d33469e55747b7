// A series split into parts: chunks cover every slice once, missing slices
// come back as the ranges to do again, reports merge, and zuvo2-series check
// finds what a part did not write.
#include "SeriesPlan.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
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

void TstSeriesPlan::checkNamesWhatAPartLeftUndone()
{
    QTemporaryDir tmp;
    const QString out = tmp.filePath("out");
    QDir().mkpath(out);
    auto touch = [](const QString& path, const QByteArray& text) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    };
    // Part one wrote slices 0 to 3; part two only slice 4, an empty 5 and
    // the temporary file of 6, and no report.
    for (int s = 0; s <= 4; ++s)
        QVERIFY(touch(out + QStringLiteral("/s-%1.dat").arg(s, 5, 10, QLatin1Char('0')), "#ZUVO-CTImg\n"));
    QVERIFY(touch(out + "/s-00005.dat", ""));
    QVERIFY(touch(out + "/s-00006.dat.part-123-0", "#ZUV"));
    const QString report1 = tmp.filePath("r1.json");
    QVERIFY(touch(report1, QJsonDocument(QJsonObject{{"written", QJsonArray{"a"}}, {"start", "x"}}).toJson()));
    const QString plan = tmp.filePath("plan.tsv");
    QVERIFY(touch(plan, QStringLiteral("%1\ts\t0:3:1\t%2\trecon --slices {slices}\n"
                                       "%1\ts\t4:7:1\t%3\trecon --slices {slices}\n")
                            .arg(out, report1, tmp.filePath("r2.json")).toUtf8()));
    QProcess p;
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2-series"), {"check", plan});
    QVERIFY(p.waitForFinished(30000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(text.contains("s: missing slices 5:7:1\n"), qPrintable(text));
    QVERIFY2(text.contains("re-run: recon --slices 5:7:1\n"), qPrintable(text));
    QVERIFY2(text.contains("INCOMPLETE: 5 of 8 slices written"), qPrintable(text));
    QVERIFY2(text.contains("no run report " + tmp.filePath("r2.json")), qPrintable(text));
    QVERIFY(!QFile::exists(out + "/s-00006.dat.part-123-0"));
    QFile r(out + "/s-run.json");
    QVERIFY(r.open(QIODevice::ReadOnly));
    const QJsonObject merged = QJsonDocument::fromJson(r.readAll()).object();
    QCOMPARE(merged.value("missingSlices").toArray(), QJsonArray{"5:7:1"});
    QCOMPARE(merged.value("parts").toInt(), 1);

    // A plan line that is not one is refused with its place.
    QVERIFY(touch(plan, "only\ttwo\n"));
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2-series"), {"check", plan});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains("line 1: 2 fields, not 5"));
}

QTEST_GUILESS_MAIN(TstSeriesPlan)
#include "tst_seriesplan.moc"
