#include "ColorScale.h"
#include "Failures.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ItexWriter.h"
#include "TiffSampleWriter.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include "LogCapture.h"

#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>

#include <vector>

namespace {

class GreyScale : public ColorScale
{
public:
    int level(double v) const override { return int(v) & 0xFF; }
    bool isFixed() const override { return false; }
    void autoMinMax(double, double) override {}
};

} // namespace

class TstImgDatas : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    // "WxH" writes an ITEX image of that size, "tifWxH" a TIFF one, "badtif" a
    // TIFF header with no directory, "bad" an unusable ITEX file,
    // "none" names a file that does not exist, "empty" an empty file, "short" a
    // 6x4 image missing its last byte, "link" a dangling link, "fifo" a FIFO,
    // "dir" a directory, "dev" a device.
    QString file(const QString& kind)
    {
        const QString p = tmp.filePath(QStringLiteral("f%1-%2.img").arg(serial++).arg(kind));
        if (kind == QLatin1String("none"))
            return p;
        if (kind == QLatin1String("dev"))
            return QStringLiteral("/dev/null");
        if (kind == QLatin1String("link")) {
            QFile::link(tmp.filePath(QStringLiteral("gone.img")), p);
            return p;
        }
        if (kind == QLatin1String("fifo")) {
            ::mkfifo(QFile::encodeName(p).constData(), 0600);
            return p;
        }
        if (kind == QLatin1String("dir")) {
            QDir().mkpath(p);
            return p;
        }
        if (kind == QLatin1String("short")) {
            const QString whole = file(QStringLiteral("6x4"));
            QFile::rename(whole, p);
            QFile f(p);
            f.resize(f.size() - 1);
            return p;
        }
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly))
            return p;
        if (kind == QLatin1String("empty")) {
        } else if (kind == QLatin1String("badtif")) {
            f.write("MM\0*", 4);
        } else if (kind.startsWith(QLatin1String("tif"))) {
            f.close();
            const QStringList wh = kind.mid(3).split(QLatin1Char('x'));
            const int w = wh.value(0).toInt(), h = wh.value(1).toInt();
            std::vector<double> px(size_t(w) * h, 100.0 + serial);
            TiffSampleWriter().write(p, w, h, { px.data() });
        } else if (kind == QLatin1String("bad")) {
            f.write("IM\0\0\0\0\0\0\0\0", 10);
        } else {
            f.close();
            const QStringList wh = kind.split(QLatin1Char('x'));
            const int w = wh.value(0).toInt(), h = wh.value(1).toInt();
            std::vector<quint16> px(size_t(w) * h);
            for (size_t i = 0; i < px.size(); ++i)
                px[i] = quint16(i + serial);
            ItexWriter(w, h).write16(p, px.data());
        }
        return p;
    }
    int serial = 0;

private slots:
    void addFiles_data();
    void addFiles();
    void runRefusal_data();
    void runRefusal();
    void noFileStaysOpen();
    void memoryBudget_data();
    void memoryBudget();
    void clearKeepsOrFreesSize();
    void sameFileTwice();
    void render();
    void references();
};

void TstImgDatas::addFiles_data()
{
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<QString>("added");     // one 1/0 per file
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QStringList>("messages"); // expected texts with %n standing for file n

    QTest::newRow("empty list") << QStringList() << "" << QSize(0, 0) << QStringList();
    QTest::newRow("equal sizes") << QStringList { "6x4", "6x4", "6x4" } << "111" << QSize(6, 4) << QStringList();
    QTest::newRow("mixed sizes keep the first")
        << QStringList { "6x4", "4x6", "6x4", "6x5" } << "1010" << QSize(6, 4)
        << QStringList { "Mismatch image size: (6, 4) != (4, 6) : %1", "Mismatch image size: (6, 4) != (6, 5) : %3" };
    QTest::newRow("tiff and itex in one series")
        << QStringList { "tif5x3", "5x3", "tif5x3", "tif3x5" } << "1110" << QSize(5, 3)
        << QStringList { "Mismatch image size: (5, 3) != (3, 5) : %3" };
    QTest::newRow("damaged tiff")
        << QStringList { "5x3", "badtif" } << "10" << QSize(5, 3)
        << QStringList { "File is not ready to access %1 (TIFF image refused (damaged or unreadable TIFF: %1: Cannot read TIFF header))" };
    QTest::newRow("unreadable skipped")
        << QStringList { "bad", "5x3", "none" } << "010" << QSize(5, 3)
        << QStringList { "File is not ready to access %0 (no image size in the ITEX header)",
                         "Not an image file (no such file): %2", "File is not ready to access %2 (no such file)" };
    QTest::newRow("empty and truncated")
        << QStringList { "6x4", "empty", "short" } << "100" << QSize(6, 4)
        << QStringList { "Not an image file (empty file): %1", "File is not ready to access %1 (empty file)",
                         "ITEX image size does not fit the file size, rejected: 6 x 4 x 2 bytes, 47 pixel bytes in the file, %2",
                         "File is not ready to access %2 (ITEX image size does not fit the file size, rejected: 6 x 4 x 2 bytes, 47 pixel bytes in the file,)" };
    // Checked before anything opens them: a FIFO would block the load.
    QTest::newRow("link, fifo, directory, device")
        << QStringList { "link", "fifo", "dir", "dev", "3x2" } << "00001" << QSize(3, 2)
        << QStringList { "Not an image file (dangling symbolic link): %0", "File is not ready to access %0 (dangling symbolic link)",
                         "Not an image file (a FIFO, not a file): %1", "File is not ready to access %1 (a FIFO, not a file)",
                         "Not an image file (a directory, not a file): %2", "File is not ready to access %2 (a directory, not a file)",
                         "Not an image file (a device, not a file): %3", "File is not ready to access %3 (a device, not a file)" };
}

