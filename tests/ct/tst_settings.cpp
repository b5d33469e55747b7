// The settings table: every setting is read alike from a batch line, an
// option and a configuration value, refuses the same values with the same
// reason, documents the default the code has, names a field the run report
// has, and the README's table is the one the table makes.
#include "CtRunReport.h"
#include "SettingTable.h"

#include <QtTest>

#include <cmath>

using Setting = SettingTable::Setting;
using Type = SettingTable::Type;

namespace {
// A value each setting accepts that differs from its default, as an option gives it.
QString example(const Setting& s)
{
    switch (s.type) {
    case Type::Flag:
        return QLatin1String(s.defaultText) == QLatin1String("1") ? QStringLiteral("0") : QStringLiteral("1");
    case Type::Int:
        return QString::number(std::min(s.max, s.min + 3));
    case Type::Real:
        return std::isinf(s.min) ? QStringLiteral("-12.25") : QString::number(std::min(s.max, s.min + 6.5));
    case Type::Text:
        return QStringLiteral("out/x-*.img");
    case Type::Files:
        return QStringLiteral("a.img");
    case Type::Choice:
    case Type::List:
        return s.choices().last() == QLatin1String(s.defaultText) ? s.choices().first() : s.choices().last();
    case Type::Slices:
        return QStringLiteral("9:3:2");
    case Type::Region:
        return QStringLiteral("1.5,2,30,40");
    case Type::Lines:
        return QStringLiteral("9:3");
    case Type::Filter:
        return QStringLiteral("hann:0.5");
    case Type::Phase:
        return QStringLiteral("300,50,20");
    }
    return QString();
}

// A batch line's arguments for the same value: the parts as separate words.
QStringList batchArgs(const Setting& s, const QString& text)
{
    return SettingTable::partsOf(s, text);
}

QString shownAfter(const Setting& s, const QStringList& parts, QString* why)
{
    ReconSettings r;
    if (!SettingTable::set(r, s, parts, why))
        return QString();
    return s.show(r);
}

// The value at a dotted path of a JSON object ("slices.from").
bool hasField(const QJsonObject& o, const QString& path)
{
    const QStringList keys = path.split(QLatin1Char('.'));
    QJsonObject at = o;
    for (int k = 0; k < keys.size(); ++k) {
        if (!at.contains(keys[k]))
            return false;
        if (k + 1 < keys.size())
            at = at.value(keys[k]).toObject();
    }
    return true;
}
} // namespace

class TstSettings : public QObject
{
    Q_OBJECT
private slots:
    void everySourceReadsTheSameValue_data();
    void everySourceReadsTheSameValue();
    void everySourceRefusesWithTheSameReason_data();
    void everySourceRefusesWithTheSameReason();
    void namesAreUniqueAndReportFieldsExist();
    void readmeTableIsTheTable();
};

void TstSettings::everySourceReadsTheSameValue_data()
{
    QTest::addColumn<QString>("key");
    for (const Setting& s : SettingTable::settings())
        QTest::newRow(s.key) << QString::fromLatin1(s.key);
}

// The example through each source the setting has gives one value, differing
// from the default; it shows as it was given (show and apply agree); the
// documented default is the value a ReconSettings starts with.
void TstSettings::everySourceReadsTheSameValue()
{
    QFETCH(QString, key);
    const Setting& s = *SettingTable::byKey(key);
    const QString text = example(s);
    QString why;
    const QString viaOption = shownAfter(s, SettingTable::partsOf(s, text), &why);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    if (s.batchWord) {
        QCOMPARE(shownAfter(s, batchArgs(s, text), &why), viaOption);
        QCOMPARE(SettingTable::byBatchWord(QLatin1String(s.batchWord)), &s);
    }
    if (s.configKey)
        QCOMPARE(SettingTable::byConfigKey(QLatin1String(s.configKey)), &s);
    if (s.option)
        QCOMPARE(SettingTable::byOption(QLatin1String(s.option)), &s);
    const ReconSettings fresh;
    QVERIFY2(viaOption != s.show(fresh), qPrintable(viaOption));
    // What show gives reads back to itself.
    QCOMPARE(shownAfter(s, SettingTable::partsOf(s, viaOption), &why), viaOption);
    if (*s.defaultText && s.type != Type::Text)
        QCOMPARE(s.show(fresh), shownAfter(s, SettingTable::partsOf(s, QLatin1String(s.defaultText)), &why));
}

