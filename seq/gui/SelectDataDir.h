#pragma once
// The CT-XAFS data directory as a list of per-energy sets: either the
// "KVT Std." naming in one directory, or one sub-directory per set.
#include "CtFileSet.h"
#include "ui_SelectDataDir.h"

#include <QFileInfoList>
#include <QFrame>
#include <QList>
#include <QStringList>

class SelectDataDir : public QFrame, public Ui_SelectDataDir
{
    Q_OBJECT
public:
    explicit SelectDataDir(QWidget* parent = nullptr);
    ~SelectDataDir() override;

    // eV in the KVT layout; the bare number of the entry text otherwise.
    double currentEnergy() const;
    // Tag of the current set for names of saved results.
    QString currentEnergyText() const;
    // Owned; filled in the KVT layout only.
    QList<CtFileSet*> sets;

signals:
    void selected(QString dir, QStringList patterns);
    void selectedFileInfoList(QFileInfoList fileInofs);
    void noMoreSets();

public slots:
    void aDirSelected(QString dir);
    void changedKVTStd();
    void setSubDirs(QString dir);
    void setFileSets(QString dir);
    void setIsKVTStandard(bool f);
    void set();
    void next();
    void setFirstSet();
    void setNextSet();

private:
    void clearSets();
    void relist(const QStringList& entries);
    // Whether set() would hand anything over.
    bool hasCurrentSet() const;
};
