#include "ColorScale.h"
#include "ImgData.h"
#include "ImgDataITEX.h"
#include "ItexWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include "LogCapture.h"

#include <QtTest>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Byte-exact ITEX file: header with the given comment length, comment, pixel bytes.
QByteArray itexBytes(const QByteArray& comment, const QByteArray& pixels, int commentLength = -1, int pixelType = 0)
{
    QByteArray h(64, '\0');
    h[0] = 'I';
    h[1] = 'M';
    qToLittleEndian<quint16>(quint16(commentLength < 0 ? comment.size() : commentLength), h.data() + 2);
    qToLittleEndian<quint16>(quint16(pixelType), h.data() + 12);
    return h + comment + pixels;
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Colour scale that maps a value linearly over its range and counts its calls.
class FakeScale : public ColorScale
{
public:
    int level(double v) const override
    {
        const double t = (v - vMin) / (vMax - vMin) * 255.0;
        return t < 0 ? 0 : t > 255 ? 255 : int(t);
    }
    void levelRow(const double* v, uchar* out, int n) const override
    {
        ++rowCalls;
        ColorScale::levelRow(v, out, n);
    }
    bool isFixed() const override { return fixed; }
    void autoMinMax(double mn, double mx) override
    {
        ++autoCalls;
        if (!fixed) {
            vMin = mn;
            vMax = mx;
        }
    }
    bool fixed = false;
    double vMin = 0, vMax = 1;
    int autoCalls = 0;
    mutable int rowCalls = 0;
};

std::unique_ptr<ImgData> loadImage(const QString& path, bool preload = true)
{
    return std::unique_ptr<ImgData>(loadImgData(path, preload));
}

// An ITEX reader whose file is changed by someone else between its header
// and its pixels.
class ChangedUnderneath : public ImgDataITEX
{
public:
    std::function<void()> change;
    bool openData() override
    {
        change();
        return ImgDataITEX::openData();
    }
};

} // namespace

class TstImgData : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    QString path(const QString& name) const { return tmp.filePath(name); }

private slots:
    void fileType_data();
    void fileType();
    void missingOrDirectory_data();
    void missingOrDirectory();
    void tooShort_data();
    void tooShort();
    void header_data();
    void header();
    void pixels_data();
    void pixels();
    void pixelBlockAndType_data();
    void pixelBlockAndType();
    void outOfMemoryIsAFailedLoad();
    void roundTrip_data();
    void roundTrip();
    void minMax();
    void render();
    void tiffWithoutDirectoryIsRefused();
    void concurrentReads();
    void garbage();
    void refusesWhatItCannotReadWhole_data();
    void refusesWhatItCannotReadWhole();
};

void TstImgData::fileType_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("type");
    QTest::newRow("itex") << itexBytes("Prop_ImageWidth=1,", "\0\0", -1) << int(ITEX);
    QTest::newRow("tiff II") << QByteArray("II*\0garbage", 11) << int(TIFF);
    QTest::newRow("tiff MM") << QByteArray("MM\0*", 4) << int(TIFF);
    QTest::newRow("unknown") << QByteArray("XYZW") << int(Unsupported);
    QTest::newRow("lower case im") << QByteArray("im\0\0") << int(Unsupported);
    QTest::newRow("one byte") << QByteArray("I") << int(Unsupported);
    QTest::newRow("empty") << QByteArray() << int(Unsupported);
}

void TstImgData::fileType()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, type);
    // The suffix says nothing: a TIFF named .img is still a TIFF.
    const QString p = path(QStringLiteral("type-%1.img").arg(QTest::currentDataTag()));
    writeBytes(p, bytes);
    LogCapture c;
    QCOMPARE(int(imgFileType(p)), type);
    const QStringList expected = type == Unsupported ? QStringList { "Unknown file type : " + p } : QStringList();
    QCOMPARE(c.lines(), expected);
    std::unique_ptr<ImgData> reader(newImgData(ImgFileType(type)));
    QCOMPARE(reader == nullptr, type == Unsupported);
}

