// Loading only the detector lines of a slice range: every reader keeps the
// band's pixels at their places, plans fit the memory budget, runs outside
// the band are refused, and zuvo2-recon writes the same files from a band
// as from the whole series.
#include "CorSearch.h"
#include "CtRun.h"
#include "H5SampleWriter.h"
#include "H5Scan.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ItexWriter.h"
#include "TiffSampleWriter.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>
#include <vector>

Q_DECLARE_METATYPE(LineBand)

namespace {
const int kW = 40, kH = 36, kP = 24;

// Counts of projection p: a disc turning about the centre of each line, plus
// a pattern that tells every row and column apart.
double count(int p, int r, int c, bool rotAxIsV)
{
    const double across = rotAxIsV ? c - kW / 2.0 : r - kH / 2.0;
    const double x = across + 0.5 - 5 * std::cos(M_PI * p / kP);
    const double path = x * x < 49 ? 2 * std::sqrt(49 - x * x) : 0;
    return std::round(100 + 29000 * std::exp(-0.04 * path)) + (r * 7 + c * 3) % 11;
}

std::vector<double> frame(int p, bool rotAxIsV)
{
    std::vector<double> v(size_t(kW) * kH);
    for (int r = 0; r < kH; ++r)
        for (int c = 0; c < kW; ++c)
            v[size_t(r) * kW + c] = count(p, r, c, rotAxIsV);
    return v;
}

std::vector<quint16> u16(const std::vector<double>& v)
{
    return std::vector<quint16>(v.begin(), v.end());
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TstLineBand : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    // One projection series in every form the readers take; paths by form.
    QString series(const QString& form, bool rotAxIsV);

private slots:
    void bandReadsLikeTheWholeImage_data();
    void bandReadsLikeTheWholeImage();
    void bandOutsideTheImageIsRefused_data();
    void bandOutsideTheImageIsRefused();
    void planKeepsWhatFits_data();
    void planKeepsWhatFits();
    void runOutsideTheLoadedLinesIsRefused_data();
    void runOutsideTheLoadedLinesIsRefused();
    void centreSearchStaysWithinTheLoadedLines();
    void reconFromLinesWritesTheSameDataFiles_data();
    void reconFromLinesWritesTheSameDataFiles();
};

QString TstLineBand::series(const QString& form, bool rotAxIsV)
{
    const QString dir = tmp.filePath(form + (rotAxIsV ? "-v" : "-h"));
    if (QDir(dir).exists())
        return dir;
    QDir().mkpath(dir);
    std::vector<std::vector<double>> frames;
    for (int p = 0; p < kP; ++p)
        frames.push_back(frame(p, rotAxIsV));
    std::vector<double> i0(size_t(kW) * kH), bg(size_t(kW) * kH);
    for (size_t i = 0; i < i0.size(); ++i) {
        i0[i] = 29100 + double(i % 13);
        bg[i] = 100 + double(i % 3);
    }
    bool ok = ItexWriter(kW, kH).write16(dir + "/i0.img", u16(i0).data())
              && ItexWriter(kW, kH).write16(dir + "/bg.img", u16(bg).data());
    if (form == QLatin1String("itex")) {
        for (int p = 0; p < kP && ok; ++p)
            ok = ItexWriter(kW, kH).write16(dir + QStringLiteral("/ct-%1.img").arg(p, 4, 10, QLatin1Char('0')),
                                             u16(frames[size_t(p)]).data());
    } else if (form.startsWith(QLatin1String("tiff"))) {
        TiffLayout lay;
        lay.tiled = form == QLatin1String("tiff-tiles");
        lay.compression = lay.tiled ? 1 : 5;
        lay.rowsPerStrip = 5;
        QList<const double*> pages;
        for (const auto& f : frames)
            pages << f.data();
        ok = ok && TiffSampleWriter(lay).write(dir + "/stack.tif", kW, kH, pages);
    } else {
        std::vector<double> all;
        for (const auto& f : frames)
            all.insert(all.end(), f.begin(), f.end());
        std::vector<double> whites, darks;
        for (int k = 0; k < 3; ++k) {
            whites.insert(whites.end(), i0.begin(), i0.end());
            darks.insert(darks.end(), bg.begin(), bg.end());
        }
        ok = ok && H5SampleWriter::write(dir + "/scan.h5",
                                         H5SampleWriter::exchange(kH, kW, all, kP, whites, 3, darks, 3, {}));
    }
    return ok ? dir : QString();
}

void TstLineBand::bandReadsLikeTheWholeImage_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<bool>("rows");
    for (const char* form : {"itex", "tiff-strips", "tiff-tiles", "h5"})
        for (bool rows : {true, false})
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(form, rows ? "rows" : "columns")))
                << QString(form) << rows;
}

