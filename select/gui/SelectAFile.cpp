#include "SelectAFile.h"

#include "ConfigStore.h"

#include <QDir>
#include <QFileInfo>

SelectAFile::SelectAFile(QWidget* parent) : QFrame(parent), dialog(nullptr)
{
    ui.setupUi(this);
    ui.Name->hide();
    if (!dataRoot.isEmpty())
        dialog.setDirectory(dataRoot);
    setMode(0);

    connect(ui.Select, &QPushButton::clicked, &dialog, &QFileDialog::show);
    connect(&dialog, &QFileDialog::fileSelected, this, &SelectAFile::fileSelected0);
    connect(ui.Clear, &QPushButton::clicked, this, &SelectAFile::clear0);
}

SelectAFile::~SelectAFile() = default;

void SelectAFile::setMode(int m)
{
    mode = m;
    if (m == 0) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters({ QStringLiteral("Img file (*.img)"),
                                QStringLiteral("Tiff file (*.tif *.tiff)"),
                                QStringLiteral("Any file (* *.*)") });
    } else if (m == 1) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters({ QStringLiteral("Any file (* *.*)") });
    }
}

void SelectAFile::setPath(QString path)
{
    // A failed creation is silent: the owner's later write reports it.
    if (mode == 1 && !path.isEmpty())
        QDir().mkpath(path);
    ui.FilePath->setText(path);
}

void SelectAFile::fileSelected0(QString fname)
{
    if (locked && locked(QStringLiteral("loading ") + fname))
        return;
    if (mode == 1)
        setPath(QFileInfo(fname).absolutePath());
    else
        setPath(fname);
    ui.Name->setText(QFileInfo(fname).baseName());
    emit fileSelected(fname);
}

void SelectAFile::clear0()
{
    if (locked && locked(QStringLiteral("clearing ") + ui.FilePath->text()))
        return;
    setPath(QString());
    ui.Name->setText(QString());
    emit clear();
}

void SelectAFile::enableChoosing(bool on)
{
    ui.Select->setEnabled(on);
    ui.Clear->setEnabled(on);
}
