#include "Failures.h"
#include "H5SampleWriter.h"
#include "H5Scan.h"
#include "HSgm.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ItexWriter.h"
#include "SinogramGen.h"
#include "LogCapture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

const int kP = 12, kR = 8, kC = 40, kWhites = 20, kDarks = 10;
const double kI0 = 30000, kBg = 100;

// A disc of absorbing matter turning with the sample, in counts, in the
// order of /exchange/data.
std::vector<double> projections()
{
    std::vector<double> v(size_t(kP) * kR * kC);
    for (int p = 0; p < kP; ++p)
        for (int r = 0; r < kR; ++r)
            for (int c = 0; c < kC; ++c) {
                const double x = c - kC / 2.0 + 0.5 - 4 * std::cos(M_PI * p / kP);
                const double path = x * x < 64 ? 2 * std::sqrt(64 - x * x) : 0;
                v[(size_t(p) * kR + r) * kC + c] = std::round(kBg + (kI0 - kBg) * std::exp(-0.03 * path) + r);
            }
    return v;
}

// Frames scattered evenly around level: their mean is level exactly.
std::vector<double> frames(int n, double level, double spread)
{
    std::vector<double> v(size_t(n) * kR * kC);
    for (int k = 0; k < n; ++k)
        for (size_t i = 0; i < size_t(kR) * kC; ++i)
            v[size_t(k) * kR * kC + i] = level + (k % 2 ? spread : -spread) + double(i % 5);
    return v;
}

std::vector<double> angles()
{
    std::vector<double> v(kP);
    for (int p = 0; p < kP; ++p)
        v[size_t(p)] = 180.0 * p / (kP - 1); // 0 .. 180 inclusive
    return v;
}

QList<H5Dataset> goodScan(const QString& type = "u16")
{
    return H5SampleWriter::exchange(kR, kC, projections(), kP, frames(kWhites, kI0, 37), kWhites,
                                    frames(kDarks, kBg, 3), kDarks, angles(), type);
}

} // namespace

class TstH5Scan : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    int serial = 0;
    QString fresh() { return tmp.filePath(QStringLiteral("s%1.h5").arg(serial++)); }

private slots:
    void loadsTheWholeScan_data();
    void loadsTheWholeScan();
    void readsByHyperslab();
    void malformedLoadsNothing_data();
    void malformedLoadsNothing();
    void h5AndItexSeriesGiveOneSinogram();
    void anglesPlausibleOrRefused_data();
    void anglesPlausibleOrRefused();
    void fuzzSeeds_data();
    void fuzzSeeds();
};

void TstH5Scan::loadsTheWholeScan_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("uint16") << "u16";
    QTest::newRow("float32") << "f32";
}

void TstH5Scan::loadsTheWholeScan()
{
    QFETCH(QString, type);
    const QString f = fresh();
    QString why;
    QVERIFY2(H5SampleWriter::write(f, goodScan(type), &why), qPrintable(why));
    // A scan replaces the series before it, size and all.
    ImgDatas set;
    std::vector<quint16> small(9, 1);
    const QString itex = tmp.filePath(QStringLiteral("small-%1.img").arg(serial));
    QVERIFY(ItexWriter(3, 3).write16(itex, small.data()));
    QVERIFY(set.addFile(itex));
    QVERIFY2(loadH5Scan(f, set, &why), qPrintable(why));
    QCOMPARE(set.count(), kP);
    QCOMPARE(set.width, kC);
    QCOMPARE(set.height, kR);
    QVERIFY(set.failed.isEmpty());
    const std::vector<double> want = projections();
    std::vector<double> row(kC);
    for (int p = 0; p < kP; ++p)
        for (int r = 0; r < kR; ++r) {
            set.at(p)->readRow(r, row.data());
            for (int c = 0; c < kC; ++c)
                QCOMPARE(row[size_t(c)], want[(size_t(p) * kR + r) * kC + c]);
        }
    QVERIFY(set.i0() && set.bg());
    set.i0()->readRow(3, row.data());
    QCOMPARE(row[7], kI0 + (3 * kC + 7) % 5);
    set.bg()->readRow(5, row.data());
    QCOMPARE(row[9], kBg + (5 * kC + 9) % 5);
    const std::vector<double> a = angles();
    QCOMPARE(set.anglesDeg, QVector<double>(a.begin(), a.end()));
    QCOMPARE(set.runRefusal(QString(), QString()), QString());
    // The scan's I0 and BG go with its projections.
    set.clearImgs();
    QCOMPARE(set.i0(), nullptr);
    QVERIFY(set.anglesDeg.isEmpty());
}

