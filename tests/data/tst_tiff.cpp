#include "Failures.h"
#include "HSgm.h"
#include "ImgData.h"
#include "ImgDataTiff.h"
#include "ImgDatas.h"
#include "ItexWriter.h"
#include "SampleWriter.h"
#include "SinogramGen.h"
#include "TiffSampleWriter.h"
#include "TiffWriter.h"
#include "LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <limits>
#include <memory>
#include <vector>

Q_DECLARE_METATYPE(TiffLayout)

namespace {

const int kW = 37, kH = 21; // neither a multiple of the tile size nor of the strip rows

// Distinct values that fill each sample type's range.
std::vector<double> pattern(int bits, int format, int w = kW, int h = kH, int seed = 0)
{
    std::vector<double> v(size_t(w) * h);
    for (int i = 0; i < w * h; ++i) {
        const quint32 k = quint32(i + seed) * 2654435761u;
        if (format == 3)
            v[size_t(i)] = double(float((double(k % 200000) - 50000.0) / 16.0));
        else
            v[size_t(i)] = double(bits == 32 ? k : k % (1u << bits));
    }
    return v;
}

TiffLayout layout(int bits, int format, int compression, bool tiled = false, bool bigEndian = false)
{
    TiffLayout l;
    l.bits = bits;
    l.sampleFormat = format;
    l.compression = compression;
    l.tiled = tiled;
    l.bigEndian = bigEndian;
    return l;
}

void checkPixels(ImgData* img, const std::vector<double>& want, int w, int h)
{
    QVERIFY(img && img->ready);
    QCOMPARE(img->width, w);
    QCOMPARE(img->height, h);
    std::vector<double> row(static_cast<size_t>(w)), col(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        img->readRow(y, row.data());
        for (int x = 0; x < w; ++x)
            QCOMPARE(row[size_t(x)], want[size_t(y) * w + x]);
    }
    img->readColumn(w - 1, col.data());
    for (int y = 0; y < h; ++y)
        QCOMPARE(col[size_t(y)], want[size_t(y) * w + w - 1]);
}

} // namespace

class TstTiff : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    int serial = 0;
    QString fresh(const QString& suffix = QStringLiteral(".tif")) { return tmp.filePath(QStringLiteral("t%1%2").arg(serial++).arg(suffix)); }

private slots:
    void readsEveryLayout_data();
    void readsEveryLayout();
    void refusesWithTheReason_data();
    void refusesWithTheReason();
    void stackLoadsEveryPage();
    void stackWithinTheMemoryBudgetOnly();
    void floatTiffRoundTrip();
    void floatTiffNeverHalfWritten_data();
    void floatTiffNeverHalfWritten();
    void tiffAndItexSeriesGiveOneSinogram();
};

void TstTiff::readsEveryLayout_data()
{
    QTest::addColumn<TiffLayout>("lay");
    const int none = 1, lzw = 5, deflate = 8, packbits = 32773;
    QTest::newRow("u8 none strips") << layout(8, 1, none);
    QTest::newRow("u8 packbits tiles") << layout(8, 1, packbits, true);
    QTest::newRow("u16 none strips") << layout(16, 1, none);
    QTest::newRow("u16 lzw strips") << layout(16, 1, lzw);
    QTest::newRow("u16 deflate tiles") << layout(16, 1, deflate, true);
    QTest::newRow("u16 packbits big-endian") << layout(16, 1, packbits, false, true);
    QTest::newRow("u16 none tiles big-endian") << layout(16, 1, none, true, true);
    QTest::newRow("u32 lzw tiles") << layout(32, 1, lzw, true);
    QTest::newRow("u32 none big-endian") << layout(32, 1, none, false, true);
    QTest::newRow("f32 none strips") << layout(32, 3, none);
    QTest::newRow("f32 deflate big-endian") << layout(32, 3, deflate, false, true);
    QTest::newRow("f32 lzw tiles") << layout(32, 3, lzw, true);
    TiffLayout oneStrip = layout(16, 1, deflate);
    oneStrip.rowsPerStrip = kH;
    QTest::newRow("u16 deflate one strip") << oneStrip;
}

void TstTiff::readsEveryLayout()
{
    QFETCH(TiffLayout, lay);
    const std::vector<double> px = pattern(lay.bits, lay.sampleFormat);
    // The suffix says nothing: the type test looks at the bytes.
    const QString p = fresh(QStringLiteral(".img"));
    TiffSampleWriter wr(lay);
    QVERIFY2(wr.write(p, kW, kH, { px.data() }), qPrintable(wr.error()));
    QCOMPARE(int(imgFileType(p)), int(TIFF));
    for (bool preload : { true, false }) {
        std::unique_ptr<ImgData> img(loadImgData(p, preload));
        checkPixels(img.get(), px, kW, kH);
        QCOMPARE(img->expTime, 1.0);
        // Read whole: the file may go away once loaded.
        QVERIFY(img->heldBytes() >= qint64(kW) * kH);
    }
    ImgDatas set;
    QVERIFY(set.addFile(p));
    QVERIFY(QFile::remove(p));
    checkPixels(set.at(0), px, kW, kH);
}

