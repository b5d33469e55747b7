#include "SelectDataFiles.h"

#include "Logging.h"
#include "ConfigStore.h"
#include "FieldWidth.h"

#include <QButtonGroup>
#include <QDebug>
#include <QFileDialog>

SelectDataFiles::SelectDataFiles(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    FieldWidth::fit(ExpTime, FieldWidth::setting());
    FieldWidth::fit(MultiTimes, FieldWidth::count());

    newOrAdd = new QButtonGroup(this);
    newOrAdd->setExclusive(true);
    newOrAdd->addButton(LoadNewFiles);
    newOrAdd->addButton(AddFiles);
    LoadNewFiles->setChecked(true);

    dialog = new QFileDialog;
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilters({ QStringLiteral("Itex File (*.img)"),
                             QStringLiteral("Tiff File (*.tif *.tiff)"),
                             QStringLiteral("Any Files (* *.*)") });
    if (!dataRoot.isEmpty())
        dialog->setDirectory(dataRoot);

    connect(Select, &QPushButton::clicked, dialog, &QFileDialog::show);
    connect(dialog, &QFileDialog::filesSelected, this, &SelectDataFiles::takeFiles);
    connect(Clear, &QPushButton::clicked, this, &SelectDataFiles::clearFiles);
    connect(Selected, &QComboBox::currentIndexChanged, this,
            &SelectDataFiles::currentIndexChanged);

    // The form's start values are the options until someone shows others.
    opts.replace = LoadNewFiles->isChecked();
    opts.keepConditions = KeepConditions->isChecked();
    opts.expTime = ExpTime->text().toDouble();
    opts.multi = LoadMultiTimes->isChecked();
    opts.multiTimes = MultiTimes->text().toInt();
    connect(LoadNewFiles, &QAbstractButton::toggled, this, [this](bool on) {
        opts.replace = on;
        edited();
    });
    connect(KeepConditions, &QAbstractButton::toggled, this, [this](bool on) {
        opts.keepConditions = on;
        edited();
    });
    connect(LoadMultiTimes, &QAbstractButton::toggled, this, [this](bool on) {
        opts.multi = on;
        edited();
    });
    connect(ExpTime, &QLineEdit::textEdited, this, [this](const QString& text) {
        opts.expTime = text.toDouble();
        edited();
    });
    connect(MultiTimes, &QLineEdit::textEdited, this, [this](const QString& text) {
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
    (o.replace ? LoadNewFiles : AddFiles)->setChecked(true);
    KeepConditions->setChecked(o.keepConditions);
    ExpTime->setText(QString::number(o.expTime, 'g', 6));
    LoadMultiTimes->setChecked(o.multi);
    MultiTimes->setText(QString::number(o.multiTimes));
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
    Selected->clear();
    Count->setText(QString::number(Selected->count()));
}

void SelectDataFiles::clearFiles()
{
    clearList();
    emit filesCleared();
}

void SelectDataFiles::addEntry(QString fname)
{
    Selected->addItem(fname);
    Count->setText(QString::number(Selected->count()));
}

void SelectDataFiles::prev()
{
    const int i = Selected->currentIndex();
    if (i > 0)
        Selected->setCurrentIndex(i - 1);
}

void SelectDataFiles::next()
{
    const int i = Selected->currentIndex();
    if (i < Selected->count() - 1)
        Selected->setCurrentIndex(i + 1);
}

void SelectDataFiles::select(int idx)
{
    if (idx >= 0 && idx < Selected->count())
        Selected->setCurrentIndex(idx);
}
