// Runs of zuvo2-recon with the corrections of whole projections, against
// known truth: an offset-axis full turn against a full detector, a spiked
// series against the clean one, a phase-contrast cylinder against its mu,
// binning against the unbinned slice, the one-file volume against the
// per-slice TIFFs; bad settings fail before anything is written.
#include "ImgData.h"
#include "ImgDatas.h"
#include "ItexWriter.h"
#include "SampleWriter.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <hdf5.h>

#include <cmath>
#include <random>
#include <vector>

namespace {
struct Run
{
    int exit = -1;
    QString output;
};

Run recon(const QString& dir, const QString& out, const QStringList& args, const QString& budgetMb = QString())
{
    QProcess p;
    if (!budgetMb.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZUVO2_MEMORY_BUDGET_MB"), budgetMb);
        p.setProcessEnvironment(env);
    }
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2-recon"),
            QStringList{"--projections", dir, "--pattern", "ct-*.img", "--i0", dir + "/i0/I0.img", "--bg",
                        dir + "/bg/BG.img", "--axis", "v", "--threads", "2", "--out", out}
                + args);
    Run r;
    if (p.waitForFinished(120000))
        r.exit = p.exitCode();
    r.output = QString::fromLocal8Bit(p.readAll());
    return r;
}

bool sample(const QString& dir, int w, int h, int nProj, double cor, const QString& turn, bool noise,
            double deltaBeta = 0)
{
    SampleOptions o = SampleOptions::small(dir, w, h, nProj);
    o.cor = cor;
    o.turn = turn;
    o.noise = noise;
    o.deltaBeta = deltaBeta;
    o.distanceMm = 100;
    o.energyKeV = 20;
    o.pixelUm = 1;
    SampleWriter s(o);
    return s.write();
}

std::vector<float> pixels(ImgData* img)
{
    std::vector<float> v(size_t(img->width) * img->height);
    std::vector<double> row(size_t(img->width));
    for (int y = 0; y < img->height; ++y) {
        img->readRow(y, row.data());
        std::copy(row.begin(), row.end(), v.begin() + size_t(y) * img->width);
    }
    return v;
}

// Every page of a float TIFF, row-major.
std::vector<std::vector<float>> tiffPages(const QString& path)
{
    ImgDatas set;
    std::vector<std::vector<float>> pages;
    if (set.addTiffStack(path))
        for (int k = 0; k < set.count(); ++k)
            pages.push_back(pixels(set.at(k)));
    return pages;
}

// One slice's float TIFF, with its side.
std::vector<float> slice(const QString& path, int* side = nullptr)
{
    std::unique_ptr<ImgData> img(loadImgData(path));
    if (!img || !img->ready)
        return {};
    if (side)
        *side = img->width;
    return pixels(img.get());
}

// Largest difference within the inner disk of two n x n slices, as a
// fraction of b's range there.
double worstInDisk(const std::vector<float>& a, const std::vector<float>& b, int n)
{
    double lo = 1e300, hi = -1e300, worst = 0;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            if (std::hypot(x - n / 2.0, z - n / 2.0) > 0.45 * n)
                continue;
            const size_t i = size_t(z) * n + x;
            lo = std::min(lo, double(b[i]));
            hi = std::max(hi, double(b[i]));
            worst = std::max(worst, std::fabs(double(a[i]) - b[i]));
        }
    return hi > lo ? worst / (hi - lo) : 1e300;
}

QJsonObject report(const QString& out)
{
    QFile f(out + "/slice-run.json");
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

QByteArray bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
}
} // namespace

class TestCorrectedRun : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void offsetAxisMatchesFullDetector_data();
    void offsetAxisMatchesFullDetector();
    void zingersGoAndCleanSeriesStayByteIdentical();
    void phaseRetrievalGivesTheCylindersMu();
    void binningDividesCentreSlicesAndPixelSize();
    void volumeEqualsTheSliceTiffs_data();
    void volumeEqualsTheSliceTiffs();
    void volumeOnAFullDiskLeavesNoFile_data();
    void volumeOnAFullDiskLeavesNoFile();
    void badSettingsFailBeforeAnythingIsWritten_data();
    void badSettingsFailBeforeAnythingIsWritten();
    void blankProjectionFailsAPhaseRetrievedRun();

private:
    QTemporaryDir tmp;
    QString plain, noiseFree;
};

