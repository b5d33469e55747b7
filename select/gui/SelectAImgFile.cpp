#include "SelectAImgFile.h"

#include "AveragedImage.h"
#include "Failures.h"
#include "FieldWidth.h"
#include "ImgData.h"
#include "Logging.h"

#include <QDebug>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

SelectAImgFile::SelectAImgFile(QWidget* parent) : SelectAFile(parent), disp(nullptr)
{
    // The extra controls are built on a scratch frame, then join the file row.
    QFrame scratch;
    Ui_SelectAImgFile::setupUi(&scratch);
    gridLayout_3->addWidget(SelectAImgFileBase, 0, 5);
    gridLayout = nullptr; // went with the scratch frame
    defaultExpTime = ExpTimeLE->text().toDouble();
    FieldWidth::fit(ExpTimeLE, FieldWidth::setting());

    Add = new QPushButton(tr("Add"), this);
    Add->setToolTip(tr("Add further images of this kind; the set's mean is used"));
    countLabel = new QLabel(this);
    countLabel->hide();
    gridLayout_3->addWidget(Add, 0, 6);
    gridLayout_3->addWidget(countLabel, 0, 7);

    // The dialog may return several files; Select replaces the set, Add extends it.
    dialog.setFileMode(QFileDialog::ExistingFiles);
    disconnect(&dialog, &QFileDialog::fileSelected, this, &SelectAFile::fileSelected0);
    connect(&dialog, &QFileDialog::filesSelected, this, &SelectAImgFile::chosen);
    connect(Select, &QPushButton::clicked, this, [this] { adding = false; });
    connect(Add, &QPushButton::clicked, this, [this] {
        adding = true;
        dialog.show();
    });

    connect(this, &SelectAFile::fileSelected, this, &SelectAImgFile::loadImage);
    connect(this, &SelectAFile::clear, this, &SelectAImgFile::clear);
    connect(&disp, &ImgDispWPV::newPosInvY, this, &SelectAImgFile::noticedNewPos);
}

SelectAImgFile::~SelectAImgFile() = default;

QStringList SelectAImgFile::files() const
{
    QStringList names;
    for (const auto& s : sources)
        names << s->fileName;
    return names;
}

void SelectAImgFile::chosen(const QStringList& files)
{
    if (adding)
        addFiles(files);
    else if (files.size() == 1)
        fileSelected0(files.first());  // the owner hears of a single choice as before
    else
        selectFiles(files);
}

bool SelectAImgFile::selectFiles(const QStringList& files)
{
    if (files.isEmpty())
        return false;
    if (locked && locked(QStringLiteral("loading ") + files.join(QStringLiteral(", "))))
        return false;
    return take(files, false);
}

bool SelectAImgFile::addFiles(const QStringList& files)
{
    if (files.isEmpty())
        return false;
    if (locked && locked(QStringLiteral("adding ") + files.join(QStringLiteral(", "))))
        return false;
    return take(files, !sources.empty());
}

void SelectAImgFile::loadImage(QString fname)
{
    take({fname}, false);
}

bool SelectAImgFile::take(const QStringList& files, bool append)
{
    std::vector<std::unique_ptr<ImgData>> fresh;
    const ImgData* like = append ? sources.front().get() : nullptr;
    for (const QString& fname : files) {
        qCDebug(lcData).noquote() << QStringLiteral("loading ") + fname;
        QString why;
        std::unique_ptr<ImgData> one(loadImgData(fname, true, &why));
        if (one && one->ready && like && (one->width != like->width || one->height != like->height))
            why = QStringLiteral("%1 x %2, the others %3 x %4")
                      .arg(one->width).arg(one->height).arg(like->width).arg(like->height);
        else if (one && one->ready) {
            like = like ? like : one.get();
            fresh.push_back(std::move(one));
            continue;
        }
        // The set stays; its name gives way to the failed file's, so a run
        // refuses it until the set is chosen again or cleared.
        Failures::record(Failures::Load, QStringLiteral("Image not loaded (%1): %2").arg(why, fname));
        failedName = fname;
        FilePath->setText(failedName);
        return false;
    }
    // The mean is made before anything changes, so a failure keeps the set.
    QList<ImgData*> list;
    if (append)
        for (const auto& s : sources)
            list << s.get();
    for (const auto& s : fresh)
        list << s.get();
    std::unique_ptr<ImgData> averaged;
    if (list.size() > 1) {
        QString why;
        averaged.reset(AveragedImage::average(list, &why));
        if (!averaged) {
            Failures::record(Failures::Load, QStringLiteral("Images not averaged (%1): %2").arg(why, files.last()));
            failedName = files.last();
            FilePath->setText(failedName);
            return false;
        }
    }
    if (!append) {
        sources.clear();
        failedName.clear();
    }
    for (auto& one : fresh)
        sources.push_back(std::move(one));
    mean = std::move(averaged);
    img = mean ? mean.get() : sources.front().get();
    showSet();
    return true;
}

void SelectAImgFile::showSet()
{
    FilePath->setText(!failedName.isEmpty() ? failedName : sources.empty() ? QString() : sources.front()->fileName);
    FilePath->setToolTip(files().join(QLatin1Char('\n')));
    countLabel->setText(tr("mean of %1").arg(sources.size()));
    countLabel->setVisible(sources.size() > 1);
    if (!img)
        return;
    img->renderTo(disp.image, disp.CBar);
    disp.newImage();
    disp.show();
}

void SelectAImgFile::noticedNewPos(double x, double y)
{
    if (!img)
        return;
    // Truncation toward zero: -0.5 still reads column 0, -1 is outside.
    // Range checked as doubles first, so huge or NaN positions never reach int.
    double value = 0;
    if (x > -1.0 && x < img->width && y > -1.0 && y < img->height) {
        const int ix = int(x);
        const int iy = int(y);
        std::vector<double> row(size_t(img->width));
        value = img->readRow(iy, row.data())[ix];
    }
    disp.Val->setText(QString::number(value, 'g', 6));
}

void SelectAImgFile::clear()
{
    img = nullptr;
    mean.reset();
    sources.clear();
    failedName.clear();
    countLabel->hide();
    FilePath->setToolTip(QString());
    ExpTimeLE->setText(QString::number(defaultExpTime, 'g', 6));
}

void SelectAImgFile::setExpTime(double time)
{
    ExpTimeLE->setText(QString::number(time, 'g', 6));
}
