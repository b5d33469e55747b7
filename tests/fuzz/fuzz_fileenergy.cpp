// Energies from arbitrary file names, and the nearest-energy choice over
// arbitrary doubles (NaN and infinities included).
#include "FileEnergy.h"
#include "FuzzCommon.h"

#include <QList>

#include <cmath>
#include <cstring>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::quiet();
    const QString path = fuzz::text(data, size);

    const QString field = energyField(path);
    FUZZ_CHECK(path.contains(field));
    FUZZ_CHECK(!field.contains(QLatin1Char('-')) || path.count(QLatin1Char('-')) == 0);
    const double number = energyNumber(field);
    const double e = fileEnergy(path);
    FUZZ_CHECK((std::isnan(e) && std::isnan(number)) || e == number || e == number * 1000);
    (void)energyNumber(path);

    // The same bytes read as a list of doubles, the first one the target.
    QList<double> energies;
    double target = 0;
    const size_t n = size / sizeof(double);
    for (size_t k = 0; k < n && k < 65; ++k) {
        double v;
        std::memcpy(&v, data + k * sizeof(double), sizeof v);
        if (k == 0)
            target = v;
        else
            energies << v;
    }
    const int best = nearestEnergyIndex(energies, target);
    if (energies.isEmpty()) {
        FUZZ_CHECK(best == -1);
        return 0;
    }
    FUZZ_CHECK(best >= 0 && best < energies.size());
    const double dBest = std::fabs(energies.at(best) - target);
    if (!std::isnan(dBest)) {
        for (int k = 0; k < energies.size(); ++k) {
            const double d = std::fabs(energies.at(k) - target);
            // The walk starts from the largest finite distance, which only a
            // strictly smaller one beats.
            FUZZ_CHECK(!(d < dBest && d < std::numeric_limits<double>::max()));
            FUZZ_CHECK(!(k < best && d == dBest)); // ties keep the earlier entry
        }
    }
    return 0;
}
