// The configuration reader on arbitrary files that may include themselves or
// each other. The input is two files, A and B, split at the first line "==";
// the words @A@ and @B@ in them become the paths of the two files, so INCLUDE
// cycles (A->A, A->B->A) are easy to reach. The first lines of A also serve
// as a command line.
#include "ConfigStore.h"
#include "FuzzCommon.h"

#include <QByteArrayList>
#include <QDir>
#include <QTemporaryDir>

#include <vector>

namespace {

// Device and process files can block or never end; the reader's own limits
// are tested on /dev/zero, the rest is kept out of the fuzzer's reach.
bool harmless(const QByteArray& in)
{
    QByteArray probe = in;
    probe.replace("/dev/zero", "").replace("/dev/null", "");
    return !probe.contains("/dev") && !probe.contains("/proc") && !probe.contains("/sys") &&
           !probe.contains("/run") && !probe.contains('\0');
}

int lineCount(const QByteArray& b)
{
    // LF, CR LF and a lone CR each end a line: an upper bound.
    return int(b.count('\n') + b.count('\r')) + 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::quiet();
    static QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    const QByteArray in(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!harmless(in))
        return 0;

    const qsizetype split = in.indexOf("\n==\n");
    QByteArray a = split < 0 ? in : in.left(split + 1);
    QByteArray b = split < 0 ? QByteArray() : in.mid(split + 4);
    const QString pathA = dir.filePath(QStringLiteral("a.cfg"));
    const QString pathB = dir.filePath(QStringLiteral("b b.cfg"));
    for (QByteArray* f : {&a, &b}) {
        f->replace("@A@", pathA.toUtf8());
        f->replace("@B@", ('"' + pathB + '"').toUtf8());
    }
    if (!fuzz::writeFile(pathA, a) || !fuzz::writeFile(pathB, b))
        std::abort();

    // Relative INCLUDE names resolve in the scratch directory.
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());

    ConfigStore store;
    store.readFile(pathA);
    // INCLUDE lines add nothing themselves; every other line at most one key.
    FUZZ_CHECK(store.size() <= lineCount(a) + lineCount(b));
    for (int round = 0; round < 2; ++round) {
        // A second read sets the same keys again and adds none.
        const int before = store.size();
        store.readFile(pathA);
        FUZZ_CHECK(round == 0 || store.size() == before);
    }
    (void)store.configFileName();
    (void)store.dataRootFrom(QStringLiteral("/x"));

    // Command line: the first lines of A, each one argument.
    QByteArrayList args = a.split('\n');
    while (args.size() > 32)
        args.removeLast();
    std::vector<char*> argv;
    for (QByteArray& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    ConfigStore cmd;
    cmd.parseArguments(int(args.size()), argv.data());
    FUZZ_CHECK(cmd.size() <= args.size());
    for (const QByteArray& arg : args)
        if (arg.startsWith('-'))
            FUZZ_CHECK(cmd.contains(QString::fromUtf8(arg)));

    QDir::setCurrent(cwd);
    return 0;
}