void TstTiff::refusesWithTheReason_data()
{
    QTest::addColumn<TiffLayout>("lay");
    QTest::addColumn<QString>("damage");   // "", "garbage", "cut", "directory", "nan"
    QTest::addColumn<QString>("reason");   // the start of the reason
    TiffLayout rgb = layout(8, 1, 1);
    rgb.samplesPerPixel = 3;
    rgb.photometric = 2;
    TiffLayout two = layout(16, 1, 1);
    two.samplesPerPixel = 2;
    TiffLayout palette = layout(8, 1, 1);
    palette.photometric = 3;
    QTest::newRow("colour") << rgb << "" << "colour image, photometric interpretation 2";
    QTest::newRow("palette") << palette << "" << "colour image, photometric interpretation 3";
    QTest::newRow("two samples") << two << "" << "2 samples per pixel, only one is read";
    QTest::newRow("1-bit") << layout(1, 1, 1) << "" << "1-bit pixels";
    TiffLayout jpeg = layout(8, 1, 7);
    jpeg.rowsPerStrip = 8; // what the JPEG codec writes
    QTest::newRow("jpeg") << jpeg << "" << "JPEG-compressed";
    QTest::newRow("signed") << layout(16, 2, 1) << "" << "signed 16-bit pixels";
    QTest::newRow("double") << layout(64, 3, 1) << "" << "64-bit floating-point pixels";
    QTest::newRow("nan") << layout(32, 3, 5) << "nan" << "NaN or infinite pixel values";
    QTest::newRow("garbage in an LZW strip") << layout(16, 1, 5) << "garbage" << "damaged pixel data in strip 0";
    QTest::newRow("garbage in a Deflate tile") << layout(16, 1, 8, true) << "garbage" << "damaged pixel data in tile 0";
    QTest::newRow("cut short") << layout(16, 1, 1) << "cut" << "damaged or unreadable TIFF";
    QTest::newRow("directory offset beyond the end") << layout(16, 1, 1) << "directory" << "damaged or unreadable TIFF";
}

void TstTiff::refusesWithTheReason()
{
    QFETCH(TiffLayout, lay);
    QFETCH(QString, damage);
    QFETCH(QString, reason);
    std::vector<double> px = pattern(lay.bits == 1 ? 1 : lay.bits, lay.sampleFormat);
    if (damage == QLatin1String("nan"))
        px[77] = std::numeric_limits<double>::quiet_NaN();
    const QString p = fresh();
    TiffSampleWriter wr(lay);
    QVERIFY2(wr.write(p, kW, kH, { px.data() }), qPrintable(wr.error()));
    QFile f(p);
    if (damage == QLatin1String("garbage")) {
        // The first strip or tile follows the 8-byte header.
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(8));
        f.write(QByteArray(64, '\xFF'));
        f.close();
    } else if (damage == QLatin1String("cut")) {
        QVERIFY(f.resize(f.size() * 9 / 10));
    } else if (damage == QLatin1String("directory")) {
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(4));
        f.write("\xF0\xFF\xFF\x0F", 4);
        f.close();
    }
    const int before = Failures::count(Failures::Load);
    ImgDatas set;
    QStringList log;
    {
        LogCapture c;
        std::unique_ptr<ImgData> img(loadImgData(p));
        QVERIFY(img);
        QVERIFY(!img->ready);
        QVERIFY2(img->error.startsWith(QStringLiteral("TIFF image refused (") + reason), qPrintable(img->error));
        QVERIFY(!set.addFile(p));
        log = c.lines();
    }
    // Said once, by the set that refused it, with the file and the reason.
    const QStringList said = log.filter(QStringLiteral("refused"));
    QVERIFY2(said.size() == 1 && said.first().contains(p) && said.first().contains(QStringLiteral("TIFF image refused (") + reason),
             qPrintable(log.join('\n')));
    QCOMPARE(set.failed, QStringList { p });
    QCOMPARE(set.count(), 0);
    QCOMPARE(Failures::count(Failures::Load), before + 1);
    QVERIFY(set.runRefusal(QString(), QString()).startsWith(QStringLiteral("1 of 1 selected files failed")));
}