void TstLineBand::bandReadsLikeTheWholeImage()
{
    QFETCH(QString, form);
    QFETCH(bool, rows);
    const QString dir = series(form, rows);
    QVERIFY(!dir.isEmpty());
    // Lines 7 to 19 cross strip and tile borders on both sides.
    const LineBand band{7, 13, rows};
    ImgDatas whole, part;
    part.band = band;
    if (form == QLatin1String("itex")) {
        const QString f = dir + "/ct-0003.img";
        QVERIFY(whole.addFile(f));
        QVERIFY(part.addFile(f));
    } else if (form == QLatin1String("h5")) {
        QVERIFY(loadH5Scan(dir + "/scan.h5", whole));
        QVERIFY(loadH5Scan(dir + "/scan.h5", part));
    } else {
        QVERIFY(whole.addTiffStack(dir + "/stack.tif"));
        QVERIFY(part.addTiffStack(dir + "/stack.tif"));
    }
    QCOMPARE(part.count(), whole.count());
    QCOMPARE(part.heldBand(), band);
    QCOMPARE(QSize(part.width, part.height), QSize(kW, kH));
    QCOMPARE(part.bytesHeld() * (rows ? kH : kW), whole.bytesHeld() * band.count);
    std::vector<double> a(kW > kH ? kW : kH), b(a.size());
    QList<QPair<ImgData*, ImgData*>> images { { whole.at(whole.count() - 1), part.at(part.count() - 1) } };
    if (form == QLatin1String("h5"))
        images << qMakePair(whole.i0(), part.i0()) << qMakePair(whole.bg(), part.bg());
    for (const auto& [w, p] : images) {
        const int lines = rows ? kH : kW, length = rows ? kW : kH;
        for (int line = 0; line < lines; ++line) {
            if (rows) {
                w->readRow(line, a.data());
                p->readRow(line, b.data());
            } else {
                w->readColumn(line, a.data());
                p->readColumn(line, b.data());
            }
            for (int i = 0; i < length; ++i)
                QCOMPARE(b[size_t(i)], band.holds(line) ? a[size_t(i)] : 0.0);
        }
        // Across the band: the held part of each line, zeros elsewhere.
        if (rows)
            p->readColumn(3, b.data()), w->readColumn(3, a.data());
        else
            p->readRow(3, b.data()), w->readRow(3, a.data());
        for (int i = 0; i < (rows ? kH : kW); ++i)
            QCOMPARE(b[size_t(i)], band.holds(i) ? a[size_t(i)] : 0.0);
    }
}

void TstLineBand::bandOutsideTheImageIsRefused_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<LineBand>("band");
    QTest::addColumn<QString>("reason");
    QTest::newRow("itex rows past the bottom") << "itex" << LineBand{30, 10, true} << "rows 30 to 39 lie outside";
    QTest::newRow("itex columns before the left") << "itex" << LineBand{-2, 5, false} << "columns -2 to 2 lie outside";
    QTest::newRow("tiff columns past the right") << "tiff-tiles" << LineBand{38, 4, false} << "columns 38 to 41 lie outside";
    QTest::newRow("h5 rows past the bottom") << "h5" << LineBand{35, 2, true} << "rows 35 to 36 lie outside";
}

