#include "TextFile.h"
#include "ConfigStore.h"
#include "LogCapture.h"
#include "LogRelay.h"
#include "Logging.h"

#include <QtTest>

#include <sys/stat.h>

namespace {
struct Argv
{
    explicit Argv(const QStringList& args)
    {
        for (const QString& a : args)
            bytes << a.toUtf8();
        for (QByteArray& b : bytes)
            ptrs.push_back(b.data());
    }
    int argc() const { return int(ptrs.size()); }
    char** argv() { return ptrs.data(); }
    QList<QByteArray> bytes;
    std::vector<char*> ptrs;
};

} // namespace

class TstConfig : public QObject
{
    Q_OBJECT
private slots:
    void arguments_data();
    void arguments();
    void configAndDataRoot_data();
    void configAndDataRoot();
    void readFile_data();
    void readFile();
    void includes();
    void missingFile();
    void endlessOrHugeInclude();
    void fifoAndDeepIncludesEndAtOnce();
    void readingIsBoundedAndSaysWhy_data();
    void readingIsBoundedAndSaysWhy();
    void logFloodIsCoalesced();
};

void TstConfig::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("full");
    QTest::newRow("batch and exec") << QStringList{"zuvo2", "-b", "run.bat", "-x"} << "-b" << true << "run.bat" << "run.bat";
    QTest::newRow("flag without value") << QStringList{"zuvo2", "-b", "run.bat", "-x"} << "-x" << true << "" << "";
    QTest::newRow("two values") << QStringList{"zuvo2", "-b", "one", "two"} << "-b" << true << "one" << "one two";
    QTest::newRow("negative number is an option") << QStringList{"zuvo2", "-d", "-5"} << "-d" << true << "" << "";
    QTest::newRow("negative number is a key") << QStringList{"zuvo2", "-d", "-5"} << "-5" << true << "" << "";
    QTest::newRow("last setting wins") << QStringList{"zuvo2", "-b", "a", "-b", "b"} << "-b" << true << "b" << "b";
    QTest::newRow("stray argument ignored") << QStringList{"zuvo2", "stray", "-x"} << "stray" << false << "" << "";
    QTest::newRow("case-sensitive keys") << QStringList{"zuvo2", "-B", "x"} << "-b" << false << "" << "";
    QTest::newRow("utf-8") << QStringList{"zuvo2", "-d", QString::fromUtf8("/データ")} << "-d" << true << QString::fromUtf8("/データ") << QString::fromUtf8("/データ");
}

void TstConfig::arguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, key);
    QFETCH(bool, present);
    QFETCH(QString, value);
    QFETCH(QString, full);
    ConfigStore store;
    Argv a(args);
    store.parseArguments(a.argc(), a.argv());
    QCOMPARE(store.contains(key), present);
    QCOMPARE(store.value(key, present ? "default" : ""), value);
    QCOMPARE(store.fullValue(key), full);
}

void TstConfig::configAndDataRoot_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("cfg");
    QTest::addColumn<QString>("root");
    QTest::newRow("defaults") << QStringList{"z"} << "config.cfg" << "/home/def";
    QTest::newRow("-config beats -c") << QStringList{"z", "-config", "a.cfg", "-c", "b.cfg"} << "a.cfg" << "/home/def";
    QTest::newRow("-c") << QStringList{"z", "-c", "b.cfg"} << "b.cfg" << "/home/def";
    QTest::newRow("bare -c") << QStringList{"z", "-c"} << "" << "/home/def";
    QTest::newRow("-d") << QStringList{"z", "-d", "/data"} << "config.cfg" << "/data";
}

void TstConfig::configAndDataRoot()
{
    QFETCH(QStringList, args);
    QFETCH(QString, cfg);
    QFETCH(QString, root);
    ConfigStore store;
    Argv a(args);
    store.parseArguments(a.argc(), a.argv());
    QCOMPARE(store.configFileName(), cfg);
    QCOMPARE(store.dataRootFrom("/home/def"), root);
    // A DataRoot from the file gives way to -d only.
    store.setEntry("DataRoot", "/file/root", "/file/root", "");
    QCOMPARE(store.dataRootFrom("/home/def"), args.contains("-d") ? root : QString("/file/root"));
}

