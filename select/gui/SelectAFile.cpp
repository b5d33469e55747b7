#include "SelectAFile.h"

#include "ConfigStore.h"

#include <QDir>
#include <QFileInfo>

SelectAFile::SelectAFile(QWidget* parent) : QFrame(parent), dialog(nullptr)
{
    setupUi(this);
    Name->hide();
    if (!dataRoot.isEmpty())
        dialog.setDirectory(dataRoot);
    setMode(0);

    connect(Select, &QPushButton::clicked, &dialog, &QFileDialog::show);
    connect(&dialog, &QFileDialog::fileSelected, this, &SelectAFile::fileSelected0);
    connect(Clear, &QPushButton::clicked, this, &SelectAFile::clear0);
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
    FilePath->setText(path);
}

void SelectAFile::fileSelected0(QString fname)
{
    if (locked && locked(QStringLiteral("loading ") + fname))
        return;
    if (mode == 1)
        setPath(QFileInfo(fname).absolutePath());
    else
        setPath(fname);
    Name->setText(QFileInfo(fname).baseName());
    emit fileSelected(fname);
}

void SelectAFile::clear0()
{
    if (locked && locked(QStringLiteral("clearing ") + FilePath->text()))
        return;
    setPath(QString());
    Name->setText(QString());
    emit clear();
}
