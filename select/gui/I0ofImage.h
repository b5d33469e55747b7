#pragma once
// Records how the I0 of one image kind is given: a value, or an XAFS file
// with the energy pattern of the image file names.
#include "ui_I0ofImage.h"

#include <QFrame>

class I0ofImage : public QFrame, public Ui_I0ofImage
{
    Q_OBJECT
public:
    explicit I0ofImage(QWidget* parent = nullptr);

    void setTitle(const QString& title) { Title->setText(title); }
};