void TstTiff::stackLoadsEveryPage()
{
    const int pages = 5;
    std::vector<std::vector<double>> px;
    QList<const double*> ptrs;
    for (int k = 0; k < pages; ++k) {
        px.push_back(pattern(16, 1, kW, kH, 1000 * k));
        ptrs << px.back().data();
    }
    const QString p = fresh();
    TiffSampleWriter wr(layout(16, 1, 5));
    QVERIFY(wr.write(p, kW, kH, ptrs));
    QCOMPARE(ImgDataTiff::pageCount(p), pages);

    ImgDatas set;
    QVERIFY(set.addTiffStack(p));
    QCOMPARE(set.count(), pages);
    QVERIFY(set.failed.isEmpty());
    for (int k = 0; k < pages; ++k)
        checkPixels(set.at(k), px[size_t(k)], kW, kH);
    // As one file among others, a stack gives its first page.
    set.clear();
    QVERIFY(set.addFile(p));
    QCOMPARE(set.count(), 1);
    checkPixels(set.at(0), px[0], kW, kH);

    // Pages that do not fit the series are each counted by their number.
    std::vector<double> small = pattern(16, 1, 8, 8);
    const QString other = fresh();
    QVERIFY(TiffSampleWriter(layout(16, 1, 1)).write(other, 8, 8, { small.data() }));
    set.clear();
    QVERIFY(set.addFile(other));
    {
        LogCapture quiet;
        QVERIFY(!set.addTiffStack(p));
    }
    QCOMPARE(set.count(), 1);
    QCOMPARE(set.failed, (QStringList { p + " (page 1)", p + " (page 2)", p + " (page 3)", p + " (page 4)",
                                        p + " (page 5)" }));
}

void TstTiff::stackWithinTheMemoryBudgetOnly()
{
    // 6 pages of 300 x 300 16-bit: 180 000 pixel bytes each, 1.1 MB in all.
    std::vector<double> px = pattern(16, 1, 300, 300);
    const QString p = fresh();
    QVERIFY(TiffSampleWriter(layout(16, 1, 8)).write(p, 300, 300, QList<const double*>(6, px.data())));
    ImgDatas set;
    qputenv("ZUVO2_MEMORY_BUDGET_MB", "1");
    bool added = true;
    QStringList log;
    {
        LogCapture c;
        added = set.addTiffStack(p);
        log = c.lines();
    }
    // Single TIFF files are sized from their directories too.
    const QString asFiles = set.memoryRefusal(QStringList(6, p), false);
    qunsetenv("ZUVO2_MEMORY_BUDGET_MB");
    QCOMPARE(asFiles, QStringLiteral("Series not loaded: 6 files need 1.1 MB, 1.0 MB of memory available"));
    QVERIFY(!added);
    QCOMPARE(set.count(), 0);
    QCOMPARE(set.failed, QStringList { p });
    QCOMPARE(log, QStringList { "Series not loaded: 6 pages need 1.1 MB, 1.0 MB of memory available: " + p });
    QVERIFY(set.addTiffStack(p));
    QCOMPARE(set.count(), 6);
    QCOMPARE(set.bytesHeld(), qint64(6) * 300 * 300 * 2);
}

void TstTiff::floatTiffRoundTrip()
{
    const int w = 41, h = 23;
    std::vector<double> v(size_t(w) * h);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = std::sin(double(i)) * 1e-3 + double(i % 7) - 3.0;
    const QString p = tmp.filePath(QStringLiteral("slice-00012.tif"));
    const QString text = QStringLiteral("ZUVO2 region x0=10 z0=20 scale=1/cm μ");
    QString why;
    QVERIFY2(writeFloatTiff(p, v.data(), w, h, text, &why), qPrintable(why));
    int bits = 0, format = 0;
    QCOMPARE(TiffSampleWriter::description(p, &bits, &format), text);
    QCOMPARE(bits, 32);
    QCOMPARE(format, 3);
    // Rounded through a float array. GCC 12.2 at -O3 compiles the loop
    // "asFloat[i] = double(float(v[i]))" with an epilogue that copies its
    // last two values unrounded (a vectorizer fault, seen in the assembly).
    const std::vector<float> rounded(v.begin(), v.end());
    const std::vector<double> asFloat(rounded.begin(), rounded.end());
    std::unique_ptr<ImgData> img(loadImgData(p));
    checkPixels(img.get(), asFloat, w, h);
    // Nothing but the file itself is left in its directory.
    QCOMPARE(QDir(tmp.path()).entryList({ "slice-00012.tif*" }, QDir::Files), QStringList { "slice-00012.tif" });
}

