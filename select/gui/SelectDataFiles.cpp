#include "SelectDataFiles.h"

#include "Logging.h"
#include "ConfigStore.h"
#include "Failures.h"
#include "FieldWidth.h"
#include "SeriesListing.h"

#include <QButtonGroup>
#include <QDebug>
#include <QDir>
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

void SelectDataFiles::takeFileInfos(QFileInfoList infos)
{
    QStringList files;
    files.reserve(infos.size());
    for (const QFileInfo& info : infos)
        files << info.filePath();
    takeFiles(files);
}

bool SelectDataFiles::takeDir(QString dir, QStringList patterns)
{
    // A misspelt directory or pattern must not empty what is loaded.
    if (!QFileInfo(dir).isDir()) {
        Failures::record(Failures::Load, QStringLiteral("No such directory, nothing loaded: ") + dir);
        return false;
    }
    if (checkSeries || byEnergy) {
        const QStringList entries = SeriesListing::entries(dir, patterns);
        if (entries.isEmpty()) {
            Failures::record(Failures::Load, QStringLiteral("No file matches %1 in %2, nothing loaded")
                                                 .arg(patterns.join(QLatin1Char(' ')), dir));
            return false;
        }
        const SeriesListing::Result r =
            byEnergy ? SeriesListing::byEnergy(entries)
                     : SeriesListing::order(entries, referencesOf ? referencesOf() : QStringList(), allowGaps);
        for (const QString& f : r.removed)
            qCInfo(lcData).noquote() << QStringLiteral("I0/BG file left out of the projections: ") + f;
        if (!r.refusal.isEmpty()) {
            Failures::record(Failures::Load, QStringLiteral("%1 not loaded: %2 (in %3)")
                                                 .arg(byEnergy ? QStringLiteral("Files") : QStringLiteral("Series"),
                                                      r.refusal, dir));
            return false;
        }
        qCInfo(lcData).noquote() << r.text();
        if (opts.replace)
            qCDebug(lcData).noquote() << QStringLiteral("clear files ") + QDir(dir).absolutePath();
        listedGaps = r.gaps;
        takeFiles(r.files);
        return true;
    }
    // "." and ".." are never image files, even when a pattern like "*" matches them.
    QDir d(dir);
    d.setNameFilters(patterns);
    d.setFilter(d.filter() | QDir::NoDotAndDotDot);
    QStringList files;
    const QFileInfoList infos = d.entryInfoList();
    if (infos.isEmpty()) {
        Failures::record(Failures::Load, QStringLiteral("No file matches %1 in %2, nothing loaded")
                                             .arg(patterns.join(QLatin1Char(' ')), dir));
        return false;
    }
    if (opts.replace)
        qCDebug(lcData).noquote() << QStringLiteral("clear files ") + QDir(dir).absolutePath();
    files.reserve(infos.size());
    for (const QFileInfo& info : infos)
        files << info.absoluteFilePath();
    takeFiles(files);
    return true;
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
