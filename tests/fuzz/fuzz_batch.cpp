// The batch loader on arbitrary files, every loaded line parsed as a command
// with its argument conversions, then the program run against a stand-in for
// the main window that finishes each command at once. A step budget ends
// programs that loop by design (":goto" back to an earlier label).
#include "Batch.h"
#include "FuzzCommon.h"

#include "TextUtils.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextStream>

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

// The loader's result by the plain rule: join a line ending in a mark with
// the next, cut one or two marks, keep non-empty lines. Quadratic on long
// runs of continued lines, which is why the loader does it differently.
QStringList referenceProgram(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray bytes = f.readAll();
    // Decoded by its byte-order mark, UTF-8 otherwise; LF, CR LF and a lone
    // CR each end a line.
    QStringDecoder decode(QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8));
    // (Not by regular expression: it matches nothing in text with a lone surrogate.)
    QString text = decode(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QStringList out;
    QString pending;
    bool continued = false;
    for (const QString& raw : lines) {
        QString line = removeComment(raw);
        if (continued)
            line = pending + line;
        QString probe = line;
        if (removeTailBackslash(probe)) {
            pending = chopContinuation(line);
            continued = true;
            continue;
        }
        continued = false;
        pending.clear();
        if (!line.isEmpty())
            out << line;
    }
    if (continued && !pending.isEmpty())
        out << pending;
    return out;
}

// Items of a line by repeated nextItem, the rest copied at each step.
QStringList referenceArgs(const QString& line, QString& cmd)
{
    QStringList args;
    QString rest = nextItem(line, cmd), item;
    while (!cmd.isEmpty()) {
        rest = nextItem(rest, item);
        if (item.isEmpty())
            break;
        args << item;
    }
    return args;
}

void checkCommand(const QString& line)
{
    FUZZ_CHECK(!line.contains(QLatin1Char('\n')));
    const BatchCmd cmd(line);
    FUZZ_CHECK(cmd.line == line);
    QString word;
    const QStringList args = referenceArgs(line, word);
    FUZZ_CHECK(cmd.cmd == word && cmd.args == args);
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
    // Posted continuations are delivered only with an application object.
    static int argc = 1;
    static char name[] = "fuzz_batch";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
    // The step count below reads the per-line echo, which is off by default.
    static const bool echo = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("zuvo2.lines.debug=true"));
        return true;
    }();
    (void)echo;
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
    // LF, CR LF and a lone CR each end a line.
    FUZZ_CHECK(program.size() <= in.count('\n') + in.count('\r') + 1);
    FUZZ_CHECK(program == referenceProgram(path));
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
    // Long runs of control lines go on through the event queue; each turn
    // runs at least one line, so the step budget bounds this loop too.
    for (int turn = 0; batch.isRunning() && turn <= kStepBudget; ++turn)
        QCoreApplication::sendPostedEvents(&batch, QEvent::MetaCall);
    fuzz::logHook = nullptr;
    active = nullptr;
    FUZZ_CHECK(!batch.isRunning());
    FUZZ_CHECK(handed <= steps);
    FUZZ_CHECK(batch.currentLine() >= 0 && batch.currentLine() <= program.size());
    return 0;
}