void TstSettings::everySourceRefusesWithTheSameReason_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    for (const Setting& s : SettingTable::settings()) {
        if ((s.type == Type::Int || s.type == Type::Real) && !std::isinf(s.min)) {
            QTest::addRow("%s below", s.key) << s.key << QString::number(s.min - 1, 'g', 17) << "is out of range";
            if (s.max < std::numeric_limits<int>::max())
                QTest::addRow("%s above", s.key) << s.key << QString::number(s.max + 1, 'g', 17) << "is out of range";
        }
        if (s.type == Type::Int)
            QTest::addRow("%s not an integer", s.key) << s.key << "2.5" << "\"2.5\" is not an integer";
        if (s.type == Type::Real)
            QTest::addRow("%s comma decimal", s.key) << s.key << "34,5" << "\"34,5\" is not a number";
        if (s.type == Type::Choice || s.type == Type::List)
            QTest::addRow("%s unknown", s.key) << s.key << "sideways" << "\"sideways\" is not";
    }
    QTest::newRow("unknown filter") << "filter" << "parzen:0.5" << "unknown filter \"parzen\"";
    QTest::newRow("cutoff 0") << "filter" << "hann:0" << "cutoff 0 is not above 0 and at most 1";
    QTest::newRow("cutoff text") << "filter" << "hann:x" << "cutoff \"x\" is not a number";
    QTest::newRow("slices shape") << "slices" << "1-4" << "\"1-4\" is not FROM:TO[:STEP]";
    QTest::newRow("slices step 0") << "slices" << "1:4:0" << "the step must not be 0";
    QTest::newRow("region of three") << "region" << "1,2,3" << "\"1,2,3\" is not X0,Z0,X1,Z1";
    QTest::newRow("region nan") << "region" << "1,nan,3,4" << "\"nan\" is not a number";
    QTest::newRow("phase energy 0") << "phaseRetrieval" << "300,50,0" << "energy 0 is not above 0";
    QTest::newRow("phase two values") << "phaseRetrieval" << "300,50" << "\"300,50\" is not DELTA_BETA,DISTANCE_MM,ENERGY_KEV";
    QTest::newRow("lines one end") << "loadLines" << "3" << "an integer is missing";
    QTest::newRow("lines negative") << "loadLines" << "-1:4" << "-1 is out of range";
    QTest::newRow("lines three") << "loadLines" << "1:2:3" << "\"1:2:3\" is not FROM:TO";
}

// Each source refuses the value with one reason, naming it, and changes nothing.
void TstSettings::everySourceRefusesWithTheSameReason()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(QString, reason);
    const Setting& s = *SettingTable::byKey(key);
    ReconSettings r;
    const QString before = s.show(r);
    QString viaOption, viaBatch;
    QVERIFY(!SettingTable::set(r, s, SettingTable::partsOf(s, text), &viaOption));
    QVERIFY2(viaOption.contains(reason), qPrintable(viaOption));
    if (s.batchWord) {
        QVERIFY(!SettingTable::set(r, s, batchArgs(s, text), &viaBatch));
        QCOMPARE(viaBatch, viaOption);
    }
    QCOMPARE(s.show(r), before);
}

void TstSettings::namesAreUniqueAndReportFieldsExist()
{
    CtRunReport report;
    report.pixelSizeUm = 6.5;
    report.corFit = true;
    report.i0After = QStringLiteral("after.img");
    // Corrections appear in the report only when a run used them.
    report.zingerThreshold = 5;
    report.paganin = QStringLiteral("300,50,20");
    report.binning = 2;
    report.volume = QStringLiteral("v.h5");
    report.shift.on = true;
    const QJsonObject json = report.toJson();
    // Each kind of name is unique among its kind.
    QSet<QString> seen[4];
    for (const Setting& s : SettingTable::settings()) {
        const char* names[4] = {s.key, s.batchWord, s.option, s.configKey};
        for (int k = 0; k < 4; ++k)
            if (names[k]) {
                QVERIFY2(!seen[k].contains(QLatin1String(names[k])), names[k]);
                seen[k] << QLatin1String(names[k]);
            }
        QVERIFY2(!s.reportField || hasField(json, QLatin1String(s.reportField)), s.key);
        QVERIFY2(*s.help, s.key);
    }
}

// The README shows the table between its markers exactly as the code has it;
// after a change, paste the table this writes into the build folder.
void TstSettings::readmeTableIsTheTable()
{
    QFile f(QStringLiteral(ZUVO2_SOURCE_DIR "/README.md"));
    QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString readme = QString::fromUtf8(f.readAll());
    const QString begin = QStringLiteral("<!-- settings table: made by SettingTable::markdownTable -->\n");
    const QString end = QStringLiteral("<!-- end of settings table -->");
    const qsizetype a = readme.indexOf(begin);
    const qsizetype b = readme.indexOf(end);
    QVERIFY2(a >= 0 && b > a, "README.md has no settings table markers");
    const QString table = readme.mid(a + begin.size(), b - a - begin.size());
    const QString expected = SettingTable::markdownTable();
    if (table != expected) {
        QFile out(QStringLiteral(ZUVO2_BINARY_DIR "/settings-table.md"));
        if (out.open(QIODevice::WriteOnly))
            out.write(expected.toUtf8());
        QFAIL(qPrintable("README.md's settings table differs from the code's, which is in " + out.fileName()));
    }
}

QTEST_GUILESS_MAIN(TstSettings)
#include "tst_settings.moc"