void TstImgData::missingOrDirectory_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("missing") << false;
    QTest::newRow("directory") << true;
}

void TstImgData::missingOrDirectory()
{
    QFETCH(bool, directory);
    const QString p = directory ? tmp.path() : path(QStringLiteral("no-such-file.img"));
    LogCapture c;
    QCOMPARE(int(imgFileType(p)), int(Unsupported));
    if (directory) {
        // A directory may open but yields no bytes; either way it is unknown.
        QVERIFY(c.lines().contains("Unknown file type : " + p));
    } else {
        QCOMPARE(c.lines(), QStringList({ "Check File Type (TIFF):: Can not open " + p,
                                         "Check File Type (ITEX):: Can not open " + p,
                                         "Unknown file type : " + p }));
    }
    // The reader itself refuses too.
    ImgDataITEX img;
    img.fileName = p;
    c.clear();
    QVERIFY(!img.load());
    QVERIFY(!img.ready);
    QVERIFY(!c.lines().isEmpty());
}

void TstImgData::tooShort_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("magic only") << QByteArray("IM");
    QTest::newRow("four bytes") << QByteArray("IM\x05\0", 4);
    QTest::newRow("nine bytes") << QByteArray("IM\x05\0\0\0\0\0\0", 9);
}

void TstImgData::tooShort()
{
    QFETCH(QByteArray, bytes);
    const QString p = path(QStringLiteral("short-%1.img").arg(QTest::currentDataTag()));
    writeBytes(p, bytes);
    LogCapture c;
    QCOMPARE(int(imgFileType(p)), int(ITEX));
    auto img = loadImage(p);
    QVERIFY(img && !img->ready);
    QCOMPARE(c.lines(), QStringList { "Error on reading ITEX file props. " + p });
}

