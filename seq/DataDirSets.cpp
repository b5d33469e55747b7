#include "DataDirSets.h"

#include "FileEnergy.h"

#include <QDir>
#include <QRegularExpression>

DataDirSets::~DataDirSets()
{
    clearSets();
}

void DataDirSets::clearSets()
{
    qDeleteAll(sets);
    sets.clear();
}

void DataDirSets::relist(const QStringList& entries)
{
    names = entries;
    cur = names.isEmpty() ? -1 : 0;
}

void DataDirSets::setDir(const QString& dir)
{
    dirName = dir;
    list();
}

void DataDirSets::setKvt(bool on)
{
    kvtOn = on;
    list();
}

void DataDirSets::list()
{
    if (kvtOn)
        listFileSets();
    else
        listSubDirs();
}

void DataDirSets::listSubDirs()
{
    // Sets belong to the KVT naming; stale ones would hand over wrong files.
    clearSets();
    // No directory yet: the working directory is not what the operator chose.
    if (dirName.isEmpty()) {
        relist(QStringList());
        return;
    }
    relist(QDir(dirName).entryList(QStringList{QStringLiteral("*")}, QDir::Dirs | QDir::NoDot | QDir::NoDotDot,
                                   QDir::Name));
}

void DataDirSets::listFileSets()
{
    if (dirName.isEmpty())
        return;
    // The pattern text is one single pattern here, spaces and all.
    const QFileInfoList listing = QDir(dirName).entryInfoList(QStringList{patternText}, QDir::Files, QDir::Name);
    if (listing.isEmpty()) {
        // Keep the previous sets; but entries left from the sub-directory
        // naming are no sets and must not be offered as such.
        if (sets.isEmpty())
            relist(QStringList());
        return;
    }
    clearSets();
    sets = CtFileSet::group(listing);
    relist(CtFileSet::entryTexts(sets));
}

void DataDirSets::setCurrent(int i)
{
    cur = i >= 0 && i < names.size() ? i : -1;
}

bool DataDirSets::next()
{
    if (cur + 1 >= names.size())
        return false;
    ++cur;
    return true;
}

bool DataDirSets::first()
{
    setCurrent(0);
    return hasCurrentSet();
}

bool DataDirSets::advance()
{
    return hasCurrentSet() && next() && hasCurrentSet();
}

bool DataDirSets::hasCurrentSet() const
{
    if (kvtOn)
        return cur >= 0 && cur < sets.size();
    return cur >= 0 && cur < names.size();
}

double DataDirSets::currentEnergy() const
{
    if (kvtOn) {
        if (cur < 0 || cur >= sets.size())
            return 0;
        return sets.at(cur)->energy * sets.at(cur)->unitFactor;
    }
    // A sub-directory is named after its energy, unit included ("7_200keV").
    return cur >= 0 && cur < names.size() ? fieldEnergy(names.at(cur)) : fieldEnergy(QString());
}

QString DataDirSets::currentEnergyText() const
{
    if (kvtOn)
        return (cur >= 0 && cur < sets.size()) ? sets.at(cur)->energyText : QString();
    // A sub-directory is named after its energy; its name tags the results.
    return cur >= 0 && cur < names.size() ? names.at(cur) : QString();
}

QFileInfoList DataDirSets::currentFiles() const
{
    return kvtOn && cur >= 0 && cur < sets.size() ? sets.at(cur)->files : QFileInfoList();
}

QString DataDirSets::currentDir() const
{
    const QString name = cur >= 0 && cur < names.size() ? names.at(cur) : QString();
    return QDir::toNativeSeparators(QDir(dirName).filePath(name));
}

QStringList DataDirSets::currentPatterns() const
{
    return patternText.split(QRegularExpression(QStringLiteral("\\s+")), Qt::KeepEmptyParts);
}