void TstH5Scan::readsByHyperslab()
{
    const QString f = fresh();
    QList<H5Dataset> sets = goodScan();
    sets.removeLast(); // no theta: still a scan, with no angles
    QVERIFY(H5SampleWriter::write(f, sets));
    H5Scan scan;
    QVERIFY2(scan.open(f), qPrintable(scan.error()));
    QCOMPARE(scan.projections(), kP);
    QCOMPARE(scan.whites(), kWhites);
    QCOMPARE(scan.darks(), kDarks);
    QVERIFY(scan.anglesDeg().isEmpty());
    const std::vector<double> want = projections();
    std::vector<double> one, band;
    QVERIFY(scan.readProjection(7, one));
    QCOMPARE(one, std::vector<double>(want.begin() + 7 * kR * kC, want.begin() + 8 * kR * kC));
    QVERIFY(scan.readRows(2, 3, band));
    QCOMPARE(band.size(), size_t(kP) * 3 * kC);
    for (int p = 0; p < kP; ++p)
        for (int r = 0; r < 3; ++r)
            QCOMPARE(band[(size_t(p) * 3 + r) * kC + 11], want[(size_t(p) * kR + r + 2) * kC + 11]);
    QVERIFY(!scan.readRows(6, 3, band));
    QVERIFY(!scan.readProjection(kP, one));
    QVERIFY(scan.error().startsWith("no projection 12 of 12"));
}

void TstH5Scan::malformedLoadsNothing_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("reason"); // the start of the reason
    QTest::newRow("no projections") << "drop 0" << "no dataset /exchange/data";
    QTest::newRow("no flats") << "drop 1" << "no dataset /exchange/data_white";
    QTest::newRow("no darks") << "drop 2" << "no dataset /exchange/data_dark";
    QTest::newRow("projections of rank 2") << "rank2" << "/exchange/data has rank 2, not 3";
    QTest::newRow("signed projections") << "i32" << "/exchange/data is neither uint16 nor float32";
    QTest::newRow("flats of another size") << "white size" << "/exchange/data_white frames are 8 x 39, the projections 8 x 40";
    QTest::newRow("too few angles") << "theta short" << "/exchange/theta has 11 angles for 12 projections";
    QTest::newRow("angle not a number") << "theta nan" << "/exchange/theta holds an angle that is not a number";
    QTest::newRow("NaN in a float projection") << "data nan" << "projection 3: Image has NaN or infinite pixel values";
    QTest::newRow("not HDF5") << "text" << "not an HDF5 file";
    QTest::newRow("cut short") << "cut" << "can not open the HDF5 file (truncated file";
    QTest::newRow("too big for the memory budget") << "budget" << "12 projections of 256 x 256 need 2.5 MB, 1.0 MB of memory available";
}

void TstH5Scan::malformedLoadsNothing()
{
    QFETCH(QString, change);
    QFETCH(QString, reason);
    QList<H5Dataset> sets = goodScan(change == QLatin1String("data nan") ? "f32" : "u16");
    if (change.startsWith(QLatin1String("drop ")))
        sets.removeAt(change.mid(5).toInt());
    else if (change == QLatin1String("rank2"))
        sets[0].dims = { kP * kR, kC };
    else if (change == QLatin1String("i32"))
        sets[0].type = "i32";
    else if (change == QLatin1String("white size")) {
        sets[1].dims = { kWhites, kR, kC - 1 };
        sets[1].values.resize(size_t(kWhites) * kR * (kC - 1));
    } else if (change == QLatin1String("theta short")) {
        sets[3].dims = { kP - 1 };
        sets[3].values.resize(kP - 1);
    } else if (change == QLatin1String("theta nan"))
        sets[3].values[4] = std::numeric_limits<double>::quiet_NaN();
    else if (change == QLatin1String("data nan"))
        sets[0].values[size_t(3) * kR * kC + 5] = std::numeric_limits<double>::infinity();
    else if (change == QLatin1String("budget"))
        sets = { H5Dataset { "/exchange/data", "u16", { kP, 256, 256 }, std::vector<double>(size_t(kP) << 16) },
                 H5Dataset { "/exchange/data_white", "u16", { 2, 256, 256 }, std::vector<double>(size_t(2) << 16) },
                 H5Dataset { "/exchange/data_dark", "u16", { 2, 256, 256 }, std::vector<double>(size_t(2) << 16) } };
    const QString f = fresh();
    QVERIFY(H5SampleWriter::write(f, sets));
    if (change == QLatin1String("text")) {
        QFile t(f);
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write("not a scan\n");
    } else if (change == QLatin1String("cut")) {
        QFile t(f);
        QVERIFY(t.resize(t.size() / 2));
    }
    // Whatever was loaded before goes: a run must not start on it instead.
    ImgDatas set;
    const QString itex = tmp.filePath(QStringLiteral("before-%1.img").arg(serial));
    std::vector<quint16> u16(size_t(kR) * kC, 5);
    QVERIFY(ItexWriter(kC, kR).write16(itex, u16.data()));
    QVERIFY(set.addFile(itex));
    const int before = Failures::count(Failures::Load);
    QString why;
    bool ok = true;
    {
        LogCapture quiet;
        if (change == QLatin1String("budget"))
            qputenv("ZUVO2_MEMORY_BUDGET_MB", "1");
        ok = loadH5Scan(f, set, &why);
    }
    qunsetenv("ZUVO2_MEMORY_BUDGET_MB");
    QVERIFY(!ok);
    QVERIFY2(why.startsWith(reason), qPrintable(why));
    QCOMPARE(set.count(), 0);
    QCOMPARE(set.failed, QStringList { f });
    QCOMPARE(set.i0(), nullptr);
    QCOMPARE(Failures::count(Failures::Load), before + 1);
    QVERIFY(set.runRefusal(QString(), QString()).startsWith("1 of 1 selected files failed to load"));
}