void TstImgData::header_data()
{
    QTest::addColumn<QByteArray>("comment");
    QTest::addColumn<int>("commentLength"); // -1: the real length
    QTest::addColumn<int>("pixelBytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("bpp");
    QTest::addColumn<double>("expTime");
    QTest::addColumn<QString>("message"); // expected debug text before the path, empty for none

    const QString none;
    const QString tooBig = QStringLiteral("ITEX image size does not fit the file size, rejected:");
    QTest::newRow("plain") << QByteArray("Prop_ImageWidth=4,Prop_ImageHeight=3,BytesPerPixel=2,") << -1 << 24 << true << 4 << 3 << 2 << 1.0 << none;
    QTest::newRow("32 bit") << QByteArray("Prop_ImageWidth=4,Prop_ImageHeight=3,BytesPerPixel=4,") << -1 << 48 << true << 4 << 3 << 4 << 1.0 << none;
    QTest::newRow("no bpp is 16 bit") << QByteArray("Prop_ImageWidth=4,Prop_ImageHeight=3,") << -1 << 24 << true << 4 << 3 << 2 << 1.0 << none;
    QTest::newRow("last without comma unread") << QByteArray("Prop_ImageWidth=4,Prop_ImageHeight=3,BytesPerPixel=4") << -1 << 48 << true << 4 << 3 << 2 << 1.0 << none;
    QTest::newRow("odd bpp read as 32 bit") << QByteArray("Prop_ImageWidth=4,Prop_ImageHeight=3,BytesPerPixel=3,") << -1 << 48 << true << 4 << 3 << 4 << 1.0 << none;
    QTest::newRow("areSource") << QByteArray("areSource=\"0,0,4,3\",") << -1 << 24 << true << 4 << 3 << 2 << 1.0 << none;
    QTest::newRow("areSource offset") << QByteArray("areSource=\"2,1,6,4\",BytesPerPixel=2,") << -1 << 24 << true << 4 << 3 << 2 << 1.0 << none;
    QTest::newRow("width wins over areSource") << QByteArray("areSource=\"0,0,9,3\",Prop_ImageWidth=4,") << -1 << 24 << true << 4 << 3 << 2 << 1.0 << none;
    QTest::newRow("bad width falls back") << QByteArray("Prop_ImageWidth=x4,areSource=\"0,0,4,3\",") << -1 << 24 << true << 4 << 3 << 2 << 1.0 << none;
    QTest::newRow("quoted comma") << QByteArray("Note=\"a,b\",Prop_ImageWidth=4,Prop_ImageHeight=3,") << -1 << 24 << true << 4 << 3 << 2 << 1.0 << none;
    QTest::newRow("exposure later wins") << QByteArray("Prop_ExposureTime2=0.75,Prop_ExposureTime1=0.25,Prop_ImageWidth=4,Prop_ImageHeight=3,") << -1 << 24 << true << 4 << 3 << 2 << 0.25 << none;
    QTest::newRow("exposure 2") << QByteArray("Prop_ExposureTime1=0.25,Prop_ExposureTime2=0.75,Prop_ImageWidth=4,Prop_ImageHeight=3,") << -1 << 24 << true << 4 << 3 << 2 << 0.75 << none;
    QTest::newRow("time ignored") << QByteArray("Time=\"120ms\",Prop_ImageWidth=4,Prop_ImageHeight=3,") << -1 << 24 << true << 4 << 3 << 2 << 1.0 << none;
    QTest::newRow("line break hides key") << QByteArray("Prop_ImageWidth=4,\r\nProp_ImageHeight=3,") << -1 << 24 << false << 0 << 0 << 2 << 1.0 << none;
    QTest::newRow("blank hides key") << QByteArray("a=1, Prop_ImageWidth=4,Prop_ImageHeight=3,") << -1 << 24 << false << 0 << 0 << 2 << 1.0 << none;
    QTest::newRow("comment length 0") << QByteArray("Prop_ImageWidth=4,Prop_ImageHeight=3,") << 0 << 24 << false << 0 << 0 << 2 << 1.0 << none;
    QTest::newRow("no size") << QByteArray("BytesPerPixel=2,") << -1 << 24 << false << 0 << 0 << 2 << 1.0 << none;
    QTest::newRow("negative size") << QByteArray("Prop_ImageWidth=-4,Prop_ImageHeight=3,") << -1 << 24 << false << 0 << 0 << 2 << 1.0 << none;
    QTest::newRow("beyond 32 bits") << QByteArray("Prop_ImageWidth=4294967300,Prop_ImageHeight=3,") << -1 << 24 << false << 0 << 0 << 2 << 1.0 << none;
    QTest::newRow("comment runs past end") << QByteArray("Prop_ImageWidth=4,Prop_ImageHeight=3,") << 500 << 24 << false << 0 << 0 << 2 << 1.0 << none;
    QTest::newRow("size beyond file") << QByteArray("Prop_ImageWidth=100,Prop_ImageHeight=100,") << -1 << 24 << false << 0 << 0 << 2 << 1.0 << tooBig;
    QTest::newRow("absurd size") << QByteArray("Prop_ImageWidth=2000000000,Prop_ImageHeight=2000000000,BytesPerPixel=4,") << -1 << 24 << false << 0 << 0 << 4 << 1.0 << tooBig;
}

void TstImgData::header()
{
    QFETCH(QByteArray, comment);
    QFETCH(int, commentLength);
    QFETCH(int, pixelBytes);
    QFETCH(bool, ok);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, bpp);
    QFETCH(double, expTime);
    QFETCH(QString, message);

    const QString p = path(QStringLiteral("hdr-%1.img").arg(QTest::currentDataTag()));
    writeBytes(p, itexBytes(comment, QByteArray(pixelBytes, '\x01'), commentLength));
    ImgDataITEX img;
    img.fileName = p;
    LogCapture c;
    QCOMPARE(img.load(), ok);
    QCOMPARE(img.width, width);
    QCOMPARE(img.height, height);
    QCOMPARE(img.bytesPerPixel, bpp);
    QCOMPARE(img.expTime, expTime);
    if (message.isEmpty()) {
        QCOMPARE(c.lines(), QStringList());
    } else {
        QCOMPARE(c.lines().size(), 1);
        QVERIFY2(c.lines().first().startsWith(message) && c.lines().first().endsWith(p), qPrintable(c.lines().first()));
    }
    if (ok)
        QCOMPARE(img.dataOffset, 64 + (commentLength < 0 ? int(comment.size()) : commentLength));
}

