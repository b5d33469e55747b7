#include "Batch.h"
#include "LogCapture.h"

#include <QtTest>

#include <atomic>


// Plays the main window: records each command it is handed and, unless told
// to hold, reports the line finished. "seq_exec_next" clears the flag as the
// real window does when no data set is left.
class FakeWindow : public QObject
{
    Q_OBJECT
public:
    explicit FakeWindow(Batch* b) : batch(b) {}
    Batch* batch;
    QStringList seen;
    QList<QStringList> args;
    QList<int> lineNos;
    bool hold = false;
    void finishLine() { QMetaObject::invokeMethod(batch, &Batch::batchCheckEnd, Qt::QueuedConnection); }
public slots:
    void exec(BatchCmd cmd)
    {
        seen << (cmd.args.isEmpty() ? cmd.cmd : cmd.cmd + " " + cmd.args.join(' '));
        args << cmd.args;
        lineNos << cmd.lineNo;
        if (cmd.isCommand("seq_exec_next"))
            batch->setOkFlag(false);
        if (!hold)
            finishLine();
    }
};

// Counts batchStopped() here, in the test's thread.  A QSignalSpy would
// record it in the interpreter's thread, racing the reads of the test.
class StopCount : public QObject
{
public:
    explicit StopCount(Batch* b)
    {
        connect(b, &Batch::batchStopped, this, [this] { ++n; });
    }
    int n = 0;
};

class TstBatch : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void cmdParsing_data();
    void cmdParsing();
    void argConversions_data();
    void argConversions();
    void programs_data();
    void programs();
    void strictOrder();
    void execTwiceStops();
    void missingFileKeepsProgram();
    void longControlRunsNoRecursion();
    void controlLoopStops_data();
    void controlLoopStops();
    void continuedLines_data();
    void continuedLines();
    void endlessFileKeepsProgram();
    void lineNumbersReachTheWindow();
    void guardedLinesKeepTheirQuotes_data();
    void guardedLinesKeepTheirQuotes();

private:
    void load(const QString& text);
    void settle();
    QStringList run(const QString& text);
    QThread* thread = nullptr;
    Batch* batch = nullptr;
    FakeWindow* win = nullptr;
    QTemporaryDir dir;
};

void TstBatch::init()
{
    thread = new QThread;
    batch = new Batch;
    batch->moveToThread(thread);
    thread->start();
    win = new FakeWindow(batch);
    connect(batch, &Batch::batchExCmd, win, &FakeWindow::exec);
}

void TstBatch::cleanup()
{
    thread->quit();
    thread->wait();
    delete batch;
    delete thread;
    delete win;
}

void TstBatch::load(const QString& text)
{
    const QString f = dir.filePath("prog.bat");
    QFile file(f);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate));
    file.write(text.toUtf8());
    file.close();
    QMetaObject::invokeMethod(batch, [this, f] { batch->batchLoad(f); }, Qt::BlockingQueuedConnection);
}

// The interpreter reacts to each request at once and never posts itself
// work: once a no-op has made the round trip through its thread, everything
// it will send for the requests so far is posted here; deliver it.
void TstBatch::settle()
{
    QMetaObject::invokeMethod(batch, [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::sendPostedEvents();
}

QStringList TstBatch::run(const QString& text)
{
    load(text);
    StopCount stopped(batch);
    QMetaObject::invokeMethod(batch, &Batch::batchExec, Qt::QueuedConnection);
    // Generous: sanitizer builds on a busy machine are slow.
    if (!QTest::qWaitFor([&] { return stopped.n > 0; }, 120000))
        return {"<still running>"};
    return win->seen;
}

void TstBatch::cmdParsing_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("cmd");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("words") << "ct_cor 1000.5 x" << "ct_cor" << QStringList{"1000.5", "x"};
    QTest::newRow("quoted") << "images_load \"/a b/c\" *.img" << "images_load" << QStringList{"/a b/c", "*.img"};
    QTest::newRow("empty quotes end the list") << "cmd a \"\" b" << "cmd" << QStringList{"a"};
    QTest::newRow("blank line") << "   " << "" << QStringList{};
}

void TstBatch::cmdParsing()
{
    QFETCH(QString, line);
    QFETCH(QString, cmd);
    QFETCH(QStringList, args);
    BatchCmd c(line);
    QCOMPARE(c.line, line);
    QCOMPARE(c.cmd, cmd);
    QCOMPARE(c.args, args);
}

void TstBatch::argConversions_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("asDouble");
    QTest::addColumn<double>("firstAsInt");
    QTest::newRow("int") << "c 12 x" << 0 << 12.0 << 12.0;
    QTest::newRow("decimal is no int") << "c 12.5" << 0 << 12.5 << 0.0;
    QTest::newRow("text") << "c abc" << 0 << 0.0 << 0.0;
    QTest::newRow("beyond last") << "c 1" << 3 << 0.0 << 1.0;
    QTest::newRow("negative index") << "c 1" << -1 << 0.0 << 1.0;
    QTest::newRow("no argument") << "c" << 0 << 0.0 << 0.0;
    QTest::newRow("too big for int") << "c 3000000000" << 0 << 3e9 << 0.0;
    QTest::newRow("negative") << "c -7" << 0 << -7.0 << -7.0;
}

