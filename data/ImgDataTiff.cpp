#include "ImgDataTiff.h"

bool ImgDataTiff::readProps(const QString& fileName, qint32& width, qint32& height)
{
    Q_UNUSED(fileName);
    Q_UNUSED(width);
    Q_UNUSED(height);
    return true;
}