void TstImgData::pixels_data()
{
    QTest::addColumn<int>("bpp");
    QTest::addColumn<bool>("preload");
    QTest::newRow("16 preload") << 2 << true;
    QTest::newRow("16 file") << 2 << false;
    QTest::newRow("32 preload") << 4 << true;
    QTest::newRow("32 file") << 4 << false;
}

void TstImgData::pixels()
{
    QFETCH(int, bpp);
    QFETCH(bool, preload);
    const int w = 5, h = 3;
    const quint32 top = bpp == 2 ? 0xFFFFu : 0xFFFFFFFFu;
    std::vector<quint32> v(w * h);
    for (int i = 0; i < w * h; ++i)
        v[i] = quint32(i * 1000 + 7);
    v[w + 2] = top; // all bits set reads unsigned
    v[0] = 0;
    QByteArray raw;
    for (quint32 x : v) {
        char b[4];
        qToLittleEndian<quint32>(x, b);
        raw.append(b, bpp);
    }
    const QString p = path(QStringLiteral("px-%1-%2.img").arg(bpp).arg(preload));
    writeBytes(p, itexBytes(QStringLiteral("Prop_ImageWidth=%1,Prop_ImageHeight=%2,BytesPerPixel=%3,").arg(w).arg(h).arg(bpp).toLatin1(), raw));
    auto img = loadImage(p, preload);
    QVERIFY(img && img->ready);
    std::vector<double> row(w), col(h);
    for (int y = 0; y < h; ++y) {
        QCOMPARE(img->readRow(y, row.data()), row.data());
        for (int x = 0; x < w; ++x)
            QCOMPARE(row[x], double(v[y * w + x]));
    }
    for (int x = 0; x < w; ++x) {
        QCOMPARE(img->readColumn(x, col.data()), col.data());
        for (int y = 0; y < h; ++y)
            QCOMPARE(col[y], double(v[y * w + x]));
    }
    QCOMPARE(img->readRow(1, row.data())[2], bpp == 2 ? 65535.0 : 4294967295.0);
    // Rows and columns outside the image give zeros, never stray memory.
    img->readRow(h, row.data());
    img->readColumn(-1, col.data());
    for (double x : row)
        QCOMPARE(x, 0.0);
    for (double y : col)
        QCOMPARE(y, 0.0);
}

void TstImgData::pixelBlockAndType_data()
{
    QTest::addColumn<QByteArray>("comment");
    QTest::addColumn<int>("pixelType");  // header bytes 12-13: 2 = 16-bit, 3 = 32-bit
    QTest::addColumn<int>("pixelBytes");
    QTest::addColumn<int>("bpp");         // 0: the load is refused
    const QByteArray c8 = "Prop_ImageWidth=8,Prop_ImageHeight=8,";
    // 128 bytes promised; the header and comment once counted as pixels.
    QTest::newRow("short by 20 bytes") << c8 << 0 << 108 << 0;
    QTest::newRow("short by one byte") << c8 << 0 << 127 << 0;
    QTest::newRow("complete") << c8 << 0 << 128 << 2;
    QTest::newRow("header says 32 bit") << c8 << 3 << 256 << 4;
    QTest::newRow("header 32 bit, 16-bit block") << c8 << 3 << 128 << 0;
    QTest::newRow("header says 16 bit") << c8 << 2 << 128 << 2;
    QTest::newRow("comment wins over header") << c8 + "BytesPerPixel=2," << 3 << 128 << 2;
    QTest::newRow("areSource corners at int limits") << QByteArray("areSource=\"-2147483648,0,2147483647,32\",") << 0 << 128 << 0;
}

