// Automatic centre of one slice, 2048 wide with 900 projections, Poisson
// noise at 5000 counts, on one core: processor time and the error found.
#include "BenchMachine.h"
#include "CorSearch.h"
#include "Phantom.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

int main()
{
    const int dim = 2048, nth = 900;
    const double cors[] = {1013.72, 1211.35};
    const Phantom ph = Phantom::head(700, 500);
    std::mt19937 rng(3);
    for (double cor : cors) {
        std::vector<double> lines(size_t(dim) * nth);
        for (int p = 0; p < nth; ++p) {
            double* row = lines.data() + size_t(p) * dim;
            ph.projectLine(M_PI * p / nth, 0, -cor, dim, row);
            for (int k = 0; k < dim; ++k) {
                std::poisson_distribution<int> d(5000.0 * std::exp(-row[k]));
                row[k] = std::log(5000.0 / std::max(1, d(rng)));
            }
        }
        const double t0 = 1e3 * BenchMachine::threadCpu();
        const CorResult r = findCor(lines.data(), dim, nth);
        const double ms = 1e3 * BenchMachine::threadCpu() - t0;
        std::printf("centre %8.2f: found %s, error %+.3f px (0/180 estimate %+.3f, %s), %zu trial slices, "
                    "%.0f ms (aim: under 2000)\n",
                    cor, qPrintable(r.text()), r.cor - cor, r.coarse - cor, r.refined ? "refined" : "kept",
                    r.trialCor.size(), ms);
    }
    return 0;
}
