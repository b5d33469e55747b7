// Memory and thread limits: the budget knows every limit the process runs
// under and refuses a budget set wrong; allocations and threads that cannot
// be had end as messages, never as an exception or a run that waits for ever.
#include "CtRun.h"
#include "Failures.h"
#include "FbpKernel.h"
#include "LogCapture.h"
#include "MemoryBudget.h"

#include <QFile>
#include <QtTest>

#include <sys/resource.h>

namespace {
// Lowers a soft limit to what the process holds now plus room, and puts it
// back when it goes.
class TightLimit
{
public:
    TightLimit(int resource, qint64 room) : res(resource)
    {
        ::getrlimit(res, &old);
        QFile f(QStringLiteral("/proc/self/status"));
        qint64 heldKb = 0;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (line.startsWith(res == RLIMIT_AS ? "VmSize:" : "VmData:"))
                    heldKb = line.simplified().split(' ').value(1).toLongLong();
        struct rlimit tight = old;
        tight.rlim_cur = rlim_t(heldKb * 1024 + room);
        ok = heldKb > 0 && ::setrlimit(res, &tight) == 0;
    }
    ~TightLimit() { ::setrlimit(res, &old); }
    bool ok = false;

private:
    int res;
    struct rlimit old;
};

const qint64 kMB = qint64(1) << 20;
} // namespace

class TstLimits : public QObject
{
    Q_OBJECT
private slots:
    void badBudgetSettingIsRefused_data();
    void badBudgetSettingIsRefused();
    void budgetIsTheSmallestLimit_data();
    void budgetIsTheSmallestLimit();
    void whatCannotBeHadIsAMessage_data();
    void whatCannotBeHadIsAMessage();
};

void TstLimits::badBudgetSettingIsRefused_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("refused");
    for (const char* v : {"0", "-5", "abc", "8G", "1.5", ""})
        QTest::newRow(v) << QByteArray(v) << true;
    QTest::newRow("512") << QByteArray("512") << false;
}

void TstLimits::badBudgetSettingIsRefused()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, refused);
    qputenv("ZUVO2_MEMORY_BUDGET_MB", value);
    const QString why = memoryBudgetProblem();
    const qint64 budget = memoryBudgetBytes();
    qunsetenv("ZUVO2_MEMORY_BUDGET_MB");
    QCOMPARE(!why.isEmpty(), refused);
    if (refused)
        QVERIFY2(why.contains("ZUVO2_MEMORY_BUDGET_MB=" + QString::fromLatin1(value) + " is not"), qPrintable(why));
    else
        QVERIFY(budget > 0 && budget <= 512 * kMB);
    QVERIFY(memoryBudgetProblem().isEmpty());
}

void TstLimits::budgetIsTheSmallestLimit_data()
{
    QTest::addColumn<QString>("limit");
    QTest::addColumn<QByteArray>("max");     // cgroup rows: memory.max
    QTest::addColumn<QByteArray>("current"); // and memory.current
    QTest::addColumn<qint64>("room");        // bytes; -1 no limit
    QTest::newRow("ulimit -v") << "as" << QByteArray() << QByteArray() << 64 * kMB;
    QTest::newRow("ulimit -d") << "data" << QByteArray() << QByteArray() << 64 * kMB;
    QTest::newRow("cgroup with a limit") << "cgroup" << QByteArray("1000000\n") << QByteArray("400000\n") << qint64(600000);
    QTest::newRow("cgroup over its limit") << "cgroup" << QByteArray("1000") << QByteArray("2000") << qint64(0);
    QTest::newRow("cgroup v2 without limit") << "cgroup" << QByteArray("max\n") << QByteArray("5") << qint64(-1);
    QTest::newRow("cgroup v1 without limit") << "cgroup" << QByteArray("9223372036854771712") << QByteArray("5") << qint64(-1);
}

void TstLimits::budgetIsTheSmallestLimit()
{
    QFETCH(QString, limit);
    QFETCH(QByteArray, max);
    QFETCH(QByteArray, current);
    QFETCH(qint64, room);
    if (limit == "cgroup") {
        QCOMPARE(cgroupRoom(max, current), room);
        return;
    }
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("the sanitizers reserve address space of their own");
#endif
    // Set by hand or not, the budget stays under the limit.
    qputenv("ZUVO2_MEMORY_BUDGET_MB", "100000");
    qint64 budget = 0;
    {
        TightLimit tight(limit == "as" ? RLIMIT_AS : RLIMIT_DATA, room);
        QVERIFY(tight.ok);
        budget = memoryBudgetBytes();
    }
    qunsetenv("ZUVO2_MEMORY_BUDGET_MB");
    QVERIFY2(budget >= 0 && budget <= room, qPrintable(QString::number(budget)));
}

void TstLimits::whatCannotBeHadIsAMessage_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("said");
    QTest::newRow("kernel of 8192 x 4000") << "kernel" << "not enough memory for the reconstruction kernel of 8192 x 4000";
    QTest::newRow("worker threads") << "threads" << "Can't start worker thread 1 of 2";
}

void TstLimits::whatCannotBeHadIsAMessage()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("the sanitizers reserve address space of their own");
#endif
    QFETCH(QString, what);
    QFETCH(QString, said);
    Failures::reset();
    FbpKernel kernel;
    CtRun run;
    QStringList log;
    {
        LogCapture capture;
        // Room for small things, not for a thread's stack or 260 MB of rows.
        TightLimit tight(RLIMIT_AS, 4 * kMB);
        QVERIFY(tight.ok);
        if (what == "kernel")
            kernel.setup(8192, 4000);
        else
            run.createPool(2);
        log = capture.lines();
    }
    if (what == "kernel") {
        QVERIFY(!kernel.ready());
        QVERIFY2(kernel.setupError.startsWith(said), qPrintable(kernel.setupError));
        // With the memory back the same kernel is made.
        kernel.setup(8192, 4000);
        QVERIFY(kernel.ready() && kernel.setupError.isEmpty());
    } else {
        QCOMPARE(run.count(), 0);
        QCOMPARE(Failures::count(Failures::Run), 1);
        QVERIFY2(log.filter(said).size() == 1, qPrintable(log.join('\n')));
        // A run on no workers is refused, not left waiting.
        ReconSettings c;
        c.cond.ct2 = true;
        QVERIFY(!run.whyRefused(c).isEmpty());
    }
}

QTEST_GUILESS_MAIN(TstLimits)
#include "tst_limits.moc"
