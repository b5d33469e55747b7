// Grouping of a sorted file listing into per-energy sets and their list texts.
#include "CtFileSet.h"

#include <QtTest>

namespace {
QList<QFileInfo> infos(const QStringList& names)
{
    QList<QFileInfo> l;
    for (const QString& n : names)
        l << QFileInfo(QStringLiteral("/data/xafs/") + n);
    return l;
}
} // namespace

class TstCtFileSet : public QObject
{
    Q_OBJECT
private slots:
    void nameFields_data();
    void nameFields();
    void grouping_data();
    void grouping();
};

void TstCtFileSet::nameFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("energyText");
    QTest::addColumn<double>("energy");
    QTest::addColumn<double>("unitFactor");
    QTest::addColumn<QString>("unit");

    QTest::newRow("keV") << "Fe-7_112keV-0001.img" << "Fe-7_112keV" << "Fe" << "7_112keV"
                         << 7.112 << 1000.0 << "keV";
    QTest::newRow("KEV upper case") << "Fe-7_112KEV-0001.img" << "Fe-7_112KEV" << "Fe"
                                    << "7_112KEV" << 7.112 << 1000.0 << "KEV";
    QTest::newRow("eV") << "Fe-7112eV-0001.img" << "Fe-7112eV" << "Fe" << "7112eV" << 7112.0
                        << 1.0 << "eV";
    QTest::newRow("no unit") << "Fe-7112-0001.img" << "Fe-7112" << "Fe" << "7112" << 7112.0
                             << 1.0 << "";
    QTest::newRow("dash in prefix") << "Cu-foil-8_979keV-001.img" << "Cu-foil-8_979keV"
                                    << "Cu-foil" << "8_979keV" << 8.979 << 1000.0 << "keV";
    QTest::newRow("no dash") << "plain.img" << "plain.img" << "plain.img" << "plain.img" << 0.0
                             << 1.0 << "plain.img";
    QTest::newRow("one dash") << "A-1.img" << "A" << "A" << "A" << 0.0 << 1.0 << "A";
    QTest::newRow("unit not a kilo") << "Fe-7_1keVx-01.img" << "Fe-7_1keVx" << "Fe" << "7_1keVx"
                                     << 7.1 << 1.0 << "keVx";
}

void TstCtFileSet::nameFields()
{
    QFETCH(QString, name);
    const CtFileSet s(QFileInfo(QStringLiteral("/data/xafs/") + name));
    QCOMPARE(s.fileName, name);
    QTEST(s.key, "key");
    QTEST(s.prefix, "prefix");
    QTEST(s.energyText, "energyText");
    QTEST(s.energy, "energy");
    QTEST(s.unitFactor, "unitFactor");
    QTEST(s.unit, "unit");
    QCOMPARE(s.files.size(), 1);
}

void TstCtFileSet::grouping_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("A/B example")
        << QStringList{"A-1_0keV-001.img", "A-1_0keV-002.img", "A-2_0keV-001.img",
                       "B-1_0keV-001.img"}
        << QStringList{"A (1[keV], 2)", "  (2[keV], 1)", "B (1[keV], 1)"};
    QTest::newRow("two energies, prefix blanked to its width")
        << QStringList{"Fe-7_112keV-0001.img", "Fe-7_112keV-0002.img", "Fe-7_112keV-0003.img",
                       "Fe-7_113keV-0001.img", "Fe-7_113keV-0002.img", "Fe-7_113keV-0003.img"}
        << QStringList{"Fe (7.112[keV], 3)", "   (7.113[keV], 3)"};
    QTest::newRow("prefix shown again after another one")
        << QStringList{"A-1eV-1.img", "B-1eV-1.img", "A-2eV-1.img"}
        << QStringList{"A (1[eV], 1)", "B (1[eV], 1)", "A (2[eV], 1)"};
    QTest::newRow("only adjacent files share a set")
        << QStringList{"A-1eV-1.img", "B-1eV-1.img", "A-1eV-2.img"}
        << QStringList{"A (1[eV], 1)", "B (1[eV], 1)", "A (1[eV], 1)"};
    QTest::newRow("names without a dash each start a set")
        << QStringList{"alpha.img", "beta.img"}
        << QStringList{"alpha.img (0[alpha.img], 1)", "beta.img (0[beta.img], 1)"};
    QTest::newRow("same name without dash twice is one set")
        << QStringList{"x", "x"} << QStringList{"x (0[x], 2)"};
    QTest::newRow("no unit") << QStringList{"Fe-7112-01.img"} << QStringList{"Fe (7112[], 1)"};
    QTest::newRow("empty listing") << QStringList{} << QStringList{};
}

void TstCtFileSet::grouping()
{
    QFETCH(QStringList, names);
    const QList<CtFileSet*> sets = CtFileSet::group(infos(names));
    const QStringList texts = CtFileSet::entryTexts(sets);
    int total = 0;
    for (const CtFileSet* s : sets)
        total += s->files.size();
    qDeleteAll(sets);
    QTEST(texts, "entries");
    QCOMPARE(total, names.size());
}

QTEST_GUILESS_MAIN(TstCtFileSet)
#include "tst_ctfileset.moc"
