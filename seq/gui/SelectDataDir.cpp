#include "SelectDataDir.h"

SelectDataDir::SelectDataDir(QWidget* parent) : QFrame(parent)
{
    ui.setupUi(this);
    qRegisterMetaType<QFileInfoList>("QFileInfoList");
    ui.SelDir->setButtonText(tr("Sel. Data Dir."));
    own.setPattern(ui.Pattern->text());
    own.setKvt(ui.isKVTStd_->isChecked());

    connect(ui.SelDir, &SelectDir::aDirSelected, this, &SelectDataDir::aDirSelected);
    connect(ui.isKVTStd_, &QRadioButton::toggled, this, [this](bool on) {
        if (showing)
            return;
        model->setKvt(on);
        refresh();
    });
    connect(ui.Pattern, &QLineEdit::textChanged, this, [this](const QString& p) {
        if (!showing)
            model->setPattern(p);
    });
    connect(ui.SubDirs, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!showing)
            model->setCurrent(i);
    });
    connect(ui.Set, &QPushButton::clicked, this, &SelectDataDir::set);
    connect(ui.Next, &QPushButton::clicked, this, &SelectDataDir::next);
}

void SelectDataDir::useSets(DataDirSets* shared)
{
    model = shared ? shared : &own;
    refresh();
}

void SelectDataDir::refresh()
{
    showing = true;
    // A directory handed in directly (batch) is shown like a chosen one.
    if (ui.SelDir->dirName() != model->dir())
        ui.SelDir->setDirName(model->dir());
    if (ui.Pattern->text() != model->pattern())
        ui.Pattern->setText(model->pattern());
    ui.isKVTStd_->setChecked(model->kvt());
    QStringList shown;
    for (int i = 0; i < ui.SubDirs->count(); ++i)
        shown << ui.SubDirs->itemText(i);
    if (shown != model->entries()) {
        ui.SubDirs->clear();
        ui.SubDirs->addItems(model->entries());
    }
    ui.SubDirs->setCurrentIndex(model->current());
    showing = false;
}

void SelectDataDir::aDirSelected(QString dir)
{
    model->setDir(dir);
    refresh();
}

void SelectDataDir::setIsKVTStandard(bool f)
{
    model->setKvt(f);
    refresh();
}

void SelectDataDir::set()
{
    if (!model->hasCurrentSet())
        return;
    if (model->kvt())
        emit selectedFileInfoList(model->currentFiles());
    else
        emit selected(model->currentDir(), model->currentPatterns());
}

void SelectDataDir::next()
{
    model->next();
    refresh();
}