void TstImgData::pixelBlockAndType()
{
    QFETCH(QByteArray, comment);
    QFETCH(int, pixelType);
    QFETCH(int, pixelBytes);
    QFETCH(int, bpp);
    const QString p = path(QStringLiteral("block-%1.img").arg(QTest::currentDataTag()));
    writeBytes(p, itexBytes(comment, QByteArray(pixelBytes, '\x01'), -1, pixelType));
    LogCapture c;
    for (bool preload : {true, false}) {
        auto img = loadImage(p, preload);
        QVERIFY(img);
        QCOMPARE(img->ready, bpp != 0);
        if (!bpp) {
            QVERIFY(!img->error.isEmpty());
            continue;
        }
        QCOMPARE(static_cast<ImgDataITEX*>(img.get())->bytesPerPixel, bpp);
        std::vector<double> row(8);
        img->readRow(7, row.data());
        QCOMPARE(row[7], bpp == 2 ? 257.0 : 16843009.0);
    }
}

// A header that fits its file but not the memory left: a failed load with a
// message, never an exception that ends the process.
void TstImgData::outOfMemoryIsAFailedLoad()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("the sanitizers reserve address space of their own");
#endif
    const QString p = path("huge.img");
    const QByteArray comment("Prop_ImageWidth=8192,Prop_ImageHeight=8192,");
    writeBytes(p, itexBytes(comment, QByteArray()));
    QFile f(p);
    QVERIFY(f.resize(64 + comment.size() + qint64(8192) * 8192 * 2)); // sparse: 128 MB of pixels
    qint64 vmKB = 0;
    QFile status("/proc/self/status");
    QVERIFY(status.open(QIODevice::ReadOnly));
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmSize:"))
            vmKB = line.simplified().split(' ').value(1).toLongLong();
    QVERIFY(vmKB > 0);
    struct rlimit old;
    QCOMPARE(getrlimit(RLIMIT_AS, &old), 0);
    struct rlimit low = old;
    low.rlim_cur = rlim_t(vmKB * 1024 + (qint64(32) << 20));
    QCOMPARE(setrlimit(RLIMIT_AS, &low), 0);
    std::unique_ptr<ImgData> img(loadImgData(p));
    setrlimit(RLIMIT_AS, &old);
    QVERIFY(img);
    QVERIFY(!img->ready);
    QVERIFY2(img->error.startsWith("Out of memory"), qPrintable(img->error));
}

void TstImgData::roundTrip_data()
{
    QTest::addColumn<int>("bpp");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("16 bit") << 2 << 37 << 23;
    QTest::newRow("32 bit") << 4 << 19 << 41;
    QTest::newRow("one pixel") << 2 << 1 << 1;
}