void TstBatch::argConversions()
{
    QFETCH(QString, line);
    QFETCH(int, index);
    QFETCH(double, asDouble);
    QFETCH(double, firstAsInt);
    BatchCmd c(line);
    QCOMPARE(c.argAsDouble(index), asDouble);
    QCOMPARE(c.firstArgAsInt(), firstAsInt);
    QVERIFY(c.isCommand("C") && !c.isCommand("cc"));
}

void TstBatch::programs_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("seen");
    QTest::newRow("plain") << "a\nb 1\n" << QStringList{"a", "b 1"};
    QTest::newRow("comments dropped, blanks kept")
        << "# head\na # c\n\n   \nb\n" << QStringList{"a", "", "b"};
    QTest::newRow("goto skips")
        << "a\n:goto L\nskipped\nL\nb\n" << QStringList{"a", "L", "b"};
    QTest::newRow("goto is case-sensitive, control words are not")
        << ":GoTo Loop\nloop\nLoop\n" << QStringList{"Loop"};
    QTest::newRow("goto missing label goes on")
        << ":goto nowhere\nnext\n" << QStringList{"next"};
    QTest::newRow("goto first of two labels")
        << "x\n:goto L\nL\ny\n:end\nL\nz\n" << QStringList{"x", "L", "y"};
    QTest::newRow("end and stop")
        << "a\n:END\nb\n" << QStringList{"a"};
    QTest::newRow("stop") << "a\n:Stop\nb\n" << QStringList{"a"};
    QTest::newRow("no set left: ifng end")
        << "seq_exec_next\n:ifng :end\nafter\n" << QStringList{"seq_exec_next"};
    QTest::newRow("no set left: ifok goto does nothing")
        << "seq_exec_next\n:ifok :goto L\nafter\nL\n"
        << QStringList{"seq_exec_next", ":ifok :goto L", "after", "L"};
    QTest::newRow("flag false: untaken ifok resets it")
        << "seq_exec_next\n:ifok X\n:ifng Y\n"
        << QStringList{"seq_exec_next", ":ifok X", ":ifng Y"};
    QTest::newRow("flag true: ifok runs")
        << "a\n:IFOK X 1\n:ifng Y\n" << QStringList{"a", "X 1", ":ifng Y"};
    QTest::newRow("ifok with nothing after it")
        << "a\n:ifok\nb\n" << QStringList{"a", "", "b"};
    QTest::newRow("label line with comment only is no label")
        << ":goto L\n# L\nx\n" << QStringList{"x"};
    QTest::newRow("continued line is joined")
        << "images_load /d \\\n  *.img\nnext\n" << QStringList{"images_load /d *.img", "next"};
    QTest::newRow("empty program") << "" << QStringList{};
}

void TstBatch::programs()
{
    QFETCH(QString, program);
    QFETCH(QStringList, seen);
    QCOMPARE(run(program), seen);
}

void TstBatch::strictOrder()
{
    win->hold = true;
    load("first\nsecond\nthird\n");
    QMetaObject::invokeMethod(batch, &Batch::batchExec, Qt::QueuedConnection);
    QTRY_COMPARE(win->seen, QStringList{"first"});
    settle(); // nothing more may come while the window works
    QCOMPARE(win->seen, QStringList{"first"});
    win->finishLine();
    QTRY_COMPARE(win->seen, (QStringList{"first", "second"}));
    settle();
    QCOMPARE(win->seen.size(), 2);
    win->finishLine();
    QTRY_COMPARE(win->seen, (QStringList{"first", "second", "third"}));
    StopCount stopped(batch);
    win->finishLine();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.n, 1, 60000);
}

void TstBatch::execTwiceStops()
{
    win->hold = true;
    load("first\nsecond\n");
    StopCount stopped(batch);
    QMetaObject::invokeMethod(batch, &Batch::batchExec, Qt::QueuedConnection);
    QTRY_COMPARE(win->seen, QStringList{"first"});
    QMetaObject::invokeMethod(batch, &Batch::batchExec, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(stopped.n, 1, 60000);
    win->finishLine(); // the line in progress completes; nothing follows
    settle();
    QCOMPARE(win->seen, QStringList{"first"});
    QVERIFY(!batch->isRunning());
}

void TstBatch::missingFileKeepsProgram()
{
    load("a\nb\n");
    const QString missing = dir.filePath("none.bat");
    QSignalSpy failed(batch, &Batch::loadFailed);
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Can't open batch file " + missing));
    QMetaObject::invokeMethod(batch, [this, missing] { batch->batchLoad(missing); },
                              Qt::BlockingQueuedConnection);
    QCOMPARE(batch->program(), (QStringList{"a", "b"}));
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), missing);
}

