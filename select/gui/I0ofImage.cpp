#include "I0ofImage.h"

I0ofImage::I0ofImage(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
}
