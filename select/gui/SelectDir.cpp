#include "SelectDir.h"

#include "ConfigStore.h"

SelectDir::SelectDir(QWidget* parent) : QFrame(parent), dialog(nullptr)
{
    ui.setupUi(this);

    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(QStringLiteral("(*)"));
    dialog.setDirectory(dataRoot);

    // The name is shown before the owner hears of it, so an owner that reads
    // "SelectedDir" in its reaction sees the new directory.
    connect(&dialog, &QFileDialog::fileSelected, this, &SelectDir::setDirName);
    connect(&dialog, &QFileDialog::fileSelected, this, &SelectDir::aDirSelected);
    connect(ui.Select, &QPushButton::clicked, &dialog, &QFileDialog::show);
}

void SelectDir::setDirName(QString dir)
{
    ui.SelectedDir->setText(dir);
}

QString SelectDir::dirName() const
{
    return ui.SelectedDir->text();
}

void SelectDir::setButtonText(const QString& text)
{
    ui.Select->setText(text);
}
