// Volumes in one file: every slice as a TIFF page or an HDF5 dataset row,
// read back value for value, with the pixel size; incomplete volumes leave
// no file; the readers users have (tifffile, h5py) open them.
#include "VolumeWriter.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <hdf5.h>
#include <tiffio.h>

#include <vector>

namespace {
constexpr int W = 7, H = 5, N = 4;

// Slice k: values that tell slice, row and column apart.
std::vector<float> slice(int k)
{
    std::vector<float> v(size_t(W) * H);
    for (int i = 0; i < W * H; ++i)
        v[size_t(i)] = float(k) * 1000.0f + float(i) + 0.25f;
    return v;
}

// Writes slices 2, 0, 3, 1 (out of order, as workers finish them).
bool writeVolume(const QString& path, QString* why, int slices = N)
{
    VolumeWriter v;
    if (!v.begin(path, N, 0.65, why))
        return false;
    const int order[N] = {2, 0, 3, 1};
    for (int i = 0; i < slices; ++i) {
        if (!v.add(order[i], slice(order[i]).data(), W, H, why))
            return false;
        if (QFileInfo::exists(path))
            return false;
    }
    return v.commit(QStringLiteral("{\"run\": 1}"), why);
}

std::vector<std::vector<float>> readTiffPages(const QString& path, float* resolution)
{
    std::vector<std::vector<float>> pages;
    TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!t)
        return pages;
    do {
        uint32_t w = 0, h = 0;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetField(t, TIFFTAG_XRESOLUTION, resolution);
        std::vector<float> v(size_t(w) * h);
        if (TIFFReadEncodedStrip(t, 0, v.data(), tmsize_t(v.size() * 4)) < 0)
            v.clear();
        pages.push_back(v);
    } while (TIFFReadDirectory(t));
    TIFFClose(t);
    return pages;
}

std::vector<float> readH5(const QString& path, hsize_t dims[3], double* pixel)
{
    std::vector<float> v;
    const hid_t f = H5Fopen(QFile::encodeName(path).constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
    if (f < 0)
        return v;
    const hid_t d = H5Dopen2(f, "volume", H5P_DEFAULT);
    const hid_t s = H5Dget_space(d);
    H5Sget_simple_extent_dims(s, dims, nullptr);
    v.resize(size_t(dims[0] * dims[1] * dims[2]));
    H5Dread(d, H5T_NATIVE_FLOAT, H5S_ALL, H5S_ALL, H5P_DEFAULT, v.data());
    const hid_t a = H5Aopen(d, "pixel_size", H5P_DEFAULT);
    H5Aread(a, H5T_NATIVE_DOUBLE, pixel);
    H5Aclose(a);
    H5Sclose(s);
    H5Dclose(d);
    H5Fclose(f);
    return v;
}
} // namespace

class TestVolume : public QObject
{
    Q_OBJECT
private slots:
    void tiffPagesHoldEverySliceInOrder();
    void hdf5DatasetHoldsEverySliceWithItsPixelSize();
    void incompleteOrImpossibleVolumesLeaveNoFile_data();
    void incompleteOrImpossibleVolumesLeaveNoFile();
    void joinedHdf5VolumesReadAsOne();
    void pythonReadersOpenTheVolumes_data();
    void pythonReadersOpenTheVolumes();
};

void TestVolume::tiffPagesHoldEverySliceInOrder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vol.tif"));
    QString why;
    QVERIFY2(writeVolume(path, &why), qPrintable(why));
    float resolution = 0;
    const auto pages = readTiffPages(path, &resolution);
    QCOMPARE(int(pages.size()), N);
    for (int k = 0; k < N; ++k)
        QCOMPARE(pages[size_t(k)], slice(k));
    // Pixels per centimetre for 0.65 um pixels.
    QCOMPARE(qRound(resolution), qRound(1e4 / 0.65));
}

void TestVolume::hdf5DatasetHoldsEverySliceWithItsPixelSize()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vol.h5"));
    QString why;
    QVERIFY2(writeVolume(path, &why), qPrintable(why));
    hsize_t dims[3] = {0, 0, 0};
    double pixel = 0;
    const std::vector<float> v = readH5(path, dims, &pixel);
    QCOMPARE(int(dims[0]), N);
    QCOMPARE(int(dims[1]), H);
    QCOMPARE(int(dims[2]), W);
    for (int k = 0; k < N; ++k)
        QCOMPARE(std::vector<float>(v.begin() + k * W * H, v.begin() + (k + 1) * W * H), slice(k));
    QCOMPARE(pixel, 0.65);
}

