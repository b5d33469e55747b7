// The fast number text of data files, one by one and eight at once, against
// a QTextStream, which wrote them before: single values at every edge,
// sweeps of many values, and whole data files.
#include "CtFiles.h"
#include "DataText.h"
#include "InstructionSet.h"

#include <QBuffer>
#include <QTextStream>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

QByteArray streamText(double v)
{
    QByteArray b;
    QTextStream ts(&b);
    ts << v;
    ts.flush();
    return b;
}

QByteArray fastText(double v)
{
    char buf[DataText::maxChars];
    return QByteArray(buf, int(DataText::appendNumber(buf, v) - buf));
}

// v as lane `lane` of a group of eight.
QByteArray groupText(double v, int lane)
{
    double vs[8] = {1.5, -2e-3, 7e8, 0.0, 42.0, -1e-7, 3.25, 1e300};
    vs[lane] = v;
    DataText::Group g;
    g.prepare(vs, 8);
    char buf[DataText::maxChars];
    return QByteArray(buf, int(g.append(buf, lane) - buf));
}

// How the data file was written with a text stream.
QByteArray streamFile(const std::vector<double>& image, int n, double x0, double z0, double x1, double z1)
{
    QByteArray b;
    QTextStream ts(&b);
    ts << "#ZUVO-CTImg\n";
    ts << "# Range_X0       : " << x0 << "\n";
    ts << "# Range_Y0       : " << z0 << "\n";
    ts << "# Range_X1       : " << x1 << "\n";
    ts << "# Range_Y1       : " << z1 << "\n";
    ts << "# sx,sy, ex,ey   : " << x0 << "\t" << z0 << "\t" << x1 << "\t" << z1 << "\n";
    for (long long z = (long long)std::trunc(z0); z < z1; ++z)
        for (long long x = (long long)std::trunc(x0); x < x1; ++x)
            ts << x << "\t" << z << "\t" << (z >= 0 && z < n && x >= 0 && x < n ? image[size_t(z * n + x)] : 0.0) << "\n";
    ts.flush();
    return b;
}

} // namespace

class TstDataText : public QObject
{
    Q_OBJECT
private slots:
    void edges_data();
    void edges();
    void sweep_data();
    void sweep();
    void sweepAsDataFile_data() { sweep_data(); }
    void sweepAsDataFile();
    void integers();
    void groupsUseTheVectorDigits();
    void dataFile_data();
    void dataFile();
};

void TstDataText::edges_data()
{
    QTest::addColumn<double>("v");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct
    {
        const char* name;
        double v;
    } rows[] = {
        {"zero", 0.0}, {"negative zero", -0.0}, {"one", 1.0}, {"minus one", -1.0},
        {"998", 998}, {"0.00123", 0.00123}, {"0.1", 0.1}, {"0.3", 0.3},
        {"tie rounds up", 12345.25}, {"negative tie", -12345.25}, {"tie of 7 digits", 1234565},
        {"tie before the point", 123456.5}, {"tie of 8 digits", 12345650}, {"tie to a power of ten", 999999.5},
        {"just below a tie", 123456.49999999}, {"just above a tie", 123456.50000001},
        {"last plain", 999999}, {"first exponent", 1e6}, {"rounds to 1e6", 999999.6},
        {"stays plain", 999999.4}, {"smallest plain", 1e-4}, {"rounds to 1e-4", 9.999995e-05},
        {"stays below 1e-4", 9.9999949e-05}, {"1e-5", 1e-5}, {"1e21", 1e21}, {"1e23", 1e23},
        {"1e100", 1e100}, {"1e-100", 1e-100}, {"1e-300", 1e-300}, {"1e300", 1e300},
        {"smallest normal", DBL_MIN}, {"subnormal", 5e-324}, {"largest", DBL_MAX}, {"negative largest", -DBL_MAX},
        {"nan", nan}, {"negative nan", -nan}, {"inf", inf}, {"minus inf", -inf},
        {"3.0000005", 3.0000005}, {"0.000123455", 0.000123455}, {"9.5", 9.5}, {"small negative", -4.2e-7},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << r.v;
}

void TstDataText::edges()
{
    QFETCH(double, v);
    const QByteArray expected = streamText(v);
    QCOMPARE(fastText(v), expected);
    for (int lane : {0, 5, 7})
        QCOMPARE(groupText(v, lane), expected);
}

void TstDataText::sweep_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("uniform -1 .. 1") << 0;
    QTest::newRow("log-uniform 1e-12 .. 1e12, both signs") << 1;
    QTest::newRow("halves of the sixth digit, exact and not") << 2;
    QTest::newRow("next to powers of ten") << 3;
    QTest::newRow("any bits") << 4;
}