void TstBatch::longControlRunsNoRecursion()
{
    // 200 000 control lines in a row would need far more stack than a
    // thread has if each one called the next.
    QString prog;
    prog.reserve(200000 * 8);
    for (int i = 0; i < 200000; ++i)
        prog += ":echo " + QString::number(i % 10) + "\n";
    prog += "done\n";
    QStringList seen, logged;
    {
        LogCapture log;
        seen = run(prog);
        logged = log.lines();
    }
    QCOMPARE(seen, QStringList{"done"});
    // The per-line echo ("cmd ...") is off by default: the echo lines alone.
    QCOMPARE(logged.size(), 200000);
    QCOMPARE(logged.at(0), QString(":echo 0"));
    QCOMPARE(logged.last(), QString(":echo 9"));
}

namespace {
std::atomic<int> ticks{0};
// Counts the loop's echo lines without keeping them (the loop writes many).
struct TickCounter
{
    TickCounter() : old(qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
                        if (m.startsWith(":echo tick"))
                            ++ticks;
                    }))
    {
        ticks = 0;
    }
    ~TickCounter() { qInstallMessageHandler(old); }
    QtMessageHandler old;
};
} // namespace

// A loop made only of control words still lets a stop request, or the end
// of its thread, through.
void TstBatch::controlLoopStops_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("toggle from the window") << "toggle";
    QTest::newRow("thread ended") << "quit";
}

void TstBatch::controlLoopStops()
{
    QFETCH(QString, how);
    TickCounter counter;
    load(":echo tick\n:goto :echo\n");
    QMetaObject::invokeMethod(batch, [b = batch] { b->batchExec(); }, Qt::QueuedConnection);
    QTRY_VERIFY(ticks > 1000);
    if (how == "toggle") {
        QMetaObject::invokeMethod(batch, [b = batch] { b->batchExec(); }, Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(!batch->isRunning(), 5000);
        const int after = ticks;
        QTest::qWait(50);
        QCOMPARE(int(ticks), after);
    } else {
        thread->quit();
        QVERIFY(thread->wait(5000));
    }
}

void TstBatch::continuedLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("program");
    QTest::newRow("mark, blank line, end") << "a \\\n   \nb\n" << QStringList{"a    ", "b"};
    QTest::newRow("two marks cut together") << "a \\ \\\nb\n" << QStringList{"a b"};
    QTest::newRow("three marks leave one") << "a\\\\\\\nb\n" << QStringList{"a\\b"};
    // The mark left over is seen again when a blank line follows.
    QTest::newRow("left-over mark, then blank line") << "a\\\\\\\n  \nb\n" << QStringList{"ab"};
    QTest::newRow("second mark on the line before") << "a\\\\\\\n \\\nb\n" << QStringList{"ab"};
    QTest::newRow("chain of marks") << "a \\\n b \\\n c\n" << QStringList{"a  b  c"};
    QTest::newRow("mark behind comment") << "a \\ # note\nb\n" << QStringList{"a b"};
    QTest::newRow("last line marked") << "x\na \\\n" << QStringList{"x", "a "};
    QTest::newRow("marked blank lines only") << "\\\n\\\n" << QStringList{};
    QTest::newRow("CR LF line ends") << "a \\\r\nb\r\n" << QStringList{"a b"};
    QTest::newRow("lone CR line ends") << "a \\\rb\rc" << QStringList{"a b", "c"};
    QTest::newRow("mixed line ends") << "a\rb\r\nc\n\rd\n" << QStringList{"a", "b", "c", "d"};
}

void TstBatch::continuedLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, program);
    load(text);
    QCOMPARE(batch->program(), program);
}

void TstBatch::endlessFileKeepsProgram()
{
    load("a\nb\n");
    QTest::ignoreMessage(QtDebugMsg, "Batch file too large, not loaded : /dev/zero");
    QMetaObject::invokeMethod(batch, [this] { batch->batchLoad("/dev/zero"); },
                              Qt::BlockingQueuedConnection);
    QCOMPARE(batch->program(), (QStringList{"a", "b"}));
}

void TstBatch::lineNumbersReachTheWindow()
{
    // Comments, blank and continued lines shift the numbers; a taken :ifok
    // keeps its line's number.
    const QStringList seen = run("# head\na\n\n:ifok b 1\n  \nc \\\r d\re\n");
    QCOMPARE(seen, (QStringList{"a", "b 1", "", "c d", "e"}));
    QCOMPARE(win->lineNos, (QList<int>{2, 4, 5, 6, 8}));
    QCOMPARE(batch->programLineNumbers(), (QList<int>{2, 4, 5, 6, 8}));
}

void TstBatch::guardedLinesKeepTheirQuotes_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("ifok: a path with spaces") << ":ifok auto_save_data_path \"/data/w sp/out dir\"\n"
                                              << QStringList{"/data/w sp/out dir"};
    QTest::newRow("ifng: quoted and plain") << "seq_exec_next\n:ifng images_load \"/d a/x\" *.img\n"
                                            << QStringList{"/d a/x", "*.img"};
}

void TstBatch::guardedLinesKeepTheirQuotes()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    run(program);
    QCOMPARE(win->args.last(), args);
}

QTEST_GUILESS_MAIN(TstBatch)
#include "tst_batch.moc"