void TstH5Scan::anglesPlausibleOrRefused_data()
{
    // theta: "deg" 0 .. 180, "rad" 0 .. pi, "same" all 10, "huge" degrees
    // times 1e6, "small" 0 .. 3; the units attribute; the user's unit.
    QTest::addColumn<QString>("theta");
    QTest::addColumn<QString>("units");
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("refusal");  // empty: loads with 0 .. 180 degrees (0 .. 3 for "small")
    QTest::newRow("degrees without units") << "deg" << "" << "auto" << "";
    QTest::newRow("degrees labelled") << "deg" << "degrees" << "auto" << "";
    QTest::newRow("radians labelled") << "rad" << "rad" << "auto" << "";
    QTest::newRow("radians labelled in full") << "rad" << "radians" << "auto" << "";
    QTest::newRow("radians unlabelled") << "rad" << "" << "auto"
                                        << "/exchange/theta: angles look like radians (span 3.14159); set units or --angle-unit";
    QTest::newRow("radians given by the user") << "rad" << "" << "rad" << "";
    QTest::newRow("user's unit wins") << "deg" << "rad" << "deg" << "";
    QTest::newRow("a small span labelled degrees") << "small" << "deg" << "auto" << "";
    QTest::newRow("all equal") << "same" << "deg" << "auto" << "/exchange/theta: all 12 angles are equal (10)";
    QTest::newRow("times a million") << "huge" << "" << "auto" << "/exchange/theta: angles span 1.8e+08 degrees, more than a turn";
    QTest::newRow("unknown unit") << "deg" << "grad" << "auto" << "/exchange/theta: unknown angle unit \"grad\"";
}

void TstH5Scan::anglesPlausibleOrRefused()
{
    QFETCH(QString, theta);
    QFETCH(QString, units);
    QFETCH(QString, given);
    QFETCH(QString, refusal);
    QList<H5Dataset> sets = goodScan();
    std::vector<double>& a = sets[3].values;
    for (int p = 0; p < kP; ++p) {
        const double deg = 180.0 * p / (kP - 1);
        a[size_t(p)] = theta == "rad" ? deg * M_PI / 180 : theta == "same" ? 10 : theta == "huge" ? deg * 1e6
                       : theta == "small" ? deg / 60 : deg;
    }
    sets[3].units = units;
    const QString f = fresh();
    QVERIFY(H5SampleWriter::write(f, sets));
    ImgDatas set;
    QVERIFY(ScanAngles::parseUnit(given, set.angleUnit));
    QString why;
    bool ok = false;
    {
        LogCapture quiet;
        ok = loadH5Scan(f, set, &why);
    }
    QVERIFY2(refusal.isEmpty() || why.startsWith(refusal), qPrintable(why));
    QCOMPARE(ok, refusal.isEmpty());
    if (ok) {
        QCOMPARE(set.anglesDeg.size(), kP);
        QVERIFY(std::fabs(set.anglesDeg.first()) < 1e-9);
        QVERIFY2(std::fabs(set.anglesDeg.last() - (theta == "small" ? 3 : 180)) < 1e-9, qPrintable(QString::number(set.anglesDeg.last())));
    }
}

