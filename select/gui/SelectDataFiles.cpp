#include "SelectDataFiles.h"

#include "Logging.h"
#include "ConfigStore.h"
#include "FieldWidth.h"

#include <QButtonGroup>
#include <QDebug>
#include <QFileDialog>

SelectDataFiles::SelectDataFiles(QWidget* parent) : QFrame(parent)
{
    ui.setupUi(this);
    FieldWidth::fit(ui.ExpTime, FieldWidth::setting());
    FieldWidth::fit(ui.MultiTimes, FieldWidth::count());

    newOrAdd = new QButtonGroup(this);
    newOrAdd->setExclusive(true);
    newOrAdd->addButton(ui.LoadNewFiles);
    newOrAdd->addButton(ui.AddFiles);
    ui.LoadNewFiles->setChecked(true);

    dialog = new QFileDialog;
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilters({ QStringLiteral("Itex File (*.img)"),
                             QStringLiteral("Tiff File (*.tif *.tiff)"),
                             QStringLiteral("Any Files (* *.*)") });
    if (!dataRoot.isEmpty())
        dialog->setDirectory(dataRoot);

    connect(ui.Select, &QPushButton::clicked, dialog, &QFileDialog::show);
    connect(dialog, &QFileDialog::filesSelected, this, &SelectDataFiles::takeFiles);
    connect(ui.Clear, &QPushButton::clicked, this, &SelectDataFiles::clearFiles);
    connect(ui.Selected, &QComboBox::currentIndexChanged, this,
            &SelectDataFiles::currentIndexChanged);

    // The form's start values are the options until someone shows others.
    opts.replace = ui.LoadNewFiles->isChecked();
    opts.keepConditions = ui.KeepConditions->isChecked();
    opts.expTime = ui.ExpTime->text().toDouble();
    opts.multi = ui.LoadMultiTimes->isChecked();
    opts.multiTimes = ui.MultiTimes->text().toInt();
    connect(ui.LoadNewFiles, &QAbstractButton::toggled, this, [this](bool on) {
        opts.replace = on;
        edited();
    });
    connect(ui.KeepConditions, &QAbstractButton::toggled, this, [this](bool on) {
        opts.keepConditions = on;
        edited();
    });
    connect(ui.LoadMultiTimes, &QAbstractButton::toggled, this, [this](bool on) {
        opts.multi = on;
        edited();
    });
    connect(ui.ExpTime, &QLineEdit::textEdited, this, [this](const QString& text) {
        opts.expTime = text.toDouble();
        edited();
    });
    connect(ui.MultiTimes, &QLineEdit::textEdited, this, [this](const QString& text) {
        opts.multiTimes = text.toInt();
        edited();
    });
}

void SelectDataFiles::edited()
{
    if (!showing)
        emit optionsEdited(opts);
}

void SelectDataFiles::showOptions(const SessionState::SeriesOptions& o)
{
    showing = true;
    opts = o;
    (o.replace ? ui.LoadNewFiles : ui.AddFiles)->setChecked(true);
    ui.KeepConditions->setChecked(o.keepConditions);
    ui.ExpTime->setText(QString::number(o.expTime, 'g', 6));
    ui.LoadMultiTimes->setChecked(o.multi);
    ui.MultiTimes->setText(QString::number(o.multiTimes));
    showing = false;
}

SelectDataFiles::~SelectDataFiles()
{
    delete dialog;
}

int SelectDataFiles::multiCount() const
{
    const int n = opts.multiTimes;
    if (n > SessionState::maxMultiTimes) {
        qCDebug(lcData).noquote() << QStringLiteral("Too many copies asked for, limited to ")
                                  + QString::number(SessionState::maxMultiTimes) + QStringLiteral(" : ")
                                  + QString::number(n);
        return SessionState::maxMultiTimes;
    }
    return n;
}

void SelectDataFiles::takeFiles(QStringList files)
{
    const bool newFile = opts.replace;
    if (!opts.multi || files.isEmpty()) {
        emit filesSelected(files, newFile);
        return;
    }
    const int n = multiCount();
    QStringList copies;
    if (n > 0) {
        copies.reserve(n);
        for (int i = 0; i < n; ++i)
            copies << files.first();
    }
    emit filesSelected(copies, newFile);
}

void SelectDataFiles::clearList()
{
    ui.Selected->clear();
    ui.Count->setText(QString::number(ui.Selected->count()));
}

void SelectDataFiles::clearFiles()
{
    clearList();
    emit filesCleared();
}

void SelectDataFiles::addEntry(QString fname)
{
    ui.Selected->addItem(fname);
    ui.Count->setText(QString::number(ui.Selected->count()));
}

void SelectDataFiles::prev()
{
    const int i = ui.Selected->currentIndex();
    if (i > 0)
        ui.Selected->setCurrentIndex(i - 1);
}

void SelectDataFiles::next()
{
    const int i = ui.Selected->currentIndex();
    if (i < ui.Selected->count() - 1)
        ui.Selected->setCurrentIndex(i + 1);
}

void SelectDataFiles::select(int idx)
{
    if (idx >= 0 && idx < ui.Selected->count())
        ui.Selected->setCurrentIndex(idx);
}

void SelectDataFiles::setTitle(const QString& title)
{
    ui.Title->setText(title);
}

void SelectDataFiles::enableChoosing(bool on)
{
    ui.Select->setEnabled(on);
    ui.Clear->setEnabled(on);
}
