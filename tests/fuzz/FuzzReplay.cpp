// Stands in for libFuzzer where it is not available (the gcc builds): runs the
// target once on every file named, or on every file of every directory named,
// so the corpus and its regression inputs are checked by every test run.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static bool runFile(const QString& name)
{
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
        return false;
    }
    const QByteArray bytes = f.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    return true;
}

int main(int argc, char** argv)
{
    int count = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (QFileInfo(arg).isDir()) {
            const QDir dir(arg);
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
                ok = runFile(dir.filePath(name)) && ok;
                ++count;
            }
        } else {
            ok = runFile(arg) && ok;
            ++count;
        }
    }
    std::printf("replayed %d inputs\n", count);
    // An empty corpus means a broken set-up, not a pass.
    return ok && count > 0 ? 0 : 1;
}