// The fuzz target's seeds: the good ones load (3 projections of 2 x 3), the
// others are refused with their cause.
void TstH5Scan::fuzzSeeds_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    for (const char* f : {"valid_u16_theta", "valid_f32", "valid_f32_be", "valid_deflate_chunks", "valid_scaleoffset_chunks"})
        QTest::newRow(f) << f << "";
    QTest::newRow("projections never written") << "data_never_written" << "/exchange/data holds frames that were never written";
    QTest::newRow("flat chunks never written") << "chunks_never_written" << "/exchange/data_white holds frames that were never written";
    QTest::newRow("2^31 projections of nothing") << "huge_unwritten_data" << "/exchange/data holds frames that were never written";
    QTest::newRow("infinity in a float projection") << "data_f32_infinity" << "projection 0: Image has NaN or infinite pixel values";
    QTest::newRow("cut in half") << "cut_in_half" << "can not open the HDF5 file";
    QTest::newRow("superblock only") << "superblock_only" << "can not open the HDF5 file";
    QTest::newRow("end of file far beyond") << "eof_address_huge" << "can not open the HDF5 file";
    QTest::newRow("text") << "not_hdf5" << "not an HDF5 file";
}

void TstH5Scan::fuzzSeeds()
{
    QFETCH(QString, file);
    QFETCH(QString, reason);
    ImgDatas set;
    QString why;
    bool ok = false;
    {
        LogCapture quiet;
        ok = loadH5Scan(QStringLiteral(ZUVO2_SOURCE_DIR "/tests/fuzz/corpus/h5/") + file + ".h5", set, &why);
    }
    QVERIFY2(ok == reason.isEmpty(), qPrintable(why));
    QVERIFY2(ok || why.startsWith(reason), qPrintable(why));
    QCOMPARE(set.count(), ok ? 3 : 0);
    if (ok)
        QCOMPARE(QSize(set.width, set.height), QSize(3, 2));
}

// The same counts in one Data Exchange file and as ITEX files make one sinogram.
void TstH5Scan::h5AndItexSeriesGiveOneSinogram()
{
    const QString f = fresh();
    QVERIFY(H5SampleWriter::write(f, goodScan()));
    ImgDatas h5, itex;
    QString why;
    QVERIFY2(loadH5Scan(f, h5, &why), qPrintable(why));
    const std::vector<double> all = projections();
    ItexWriter wr(kC, kR);
    auto write = [&](const QString& name, const double* v) {
        std::vector<quint16> px(size_t(kR) * kC);
        for (size_t i = 0; i < px.size(); ++i)
            px[i] = quint16(v[i]);
        const QString p = tmp.filePath(name);
        return wr.write16(p, px.data()) ? p : QString();
    };
    for (int p = 0; p < kP; ++p)
        QVERIFY(itex.addFile(write(QStringLiteral("p-%1.img").arg(p), all.data() + size_t(p) * kR * kC)));
    const std::vector<double> i0 = frames(kWhites, kI0, 37), bg = frames(kDarks, kBg, 3);
    // Frames 0 and 1 straddle the level: their mean is the level itself.
    std::vector<double> i0Mean(size_t(kR) * kC), bgMean(i0Mean.size());
    for (size_t i = 0; i < i0Mean.size(); ++i) {
        i0Mean[i] = (i0[i] + i0[i0Mean.size() + i]) / 2;
        bgMean[i] = (bg[i] + bg[bgMean.size() + i]) / 2;
    }
    std::unique_ptr<ImgData> i0Img(loadImgData(write("i0.img", i0Mean.data())));
    std::unique_ptr<ImgData> bgImg(loadImgData(write("bg.img", bgMean.data())));
    ImgData* i0Slot = i0Img.get();
    ImgData* bgSlot = bgImg.get();
    itex.i0Img = &i0Slot;
    itex.bgImg = &bgSlot;
    HSgm a, b;
    genSinogram(itex, &a, true, kC / 2.0 + 0.25, 4);
    genSinogram(h5, &b, true, kC / 2.0 + 0.25, 4);
    QVERIFY(a.hasData());
    QCOMPARE(b.nth, kP);
    QCOMPARE(b.absorb, a.absorb);
    QVERIFY(*std::max_element(a.absorb.begin(), a.absorb.end()) > 0.3);
}

QTEST_GUILESS_MAIN(TstH5Scan)
#include "tst_h5scan.moc"
