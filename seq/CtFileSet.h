#pragma once
// The files of one energy in a CT-XAFS data directory
// ("<prefix>-<energy>-<index>.<ext>"), with the parts of their common name.
#include <QFileInfo>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class CtFileSet : public QObject
{
    Q_OBJECT
public:
    // Starts a set with its first file; the name fields come from that file.
    explicit CtFileSet(const QFileInfo& first);

    QString fileName;
    QString key;
    QString prefix;
    QString energyText;
    double energy = 0;
    double unitFactor = 1;
    QString unit;
    QList<QFileInfo> files;

    // Name up to its last "-", or the whole name when it has none.
    static QString beforeLastDash(const QString& name);
    // Groups a sorted listing: adjacent files with the same key form one set.
    // The caller owns the returned sets.
    static QList<CtFileSet*> group(const QList<QFileInfo>& listing);
    // "%1 (%2[%3], %4)" per set, a prefix repeated from the set before blanked.
    static QStringList entryTexts(const QList<CtFileSet*>& sets);
};