void TstImgDatas::addFiles()
{
    QFETCH(QStringList, kinds);
    QFETCH(QString, added);
    QFETCH(QSize, size);
    QFETCH(QStringList, messages);

    QStringList paths;
    for (const QString& s : kinds)
        paths << file(s);
    ImgDatas set;
    QString got;
    QStringList logged;
    {
        LogCapture c;
        for (const QString& p : paths)
            got += set.addFile(p) ? '1' : '0';
        logged = c.lines();
    }
    QCOMPARE(got, added);
    QCOMPARE(QSize(set.width, set.height), size);
    QCOMPARE(set.count(), int(added.count('1')));
    QStringList failed;
    for (int i = 0; i < paths.size(); ++i)
        if (added.at(i) == '0')
            failed << paths.at(i);
    QCOMPARE(set.failed, failed);
    for (ImgData* img : set.imgs)
        QVERIFY(img->ready && img->preload);
    QStringList want;
    for (QString m : messages) {
        for (int i = 0; i < paths.size(); ++i)
            m.replace(QStringLiteral("%%1").arg(i), paths.at(i));
        want << m;
    }
    QCOMPARE(logged, want);
}

void TstImgDatas::clearKeepsOrFreesSize()
{
    ImgDatas set;
    QVERIFY(set.addFile(file("6x4")));
    QVERIFY(set.addFile(file("6x4")));
    set.clearImgs();
    QCOMPARE(set.count(), 0);
    QCOMPARE(QSize(set.width, set.height), QSize(6, 4));
    const QString other = file("3x2");
    {
        LogCapture c;
        QVERIFY(!set.addFile(other));
        QCOMPARE(c.lines(), QStringList { "Mismatch image size: (6, 4) != (3, 2) : " + other });
    }
    QCOMPARE(set.count(), 0);
    set.clear();
    QCOMPARE(QSize(set.width, set.height), QSize(0, 0));
    QVERIFY(set.addFile(other));
    QCOMPARE(QSize(set.width, set.height), QSize(3, 2));
}

void TstImgDatas::sameFileTwice()
{
    ImgDatas set;
    const QString p = file("4x4");
    QVERIFY(set.addFile(p));
    QVERIFY(set.addFile(p));
    QCOMPARE(set.count(), 2);
    QVERIFY(set.at(0) != set.at(1));
    QCOMPARE(set.at(2), nullptr);
    QCOMPARE(set.at(-1), nullptr);
}

void TstImgDatas::render()
{
    ImgDatas set;
    QVERIFY(set.addFile(file("4x3")));
    QVERIFY(set.addFile(file("4x3")));
    QSignalSpy spy(&set, &ImgDatas::imageUpdated);
    GreyScale scale;
    QImage img;
    QVERIFY(!set.render(-1, img, &scale));
    QVERIFY(!set.render(2, img, &scale));
    QCOMPARE(spy.count(), 0);
    QVERIFY(img.isNull());
    QVERIFY(set.render(1, img, &scale));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(img.size(), QSize(4, 3));
    std::vector<double> row(4);
    set.at(1)->readRow(2, row.data());
    QCOMPARE(int(img.constScanLine(2)[3]), int(row[3]) & 0xFF);
}

void TstImgDatas::references()
{
    ImgDatas set;
    QCOMPARE(set.i0(), nullptr);
    QCOMPARE(set.bg(), nullptr);
    ImgData* i0 = nullptr;
    ImgData* bg = nullptr;
    set.i0Img = &i0;
    set.bgImg = &bg;
    QCOMPARE(set.i0(), nullptr);
    // A newly chosen image is seen without telling the set.
    ImgData* img = newImgData(ITEX);
    i0 = img;
    QCOMPARE(set.i0(), img);
    QCOMPARE(set.bg(), nullptr);
    delete img;
}

