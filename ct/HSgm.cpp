#include "HSgm.h"

#include "Logging.h"
#include <QDebug>

#include <new>

namespace {
// Two arrays of this many doubles each are 4 GB: far beyond any detector line set.
constexpr long long maxSamples = 256LL * 1024 * 1024;
}

void HSgm::resize(int nx_, int nth_)
{
    std::vector<double>().swap(absorb);
    std::vector<double>().swap(intensity);
    theta.clear();
    invalid = repaired = 0;
    blankRow = -1;
    nx = nx_;
    nth = nth_;
    if (nx <= 0 || nth <= 0)
        return;
    const long long total = static_cast<long long>(nx) * nth;
    if (total > maxSamples) {
        qCDebug(lcCt).noquote() << QStringLiteral("Sinogram too large, left empty: ")
                + QString::number(nx) + QStringLiteral(" x ") + QString::number(nth);
        nx = 0;
        nth = 0;
        return;
    }
    try {
        absorb.resize(size_t(total));
        intensity.resize(size_t(total));
    } catch (const std::bad_alloc&) {
        // Readers of the sinogram take an empty one as "nothing to reconstruct".
        std::vector<double>().swap(absorb);
        std::vector<double>().swap(intensity);
        qCWarning(lcCt).noquote() << QStringLiteral("Out of memory for the sinogram, left empty: ")
                + QString::number(nx) + QStringLiteral(" x ") + QString::number(nth);
        nx = 0;
        nth = 0;
    }
}
