#include "ConfigStore.h"
#include "ImgData.h"
#include "ItexWriter.h"
#include "SelectAImgFile.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <vector>

namespace {
const int W = 4;
const int H = 5;
// Pixel (x, y) holds 10 y + x + 1, so every read-out names its own position.
quint16 pixelAt(int x, int y) { return quint16(10 * y + x + 1); }
}

class TstSelectImg : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void form();
    void loadAndShow();
    void failedLoadKeepsImage_data();
    void failedLoadKeepsImage();
    void readOut_data();
    void readOut();
    void clearAndExpTime();
    void severalFiles_data();
    void severalFiles();

private:
    QTemporaryDir dir;
    QString good;
};

void TstSelectImg::initTestCase()
{
    QVERIFY(dir.isValid());
    dataRoot = dir.path();
    std::vector<quint16> px(size_t(W * H));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            px[size_t(y * W + x)] = pixelAt(x, y);
    good = dir.filePath("I0-7_112keV-0001.img");
    QVERIFY(ItexWriter(W, H, 2).write16(good, px.data()));
}

void TstSelectImg::form()
{
    SelectAImgFile s;
    auto* grid = s.findChild<QGridLayout*>("gridLayout_3");
    auto* base = s.findChild<QFrame*>("SelectAImgFileBase");
    QVERIFY(grid && base);
    QVERIFY(grid->indexOf(base) >= 0);
    int row, col, rs, cs;
    grid->getItemPosition(grid->indexOf(base), &row, &col, &rs, &cs);
    QCOMPARE(col, 5);
    QCOMPARE(base->parentWidget(), &s);
    QCOMPARE(s.findChild<QLineEdit*>("ExpTimeLE")->text(), QString("0.05"));
    QVERIFY(!s.display()->parent());
    QCOMPARE(s.image(), nullptr);
    QCOMPARE(s.getMode(), 0);
}

void TstSelectImg::loadAndShow()
{
    SelectAImgFile s;
    s.show();
    QSignalSpy spy(&s, &SelectAFile::fileSelected);
    QTest::ignoreMessage(QtDebugMsg, qPrintable("loading " + good));
    s.fileSelected0(good);
    QCOMPARE(spy.count(), 1);
    QVERIFY(s.image());
    QCOMPARE(int(s.image()->width), W);
    QCOMPARE(int(s.image()->height), H);
    QVERIFY(s.display()->isVisible());
    QCOMPARE(s.display()->image.size(), QSize(W, H));
    QCOMPARE(s.findChild<QLineEdit*>("FilePath")->text(), good);

    // "Show Img" does nothing of its own.
    s.display()->hide();
    QTest::mouseClick(s.findChild<QPushButton*>("ShowImg"), Qt::LeftButton);
    QVERIFY(!s.display()->isVisible());

    // A second load replaces the image and shows the display again.
    QTest::ignoreMessage(QtDebugMsg, qPrintable("loading " + good));
    s.fileSelected0(good);
    QVERIFY(s.image());
    QVERIFY(s.image()->ready);
    QVERIFY(s.display()->isVisible());
}

void TstSelectImg::failedLoadKeepsImage_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << QByteArray() << "missing.img";
    QTest::newRow("empty file") << QByteArray("") << "empty.img";
    QTest::newRow("garbage") << QByteArray("not an image at all, just some text\n") << "junk.img";
    QByteArray truncated;
    {
        QFile f(good);
        if (f.open(QIODevice::ReadOnly))
            truncated = f.read(70);
    }
    QTest::newRow("truncated") << truncated << "cut.img";
}

void TstSelectImg::failedLoadKeepsImage()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, name);
    const QString path = dir.filePath(name);
    if (!content.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    SelectAImgFile s;
    s.fileSelected0(good);
    ImgData* kept = s.image();
    QVERIFY(kept);
    QSignalSpy spy(&s, &SelectAFile::fileSelected);
    s.fileSelected0(path);
    QCOMPARE(spy.count(), 1);   // the owner hears of the choice all the same
    QCOMPARE(s.image(), kept);      // but the image stays
    QCOMPARE(int(s.image()->width), W);
}

void TstSelectImg::readOut_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<QString>("val");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("just left of column 0 truncates to it")
        << -0.5 << 3.0 << QString::number(pixelAt(0, 3));
    QTest::newRow("column -1 is outside") << -1.0 << 3.0 << "0";
    QTest::newRow("inside, fractions") << 2.9 << 1.2 << QString::number(pixelAt(2, 1));
    QTest::newRow("last pixel") << double(W - 1) << double(H - 1)
                                << QString::number(pixelAt(W - 1, H - 1));
    QTest::newRow("right of the image") << double(W) << 0.0 << "0";
    QTest::newRow("below the image") << 0.0 << double(H) << "0";
    QTest::newRow("huge") << 1e30 << 1e30 << "0";
    QTest::newRow("huge negative") << -1e30 << 2.0 << "0";
    QTest::newRow("not a number") << nan << 1.0 << "0";
}

