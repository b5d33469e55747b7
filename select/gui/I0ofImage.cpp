#include "I0ofImage.h"

#include "FieldWidth.h"

I0ofImage::I0ofImage(QWidget* parent) : QFrame(parent)
{
    ui.setupUi(this);
    FieldWidth::fit(ui.I0Val, FieldWidth::number());
}

void I0ofImage::setI0Value(double v)
{
    ui.I0Val->setText(QString::number(v, 'g', 6));
}

void I0ofImage::setFromXafs(bool on)
{
    ui.CalcFromXAFS->setChecked(on);
}

void I0ofImage::setEnergyPattern(const QString& pattern)
{
    ui.EngPattern->setText(pattern);
}
