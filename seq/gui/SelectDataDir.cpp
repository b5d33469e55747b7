#include "SelectDataDir.h"

#include "FileEnergy.h"

#include <QDir>
#include <QRegularExpression>

SelectDataDir::SelectDataDir(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    qRegisterMetaType<QFileInfoList>("QFileInfoList");
    SelDir->setButtonText(tr("Sel. Data Dir."));

    connect(SelDir, &SelectDir::aDirSelected, this, &SelectDataDir::aDirSelected);
    connect(isKVTStd_, &QRadioButton::toggled, this, &SelectDataDir::changedKVTStd);
    connect(Set, &QPushButton::clicked, this, &SelectDataDir::set);
    connect(Next, &QPushButton::clicked, this, &SelectDataDir::next);
}

SelectDataDir::~SelectDataDir()
{
    clearSets();
}

void SelectDataDir::clearSets()
{
    qDeleteAll(sets);
    sets.clear();
}

void SelectDataDir::relist(const QStringList& entries)
{
    SubDirs->setCurrentIndex(0);
    SubDirs->clear();
    SubDirs->addItems(entries);
}

void SelectDataDir::aDirSelected(QString dir)
{
    // A directory handed in directly (batch) is shown like a chosen one,
    // so a later relisting and the sub-directory paths use the same one.
    if (SelDir->dirName() != dir)
        SelDir->setDirName(dir);
    if (isKVTStd_->isChecked())
        setFileSets(dir);
    else
        setSubDirs(dir);
}

void SelectDataDir::changedKVTStd()
{
    aDirSelected(SelDir->dirName());
}

void SelectDataDir::setSubDirs(QString dir)
{
    // Sets belong to the KVT layout; stale ones would hand over wrong files.
    clearSets();
    // No directory yet: the working directory is not what the operator chose.
    if (dir.isEmpty()) {
        relist(QStringList());
        return;
    }
    const QStringList subs = QDir(dir).entryList(QStringList{QStringLiteral("*")},
                                                 QDir::Dirs | QDir::NoDot | QDir::NoDotDot,
                                                 QDir::Name);
    relist(subs);
}

void SelectDataDir::setFileSets(QString dir)
{
    if (dir.isEmpty())
        return;
    // The pattern text is one single pattern here, spaces and all.
    const QFileInfoList listing = QDir(dir).entryInfoList(QStringList{Pattern->text()},
                                                          QDir::Files, QDir::Name);
    if (listing.isEmpty()) {
        // Keep the previous sets; but entries left from the sub-directory
        // layout are no sets and must not be offered as such.
        if (sets.isEmpty())
            relist(QStringList());
        return;
    }
    clearSets();
    sets = CtFileSet::group(listing);
    relist(CtFileSet::entryTexts(sets));
}

void SelectDataDir::setIsKVTStandard(bool f)
{
    isKVTStd_->setChecked(f);
}

bool SelectDataDir::hasCurrentSet() const
{
    const int i = SubDirs->currentIndex();
    if (isKVTStd_->isChecked())
        return i >= 0 && i < sets.size();
    return i >= 0 && i < SubDirs->count();
}

void SelectDataDir::set()
{
    if (!hasCurrentSet())
        return;
    if (isKVTStd_->isChecked()) {
        emit selectedFileInfoList(sets.at(SubDirs->currentIndex())->files);
        return;
    }
    const QString path =
        QDir::toNativeSeparators(QDir(SelDir->dirName()).filePath(SubDirs->currentText()));
    const QStringList patterns =
        Pattern->text().split(QRegularExpression(QStringLiteral("\\s+")), Qt::KeepEmptyParts);
    emit selected(path, patterns);
}

void SelectDataDir::next()
{
    const int i = SubDirs->currentIndex();
    if (i < SubDirs->count() - 1)
        SubDirs->setCurrentIndex(i + 1);
}

void SelectDataDir::setFirstSet()
{
    SubDirs->setCurrentIndex(0);
    // Nothing to hand over means no load will ever report back: say so,
    // or a sequential run would wait for ever.
    if (!hasCurrentSet()) {
        emit noMoreSets();
        return;
    }
    set();
}

void SelectDataDir::setNextSet()
{
    const int i = SubDirs->currentIndex();
    if (i < SubDirs->count() - 1 && hasCurrentSet()) {
        SubDirs->setCurrentIndex(i + 1);
        set();
    } else {
        emit noMoreSets();
    }
}

double SelectDataDir::currentEnergy() const
{
    const int i = SubDirs->currentIndex();
    if (isKVTStd_->isChecked()) {
        if (i < 0 || i >= sets.size())
            return 0;
        return sets.at(i)->energy * sets.at(i)->unitFactor;
    }
    // A sub-directory is named after its energy, unit included ("7_200keV").
    return fieldEnergy(SubDirs->currentText());
}

QString SelectDataDir::currentEnergyText() const
{
    const int i = SubDirs->currentIndex();
    if (isKVTStd_->isChecked())
        return (i >= 0 && i < sets.size()) ? sets.at(i)->energyText : QString();
    // A sub-directory is named after its energy; its name tags the results.
    return SubDirs->currentText();
}
