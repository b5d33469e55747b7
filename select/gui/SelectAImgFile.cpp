#include "SelectAImgFile.h"

#include "Logging.h"
#include "Failures.h"
#include "FieldWidth.h"
#include "ImgData.h"

#include <QDebug>

#include <vector>

SelectAImgFile::SelectAImgFile(QWidget* parent) : SelectAFile(parent), disp(nullptr)
{
    // The extra controls are built on a scratch frame, then join the file row.
    QFrame scratch;
    Ui_SelectAImgFile::setupUi(&scratch);
    gridLayout_3->addWidget(SelectAImgFileBase, 0, 5);
    gridLayout = nullptr; // went with the scratch frame
    defaultExpTime = ExpTimeLE->text().toDouble();
    FieldWidth::fit(ExpTimeLE, FieldWidth::setting());

    connect(this, &SelectAFile::fileSelected, this, &SelectAImgFile::loadImage);
    connect(this, &SelectAFile::clear, this, &SelectAImgFile::clear);
    connect(&disp, &ImgDispWPV::newPosInvY, this, &SelectAImgFile::noticedNewPos);
}

SelectAImgFile::~SelectAImgFile()
{
    delete img;
}

void SelectAImgFile::loadImage(QString fname)
{
    qCDebug(lcData).noquote() << QStringLiteral("loading ") + fname;
    QString why;
    ImgData* fresh = loadImgData(fname, true, &why);
    if (!fresh || !fresh->ready) {
        // The name stays shown; a run refuses an image that did not load.
        Failures::record(Failures::Load, QStringLiteral("Image not loaded (%1): %2").arg(why, fname));
        delete fresh;
        return;
    }
    delete img;
    img = fresh;
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
    delete img;
    img = nullptr;
    ExpTimeLE->setText(QString::number(defaultExpTime, 'g', 6));
}

void SelectAImgFile::setExpTime(double time)
{
    ExpTimeLE->setText(QString::number(time, 'g', 6));
}