void TstImgData::roundTrip()
{
    QFETCH(int, bpp);
    QFETCH(int, width);
    QFETCH(int, height);
    const int n = width * height;
    std::vector<quint16> v16(n);
    std::vector<quint32> v32(n);
    quint32 s = 12345;
    for (int i = 0; i < n; ++i) {
        s = s * 1664525u + 1013904223u;
        v16[i] = quint16(s >> 16);
        v32[i] = s;
    }
    ItexWriter wr(width, height, bpp);
    wr.expTime = 0.125;
    const QString p = path(QStringLiteral("rt-%1.img").arg(QTest::currentDataTag()));
    QVERIFY(bpp == 2 ? wr.write16(p, v16.data()) : wr.write32(p, v32.data()));
    // A writer asked for the wrong pixel width writes nothing.
    QVERIFY(!(bpp == 2 ? wr.write32(p + "x", v32.data()) : wr.write16(p + "x", v16.data())));
    QVERIFY(!QFile::exists(p + "x"));

    QFile f(p);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray head = f.read(64);
    QCOMPARE(head.left(2), QByteArray("IM"));
    QCOMPARE(int(qFromLittleEndian<quint16>(head.constData() + 4)), width);
    QCOMPARE(int(qFromLittleEndian<quint16>(head.constData() + 6)), height);
    QCOMPARE(f.size(), 64 + qFromLittleEndian<quint16>(head.constData() + 2) + qint64(n) * bpp);

    auto img = loadImage(p);
    QVERIFY(img && img->ready);
    QCOMPARE(img->width, width);
    QCOMPARE(img->height, height);
    QCOMPARE(img->expTime, 0.125);
    std::vector<double> row(width);
    double mn = 1e300, mx = -1e300;
    for (int y = 0; y < height; ++y) {
        img->readRow(y, row.data());
        for (int x = 0; x < width; ++x) {
            const double want = bpp == 2 ? double(v16[y * width + x]) : double(v32[y * width + x]);
            QCOMPARE(row[x], want);
            mn = std::min(mn, want);
            mx = std::max(mx, want);
        }
    }
    double a, b;
    img->getMinMax(a, b);
    QCOMPARE(a, mn);
    QCOMPARE(b, mx);
}

void TstImgData::minMax()
{
    ImgDataITEX never;
    double a = 5, b = 7;
    never.getMinMax(a, b);
    QCOMPARE(a, 0.0);
    QCOMPARE(b, 0.0);
    QVERIFY(!never.minMaxValid);
}

void TstImgData::render()
{
    const int w = 4, h = 3;
    std::vector<quint16> v = { 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 110 };
    ItexWriter wr(w, h);
    const QString p = path("render.img");
    QVERIFY(wr.write16(p, v.data()));
    auto img = loadImage(p);
    QVERIFY(img && img->ready);

    FakeScale free;
    QImage out;
    img->renderTo(out, &free);
    QCOMPARE(out.size(), QSize(w, h));
    QCOMPARE(out.format(), QImage::Format_Grayscale8);
    QCOMPARE(free.vMin, 10.0);
    QCOMPARE(free.vMax, 110.0);
    QCOMPARE(free.rowCalls, h);
    QCOMPARE(int(out.constScanLine(0)[0]), 0);
    QCOMPARE(int(out.constScanLine(2)[3]), 255);
    QCOMPARE(int(out.constScanLine(1)[0]), free.level(50));

    // A fixed scale keeps its limits; values outside clip to black and white.
    FakeScale fixed;
    fixed.fixed = true;
    fixed.vMin = 40;
    fixed.vMax = 60;
    img->renderTo(out, &fixed);
    QCOMPARE(fixed.autoCalls, 1);
    QCOMPARE(fixed.vMin, 40.0);
    QCOMPARE(fixed.vMax, 60.0);
    QCOMPARE(int(out.constScanLine(0)[0]), 0);
    QCOMPARE(int(out.constScanLine(1)[0]), 127);
    QCOMPARE(int(out.constScanLine(2)[0]), 255);

    // An image that never loaded leaves the picture alone.
    ImgDataITEX never;
    QImage keep(2, 2, QImage::Format_Grayscale8);
    keep.fill(9);
    never.renderTo(keep, &free);
    QCOMPARE(keep.size(), QSize(2, 2));
    QCOMPARE(int(keep.constScanLine(0)[0]), 9);
}

void TstImgData::tiffWithoutDirectoryIsRefused()
{
    // A header that points past the end of the file: no pixels, no image.
    const QString p = path("pic.tif");
    writeBytes(p, QByteArray("II*\0\x08\0\0\0", 8));
    LogCapture c;
    auto img = loadImage(p);
    QVERIFY(img && !img->ready);
    QCOMPARE(img->width, 0);
    QVERIFY2(img->error.startsWith("TIFF image refused (damaged or unreadable TIFF: "), qPrintable(img->error));
    // The reader only keeps the reason: whoever loaded the file says it, once.
    QCOMPARE(c.lines(), QStringList {});
}

