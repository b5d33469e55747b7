// The batch loader on arbitrary files, every loaded line parsed as a command
// with its argument conversions, then the program run against a stand-in for
// the main window that finishes each command at once. A step budget ends
// programs that loop by design (":goto" back to an earlier label).
#include "Batch.h"
#include "FuzzCommon.h"

#include <QTemporaryDir>

#include <climits>
#include <cmath>

namespace {

Batch* active = nullptr;
int steps = 0;
const int kStepBudget = 2000;

// Every line the interpreter takes is logged as "cmd ..."; count them so that
// loops made of control lines alone are ended too.
void countStep(const QString& msg)
{
    if (active && msg.startsWith(QLatin1String("cmd")) && ++steps == kStepBudget)
        QMetaObject::invokeMethod(active, "batchStop", Qt::DirectConnection);
}

void checkCommand(const QString& line)
{
    FUZZ_CHECK(!line.contains(QLatin1Char('\n')));
    const BatchCmd cmd(line);
    FUZZ_CHECK(cmd.line == line);
    FUZZ_CHECK(cmd.args.isEmpty() || !cmd.cmd.isEmpty());
    FUZZ_CHECK(cmd.args.size() <= line.size());
    FUZZ_CHECK(cmd.isCommand(cmd.cmd));
    for (const QString& a : cmd.args)
        FUZZ_CHECK(!a.isEmpty() && line.contains(a));
    // Out-of-range indices read as 0; every index is converted.
    FUZZ_CHECK(cmd.argAsDouble(-1) == 0 && cmd.argAsDouble(int(cmd.args.size())) == 0);
    for (int i = 0; i < cmd.args.size(); ++i)
        (void)cmd.argAsDouble(i);
    (void)cmd.firstArgAsDouble();
    const double n = cmd.firstArgAsInt();
    FUZZ_CHECK(n == std::floor(n) && n >= INT_MIN && n <= INT_MAX);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::quiet();
    static QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    const QString path = dir.filePath(QStringLiteral("prog.bat"));
    const QByteArray in(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!fuzz::writeFile(path, in))
        std::abort();

    Batch batch;
    batch.batchLoad(path);
    const QStringList program = batch.program();
    FUZZ_CHECK(program.size() <= in.count('\n') + 1);
    for (const QString& line : program)
        checkCommand(line);

    // Run it: each command is finished at once, "seq_exec_next" clears the
    // result flag as the main window does when no data set is left.
    int handed = 0;
    QObject::connect(&batch, &Batch::batchExCmd, &batch, [&](const BatchCmd& cmd) {
        ++handed;
        if (cmd.isCommand(QStringLiteral("seq_exec_next")))
            batch.setOkFlag(false);
        batch.batchCheckEnd();
    }, Qt::DirectConnection);
    active = &batch;
    steps = 0;
    fuzz::logHook = countStep;
    batch.batchExec();
    fuzz::logHook = nullptr;
    active = nullptr;
    FUZZ_CHECK(!batch.isRunning());
    FUZZ_CHECK(handed <= steps);
    FUZZ_CHECK(batch.currentLine() >= 0 && batch.currentLine() <= program.size());
    return 0;
}
