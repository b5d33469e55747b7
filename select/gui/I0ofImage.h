#pragma once
// Records how the I0 of one image kind is given: a value, or an XAFS file
// with the energy pattern of the image file names.
#include "ui_I0ofImage.h"

#include <QFrame>

class I0ofImage : public QFrame
{
    Q_OBJECT
public:
    explicit I0ofImage(QWidget* parent = nullptr);

    void setTitle(const QString& title) { ui.Title->setText(title); }
    // The value shown with six significant digits, as every number field.
    void setI0Value(double v);
    void setFromXafs(bool on);
    void setEnergyPattern(const QString& pattern);
    SelectAFile* xafsFile() const { return ui.XafsFile; }

private:
    Ui::I0ofImage ui;
};