void TstLineBand::bandOutsideTheImageIsRefused()
{
    QFETCH(QString, form);
    QFETCH(LineBand, band);
    QFETCH(QString, reason);
    const QString dir = series(form, true);
    ImgDatas set;
    set.band = band;
    QString why;
    if (form == QLatin1String("h5")) {
        QVERIFY(!loadH5Scan(dir + "/scan.h5", set, &why));
    } else {
        std::unique_ptr<ImgData> img(loadImgData(dir + (form == "itex" ? "/ct-0000.img" : "/stack.tif"), true, &why, band));
        QVERIFY(img && !img->ready);
        QCOMPARE(img->heldBytes(), qint64(0));
    }
    QVERIFY2(why.contains(reason), qPrintable(why));
    QCOMPARE(set.count(), 0);
}

void TstLineBand::planKeepsWhatFits_data()
{
    QTest::addColumn<int>("budgetMb");
    QTest::addColumn<LineBand>("band");
    QTest::addColumn<LineBand>("fallback");
    QTest::addColumn<LineBand>("planned");
    QTest::addColumn<QString>("refusal");
    // 100 images of 1024 x 1024 at 2 bytes: 200 MB whole, 0.2 MB a row.
    const LineBand none, range{100, 64, true}, tooMany{0, 600, true};
    QTest::newRow("whole fits") << 400 << none << range << none << "";
    QTest::newRow("whole too big, the slice range fits") << 100 << none << range << range << "";
    QTest::newRow("whole too big, no slice range") << 100 << none << none << none
                                                   << "100 files need 200.0 MB, 100.0 MB of memory available";
    QTest::newRow("slice range too big as well") << 100 << none << tooMany << none
                                                 << "100 files need 200.0 MB, 100.0 MB of memory available";
    QTest::newRow("band named, it fits") << 100 << range << none << range << "";
    QTest::newRow("band named, too big") << 100 << tooMany << none << tooMany
                                         << "100 files (rows 0 to 599) need 117.2 MB, 100.0 MB of memory available";
}

void TstLineBand::planKeepsWhatFits()
{
    QFETCH(int, budgetMb);
    QFETCH(LineBand, band);
    QFETCH(LineBand, fallback);
    QFETCH(LineBand, planned);
    QFETCH(QString, refusal);
    qputenv("ZUVO2_MEMORY_BUDGET_MB", QByteArray::number(budgetMb));
    ImgDatas set;
    set.band = band;
    set.fallback = fallback;
    const qint64 need = qint64(1024) * 1024 * 2 * 100;
    const QString got = set.planBand(need, 1024, 1024, QStringLiteral("100 files"), false);
    qunsetenv("ZUVO2_MEMORY_BUDGET_MB");
    QCOMPARE(got, refusal);
    QCOMPARE(set.planned, planned);
}

void TstLineBand::runOutsideTheLoadedLinesIsRefused_data()
{
    QTest::addColumn<bool>("rotAxIsV");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("inside") << true << 8 << 15 << "";
    QTest::newRow("one slice past the end") << true << 8 << 16 << "slices 8 to 16 are not all within the loaded rows 8 to 15";
    QTest::newRow("axis turned since the load") << false << 8 << 15
                                                << "only rows 8 to 15 of the projections are loaded, and the axis now makes slices of columns";
}

void TstLineBand::runOutsideTheLoadedLinesIsRefused()
{
    QFETCH(bool, rotAxIsV);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, refusal);
    ImgDatas set;
    set.band = LineBand{8, 8, true};
    QVERIFY(set.addFile(series("itex", true) + "/ct-0000.img"));
    CtRun run;
    run.images = &set;
    run.createPool(1);
    ReconSettings s;
    CtCond& c = s.cond;
    c.ct2 = c.autoExec = true;
    c.rotAxIsV = rotAxIsV;
    c.cor = rotAxIsV ? kW / 2.0 : kH / 2.0;
    c.from = from;
    c.to = to;
    c.step = 1;
    c.threads = 1;
    QCOMPARE(run.whyRefused(s), refusal);
}

