// Names of saved slices and the CT data file, byte for byte.
#include "CtFiles.h"
#include "CtResult.h"
#include "CtRunReport.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <vector>

class TstCt2Files : public QObject
{
    Q_OBJECT
private slots:
    void sliceName_data();
    void sliceName();
    void dataFile_data();
    void dataFile();
    void numberForms();
    void savedAside();
    void unwritablePath();
    void absurdRegion_data();
    void absurdRegion();
    void tiffDescriptionGivesPerCm_data();
    void tiffDescriptionGivesPerCm();
};

void TstCt2Files::sliceName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("slice");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("expected");
    QTest::newRow("tag, other suffix") << "x.tif" << "A" << 7 << "png" << "x-A-00007.png";
    QTest::newRow("tag") << "ct.png" << "A" << 12 << "png" << "ct-A-00012.png";
    QTest::newRow("no tag, no suffix") << "res" << "" << 12 << "dat" << "res-00012.dat";
    QTest::newRow("empty name") << "" << "" << 12 << "png" << "-00012.png";
    QTest::newRow("directory dropped") << "/data/run.1/ct.b.png" << "" << 3 << "png" << "ct.b-00003.png";
    QTest::newRow("six digits") << "s.dat" << "" << 123456 << "dat" << "s-123456.dat";
    QTest::newRow("negative") << "s.dat" << "" << -3 << "dat" << "s--0003.dat";
}

void TstCt2Files::sliceName()
{
    QFETCH(QString, name);
    QFETCH(QString, tag);
    QFETCH(int, slice);
    QFETCH(QString, suffix);
    QFETCH(QString, expected);
    QCOMPARE(CtFiles::sliceName(name, tag, slice, suffix), expected);
}

namespace {
QByteArray write(const std::vector<double>& img, int n, double x0, double z0, double x1, double z1)
{
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    CtFiles::writeData(&b, img.data(), n, x0, z0, x1, z1);
    return b.data();
}

std::vector<double> ramp(int n)
{
    std::vector<double> v(size_t(n) * size_t(n));
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x)
            v[size_t(z) * size_t(n) + size_t(x)] = 10 * z + x + 0.5;
    return v;
}

const QByteArray header = "#ZUVO-CTImg\n"
                          "# Range_X0       : %1\n"
                          "# Range_Y0       : %2\n"
                          "# Range_X1       : %3\n"
                          "# Range_Y1       : %4\n"
                          "# sx,sy, ex,ey   : %1\t%2\t%3\t%4\n";

QByteArray head(const char* a, const char* b, const char* c, const char* d)
{
    return QString::fromLatin1(header).arg(a, b, c, d).toLatin1();
}
} // namespace

void TstCt2Files::dataFile_data()
{
    QTest::addColumn<QList<double>>("region");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("region 0 0 3 2") << QList<double>{0, 0, 3, 2}
                                    << head("0", "0", "3", "2") + "0\t0\t0.5\n1\t0\t1.5\n2\t0\t2.5\n"
                                           "0\t1\t10.5\n1\t1\t11.5\n2\t1\t12.5\n";
    QTest::newRow("fractional corners") << QList<double>{1.7, 2.2, 2.5, 3}
                                        << head("1.7", "2.2", "2.5", "3") + "1\t2\t21.5\n2\t2\t22.5\n";
    QTest::newRow("beyond the image") << QList<double>{3, -1, 5, 1}
                                      << head("3", "-1", "5", "1") + "3\t-1\t0\n4\t-1\t0\n3\t0\t3.5\n4\t0\t0\n";
    QTest::newRow("empty x") << QList<double>{2, 0, 2, 3} << head("2", "0", "2", "3");
    QTest::newRow("reversed z") << QList<double>{0, 3, 2, 1} << head("0", "3", "2", "1");
    QTest::newRow("NaN") << QList<double>{qQNaN(), 0, 2, 1} << head("nan", "0", "2", "1");
}