void TstImgDatas::runRefusal_data()
{
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<QString>("i0");  // kind of the I0 image, "" for no name
    QTest::addColumn<QString>("bg");
    QTest::addColumn<QString>("reason"); // %n: file n of the series, %i / %b: the I0 / BG name

    const QStringList four { "6x4", "6x4", "6x4", "6x4" };
    QTest::newRow("complete, no corrections") << four << "" << "" << "";
    QTest::newRow("complete with I0 and BG") << four << "6x4" << "6x4" << "";
    QTest::newRow("one file failed")
        << QStringList { "6x4", "empty", "6x4" } << "6x4" << "" << "1 of 3 selected files failed to load: %1";
    QTest::newRow("many failed, first named")
        << QStringList { "6x4", "none", "bad", "4x6", "none", "6x4" } << "" << ""
        << "4 of 6 selected files failed to load: %1, %2, %3, ...";
    QTest::newRow("nothing loaded") << QStringList() << "" << "" << "no projection images loaded";
    QTest::newRow("I0 did not load") << four << "none" << "6x4" << "I0 image did not load: %i";
    QTest::newRow("BG did not load") << four << "" << "short" << "BG image did not load: %b";
    QTest::newRow("I0 of another size") << four << "4x6" << "" << "I0 image is 4 x 6, the series 6 x 4: %i";
    QTest::newRow("TIFF I0 and BG") << four << "tif6x4" << "tif6x4" << "";
    QTest::newRow("damaged TIFF as BG") << four << "" << "badtif" << "BG image did not load: %b";
}

void TstImgDatas::runRefusal()
{
    QFETCH(QStringList, kinds);
    QFETCH(QString, i0);
    QFETCH(QString, bg);
    QFETCH(QString, reason);
    LogCapture quiet;
    ImgDatas set;
    QStringList paths;
    for (const QString& k : kinds) {
        paths << file(k);
        set.addFile(paths.last());
    }
    // What the I0 and BG selectors would hold: the image only when it loaded.
    ImgData* i0Img = nullptr;
    ImgData* bgImg = nullptr;
    set.i0Img = &i0Img;
    set.bgImg = &bgImg;
    const QString i0Name = i0.isEmpty() ? QString() : file(i0);
    const QString bgName = bg.isEmpty() ? QString() : file(bg);
    std::unique_ptr<ImgData> a(i0Name.isEmpty() ? nullptr : loadImgData(i0Name));
    std::unique_ptr<ImgData> b(bgName.isEmpty() ? nullptr : loadImgData(bgName));
    if (a && a->ready)
        i0Img = a.get();
    if (b && b->ready)
        bgImg = b.get();
    for (int i = 0; i < paths.size(); ++i)
        reason.replace(QStringLiteral("%%1").arg(i), paths.at(i));
    reason.replace(QStringLiteral("%i"), i0Name).replace(QStringLiteral("%b"), bgName);
    QCOMPARE(set.runRefusal(i0Name, bgName), reason);
}

// Every image is read and its file closed: a long series must not run the
// process out of file descriptors (1024 is a usual limit).
void TstImgDatas::noFileStaysOpen()
{
    struct rlimit old;
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &old), 0);
    struct rlimit low = old;
    low.rlim_cur = 256;
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
    const QString one = file(QStringLiteral("4x2"));
    ImgDatas set;
    int added = 0;
    for (int i = 0; i < 1100; ++i)
        added += set.addFile(one);
    QFile after(tmp.filePath(QStringLiteral("after.txt")));
    const bool opened = after.open(QIODevice::WriteOnly);
    setrlimit(RLIMIT_NOFILE, &old);
    QCOMPARE(added, 1100);
    QVERIFY(set.failed.isEmpty());
    QVERIFY(opened);
}

void TstImgDatas::memoryBudget_data()
{
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("replacing");
    QTest::addColumn<QString>("reason");
    // One 300 x 300 16-bit image: 180000 pixel bytes and 4800 of row and column buffers.
    QTest::newRow("fits") << 5 << false << "";
    QTest::newRow("too big") << 6 << false << "Series not loaded: 6 files need 1.1 MB, 1.0 MB of memory available";
    QTest::newRow("budget is for the series alone") << 6 << true << "Series not loaded: 6 files need 1.1 MB, 1.0 MB of memory available";
}

void TstImgDatas::memoryBudget()
{
    QFETCH(int, copies);
    QFETCH(bool, replacing);
    QFETCH(QString, reason);
    const QString big = file(QStringLiteral("300x300"));
    qputenv("ZUVO2_MEMORY_BUDGET_MB", "1");
    ImgDatas set;
    QVERIFY(set.addFile(big));
    const QString got = set.memoryRefusal(QStringList(copies, big), replacing);
    qunsetenv("ZUVO2_MEMORY_BUDGET_MB");
    QCOMPARE(got, reason);
    // Without the variable the machine's own figure applies; a tiny series fits it.
    QCOMPARE(set.memoryRefusal({ big }, false), QString());
}

QTEST_GUILESS_MAIN(TstImgDatas)
#include "tst_imgdatas.moc"
