#include "I0ofImage.h"

#include "FieldWidth.h"

I0ofImage::I0ofImage(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    FieldWidth::fit(I0Val, FieldWidth::number());
}
