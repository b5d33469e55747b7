#pragma once
// Start-up settings from the command line and the configuration file.
#include <QSet>
#include <QString>
#include <QStringList>

class ConfigStore
{
public:
    // Files one configuration read takes at most, INCLUDEs and all.
    static constexpr int kMaxConfigFiles = 256;

    void parseArguments(int argc, char** argv);
    // Reads a file and the files it INCLUDEs, each once; stops early on a
    // quit signal.
    void readFile(const QString& fileName);
    void setEntry(const QString& key, const QString& value, const QString& fullValue,
                  const QString& comment);
    bool contains(const QString& key) const;
    QString value(const QString& key, const QString& def) const;
    QString fullValue(const QString& key) const;
    int size() const { return keys.size(); }
    // Every key, in the order first given.
    QStringList keyList() const { return keys; }
    // "config.cfg", or the value of "-c", or of "-config" (which wins).
    QString configFileName() const;
    // "DataRoot" from the store (default: current), overridden by "-d".
    QString dataRootFrom(const QString& current) const;
    void clear();
    // Every configuration file read (includes too), as absolute paths.
    QStringList filesRead() const { return readFiles; }

private:
    QStringList keys;
    QStringList values;
    QStringList fullValues;
    QStringList comments;
    QStringList includeStack; // files being read, to stop INCLUDE cycles
    // Files of the current read (INCLUDEs and all): each is read once.
    QSet<QString> filesOfThisRead;
    QStringList readFiles;
};

extern ConfigStore configStore;
// Directory in which every file dialog opens.
extern QString dataRoot;
QString defaultDataRoot();