void TstTiff::floatTiffNeverHalfWritten_data()
{
    QTest::addColumn<QString>("where");     // "missing dir" or "disk full"
    QTest::addColumn<QString>("reason");    // the system's words in the message
    QTest::newRow("missing directory") << "missing dir" << "No such file or directory";
    QTest::newRow("file size limit") << "disk full" << "File too large";
}

void TstTiff::floatTiffNeverHalfWritten()
{
    QFETCH(QString, where);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const int w = 256, h = 256;
    std::vector<float> v(size_t(w) * h, 1.5f);
    QString p = dir.filePath(QStringLiteral("out.tif"));
    if (where == QLatin1String("missing dir"))
        p = dir.filePath(QStringLiteral("gone/out.tif"));
    // A complete earlier result under the name must survive a failed write.
    QFile old(p);
    if (where != QLatin1String("missing dir")) {
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier");
        old.close();
    }
    struct rlimit was;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &was), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    if (where == QLatin1String("disk full")) {
        struct rlimit low = was;
        low.rlim_cur = 100 * 1024; // less than the 256 KB of pixels
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &low), 0);
    }
    QString why;
    const bool ok = writeFloatTiff(p, v.data(), w, h, QStringLiteral("d"), &why);
    setrlimit(RLIMIT_FSIZE, &was);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!ok);
    QVERIFY2(why.contains(reason), qPrintable(why));
    if (where == QLatin1String("disk full")) {
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("earlier"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList { "out.tif" });
    }
}

// The same counts as ITEX files and as TIFF files make one sinogram.
void TstTiff::tiffAndItexSeriesGiveOneSinogram()
{
    SampleOptions o;
    o.outDir = tmp.filePath(QStringLiteral("sample"));
    o.width = 48;
    o.height = 8;
    o.nProj = 24;
    o.truthSlices = 1;
    SampleWriter sw(o);
    QVERIFY(sw.valid());
    QVERIFY2(sw.write(), qPrintable(sw.error()));
    ImgDatas itex, tiff;
    std::unique_ptr<ImgData> itexRef[2], tiffRef[2];
    const QString refs[2] = { QDir(o.outDir).filePath(sw.i0Name(0)), QDir(o.outDir).filePath(sw.bgName()) };
    // Every image once through a TIFF of its own, in another layout each time.
    const TiffLayout lays[] = { layout(16, 1, 5), layout(16, 1, 8, true), layout(32, 1, 32773, false, true),
                                layout(32, 3, 1, true) };
    int n = 0;
    auto asTiff = [&](const QString& itexPath) {
        std::unique_ptr<ImgData> src(loadImgData(itexPath));
        std::vector<double> px(size_t(src->width) * src->height);
        for (int y = 0; y < src->height; ++y)
            src->readRow(y, px.data() + size_t(y) * src->width);
        const QString t = fresh();
        TiffSampleWriter(lays[n++ % 4]).write(t, src->width, src->height, { px.data() });
        return t;
    };
    for (int k = 0; k < o.nProj; ++k) {
        const QString f = QDir(o.outDir).filePath(sw.seriesName(k, 0));
        QVERIFY(itex.addFile(f));
        QVERIFY(tiff.addFile(asTiff(f)));
    }
    for (int r = 0; r < 2; ++r) {
        itexRef[r].reset(loadImgData(refs[r]));
        tiffRef[r].reset(loadImgData(asTiff(refs[r])));
        QVERIFY(itexRef[r]->ready && tiffRef[r]->ready);
    }
    ImgData* refSlot[2][2] = { { itexRef[0].get(), itexRef[1].get() }, { tiffRef[0].get(), tiffRef[1].get() } };
    itex.i0Img = &refSlot[0][0];
    itex.bgImg = &refSlot[0][1];
    tiff.i0Img = &refSlot[1][0];
    tiff.bgImg = &refSlot[1][1];
    for (int k = 0; k < o.nProj; ++k)
        checkPixels(tiff.at(k), [&] {
            std::vector<double> px(size_t(o.width) * o.height);
            for (int y = 0; y < o.height; ++y)
                itex.at(k)->readRow(y, px.data() + size_t(y) * o.width);
            return px;
        }(), o.width, o.height);
    HSgm a, b;
    genSinogram(itex, &a, true, sw.cor(), 3);
    genSinogram(tiff, &b, true, sw.cor(), 3);
    QVERIFY(a.hasData());
    QCOMPARE(b.nx, a.nx);
    QCOMPARE(b.nth, o.nProj);
    QCOMPARE(b.absorb, a.absorb);
    QVERIFY(*std::max_element(a.absorb.begin(), a.absorb.end()) > 0.1);
}

QTEST_GUILESS_MAIN(TstTiff)
#include "tst_tiff.moc"
