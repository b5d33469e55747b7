#include "SelectAImgFile.h"

#include "FieldWidth.h"
#include "ImgData.h"

#include <QDebug>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

SelectAImgFile::SelectAImgFile(QWidget* parent) : SelectAFile(parent), disp(nullptr)
{
    // The extra controls are built on a scratch frame, then join the file row.
    QFrame scratch;
    imgUi.setupUi(&scratch);
    ui.gridLayout_3->addWidget(imgUi.SelectAImgFileBase, 0, 5);
    imgUi.gridLayout = nullptr; // went with the scratch frame
    defaultExpTime = imgUi.ExpTimeLE->text().toDouble();
    FieldWidth::fit(imgUi.ExpTimeLE, FieldWidth::setting());

    Add = new QPushButton(tr("Add"), this);
    Add->setToolTip(tr("Add further images of this kind; the set's mean is used"));
    countLabel = new QLabel(this);
    countLabel->hide();
    ui.gridLayout_3->addWidget(Add, 0, 6);
    ui.gridLayout_3->addWidget(countLabel, 0, 7);

    // The dialog may return several files; Select replaces the set, Add extends it.
    dialog.setFileMode(QFileDialog::ExistingFiles);
    disconnect(&dialog, &QFileDialog::fileSelected, this, &SelectAFile::fileSelected0);
    connect(&dialog, &QFileDialog::filesSelected, this, &SelectAImgFile::chosen);
    connect(ui.Select, &QPushButton::clicked, this, [this] { adding = false; });
    connect(Add, &QPushButton::clicked, this, [this] {
        adding = true;
        dialog.show();
    });

    connect(this, &SelectAFile::fileSelected, this, &SelectAImgFile::loadImage);
    connect(this, &SelectAFile::clear, this, &SelectAImgFile::clear);
    connect(&disp, &ImgDispWPV::newPosInvY, this, &SelectAImgFile::noticedNewPos);
}

SelectAImgFile::~SelectAImgFile() = default;

void SelectAImgFile::useSet(ReferenceSet* shared)
{
    set = shared ? shared : &own;
    showSet();
}

void SelectAImgFile::refresh()
{
    if (set->count() == 0 && set->failedName().isEmpty()) {
        ui.Name->setText(QString());
        clear();
        ui.FilePath->setText(QString());
        return;
    }
    if (set->img == shown) {
        ui.FilePath->setText(set->name());
        ui.FilePath->setToolTip(files().join(QLatin1Char('\n')));
        return;
    }
    showSet();
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
    return take(files, true);
}

void SelectAImgFile::loadImage(QString fname)
{
    take({fname}, false);
}

bool SelectAImgFile::take(const QStringList& files, bool append)
{
    const bool ok = set->take(files, append);
    if (!ok)
        ui.FilePath->setText(set->failedName());
    else
        showSet();
    return ok;
}

void SelectAImgFile::showSet()
{
    ImgData* img = set->img;
    ui.FilePath->setText(set->name());
    ui.FilePath->setToolTip(files().join(QLatin1Char('\n')));
    countLabel->setText(tr("mean of %1").arg(set->count()));
    countLabel->setVisible(set->count() > 1);
    shown = img;
    if (!img)
        return;
    img->renderTo(disp.image, disp.CBar);
    disp.newImage();
    disp.show();
}

void SelectAImgFile::noticedNewPos(double x, double y)
{
    ImgData* img = set->img;
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
    set->clear();
    shown = nullptr;
    countLabel->hide();
    ui.FilePath->setToolTip(QString());
    imgUi.ExpTimeLE->setText(QString::number(defaultExpTime, 'g', 6));
}

void SelectAImgFile::setExpTime(double time)
{
    imgUi.ExpTimeLE->setText(QString::number(time, 'g', 6));
}

void SelectAImgFile::enableChoosing(bool on)
{
    SelectAFile::enableChoosing(on);
    Add->setEnabled(on);
}