void TstImgData::concurrentReads()
{
    const int w = 97, h = 61;
    std::vector<quint32> v(w * h);
    for (int i = 0; i < w * h; ++i)
        v[i] = quint32(i) * 2654435761u;
    ItexWriter wr(w, h, 4);
    const QString p = path("concurrent.img");
    QVERIFY(wr.write32(p, v.data()));
    auto img = loadImage(p);
    QVERIFY(img && img->ready);

    // Each thread sums every row and every column with its own buffers.
    auto sweep = [&img, w, h]() {
        std::vector<double> row(w), col(h);
        double sum = 0;
        for (int rep = 0; rep < 20; ++rep) {
            for (int y = 0; y < h; ++y) {
                img->readRow(y, row.data());
                for (double x : row)
                    sum += x * (y + 1);
            }
            for (int x = 0; x < w; ++x) {
                img->readColumn(x, col.data());
                for (int y = 0; y < h; ++y)
                    sum += col[y] * (x + 1);
            }
        }
        return sum;
    };
    const double single = sweep();
    QVERIFY(single > 0);
    const int n = 4;
    std::vector<double> sums(n, 0.0);
    std::vector<QThread*> threads;
    for (int t = 0; t < n; ++t)
        threads.push_back(QThread::create([&sums, &sweep, t]() { sums[t] = sweep(); }));
    for (QThread* t : threads)
        t->start();
    for (QThread* t : threads) {
        QVERIFY(t->wait(30000));
        delete t;
    }
    for (double s : sums)
        QCOMPARE(s, single);
}

void TstImgData::garbage()
{
    // Random headers built from real property pieces: whatever loads must fit its file.
    const char* keys[] = { "Prop_ImageWidth=", "Prop_ImageHeight=", "Prop_ImageWidth=", "Prop_ImageHeight=",
                           "BytesPerPixel=", "areSource=", "Prop_ExposureTime1=", " Prop_ImageWidth=", "\"", "" };
    const char* values[] = { "7", "3", "2", "4", "7", "3", "2", "4", "65535", "2147483647", "-3", "x",
                             "\"0,0,9,5\"", "\"1,2", "" };
    const char* seps[] = { ",", ",", ",", ",", ",", "", " ", "\"" };
    quint32 s = 99;
    auto next = [&s]() { s = s * 1664525u + 1013904223u; return s >> 8; };
    auto pick = [&next](const auto& list) { return list[next() % (sizeof list / sizeof list[0])]; };
    const QString p = path("garbage.img");
    LogCapture quiet; // the readers complain about most of these
    int loaded = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray comment;
        const int parts = 2 + int(next() % 5);
        for (int i = 0; i < parts; ++i)
            comment += QByteArray(pick(keys)) + pick(values) + pick(seps);
        QByteArray px(int(next() % 200), '\0');
        for (char& c : px)
            c = char(next());
        const int len = next() % 4 == 0 ? int(next() % 400) : -1;
        QByteArray bytes = itexBytes(comment, px, len);
        if (next() % 5 == 0)
            bytes.truncate(int(next() % bytes.size()));
        writeBytes(p, bytes);
        for (bool preload : { true, false }) {
            ImgDataITEX img;
            img.fileName = p;
            img.preload = preload;
            if (!img.load())
                continue;
            ++loaded;
            QVERIFY(img.width > 0 && img.height > 0);
            QVERIFY(qint64(img.width) * img.height * img.bytesPerPixel <= bytes.size());
            double mn, mx;
            img.getMinMax(mn, mx);
            std::vector<double> col(size_t(img.height));
            img.readColumn(img.width - 1, col.data());
        }
    }
    QVERIFY2(loaded > 10, qPrintable(QString::number(loaded)));
}

