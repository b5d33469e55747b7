#pragma once
// Shows a CT-XAFS data directory as its per-energy sets (DataDirSets: the
// session's once useSets is called, until then its own) and hands the
// operator's choices to it: the directory, the naming, the pattern, the set.
#include "DataDirSets.h"
#include "ui_SelectDataDir.h"

#include <QFileInfoList>
#include <QFrame>
#include <QStringList>

class SelectDataDir : public QFrame
{
    Q_OBJECT
public:
    explicit SelectDataDir(QWidget* parent = nullptr);

    void useSets(DataDirSets* shared);
    const DataDirSets& dataSets() const { return *model; }
    // Shows the sets after someone else changed them.
    void refresh();
    // eV; the tag of the current set for names of saved results.
    double currentEnergy() const { return model->currentEnergy(); }
    QString currentEnergyText() const { return model->currentEnergyText(); }

signals:
    // The current set handed over: a sub-directory with its patterns, or files.
    void selected(QString dir, QStringList patterns);
    void selectedFileInfoList(QFileInfoList fileInfos);

public slots:
    void aDirSelected(QString dir);
    void setIsKVTStandard(bool f);
    void set();
    void next();

private:
    Ui::SelectDataDir ui;
    DataDirSets own;
    DataDirSets* model = &own;
    // The controls are being set from the model: nothing to hand back.
    bool showing = false;
};
