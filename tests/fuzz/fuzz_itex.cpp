// Arbitrary bytes as an image file: the type test, the ITEX header and comment
// parser, the TIFF reader and the pixel readers must refuse or read them
// without reading or allocating beyond what the file holds.
#include "FuzzCommon.h"
#include "ImgData.h"
#include "ImgDataTiff.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::quiet();
    // A compressed TIFF may claim far more pixels than its bytes; the budget
    // caps what one input may allocate.
    static const bool budget = qputenv("ZUVO2_MEMORY_BUDGET_MB", "256");
    (void)budget;
    static QTemporaryDir dir;
    const QString path = dir.filePath("fuzz.img");
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!fuzz::writeFile(path, bytes))
        return 0;

    // Both reading modes: the last byte chooses (the input is the same file).
    std::unique_ptr<ImgData> img(loadImgData(path, size == 0 || (data[size - 1] & 1) == 0));
    if (!img || !img->ready)
        return 0;

    FUZZ_CHECK(img->width > 0 && img->height > 0);
    const qint64 pixels = qint64(img->width) * img->height;
    auto* tiff = dynamic_cast<ImgDataTiff*>(img.get());
    // A loaded image never claims more pixels than the file has bytes, or
    // than its codec can expand them to.
    FUZZ_CHECK(pixels <= qint64(size) * (tiff && tiff->compression != 1 ? 4096 : 1));
    // ITEX pixels are unsigned integers; TIFF ones may be floats, never NaN.
    const double lo = tiff ? -std::numeric_limits<double>::max() : 0;
    const double hi = tiff ? std::numeric_limits<double>::max() : 4294967295.0;

    std::vector<double> row(size_t(img->width)), col(size_t(img->height));
    const int rows[] = {0, img->height - 1, img->height / 2};
    for (int r : rows) {
        img->readRow(r, row.data());
        for (double v : row)
            FUZZ_CHECK(v >= lo && v <= hi);
    }
    img->readColumn(img->width - 1, col.data());
    for (double v : col)
        FUZZ_CHECK(v >= lo && v <= hi);
    double mn = 0, mx = 0;
    img->getMinMax(mn, mx);
    FUZZ_CHECK(mn <= mx);
    // Later pages of a stack go through the same checks on their directory.
    if (tiff && ImgDataTiff::pageCount(path) > 1) {
        ImgDataTiff second;
        second.page = 1;
        second.fileName = path;
        if (second.load())
            FUZZ_CHECK(qint64(second.width) * second.height <= qint64(size) * 4096);
    }
    return 0;
}