void TestCorrectedRun::initTestCase()
{
    plain = tmp.filePath("plain");
    // Tall enough that the head changes smoothly from row to row.
    QVERIFY(sample(plain, 128, 64, 90, -1, "half", true));
    noiseFree = tmp.filePath("noise-free");
    QVERIFY(sample(noiseFree, 128, 64, 90, -1, "half", false));
}

void TestCorrectedRun::offsetAxisMatchesFullDetector_data()
{
    QTest::addColumn<double>("cor");
    QTest::newRow("axis at 20 % from the left") << 51.5;
    QTest::newRow("axis at 20 % from the right") << 203.5;
}

// The head spans the joined field; the reference sees it on one detector
// as wide as the join, with the axis at the same place.
void TestCorrectedRun::offsetAxisMatchesFullDetector()
{
    QFETCH(double, cor);
    const QString ref = tmp.filePath("ref"), off = tmp.filePath(QStringLiteral("off-%1").arg(cor));
    if (!QFileInfo::exists(ref))
        QVERIFY(sample(ref, 408, 8, 180, 203.5, "half", false));
    QVERIFY(sample(off, 256, 8, 360, cor, "full-offset", false));
    Run r = recon(ref, ref + "-out", {"--cor", "203.5", "--slices", "4:4", "--tiff", "--quiet"});
    QVERIFY2(r.exit == 0, qPrintable(r.output));
    r = recon(off, off + "-out", {"--cor", "auto", "--angles", "full-offset", "--slices", "4:4", "--tiff", "--quiet"});
    QVERIFY2(r.exit == 0, qPrintable(r.output));
    const QRegularExpressionMatch m = QRegularExpression("Centre of rotation ([0-9.]+)").match(r.output);
    QVERIFY2(m.hasMatch() && std::fabs(m.captured(1).toDouble() - cor) < 0.1, qPrintable(r.output));
    // With the exact centre the join is on the reference's samples.
    r = recon(off, off + "-out", {"--cor", QString::number(cor), "--angles", "full-offset", "--slices", "4:4", "--tiff", "--quiet"});
    QVERIFY2(r.exit == 0, qPrintable(r.output));
    int n = 0;
    const std::vector<float> a = slice(off + "-out/slice-00004.tif", &n), b = slice(ref + "-out/slice-00004.tif");
    QCOMPARE(a.size(), b.size());
    QVERIFY(n > 400);
    const double worst = worstInDisk(a, b, n);
    QVERIFY2(worst < 0.01, qPrintable(QString::number(worst)));
    QCOMPARE(report(off + "-out")["angles"].toString(), QStringLiteral("full-offset"));
}

