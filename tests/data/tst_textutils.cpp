#include "FileEnergy.h"
#include "TextUtils.h"
#include "LogCapture.h"

#include <QtTest>

class TstTextUtils : public QObject
{
    Q_OBJECT
private slots:
    void cutComment_data();
    void cutComment();
    void blankLine_data();
    void blankLine();
    void nextItem_data();
    void nextItem();
    void nextItemAt_data();
    void nextItemAt();
    void readAtMost_data();
    void readAtMost();
    void itemsAfter_data();
    void itemsAfter();
    void beginsWith_data();
    void beginsWith();
    void continuation_data();
    void continuation();
    void spacesCount_data();
    void spacesCount();
    void fileEnergy_data();
    void fileEnergy();
    void nearestEnergy_data();
    void nearestEnergy();
};

void TstTextUtils::cutComment_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("comment");
    QTest::newRow("quoted hash") << "a \"x#y\" # note" << "a \"x#y\" " << " note";
    QTest::newRow("apostrophe opens quote") << "it's # c" << "it's # c" << "untouched";
    QTest::newRow("apostrophe closes double quote") << "\"a' # b" << "\"a' " << " b";
    QTest::newRow("no comment") << "abc def" << "abc def" << "untouched";
    QTest::newRow("hash first") << "#all" << "" << "all";
    QTest::newRow("empty") << "" << "" << "untouched";
    QTest::newRow("second hash kept in comment") << "a#b#c" << "a" << "b#c";
}

void TstTextUtils::cutComment()
{
    QFETCH(QString, line);
    QFETCH(QString, before);
    QFETCH(QString, comment);
    QString c = "untouched";
    QCOMPARE(::cutComment(line, c), before);
    QCOMPARE(c, comment);
    QCOMPARE(removeComment(line), before);
}

void TstTextUtils::blankLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("blank");
    QTest::newRow("empty") << "" << true;
    QTest::newRow("spaces and tabs") << " \t  " << true;
    QTest::newRow("comment only") << "   # just a note" << true;
    QTest::newRow("word") << "  x # c" << false;
    QTest::newRow("quoted hash is no comment") << "\"#\"" << false;
}

void TstTextUtils::blankLine()
{
    QFETCH(QString, line);
    QFETCH(bool, blank);
    QCOMPARE(isBlankLine(line), blank);
}

void TstTextUtils::nextItem_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("rest");
    QTest::addColumn<QString>("message");
    const QString open = "In a line [%1] item is started from quote but not ended by quote";
    const QString close = "In a line [%1] item is started from not quote but ended by quote";
    QTest::newRow("quoted phrase") << "  \"a b\" c" << "a b" << " c" << "";
    QTest::newRow("unclosed quote") << "\"abc" << "abc" << "" << open.arg("\"abc");
    QTest::newRow("closing quote only") << "abc\" d" << "abc\"" << " d" << close.arg("abc\" d");
    QTest::newRow("closing quote at end") << "x abc\"" << "x" << " abc\"" << "";
    QTest::newRow("last item ends in quote") << "abc\"" << "abc\"" << "" << close.arg("abc\"");
    QTest::newRow("three spaces") << "   " << "" << "" << "";
    QTest::newRow("empty") << "" << "" << "" << "";
    QTest::newRow("no skip after quote") << "\"ab\"cd" << "ab" << "cd" << "";
    QTest::newRow("empty quotes") << "\"\" x" << "" << " x" << "";
    QTest::newRow("hash inside quotes") << "\"a#b\"" << "a#b" << "" << "";
    QTest::newRow("tab separated") << "a\tb" << "a" << "\tb" << "";
}

void TstTextUtils::nextItem()
{
    QFETCH(QString, text);
    QFETCH(QString, item);
    QFETCH(QString, rest);
    QFETCH(QString, message);
    QString got = "junk";
    LogCapture log;
    const QString r = ::nextItem(text, got);
    const QStringList logged = log.lines();
    QCOMPARE(r, rest);
    QCOMPARE(got, item);
    QCOMPARE(logged, message.isEmpty() ? QStringList() : QStringList{message});
}