void TstConfig::readFile_data()
{
    QTest::addColumn<QString>("eol");
    QTest::newRow("LF") << "\n";
    QTest::newRow("CR LF") << "\r\n";
    QTest::newRow("lone CR") << "\r";
}

void TstConfig::readFile()
{
    QFETCH(QString, eol);
    QTemporaryDir dir;
    const QString f = dir.filePath("c.cfg");
    QVERIFY(writeTextFile(f, QStringList{"DataRoot \"/my data/ct\"  # where the data are", "   # only a comment", "\t  ",
                                         "Alone", "Key  v1 v2 ", "DataRoot /second", ""}
                                 .join(eol)));
    ConfigStore store;
    store.readFile(f);
    QCOMPARE(store.size(), 3);
    QCOMPARE(store.value("DataRoot", "x"), QString("/second"));
    QVERIFY(store.contains("Alone"));
    QCOMPARE(store.value("Alone", "x"), QString());
    QCOMPARE(store.value("Key", "x"), QString("v1"));
    QCOMPARE(store.fullValue("Key"), QString("  v1 v2 "));
}

void TstConfig::includes()
{
    QTemporaryDir dir;
    const QString main = dir.filePath("main.cfg");
    const QString inc = dir.filePath("inc.cfg");
    QVERIFY(writeTextFile(main, "A 1\ninclude " + inc + "\nB 2\niNcLuDe " + dir.filePath("nothere.cfg") +
                                    "\nC 3\nINCLUDE " + main + "\n"));
    QVERIFY(writeTextFile(inc, "A from-inc\nB from-inc\nD 4\nInclude " + main + "\n"));
    ConfigStore store;
    QStringList captured;
    {
        LogCapture log;
        store.readFile(main);
        captured = log.lines();
    }
    QCOMPARE(store.value("A", ""), QString("from-inc"));
    QCOMPARE(store.value("B", ""), QString("2"));
    QCOMPARE(store.value("C", ""), QString("3"));
    QCOMPARE(store.value("D", ""), QString("4"));
    QVERIFY(!store.contains("INCLUDE") && !store.contains("include"));
    QVERIFY(captured.contains("Can't open config file : " + dir.filePath("nothere.cfg")));
    // The cycle main -> inc -> main is cut twice: once inside inc, once at the end of main.
    QCOMPARE(captured.filter("includes itself").size(), 2);
}

void TstConfig::missingFile()
{
    ConfigStore store;
    store.setEntry("K", "v", "v", "");
    QTest::ignoreMessage(QtDebugMsg, "Can't open config file : /no/such/file.cfg");
    store.readFile("/no/such/file.cfg");
    QCOMPARE(store.size(), 1);
    QCOMPARE(store.value("K", ""), QString("v"));
}

void TstConfig::endlessOrHugeInclude()
{
    // A device that never ends and a file over the limit are skipped whole,
    // with a message; the lines around them still count.
    QTemporaryDir dir;
    const QString huge = dir.filePath("huge.cfg");
    QFile h(huge);
    QVERIFY(h.open(QIODevice::WriteOnly));
    const QByteArray line = "K v\n";
    QVERIFY(h.resize((qint64(16) << 20) + 1)); // zero bytes past the limit
    QVERIFY(h.write(line) == line.size());
    h.close();
    const QString main = dir.filePath("main.cfg");
    QVERIFY(writeTextFile(main, "A 1\nINCLUDE /dev/zero\nB 2\nINCLUDE " + huge + "\nC 3\n"));
    ConfigStore store;
    QStringList captured;
    {
        LogCapture log;
        store.readFile(main);
        captured = log.lines();
    }
    QCOMPARE(captured, (QStringList{"Config file is not a regular file, skipped : /dev/zero",
                                    "Config file too large, skipped : " + huge}));
    QCOMPARE(store.size(), 3);
    QVERIFY(!store.contains("K"));
    QCOMPARE(store.value("C", ""), QString("3"));
}