void TstLineBand::centreSearchStaysWithinTheLoadedLines()
{
    ImgDatas set;
    set.band = LineBand{8, 12, true};
    const QString dir = series("itex", true);
    for (int p = 0; p < kP; ++p)
        QVERIFY(set.addFile(dir + QStringLiteral("/ct-%1.img").arg(p, 4, 10, QLatin1Char('0'))));
    const CorResult outside = findCor(set, true, 20);
    QVERIFY(!outside.valid);
    QCOMPARE(outside.reason, QStringLiteral("slices 20 to 20 are not all within the loaded rows 8 to 19"));
    const CorLine line = findCorLine(set, true, 0, kH - 1);
    QVERIFY(!line.slices.empty());
    for (int s : line.slices)
        QVERIFY2(s >= 8 && s <= 19, qPrintable(QString::number(s)));
}

void TstLineBand::reconFromLinesWritesTheSameDataFiles_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<bool>("rotAxIsV");
    for (const char* form : {"itex", "tiff-strips", "tiff-tiles", "h5"})
        for (bool v : {true, false})
            QTest::newRow(qPrintable(QStringLiteral("%1 axis %2").arg(form, v ? "v" : "h"))) << QString(form) << v;
}

void TstLineBand::reconFromLinesWritesTheSameDataFiles()
{
    QFETCH(QString, form);
    QFETCH(bool, rotAxIsV);
    const QString dir = series(form, rotAxIsV);
    QVERIFY(!dir.isEmpty());
    QStringList input;
    if (form == QLatin1String("itex"))
        input << "--projections" << dir << "--pattern" << "ct-*.img";
    else if (form == QLatin1String("h5"))
        input << "--h5" << dir + "/scan.h5";
    else
        input << "--stack" << dir + "/stack.tif";
    if (form != QLatin1String("h5"))
        input << "--i0" << dir + "/i0.img" << "--bg" << dir + "/bg.img";
    const double cor = (rotAxIsV ? kW : kH) / 2.0;
    auto recon = [&](const QString& rows, const QString& out) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2-recon"),
                QStringList(input) << "--cor" << QString::number(cor) << "--axis" << (rotAxIsV ? "v" : "h")
                                   << "--slices" << "9:20:3" << "--threads" << "2" << "--quiet"
                                   << "--rows" << rows << "--out" << out);
        const bool ended = p.waitForFinished(60000);
        const QByteArray text = p.readAll();
        return ended && p.exitCode() == 0 ? QString() : QString::fromLocal8Bit(text);
    };
    const QString all = tmp.filePath(QStringLiteral("out-all-%1-%2").arg(form).arg(rotAxIsV));
    const QString part = tmp.filePath(QStringLiteral("out-part-%1-%2").arg(form).arg(rotAxIsV));
    QString why = recon("all", all);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    why = recon("auto", part);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    const QStringList files = QDir(all).entryList({"*.dat"}, QDir::Files, QDir::Name);
    QCOMPARE(files, QStringList({"slice-00009.dat", "slice-00012.dat", "slice-00015.dat", "slice-00018.dat"}));
    QCOMPARE(QDir(part).entryList({"*.dat"}, QDir::Files, QDir::Name), files);
    for (const QString& f : files) {
        const QByteArray a = readAll(all + "/" + f);
        QVERIFY(a.size() > 100);
        QVERIFY2(a == readAll(part + "/" + f), qPrintable(f));
    }
    const QJsonObject report = QJsonDocument::fromJson(readAll(part + "/slice-run.json")).object();
    QCOMPARE(report.value("linesLoaded").toString(), QStringLiteral("%1 9 to 20").arg(rotAxIsV ? "rows" : "columns"));
}

QTEST_GUILESS_MAIN(TstLineBand)
#include "tst_lineband.moc"