void TstCt2Files::dataFile()
{
    QFETCH(QList<double>, region);
    QFETCH(QByteArray, expected);
    const std::vector<double> img = ramp(4);
    QCOMPARE(write(img, 4, region[0], region[1], region[2], region[3]), expected);
}

// The text stream's default number form: six significant digits, trailing
// zeros dropped, exponent form outside 1e-4 .. 1e6.
void TstCt2Files::numberForms()
{
    const std::vector<double> img{0, 998, 0.00123, 1234567, 0.0000123, -2.5e-7, 1.0 / 3, 999999.5, 100000};
    const QByteArray out = write(img, 3, 0, 0, 3, 3);
    const QList<QByteArray> lines = out.split('\n');
    QStringList values;
    for (int i = 6; i < 15; ++i)
        values << QString::fromLatin1(lines[i].split('\t').at(2));
    QCOMPARE(values, QStringList({"0", "998", "0.00123", "1.23457e+06", "1.23e-05", "-2.5e-07", "0.333333",
                                  "1e+06", "100000"}));
}

void TstCt2Files::savedAside()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("r.dat");
    const std::vector<double> img = ramp(4);
    QVERIFY(CtFiles::saveData(path, img.data(), 4, 0, 0, 3, 2));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), write(img, 4, 0, 0, 3, 2));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"r.dat"});
}

void TstCt2Files::unwritablePath()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("missing/r.dat");
    const std::vector<double> img = ramp(4);
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Can't open " + path + " to write CT data: No such file or directory"));
    QVERIFY(!CtFiles::saveData(path, img.data(), 4, 0, 0, 3, 2));
    QVERIFY(!QFile::exists(path));
}

void TstCt2Files::absurdRegion_data()
{
    QTest::addColumn<QList<double>>("region");
    QTest::newRow("huge") << QList<double>{0, 0, 1e9, 1e9};
    QTest::newRow("infinite") << QList<double>{-qInf(), 0, 2, 2};
    QTest::newRow("far negative") << QList<double>{-1e300, -1e300, 1, 1};
}

void TstCt2Files::absurdRegion()
{
    QFETCH(QList<double>, region);
    QTemporaryDir dir;
    const QString path = dir.filePath("big.dat");
    const std::vector<double> img = ramp(4);
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Region too large for a CT data file, not written : " + path));
    QVERIFY(!CtFiles::saveData(path, img.data(), 4, region[0], region[1], region[2], region[3]));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

void TstCt2Files::tiffDescriptionGivesPerCm_data()
{
    QTest::addColumn<double>("pixelUm");
    QTest::addColumn<int>("nProj");
    QTest::newRow("no pixel size") << 0.0 << 60;
    QTest::newRow("6.5 um, 60 projections") << 6.5 << 60;
    QTest::newRow("1 um, 1800 projections") << 1.0 << 1800;
}

// The float TIFF alone gives 1/cm with the run report's factor, and says
// nothing of it without a pixel size.
void TstCt2Files::tiffDescriptionGivesPerCm()
{
    QFETCH(double, pixelUm);
    QFETCH(int, nProj);
    CtSlice s;
    s.n = 110;
    s.slice = 7;
    s.nProj = nProj;
    const double factor = CtRunReport::valueToPerCm(pixelUm, nProj, false);
    const QString d = CtFiles::tiffDescription(s, 10, 5, 80, 65, factor);
    QVERIFY2(d.startsWith("ZUVO-CTImg slice=7 x0=10 z0=5 width=80 height=65"), qPrintable(d));
    const int at = d.indexOf(" per_cm=value*");
    QCOMPARE(at >= 0, pixelUm > 0);
    if (at >= 0) {
        // mu per pixel is value / (2 nProj); a pixel is pixelUm 1e-4 cm.
        const double written = d.mid(at + 14).section(' ', 0, 0).toDouble();
        QVERIFY(std::fabs(written * 2 * nProj * pixelUm * 1e-4 - 1) < 1e-12);
    }
}

QTEST_GUILESS_MAIN(TstCt2Files)
#include "tst_ct2files.moc"