void TstConfig::fifoAndDeepIncludesEndAtOnce()
{
    // A FIFO with no writer would block the open for ever; a chain of
    // includes thousands deep would overflow the stack.
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.cfg");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int depth = 5000;
    for (int i = 0; i < depth; ++i)
        QVERIFY(writeTextFile(dir.filePath(QString("c%1.cfg").arg(i)),
                              QString("K%1 v\nINCLUDE %2\n").arg(i).arg(dir.filePath(QString("c%1.cfg").arg(i + 1)))));
    QVERIFY(writeTextFile(dir.filePath(QString("c%1.cfg").arg(depth)), "END 1\n"));
    QVERIFY(writeTextFile(dir.filePath("main.cfg"), "INCLUDE " + fifo + "\nINCLUDE " + dir.filePath("c0.cfg") + "\n"));
    ConfigStore store;
    QStringList captured;
    {
        LogCapture log;
        store.readFile(dir.filePath("main.cfg"));
        captured = log.lines();
    }
    QCOMPARE(captured.filter("not a regular file").size(), 1);
    QCOMPARE(captured.filter("nested too deeply").size(), 1);
    QVERIFY(store.contains("K0"));
    QVERIFY(!store.contains("END"));
}

void TstConfig::readingIsBoundedAndSaysWhy_data()
{
    QTest::addColumn<QString>("attack");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("times");
    QTest::addColumn<QString>("lastKey"); // still read
    QTest::newRow("each file includes the next twice, 40 deep") << "double" << "included again, read once only" << 40 << "K40";
    QTest::newRow("300 files") << "wide" << "More than 256 config files" << 45 << "K254";
    QTest::newRow("an option given twice") << "args" << "Option -d given more than once" << 1 << "-d";
}

void TstConfig::readingIsBoundedAndSaysWhy()
{
    QFETCH(QString, attack);
    QFETCH(QString, said);
    QFETCH(int, times);
    QFETCH(QString, lastKey);
    QTemporaryDir dir;
    const auto name = [&](int i) { return dir.filePath(QString("c%1.cfg").arg(i)); };
    QString main = dir.filePath("main.cfg");
    if (attack == "double") {
        // 2^40 reads unless each file is read once.
        for (int i = 0; i < 40; ++i)
            QVERIFY(writeTextFile(name(i), QString("K%1 v\nINCLUDE %2\nINCLUDE %2\n").arg(i).arg(name(i + 1))));
        QVERIFY(writeTextFile(name(40), "K40 v\n"));
        main = name(0);
    } else if (attack == "wide") {
        QString text;
        for (int i = 0; i < 300; ++i) {
            QVERIFY(writeTextFile(name(i), QString("K%1 v\n").arg(i)));
            text += "INCLUDE " + name(i) + "\n";
        }
        QVERIFY(writeTextFile(main, text));
    }
    ConfigStore store;
    QStringList captured;
    {
        LogCapture log;
        if (attack == "args") {
            Argv a({"zuvo2", "-d", "/a", "-x", "-d", "/b"});
            store.parseArguments(a.argc(), a.argv());
        } else {
            store.readFile(main);
        }
        captured = log.lines();
    }
    QCOMPARE(captured.filter(said).size(), times);
    QVERIFY(store.contains(lastKey));
}

// A producer faster than the window: the window gets a second's budget and
// one line for the rest; standard error (here the capture) gets every line.
void TstConfig::logFloodIsCoalesced()
{
    LogCapture stderrStandIn;
    QStringList shown;
    {
        LogRelay relay;
        QVERIFY(relay.installed());
        QObject context;
        connect(&relay, &LogRelay::messages, &context, [&](const QList<LogLine>& lines) {
            for (const LogLine& l : lines)
                shown << l.text;
        });
        for (int i = 0; i < 1000; ++i)
            qCWarning(lcApp, "line %d", i);
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), LogRelay::linesPerWindow + 1, 5000);
    }
    QCOMPARE(shown.first(), QString("line 0"));
    QCOMPARE(shown.at(LogRelay::linesPerWindow - 1), QString("line %1").arg(LogRelay::linesPerWindow - 1));
    QCOMPARE(shown.last(), QString("\u2026 %1 more lines").arg(1000 - LogRelay::linesPerWindow));
    QCOMPARE(stderrStandIn.lines().filter("line ").size(), 1000);
}

QTEST_GUILESS_MAIN(TstConfig)
#include "tst_config.moc"
