// Arbitrary bytes as an HDF5 Data Exchange scan: the reader must refuse the
// file with a reason, or load a series whose images, I0, BG and angles agree,
// without allocating beyond the memory budget.
#include "FuzzCommon.h"
#include "H5Scan.h"
#include "ImgData.h"
#include "ImgDatas.h"

#include <QTemporaryDir>

#include <hdf5.h>

#include <cmath>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::quiet();
    // A few bytes may claim a huge scan; the budget caps what one input may allocate.
    static const bool budget = qputenv("ZUVO2_MEMORY_BUDGET_MB", "64");
    (void)budget;
    static QTemporaryDir dir;
    const QString path = dir.filePath("fuzz.h5");
    if (!fuzz::writeFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))))
        return 0;

    ImgDatas set;
    QString why;
    const bool loaded = loadH5Scan(path, set, &why);
    // Refused or loaded, the reader leaves no file, dataset or space open.
    FUZZ_CHECK(H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_ALL) == 0);
    if (!loaded) {
        FUZZ_CHECK(!why.isEmpty());
        FUZZ_CHECK(set.count() == 0 && set.failed == QStringList{path});
        return 0;
    }
    FUZZ_CHECK(set.count() > 0 && set.width > 0 && set.height > 0);
    FUZZ_CHECK(set.anglesDeg.isEmpty() || set.anglesDeg.size() == set.count());
    for (double a : set.anglesDeg)
        FUZZ_CHECK(std::isfinite(a));
    std::vector<double> row(size_t(set.width));
    for (ImgData* img : {set.at(0), set.at(set.count() - 1), set.i0(), set.bg()}) {
        FUZZ_CHECK(img && img->ready && img->width == set.width && img->height == set.height);
        for (int y : {0, set.height - 1}) {
            img->readRow(y, row.data());
            for (double v : row)
                FUZZ_CHECK(std::isfinite(v));
        }
    }
    // The band reader agrees with the loaded images.
    H5Scan scan;
    FUZZ_CHECK(scan.open(path));
    std::vector<double> band;
    if (scan.readRows(set.height - 1, 1, band)) {
        FUZZ_CHECK(band.size() == size_t(set.count()) * size_t(set.width));
        set.at(0)->readRow(set.height - 1, row.data());
        for (int x = 0; x < set.width; ++x)
            FUZZ_CHECK(band[size_t(x)] == row[size_t(x)]);
    }
    scan.close();
    FUZZ_CHECK(H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_ALL) == 0);
    return 0;
}
