#include "ConfigStore.h"

#include "Logging.h"
#include "QuitOnSignal.h"
#include "TextUtils.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

QString defaultDataRoot()
{
    return QDir::homePath() + QStringLiteral("/data");
}

ConfigStore configStore;
QString dataRoot = defaultDataRoot();

void ConfigStore::parseArguments(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromUtf8(argv[i]);

    int i = 0;
    while (i < args.size()) {
        if (!args.at(i).startsWith(QLatin1Char('-'))) {
            ++i;
            continue;
        }
        const QString key = args.at(i);
        int j = i + 1;
        QStringList vals;
        while (j < args.size() && !args.at(j).startsWith(QLatin1Char('-')))
            vals << args.at(j++);
        if (contains(key))
            qCWarning(lcApp).noquote() << QStringLiteral("Option %1 given more than once; the last one counts").arg(key);
        setEntry(key, vals.value(0), vals.join(QLatin1Char(' ')), QString());
        i = j;
    }
}

void ConfigStore::readFile(const QString& fileName)
{
    if (includeStack.isEmpty())
        filesOfThisRead.clear();
    // A FIFO would block the open for ever, a device never ends.
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile()) {
        qCDebug(lcApp).noquote() << QStringLiteral("Config file is not a regular file, skipped : ") + fileName;
        return;
    }
    // Deep enough for any real set-up, far from exhausting the stack.
    const int kMaxIncludeDepth = 64;
    if (includeStack.size() >= kMaxIncludeDepth) {
        qCDebug(lcApp).noquote() << QStringLiteral("Config files nested too deeply, skipped : ") + fileName;
        return;
    }
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCDebug(lcApp).noquote() << QStringLiteral("Can't open config file : ") + fileName;
        return;
    }
    const QString canon = QFileInfo(fileName).canonicalFilePath();
    if (includeStack.contains(canon)) {
        qCDebug(lcApp).noquote() << QStringLiteral("Config file includes itself, skipped : ") + fileName;
        return;
    }
    // A file included again gives nothing new; reading it again would let
    // a chain of double INCLUDEs grow to 2^depth reads.
    if (filesOfThisRead.contains(canon)) {
        qCWarning(lcApp).noquote() << QStringLiteral("Config file included again, read once only : ") + fileName;
        return;
    }
    if (filesOfThisRead.size() >= kMaxConfigFiles) {
        qCWarning(lcApp).noquote() << QStringLiteral("More than %1 config files, skipped : ").arg(kMaxConfigFiles) + fileName;
        return;
    }
    filesOfThisRead << canon;
    if (!readFiles.contains(canon))
        readFiles << canon;

    // Configuration files are small; a larger one is the wrong file or a
    // device that never ends (INCLUDE /dev/zero).
    const qint64 kMaxConfigBytes = qint64(16) << 20;
    f.setTextModeEnabled(false);
    QByteArray bytes;
    if (!readAtMost(f, kMaxConfigBytes, bytes)) {
        qCDebug(lcApp).noquote() << QStringLiteral("Config file too large, skipped : ") + fileName;
        return;
    }
    includeStack << canon;

    // LF, CR LF and lone CR (old Mac editors) all end a line.
    for (const QString& line : textLines(bytes)) {
        // A quit signal ends the start-up here, not after every file.
        if (QuitOnSignal::received())
            break;
        const QString body = removeComment(line);
        if (isBlankLine(body))
            continue;
        QString key, value;
        const QString full = nextItem(body, key);
        nextItem(full, value);
        if (key.toUpper() == QLatin1String("INCLUDE"))
            readFile(value);
        else
            setEntry(key, value, full, QString());
    }
    includeStack.removeLast();
}

void ConfigStore::setEntry(const QString& key, const QString& value, const QString& fullValue,
                           const QString& comment)
{
    const int i = keys.indexOf(key);
    if (i >= 0) {
        values[i] = value;
        fullValues[i] = fullValue;
        return;
    }
    keys << key;
    values << value;
    fullValues << fullValue;
    comments << comment;
}

bool ConfigStore::contains(const QString& key) const
{
    return keys.contains(key);
}

QString ConfigStore::value(const QString& key, const QString& def) const
{
    const int i = keys.indexOf(key);
    return i >= 0 ? values.at(i) : def;
}

QString ConfigStore::fullValue(const QString& key) const
{
    const int i = keys.indexOf(key);
    return i >= 0 ? fullValues.at(i) : QString();
}

QString ConfigStore::configFileName() const
{
    QString name = QStringLiteral("config.cfg");
    if (contains("-c"))
        name = value("-c", name);
    if (contains("-config"))
        name = value("-config", name);
    return name;
}

QString ConfigStore::dataRootFrom(const QString& current) const
{
    QString root = value("DataRoot", current);
    if (contains("-d"))
        root = value("-d", root);
    return root;
}

void ConfigStore::clear()
{
    keys.clear();
    values.clear();
    fullValues.clear();
    comments.clear();
    includeStack.clear();
    filesOfThisRead.clear();
    readFiles.clear();
}
