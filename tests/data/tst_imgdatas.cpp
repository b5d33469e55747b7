#include "ColorScale.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ItexWriter.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include "LogCapture.h"

#include <QtTest>

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

    // "WxH" writes an ITEX image of that size, "tif" a TIFF, "bad" an unusable ITEX file,
    // "none" names a file that does not exist.
    QString file(const QString& kind)
    {
        const QString p = tmp.filePath(QStringLiteral("f%1-%2.img").arg(serial++).arg(kind));
        if (kind == QLatin1String("none"))
            return p;
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly))
            return p;
        if (kind == QLatin1String("tif")) {
            f.write("MM\0*", 4);
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
    QTest::newRow("tiff first leaves size open")
        << QStringList { "tif", "5x3", "5x3" } << "111" << QSize(5, 3) << QStringList();
    QTest::newRow("tiff after size is a mismatch")
        << QStringList { "5x3", "tif" } << "10" << QSize(5, 3)
        << QStringList { "Mismatch image size: (5, 3) != (0, 0) : %1" };
    QTest::newRow("unreadable skipped")
        << QStringList { "bad", "5x3", "none" } << "010" << QSize(5, 3)
        << QStringList { "File is not ready to access %0",
                         "Check File Type (TIFF):: Can not open %2", "Check File Type (ITEX):: Can not open %2",
                         "Unknown file type : %2" };
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

QTEST_GUILESS_MAIN(TstImgDatas)
#include "tst_imgdatas.moc"
