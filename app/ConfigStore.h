#pragma once
// Start-up settings from the command line and the configuration file.
#include <QString>
#include <QStringList>

class ConfigStore
{
public:
    void parseArguments(int argc, char** argv);
    void readFile(const QString& fileName);
    void setEntry(const QString& key, const QString& value, const QString& fullValue,
                  const QString& comment);
    bool contains(const QString& key) const;
    QString value(const QString& key, const QString& def) const;
    QString fullValue(const QString& key) const;
    int size() const { return keys.size(); }
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
    QStringList readFiles;
};

extern ConfigStore configStore;
// Directory in which every file dialog opens.
extern QString dataRoot;
QString defaultDataRoot();