void TstTextUtils::nextItemAt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("pos");
    QTest::addColumn<QString>("message");
    const QString open = "In a line [%1] item is started from quote but not ended by quote";
    const QString close = "In a line [%1] item is started from not quote but ended by quote";
    QTest::newRow("from start") << "ab cd" << 0 << "ab" << 2 << "";
    QTest::newRow("from the blank") << "ab cd" << 2 << "cd" << 5 << "";
    QTest::newRow("inside a word") << "ab cd" << 1 << "b" << 2 << "";
    QTest::newRow("past the end") << "ab" << 7 << "" << 2 << "";
    QTest::newRow("negative from") << "ab" << -3 << "ab" << 2 << "";
    QTest::newRow("quoted, rest right behind") << "x \"a b\"c" << 1 << "a b" << 7 << "";
    // Messages quote the text from the position on, as nextItem on the rest would.
    QTest::newRow("unclosed quote") << "x \"ab" << 1 << "ab" << 5 << open.arg(" \"ab");
    QTest::newRow("closing quote only") << "x ab\" y" << 1 << "ab\"" << 5 << close.arg(" ab\" y");
    QTest::newRow("last item ends in quote") << "x ab\"" << 2 << "ab\"" << 5 << close.arg("ab\"");
}

void TstTextUtils::nextItemAt()
{
    QFETCH(QString, text);
    QFETCH(int, from);
    QFETCH(QString, item);
    QFETCH(int, pos);
    QFETCH(QString, message);
    QString got = "junk";
    LogCapture log;
    const qsizetype p = ::nextItemAt(text, from, got);
    const QStringList logged = log.lines();
    QCOMPARE(got, item);
    QCOMPARE(int(p), pos);
    QCOMPARE(logged, message.isEmpty() ? QStringList() : QStringList{message});
}

void TstTextUtils::readAtMost_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("fits");
    QTest::newRow("empty") << 0 << 10 << true;
    QTest::newRow("below") << 9 << 10 << true;
    QTest::newRow("at the limit") << 10 << 10 << true;
    QTest::newRow("one over") << 11 << 10 << false;
    QTest::newRow("several chunks") << 200000 << 200000 << true;
    QTest::newRow("several chunks, one over") << 200001 << 200000 << false;
}

void TstTextUtils::readAtMost()
{
    QFETCH(int, size);
    QFETCH(int, limit);
    QFETCH(bool, fits);
    QByteArray data(size, 'x');
    for (int i = 0; i < size; i += 7)
        data[i] = char('a' + i % 26);
    QBuffer buf(&data);
    QVERIFY(buf.open(QIODevice::ReadOnly));
    QByteArray out = "junk";
    QCOMPARE(::readAtMost(buf, limit, out), fits);
    QCOMPARE(out, fits ? data : QByteArray());
}

void TstTextUtils::itemsAfter_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("head");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("trailing blank gives empty item")
        << "Key a  \"b c\" " << "Key" << QStringList{"a", "b c", ""};
    QTest::newRow("empty quotes") << "K=\"\" z" << "K=" << QStringList{"", "z"};
    QTest::newRow("nothing after head") << "Key" << "Key" << QStringList{};
}

void TstTextUtils::itemsAfter()
{
    QFETCH(QString, line);
    QFETCH(QString, head);
    QFETCH(QStringList, items);
    QCOMPARE(::itemsAfter(line, head), items);
}

void TstTextUtils::beginsWith_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("result");
    QTest::newRow("match") << "Prop_X=1" << "Prop_X=" << true;
    QTest::newRow("case differs") << "prop_x=1" << "Prop_X=" << false;
    QTest::newRow("key longer") << "ab" << "abc" << false;
    QTest::newRow("empty key") << "ab" << "" << true;
}

void TstTextUtils::beginsWith()
{
    QFETCH(QString, line);
    QFETCH(QString, key);
    QFETCH(bool, result);
    QCOMPARE(::beginsWith(line, key), result);
}