// 0.1 % of the pixels of every projection and of I0 spiked: the slice is
// the clean one within its noise; the clean series gives the same files.
void TestCorrectedRun::zingersGoAndCleanSeriesStayByteIdentical()
{
    const QString spiked = tmp.filePath("spiked");
    QVERIFY(QDir().mkpath(spiked + "/i0") && QDir().mkpath(spiked + "/bg"));
    std::mt19937 gen(5);
    int spikes = 0;
    const QStringList names = QDir(plain).entryList({"ct-*.img"}) << "i0/I0.img" << "bg/BG.img";
    for (const QString& name : names) {
        std::unique_ptr<ImgData> img(loadImgData(plain + "/" + name));
        QVERIFY(img && img->ready);
        const int w = img->width, h = img->height;
        const std::vector<float> counts = pixels(img.get());
        std::vector<quint16> px(counts.begin(), counts.end());
        if (!name.startsWith("bg"))
            for (int k = 0; k < w * h / 1000 + 1; ++k, ++spikes) {
                quint16& v = px[size_t(std::uniform_int_distribution<int>(0, w * h - 1)(gen))];
                v = quint16(std::min(65535, v + 30000));
            }
        QVERIFY(ItexWriter(w, h, 2).write16(spiked + "/" + name, px.data()));
    }
    const QStringList args{"--cor", "66.5", "--slices", "27:36:3", "--tiff", "--quiet", "--rows", "all"};
    const QString clean = tmp.filePath("z-clean"), cleanZ = tmp.filePath("z-cleanZ"), spikedZ = tmp.filePath("z-spikedZ"),
                  spikedRaw = tmp.filePath("z-spiked");
    QCOMPARE(recon(plain, clean, args).exit, 0);
    QCOMPARE(recon(plain, cleanZ, args + QStringList{"--zinger", "8"}).exit, 0);
    QCOMPARE(recon(spiked, spikedRaw, args).exit, 0);
    const QString ideal = tmp.filePath("z-ideal");
    QCOMPARE(recon(noiseFree, ideal, args).exit, 0);
    const Run r = recon(spiked, spikedZ, args + QStringList{"--zinger", "8"});
    QVERIFY2(r.exit == 0, qPrintable(r.output));
    for (int s = 27; s <= 36; s += 3) {
        const QString name = QStringLiteral("/slice-%1.dat").arg(s, 5, 10, QLatin1Char('0'));
        QCOMPARE(bytes(cleanZ + name), bytes(clean + name));
        const std::vector<float> a = slice(clean + QStringLiteral("/slice-%1.tif").arg(s, 5, 10, QLatin1Char('0')));
        const std::vector<float> b = slice(spikedZ + QStringLiteral("/slice-%1.tif").arg(s, 5, 10, QLatin1Char('0')));
        const std::vector<float> c = slice(spikedRaw + QStringLiteral("/slice-%1.tif").arg(s, 5, 10, QLatin1Char('0')));
        const std::vector<float> n = slice(ideal + QStringLiteral("/slice-%1.tif").arg(s, 5, 10, QLatin1Char('0')));
        double fixed = 0, streaks = 0, noise = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            fixed += (b[i] - a[i]) * (b[i] - a[i]);
            streaks += (c[i] - a[i]) * (c[i] - a[i]);
            noise += (a[i] - n[i]) * (a[i] - n[i]);
        }
        // What the spikes leave is far below the slice's own noise.
        QVERIFY2(fixed < 0.1 * noise && streaks > noise, qPrintable(QStringLiteral("%1, %2, noise %3").arg(fixed).arg(streaks).arg(noise)));
    }
    const QJsonObject z = report(spikedZ)["zingers"].toObject();
    int replaced = z["i0"].toInt();
    for (const QJsonValue v : z["perProjection"].toArray())
        replaced += v.toInt();
    QCOMPARE(replaced, spikes);
    QVERIFY(r.output.isEmpty() || !r.output.contains("error"));
}

void TestCorrectedRun::phaseRetrievalGivesTheCylindersMu()
{
    const QString dir = tmp.filePath("phase");
    QVERIFY(sample(dir, 256, 8, 90, 127.5, "half", false, 300));
    const QStringList args{"--cor", "127.5", "--slices", "4:4", "--tiff", "--quiet", "--pixel-size", "1"};
    Run r = recon(dir, dir + "-out", args + QStringList{"--paganin", "300,100,20"});
    QVERIFY2(r.exit == 0, qPrintable(r.output));
    QVERIFY2(r.output.contains("lines beyond the slices"), qPrintable(r.output));
    QCOMPARE(recon(dir, dir + "-raw", args).exit, 0);
    int n = 0;
    const std::vector<float> a = slice(dir + "-out/slice-00004.tif", &n), raw = slice(dir + "-raw/slice-00004.tif");
    QVERIFY(n > 200);
    // The sample's cylinder: radius 0.6 of the head's, mu 0.5 / (2 R) per pixel.
    SampleOptions o = SampleOptions::small(dir, 256, 8, 90);
    o.cor = 127.5;
    const double radius = 0.6 * SampleWriter(o).radius();
    const double mu = 0.5 / (2 * radius);
    double inside = 0, worst = 0, rawPeak = 0;
    int count = 0;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const double r2 = std::hypot(x - n / 2.0, z - n / 2.0);
            const double v = a[size_t(z) * n + x] / (2.0 * 90);
            rawPeak = std::max(rawPeak, double(raw[size_t(z) * n + x]) / (2.0 * 90));
            if (r2 < 0.8 * radius) {
                inside += v;
                ++count;
                worst = std::max(worst, std::fabs(v - mu));
            }
        }
    QVERIFY2(std::fabs(inside / count - mu) < 0.02 * mu, qPrintable(QString::number(inside / count / mu)));
    QVERIFY2(worst < 0.05 * mu, qPrintable(QString::number(worst / mu)));
    // Without retrieval the edge rings far above the material's mu.
    QVERIFY2(rawPeak > 1.5 * mu, qPrintable(QString::number(rawPeak / mu)));
    QCOMPARE(report(dir + "-out")["phaseRetrieval"].toObject()["deltaBetaDistanceMmEnergyKeV"].toString(),
             QStringLiteral("300,100,20"));
}