void TstSelectImg::readOut()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(QString, val);

    SelectAImgFile s;
    s.display()->Val->setText("untouched");
    s.noticedNewPos(1, 1); // without an image nothing happens
    QCOMPARE(s.display()->Val->text(), QString("untouched"));

    s.fileSelected0(good);
    QVERIFY(s.image());
    s.display()->Val->setText("untouched");
    emit s.display()->newPosInvY(x, y); // the display's own report reaches the panel
    QCOMPARE(s.display()->Val->text(), val);
}

void TstSelectImg::clearAndExpTime()
{
    SelectAImgFile s;
    s.show();
    s.setExpTime(1.23456789);
    QCOMPARE(s.findChild<QLineEdit*>("ExpTimeLE")->text(), QString("1.23457"));
    s.fileSelected0(good);
    QVERIFY(s.image());
    QSignalSpy spy(&s, &SelectAFile::clear);
    QTest::mouseClick(s.findChild<QPushButton*>("Clear"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(s.image(), nullptr);
    QCOMPARE(s.findChild<QLineEdit*>("ExpTimeLE")->text(), QString("0.05"));
    QCOMPARE(s.findChild<QLineEdit*>("FilePath")->text(), QString());
    // Clearing again with nothing loaded is harmless.
    s.clear0();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(s.image(), nullptr);
}

namespace {
// A W x H image whose every pixel holds v (or a 3 x 3 one when odd is set).
QString flatImage(const QTemporaryDir& dir, const QString& name, quint16 v, bool odd = false)
{
    const int w = odd ? 3 : W, h = odd ? 3 : H;
    const std::vector<quint16> px(size_t(w * h), v);
    const QString path = dir.filePath(name);
    return ItexWriter(w, h, 2).write16(path, px.data()) ? path : QString();
}
} // namespace

// Each row: files chosen with Select, then files added one call each; the
// mean the set stands for, how many images it holds and the name shown.
void TstSelectImg::severalFiles_data()
{
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<double>("mean");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("shown");
    const QString a = flatImage(dir, "a.img", 100), b = flatImage(dir, "b.img", 200), c = flatImage(dir, "c.img", 600),
                  odd = flatImage(dir, "odd.img", 50, true), missing = dir.filePath("none.img");
    QTest::newRow("one") << QStringList{a} << QStringList{} << 100.0 << 1 << a;
    QTest::newRow("two selected") << QStringList{a, b} << QStringList{} << 150.0 << 2 << a;
    QTest::newRow("one selected, two added") << QStringList{a} << QStringList{b, c} << 300.0 << 3 << a;
    QTest::newRow("added to nothing") << QStringList{} << QStringList{c, b} << 400.0 << 2 << c;
    QTest::newRow("other size added: set kept, name shown")
        << QStringList{a, b} << QStringList{odd} << 150.0 << 2 << odd;
    QTest::newRow("missing file added") << QStringList{a} << QStringList{missing} << 100.0 << 1 << missing;
    QTest::newRow("other size among the selected: nothing taken")
        << QStringList{a, odd} << QStringList{} << -1.0 << 0 << odd;
    QTest::newRow("a later good add keeps the failed name")
        << QStringList{a} << QStringList{odd, b} << 150.0 << 2 << odd;
}

void TstSelectImg::severalFiles()
{
    QFETCH(QStringList, selected);
    QFETCH(QStringList, added);
    QFETCH(double, mean);
    QFETCH(int, count);
    QFETCH(QString, shown);
    SelectAImgFile s;
    if (!selected.isEmpty())
        s.selectFiles(selected);
    for (const QString& f : added)
        s.addFiles({f});
    QCOMPARE(s.imageCount(), count);
    QCOMPARE(s.findChild<QLineEdit*>("FilePath")->text(), shown);
    if (mean < 0) {
        QVERIFY(!s.image());
        return;
    }
    QVERIFY(s.image() && s.image()->ready);
    // The set's first file names it, so a run can tell it loaded.
    QCOMPARE(s.image()->fileName, s.files().first());
    std::vector<double> row(static_cast<size_t>(W));
    for (int y : {0, H - 1}) {
        s.image()->readRow(y, row.data());
        for (double v : row)
            QCOMPARE(v, mean);
    }
    // Select again replaces the whole set and the failed name with it.
    s.selectFiles({s.files().first()});
    QCOMPARE(s.imageCount(), 1);
    QCOMPARE(s.findChild<QLineEdit*>("FilePath")->text(), s.files().first());
    s.clear0();
    QCOMPARE(s.imageCount(), 0);
    QVERIFY(!s.image());
}

QTEST_MAIN(TstSelectImg)
#include "tst_selectimg.moc"
