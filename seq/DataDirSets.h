#pragma once
// A CT-XAFS data directory as a list of per-energy sets, and the set a
// sequence is at: either files of one directory grouped by energy (the "KVT
// Std." naming, files matching one pattern) or one sub-directory per set
// (its files matching the patterns).  The data-directory panel shows it.
#include "CtFileSet.h"

#include <QFileInfoList>
#include <QList>
#include <QString>
#include <QStringList>

class DataDirSets
{
public:
    DataDirSets() = default;
    ~DataDirSets();
    DataDirSets(const DataDirSets&) = delete;
    DataDirSets& operator=(const DataDirSets&) = delete;

    // The directory; its sets are listed again.
    void setDir(const QString& dir);
    const QString& dir() const { return dirName; }
    // The file-name pattern: in the KVT naming one pattern, spaces and all;
    // for sub-directories patterns separated by blanks.  Used from the next
    // listing (KVT) or the next set handed over.
    void setPattern(const QString& pattern) { patternText = pattern; }
    const QString& pattern() const { return patternText; }
    // The KVT naming (default) or sub-directories; the sets are listed again.
    void setKvt(bool on);
    bool kvt() const { return kvtOn; }

    // One text per set, and the set the sequence is at (-1: none).
    const QStringList& entries() const { return names; }
    int current() const { return cur; }
    void setCurrent(int i);
    // The next entry; false (staying) when there is none.
    bool next();
    // A sequence's walk: to the first entry, or on from a set to the next
    // entry; true when a set is there to hand over.
    bool first();
    bool advance();
    // Whether the current entry is a set that can be handed over.
    bool hasCurrentSet() const;
    // eV (the unit of the name counts); the tag of results of the set.
    double currentEnergy() const;
    QString currentEnergyText() const;
    // The sets of the KVT naming (owned here).
    const QList<CtFileSet*>& fileSets() const { return sets; }
    // The current set: its files (KVT), or its directory and patterns.
    QFileInfoList currentFiles() const;
    QString currentDir() const;
    QStringList currentPatterns() const;

private:
    void list();
    void listFileSets();
    void listSubDirs();
    void clearSets();
    void relist(const QStringList& entries);

    QString dirName;
    QString patternText = QStringLiteral("*.img");
    bool kvtOn = true;
    QStringList names;
    int cur = -1;
    QList<CtFileSet*> sets;
};