// Value i of sweep kind `kind`.
double sweepValue(int kind, std::mt19937_64& rng)
{
    std::uniform_real_distribution<double> u(0.0, 1.0);
    switch (kind) {
    case 0:
        return 2 * u(rng) - 1;
    case 1:
        return std::pow(10.0, 24 * u(rng) - 12) * (u(rng) < 0.5 ? -1 : 1);
    case 2:
        return ((std::floor(u(rng) * 9e5) + 1e5) * 10 + 5) * std::pow(10.0, int(u(rng) * 20) - 10);
    case 3:
        return std::nextafter(std::pow(10.0, int(u(rng) * 40) - 20), u(rng) < 0.5 ? 0.0 : 1e300);
    default: {
        const std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    }
}

void TstDataText::sweep()
{
    QFETCH(int, kind);
    std::mt19937_64 rng(unsigned(kind) + 1);
    int mismatches = 0;
    QByteArray first;
    for (int i = 0; i < 100000; ++i) {
        const double v = sweepValue(kind, rng);
        const QByteArray b = streamText(v);
        for (const QByteArray& a : {fastText(v), groupText(v, i % 8)})
            if (a != b && mismatches++ == 0)
                first = QByteArray::number(v, 'g', 17) + ": " + a + " instead of " + b;
    }
    QVERIFY2(mismatches == 0, qPrintable(QString("%1 differ, first %2").arg(mismatches).arg(first)));
}

// The sweeps' values as whole data files, whose lines are made eight at a
// time; a width of 61 leaves short groups at every row's end.
void TstDataText::sweepAsDataFile()
{
    QFETCH(int, kind);
    std::mt19937_64 rng(unsigned(kind) + 11);
    const int n = 61;
    std::vector<double> image(size_t(n) * n);
    for (double& v : image)
        v = sweepValue(kind, rng);
    QByteArray b;
    QBuffer buf(&b);
    QVERIFY(buf.open(QIODevice::WriteOnly));
    QVERIFY(CtFiles::writeData(&buf, image.data(), n, 0, 0, n, n));
    QCOMPARE(b, streamFile(image, n, 0, 0, n, n));
}

void TstDataText::integers()
{
    for (long long v : {0LL, 7LL, -7LL, 10LL, 2047LL, -1LL, 123456789012LL, std::numeric_limits<long long>::min(),
                        std::numeric_limits<long long>::max()}) {
        char buf[DataText::maxChars];
        QCOMPARE(QByteArray(buf, int(DataText::appendInteger(buf, v) - buf)), QByteArray::number(v));
    }
}

// A processor with AVX2 works out ordinary numbers eight at a time (the
// text alone would not tell a vector path that never takes them).
void TstDataText::groupsUseTheVectorDigits()
{
    const double vs[8] = {1.5, -2e-3, 7e8, 0.125, 42.0, -1e-7, 3.25, 987654.0};
    DataText::Group g;
    g.prepare(vs, 8);
    QCOMPARE(g.ready, InstructionSet::allows(InstructionSet::Avx2) ? 0xffu : 0u);
    g.prepare(vs, 3);
    QCOMPARE(g.ready, InstructionSet::allows(InstructionSet::Avx2) ? 0x7u : 0u);
}

// Whole files: values of every size, regions inside, across and beyond the
// image, fractional and empty.
void TstDataText::dataFile_data()
{
    QTest::addColumn<QVector<double>>("region");
    QTest::newRow("whole") << QVector<double>{0, 0, 37, 37};
    QTest::newRow("fractional") << QVector<double>{3.7, 2.2, 30.5, 9.01};
    QTest::newRow("beyond the image") << QVector<double>{-4, -2.5, 41, 39};
    QTest::newRow("empty") << QVector<double>{10, 10, 10, 20};
    QTest::newRow("one pixel") << QVector<double>{36, 0, 37, 1};
    // "<x>\t" and "<z>\t" longer than 16 bytes.
    QTest::newRow("columns and rows of 16 digits") << QVector<double>{1e15, 1e15, 1e15 + 9, 1e15 + 3};
}

void TstDataText::dataFile()
{
    QFETCH(QVector<double>, region);
    const int n = 37;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> image(size_t(n) * n);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = u(rng) * std::pow(10.0, int(i % 19) - 9);
    image[5] = 0.0;
    image[6] = -0.0;
    image[7] = 12345.25;
    QByteArray b;
    QBuffer buf(&b);
    QVERIFY(buf.open(QIODevice::WriteOnly));
    QVERIFY(CtFiles::writeData(&buf, image.data(), n, region[0], region[1], region[2], region[3]));
    QCOMPARE(b, streamFile(image, n, region[0], region[1], region[2], region[3]));
}

QTEST_GUILESS_MAIN(TstDataText)
#include "tst_datatext.moc"