void TstImgData::refusesWhatItCannotReadWhole_data()
{
    QTest::addColumn<QString>("attack");
    QTest::addColumn<QString>("reason"); // empty: read, and read whole from the first file
    QTest::newRow("rewritten in place") << "rewrite" << "the file was rewritten while it was read";
    QTest::newRow("grown") << "append" << "the file changed from 109 to 113 bytes while it was read";
    QTest::newRow("replaced by another file") << "rename" << "";
    QTest::newRow("name not UTF-8") << "name" << "the file name is not valid UTF-8";
    QTest::newRow("no read permission") << "permission" << "not readable: Permission denied";
}

void TstImgData::refusesWhatItCannotReadWhole()
{
    QFETCH(QString, attack);
    QFETCH(QString, reason);
    const QByteArray comment("Prop_ImageWidth=2,Prop_ImageHeight=2,");
    const QByteArray first("\x01\x00\x02\x00\x03\x00\x04\x00", 8), second("\x09\x00\x09\x00\x09\x00\x09\x00", 8);
    const QString p = path(QStringLiteral("changed-%1.img").arg(attack));
    writeBytes(p, itexBytes(comment, first));
    if (attack == "name" || attack == "permission") {
        QString why;
        QString name = p;
        if (attack == "name") {
            // Bytes no UTF-8 decoder takes, as a directory listing hands them on.
            const QByteArray raw = QFile::encodeName(tmp.path()) + "/bad-\xff.img";
            QCOMPARE(::rename(QFile::encodeName(p).constData(), raw.constData()), 0);
            name = QFile::decodeName(raw);
            std::unique_ptr<ImgData> img(loadImgData(name, true, &why));
            QVERIFY(!img);
            QVERIFY2(why.startsWith(reason), qPrintable(why));
            return;
        }
        // As another user than root, for whom every file is readable.
        QVERIFY(QFile::setPermissions(p, QFileDevice::WriteOwner));
        QVERIFY(QFile::setPermissions(tmp.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                      | QFileDevice::ReadOther | QFileDevice::ExeOther));
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(3);
            std::unique_ptr<ImgData> img(loadImgData(p, true, &why));
            const QByteArray text = why.toUtf8();
            [[maybe_unused]] ssize_t n = ::write(fds[1], text.constData(), size_t(text.size()));
            ::_exit(img ? 1 : 0);
        }
        ::close(fds[1]);
        QByteArray said(512, '\0');
        const ssize_t n = ::read(fds[0], said.data(), size_t(said.size()));
        ::close(fds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QVERIFY2(QString::fromUtf8(said.left(n > 0 ? n : 0)).startsWith(reason), said.constData());
        return;
    }
    ChangedUnderneath img;
    img.fileName = p;
    img.change = [&] {
        if (attack == "rewrite") {
            QFile f(p);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.seek(64 + comment.size()));
            QCOMPARE(f.write(second), second.size());
            f.close();
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        } else if (attack == "append") {
            QFile f(p);
            QVERIFY(f.open(QIODevice::Append));
            QCOMPARE(f.write("\0\0\0\0", 4), 4);
        } else {
            writeBytes(p + ".new", itexBytes(comment, second));
            QVERIFY(::rename(QFile::encodeName(p + ".new").constData(), QFile::encodeName(p).constData()) == 0);
        }
    };
    QCOMPARE(img.load(), reason.isEmpty());
    if (!reason.isEmpty()) {
        QVERIFY2(img.error.contains(reason), qPrintable(img.error));
        return;
    }
    // The pixels of the file whose header was read, not a mix.
    double row[2];
    img.readRow(1, row);
    QCOMPARE(row[0], 3.0);
    QCOMPARE(row[1], 4.0);
}

QTEST_GUILESS_MAIN(TstImgData)
#include "tst_imgdata.moc"