void TstTextUtils::continuation_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("marked");
    QTest::addColumn<QString>("cut");
    QTest::addColumn<QString>("chopped");
    QTest::newRow("mark then spaces") << "cmd arg \\  " << true << "cmd arg " << "cmd arg ";
    QTest::newRow("no mark") << "cmd" << false << "cmd" << "cmd";
    QTest::newRow("two marks") << "a \\ \\" << true << "a \\ " << "a ";
    QTest::newRow("only blanks") << "   " << false << "   " << "   ";
    QTest::newRow("only a mark") << "\\" << true << "" << "";
    QTest::newRow("inner mark") << "a\\b" << false << "a\\b" << "a\\b";
}

void TstTextUtils::continuation()
{
    QFETCH(QString, line);
    QFETCH(bool, marked);
    QFETCH(QString, cut);
    QFETCH(QString, chopped);
    QString l = line;
    QCOMPARE(removeTailBackslash(l), marked);
    QCOMPARE(l, cut);
    QString l2 = line;
    QCOMPARE(chopContinuation(l2), chopped);
}

void TstTextUtils::spacesCount_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("length");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("3") << 3 << 3;
    QTest::newRow("100") << 100 << 100;
    QTest::newRow("101") << 101 << 101;
    QTest::newRow("500") << 500 << 101;
    QTest::newRow("negative") << -1 << 101;
}

void TstTextUtils::spacesCount()
{
    QFETCH(int, n);
    QFETCH(int, length);
    const QString s = spaces(n);
    QCOMPARE(s.size(), length);
    QCOMPARE(s.trimmed(), QString());
}

void TstTextUtils::fileEnergy_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<double>("energy");
    QTest::newRow("keV") << "/d/Fe-7_112keV-0001.img" << 7112.0;
    QTest::newRow("eV") << "/d/Fe-7112eV-0001.img" << 7112.0;
    QTest::newRow("no unit") << "/d/Fe-7112-0001.img" << 7112.0;
    QTest::newRow("KEV") << "/d/Fe-7_112KEV-0001.img" << 7112.0;
    QTest::newRow("no number") << "/d/Fe-abc-0001.img" << 0.0;
    QTest::newRow("dash in directory") << "/my-data/Cu-8_9keV-0003.img" << 8900.0;
}

void TstTextUtils::fileEnergy()
{
    QFETCH(QString, path);
    QFETCH(double, energy);
    QCOMPARE(::fileEnergy(path), energy);
}

void TstTextUtils::nearestEnergy_data()
{
    QTest::addColumn<QList<double>>("energies");
    QTest::addColumn<double>("e");
    QTest::addColumn<int>("index");
    // The nearest is too far to stand for e: e's own file is missing.
    QTest::addColumn<bool>("gap");
    QTest::newRow("tie keeps earlier") << QList<double>{7100, 7120, 7110} << 7115.0 << 1 << false;
    QTest::newRow("exact") << QList<double>{7100, 7120, 7110} << 7110.0 << 2 << false;
    QTest::newRow("below all") << QList<double>{7100, 7120} << 1.0 << 0 << true;
    QTest::newRow("empty") << QList<double>{} << 7115.0 << -1 << false;
    QTest::newRow("one file for every energy") << QList<double>{7100} << 9000.0 << 0 << false;
    QTest::newRow("the set's own file missing") << QList<double>{7100, 7110, 7130, 7140} << 7120.0 << 1 << true;
    QTest::newRow("one of three missing") << QList<double>{7100, 7110, 7130} << 7120.0 << 1 << true;
    QTest::newRow("a coarser list, within half a step") << QList<double>{7100, 7110, 7120} << 7104.0 << 0 << false;
    QTest::newRow("beyond the last by more than half a step") << QList<double>{7100, 7110, 7120} << 7131.0 << 2 << true;
    QTest::newRow("uneven steps, on the list") << QList<double>{7040, 7055, 7070, 7100, 7102, 7104} << 7055.0 << 1
                                               << false;
}

void TstTextUtils::nearestEnergy()
{
    QFETCH(QList<double>, energies);
    QFETCH(double, e);
    QFETCH(int, index);
    QFETCH(bool, gap);
    QCOMPARE(nearestEnergyIndex(energies, e), index);
    const QString why = energyGap(energies, e);
    QVERIFY2(why.isEmpty() != gap, qPrintable(why));
}

QTEST_GUILESS_MAIN(TstTextUtils)
#include "tst_textutils.moc"
