// Arbitrary bytes as an image file: the type test, the ITEX header and comment
// parser and the pixel reader must refuse or read them without reading or
// allocating beyond what the file holds.
#include "FuzzCommon.h"
#include "ImgData.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::quiet();
    static QTemporaryDir dir;
    const QString path = dir.filePath("fuzz.img");
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!fuzz::writeFile(path, bytes))
        return 0;

    // Both reading modes: the last byte chooses (the input is the same file).
    std::unique_ptr<ImgData> img(loadImgData(path, size == 0 || (data[size - 1] & 1) == 0));
    if (!img || !img->ready)
        return 0;

    FUZZ_CHECK(img->width >= 0 && img->height >= 0);
    const qint64 pixels = qint64(img->width) * img->height;
    // A loaded image never claims more pixels than the file has bytes (a TIFF is 0 x 0).
    FUZZ_CHECK(pixels <= qint64(size));
    if (pixels == 0)
        return 0;

    std::vector<double> row(size_t(img->width)), col(size_t(img->height));
    const int rows[] = {0, img->height - 1, img->height / 2};
    for (int r : rows) {
        img->readRow(r, row.data());
        for (double v : row)
            FUZZ_CHECK(v >= 0 && v <= 4294967295.0);
    }
    img->readColumn(img->width - 1, col.data());
    for (double v : col)
        FUZZ_CHECK(v >= 0 && v <= 4294967295.0);
    double mn = 0, mx = 0;
    img->getMinMax(mn, mx);
    FUZZ_CHECK(mn <= mx);
    return 0;
}