void TestVolume::incompleteOrImpossibleVolumesLeaveNoFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("slices");
    QTest::addColumn<QString>("problem");
    QTest::newRow("tiff, a slice missing") << "vol.tif" << N - 1 << "3 of 4 slices";
    QTest::newRow("hdf5, a slice missing") << "vol.h5" << N - 1 << "3 of 4 slices";
    QTest::newRow("missing directory") << "no/such/vol.h5" << N << "does not exist";
    QTest::newRow("unknown suffix") << "vol.raw" << N << "must end in";
}

void TestVolume::incompleteOrImpossibleVolumesLeaveNoFile()
{
    QFETCH(QString, name);
    QFETCH(int, slices);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    QString why;
    QVERIFY(!writeVolume(dir.filePath(name), &why, slices));
    QVERIFY2(why.contains(problem), qPrintable(why));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// Two task volumes joined into one virtual dataset: slices 0..3 of the
// first, then 0..3 of the second; a part of another size joins nothing.
void TestVolume::joinedHdf5VolumesReadAsOne()
{
    QTemporaryDir dir;
    QString why;
    const QString a = dir.filePath(QStringLiteral("part-a.h5")), b = dir.filePath(QStringLiteral("part-b.h5"));
    QVERIFY2(writeVolume(a, &why) && writeVolume(b, &why), qPrintable(why));
    const QString joined = dir.filePath(QStringLiteral("all.h5"));
    QVERIFY2(VolumeWriter::joinHdf5(joined, {a, b}, &why), qPrintable(why));
    hsize_t dims[3] = {0, 0, 0};
    double pixel = 0;
    const std::vector<float> v = readH5(joined, dims, &pixel);
    QCOMPARE(int(dims[0]), 2 * N);
    for (int k = 0; k < 2 * N; ++k)
        QCOMPARE(std::vector<float>(v.begin() + k * W * H, v.begin() + (k + 1) * W * H), slice(k % N));
    QCOMPARE(pixel, 0.65);

    VolumeWriter other;
    const QString c = dir.filePath(QStringLiteral("part-c.h5"));
    QVERIFY(other.begin(c, 1, 0.65, &why) && other.add(0, slice(0).data(), W - 1, H, &why) && other.commit({}, &why));
    const QString bad = dir.filePath(QStringLiteral("bad.h5"));
    QVERIFY(!VolumeWriter::joinHdf5(bad, {a, c}, &why));
    QVERIFY2(why.contains(QStringLiteral("has slices of 6 x 5")), qPrintable(why));
    QVERIFY(!QFileInfo::exists(bad));
}

void TestVolume::pythonReadersOpenTheVolumes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("script");
    QTest::newRow("tifffile") << "vol.tif" << "tifffile"
                              << "import sys, tifffile; a = tifffile.imread(sys.argv[1]); print(a.shape, a.dtype, a[3, 4, 6])";
    QTest::newRow("h5py") << "vol.h5" << "h5py"
                          << "import sys, h5py; d = h5py.File(sys.argv[1])['volume']; "
                             "print(d.shape, d.dtype, d[3, 4, 6], d.attrs['pixel_size'])";
}

void TestVolume::pythonReadersOpenTheVolumes()
{
    QFETCH(QString, name);
    QFETCH(QString, module);
    QFETCH(QString, script);
    // Debian's interpreter, where its python3-* packages install, before any other.
    const QString python = QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
                               ? QStringLiteral("/usr/bin/python3")
                               : QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty() || QProcess::execute(python, {QStringLiteral("-c"), QStringLiteral("import ") + module}) != 0)
        QSKIP(qPrintable(QStringLiteral("python3-%1 is not installed").arg(module)));
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QString why;
    QVERIFY2(writeVolume(path, &why), qPrintable(why));
    QProcess p;
    p.start(python, {QStringLiteral("-c"), script, path});
    QVERIFY(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    QVERIFY2(p.exitCode() == 0, qPrintable(QString::fromUtf8(p.readAllStandardError())));
    // Slice 3, row 4, column 6: 3000 + 4 * 7 + 6 + 0.25.
    QVERIFY2(out.startsWith(QStringLiteral("(4, 5, 7) float32 3034.25")), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestVolume)
#include "tst_volume.moc"