void TestCorrectedRun::binningDividesCentreSlicesAndPixelSize()
{
    const QString out = tmp.filePath("binned"), full = tmp.filePath("unbinned");
    const Run r = recon(plain, out, {"--cor", "66.5", "--slices", "30:33", "--tiff", "--pixel-size", "1.5", "--binning", "2"});
    QVERIFY2(r.exit == 0, qPrintable(r.output));
    QVERIFY2(r.output.contains("Binning 2: centre 66.5 -> 33, slices 30 to 33 -> 15 to 16"), qPrintable(r.output));
    QCOMPARE(QDir(out).entryList({"*.dat"}), QStringList({"slice-00015.dat", "slice-00016.dat"}));
    QCOMPARE(report(out)["units"].toObject()["pixelSizeUm"].toDouble(), 3.0);
    QCOMPARE(recon(plain, full, {"--cor", "66.5", "--slices", "30:31", "--tiff", "--quiet"}).exit, 0);
    // mu per binned pixel is twice mu per pixel: compare means over the head.
    int nb = 0, nf = 0;
    const std::vector<float> b = slice(out + "/slice-00015.tif", &nb);
    const std::vector<float> f8 = slice(full + "/slice-00030.tif", &nf), f9 = slice(full + "/slice-00031.tif");
    double sb = 0, sf = 0;
    for (float v : b)
        sb += v;
    for (size_t i = 0; i < f8.size(); ++i)
        sf += 0.5 * (f8[i] + f9[i]);
    // Sums over the slice: a binned pixel holds four, each value twice as large.
    QVERIFY2(std::fabs(sb * 4 / 2 - sf) < 0.03 * std::fabs(sf), qPrintable(QStringLiteral("%1 %2").arg(sb).arg(sf)));
}

void TestCorrectedRun::volumeEqualsTheSliceTiffs_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("multi-page TIFF") << "vol.tif";
    QTest::newRow("HDF5") << "vol.h5";
}

void TestCorrectedRun::volumeEqualsTheSliceTiffs()
{
    QFETCH(QString, name);
    const QString out = tmp.filePath("vol-" + name);
    const Run r = recon(plain, out, {"--cor", "66.5", "--slices", "2:12:2", "--tiff", "--quiet", "--pixel-size", "2",
                                     "--volume", out + "/" + name});
    QVERIFY2(r.exit == 0, qPrintable(r.output));
    std::vector<std::vector<float>> pages;
    if (name.endsWith(".tif")) {
        pages = tiffPages(out + "/" + name);
    } else {
        const hid_t f = H5Fopen(QFile::encodeName(out + "/" + name).constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
        QVERIFY(f >= 0);
        const hid_t d = H5Dopen2(f, "volume", H5P_DEFAULT);
        hsize_t dims[3] = {0, 0, 0};
        const hid_t s = H5Dget_space(d);
        H5Sget_simple_extent_dims(s, dims, nullptr);
        std::vector<float> all(size_t(dims[0] * dims[1] * dims[2]));
        H5Dread(d, H5T_NATIVE_FLOAT, H5S_ALL, H5S_ALL, H5P_DEFAULT, all.data());
        QVERIFY(H5Aexists(d, "run_report") > 0);
        H5Sclose(s);
        H5Dclose(d);
        H5Fclose(f);
        const size_t page = size_t(dims[1] * dims[2]);
        for (size_t k = 0; k < dims[0]; ++k)
            pages.emplace_back(all.begin() + k * page, all.begin() + (k + 1) * page);
    }
    QCOMPARE(int(pages.size()), 6);
    for (int k = 0; k < 6; ++k)
        QCOMPARE(pages[size_t(k)], slice(out + QStringLiteral("/slice-%1.tif").arg(2 + 2 * k, 5, 10, QLatin1Char('0'))));
    QVERIFY(report(out)["written"].toArray().contains(QFileInfo(out + "/" + name).absoluteFilePath()));
}

void TestCorrectedRun::volumeOnAFullDiskLeavesNoFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("tiff") << "v.tif";
    QTest::newRow("hdf5") << "v.h5";
}

