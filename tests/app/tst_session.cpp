// The session's references: a set keeps its image when a file does not join
// it (naming the file for the run to refuse), clearing the I0 takes the
// after-scan I0 with it, and nothing changes while the images are in use.
#include "Failures.h"
#include "ImgData.h"
#include "ItexWriter.h"
#include "Session.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

using Ref = Session::Reference;

class TstSession : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void referenceSets_data();
    void referenceSets();
    void clearingI0TakesTheAfterScanI0();
    void nothingChangesWhileInUse();

private:
    QString file(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
};

void TstSession::initTestCase()
{
    QVERIFY(dir.isValid());
    for (auto [name, w, v] : {std::tuple{"a.img", 4, 10}, {"b.img", 4, 30}, {"wide.img", 6, 10}}) {
        std::vector<quint16> px(size_t(w * 3), quint16(v));
        QVERIFY(ItexWriter(w, 3, 2).write16(file(name), px.data()));
    }
}

void TstSession::referenceSets_data()
{
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("pixel");
    QTest::addColumn<QString>("name");
    QTest::newRow("one file") << QStringList{"a.img"} << QStringList{} << true << 1 << 10.0 << "a.img";
    QTest::newRow("mean of two") << QStringList{"a.img"} << QStringList{"b.img"} << true << 2 << 20.0 << "a.img";
    QTest::newRow("other size kept out") << QStringList{"a.img"} << QStringList{"wide.img"} << false << 1 << 10.0
                                         << "wide.img";
    QTest::newRow("missing file kept out") << QStringList{"a.img"} << QStringList{"none.img"} << false << 1 << 10.0
                                           << "none.img";
}

void TstSession::referenceSets()
{
    QFETCH(QStringList, first);
    QFETCH(QStringList, added);
    QFETCH(bool, ok);
    QFETCH(int, count);
    QFETCH(double, pixel);
    QFETCH(QString, name);
    Session s(1);
    QSignalSpy changed(&s, &Session::referenceChanged);
    const auto paths = [this](const QStringList& names) {
        QStringList p;
        for (const QString& n : names)
            p << dir.filePath(n);
        return p;
    };
    QVERIFY(s.loadReference(Ref::Bg, paths(first), false, QStringLiteral("test")));
    const int failures = Failures::total();
    if (!added.isEmpty())
        QCOMPARE(s.loadReference(Ref::Bg, paths(added), true, QStringLiteral("test")), ok);
    QCOMPARE(Failures::total() - failures, ok ? 0 : 1);
    QCOMPARE(changed.count(), added.isEmpty() ? 1 : 2);
    QCOMPARE(s.bg().count(), count);
    // The series reads the set's image: the mean, or the one kept.
    QVERIFY(s.series().bg() == s.bg().img);
    std::vector<double> row(4);
    QCOMPARE(s.series().bg()->readRow(1, row.data())[2], pixel);
    QCOMPARE(s.bg().name(), dir.filePath(name));
}

void TstSession::clearingI0TakesTheAfterScanI0()
{
    Session s(1);
    QVERIFY(s.loadReference(Ref::I0, {file("a.img")}, false, QStringLiteral("test")));
    QVERIFY(s.loadReference(Ref::I0After, {file("b.img")}, false, QStringLiteral("test")));
    QVERIFY(s.loadReference(Ref::Bg, {file("b.img")}, false, QStringLiteral("test")));
    QVERIFY(s.clearReference(Ref::I0, QStringLiteral("test")));
    QVERIFY(!s.series().i0() && !s.series().i0After());
    QVERIFY(s.series().bg());
}

void TstSession::nothingChangesWhileInUse()
{
    Session s(1);
    QVERIFY(s.loadReference(Ref::I0, {file("a.img")}, false, QStringLiteral("test")));
    const ImgData* before = s.series().i0();
    bool ct1 = false;
    s.ct1Busy = [&ct1] { return ct1; };
    for (int k = 0; k < 2; ++k) {
        s.loading = k == 0;
        ct1 = k == 1;
        QVERIFY(s.imagesInUse());
        QVERIFY(!s.loadReference(Ref::I0, {file("b.img")}, false, QStringLiteral("test")));
        QVERIFY(!s.clearReference(Ref::I0, QStringLiteral("test")));
        QCOMPARE(s.series().i0(), before);
    }
    s.loading = ct1 = false;
    QVERIFY(!s.imagesInUse());
}

QTEST_GUILESS_MAIN(TstSession)
#include "tst_session.moc"