// Files limited to 300 KiB (ulimit -f, the signal ignored: writes fail with
// EFBIG as on a full disk): the slices' TIFFs fit, the volume does not. The
// run fails naming the volume, and neither it nor its temporary file stays.
void TestCorrectedRun::volumeOnAFullDiskLeavesNoFile()
{
    QFETCH(QString, name);
    const QString out = tmp.filePath(QStringLiteral("full-") + name);
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("bash", {"-c", "trap '' XFSZ; ulimit -f 300; exec \"$@\"", "bash", ZUVO2_BINARY_DIR "/zuvo2-recon",
                     "--projections", plain, "--pattern", "ct-*.img", "--i0", plain + "/i0/I0.img", "--bg",
                     plain + "/bg/BG.img", "--axis", "v", "--cor", "66.5", "--slices", "2:13:2", "--formats", "tiff",
                     "--threads", "2", "--quiet", "--out", out, "--volume", out + "/" + name});
    QVERIFY(p.waitForFinished(60000));
    const QString log = QString::fromLocal8Bit(p.readAll());
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(log.contains("can not write " + QFileInfo(out + "/" + name).absoluteFilePath()), qPrintable(log));
    const QStringList files = QDir(out).entryList(QDir::Files);
    QCOMPARE(files.filter("v.").size(), 0);
    QCOMPARE(files.filter(".tif").size(), 6);
}

void TestCorrectedRun::badSettingsFailBeforeAnythingIsWritten_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("budgetMb");
    QTest::addColumn<QString>("message");
    QTest::newRow("phase retrieval without a pixel size") << QStringList{"--paganin", "300,100,20"} << "" << "needs --pixel-size";
    QTest::newRow("zero energy") << QStringList{"--paganin", "300,100,0", "--pixel-size", "1"} << "" << "energy 0 is not above 0";
    QTest::newRow("negative delta/beta") << QStringList{"--paganin", "-3,100,20", "--pixel-size", "1"} << "" << "delta/beta";
    QTest::newRow("offset axis in the middle") << QStringList{"--angles", "full-offset"} << "" << "near the middle";
    QTest::newRow("binning 3") << QStringList{"--binning", "3"} << "" << "--binning: \"3\" is not one of 1, 2, 4";
    QTest::newRow("volume in a missing directory") << QStringList{"--volume", "/nonexistent/dir/v.h5"} << "" << "does not exist";
    QTest::newRow("volume of another kind") << QStringList{"--volume", "v.png"} << "" << "must end in .tif, .tiff, .h5 or .hdf5";
    QTest::newRow("negative zinger threshold") << QStringList{"--zinger", "-1"} << "" << "--zinger: -1 is out of range";
    // The series fits in 4 MB, its float copy beside it does not.
    QTest::newRow("corrected copy beyond memory") << QStringList{"--zinger", "5", "--rows", "all"} << "4"
                                                  << "the corrected projections need";
}

void TestCorrectedRun::badSettingsFailBeforeAnythingIsWritten()
{
    QFETCH(QStringList, args);
    QFETCH(QString, budgetMb);
    QFETCH(QString, message);
    const QString out = tmp.filePath(QStringLiteral("bad-") + QTest::currentDataTag());
    const Run r = recon(plain, out, args + QStringList{"--cor", "66.5", "--slices", "3:4", "--quiet"}, budgetMb);
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.output.contains(message), qPrintable(r.output));
    QVERIFY(!QFileInfo::exists(out));
}

// Flat-corrected transmissions are filtered before any logarithm is taken, so
// the run's per-sample check never sees a projection without counts.
void TestCorrectedRun::blankProjectionFailsAPhaseRetrievedRun()
{
    const QString dir = tmp.filePath("blank");
    QVERIFY(sample(dir, 128, 64, 90, -1, "half", true));
    QFile f(dir + "/ct-0045.img");
    QVERIFY(f.open(QIODevice::ReadWrite));
    const qint64 pixelBytes = 128 * 64 * 2;  // 16-bit pixels end the file
    QVERIFY(f.seek(f.size() - pixelBytes));
    QCOMPARE(f.write(QByteArray(int(pixelBytes), '\0')), pixelBytes);
    f.close();
    const QString out = tmp.filePath("blank-out");
    const Run r = recon(dir, out, {"--paganin", "300,100,20", "--pixel-size", "1", "--cor", "66.5", "--slices", "3:4",
                                   "--quiet"});
    QVERIFY2(r.exit != 0, qPrintable(r.output));
    QVERIFY2(r.output.contains("flat-corrected pixels") && r.output.contains("have no logarithm"), qPrintable(r.output));
    QVERIFY(QDir(out).entryList({"*.dat"}).isEmpty());
}

QTEST_GUILESS_MAIN(TestCorrectedRun)
#include "tst_correctedrun.moc"
