// Back-projection speed: the plain per-pixel loop against the loops the
// program uses, single-threaded, on random ramp-filtered projections.
#include "FbpKernel.h"

#include <QElapsedTimer>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

// Pixels strictly inside the inscribed circle: each takes one interpolation per projection.
double circlePixels(int n)
{
    const double h = 0.5 * n;
    double count = 0;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x)
            if (std::sqrt((x - h) * (x - h) + (z - h) * (z - h)) < h)
                ++count;
    return count;
}

void run(int n, int nProj, int oracleProj)
{
    FbpKernel k;
    k.setup(n, nProj);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> row(size_t(n) + 1);
    for (int p = 0; p < nProj; ++p) {
        for (double& v : row)
            v = u(rng);
        k.transform(row.data(), p);
        k.filter(p);
    }
    const double perProj = circlePixels(n);
    const double interp = perProj * nProj;
    QElapsedTimer timer;

    // The plain loop on a subset of projections, scaled to the whole slice.
    const int sub = std::min(oracleProj, nProj);
    k.resetImage(n);
    timer.start();
    for (int p = 0; p < sub; ++p)
        k.backProjectReference(p * (nProj / sub), 0, n, 0, n);
    const double tRef = timer.nsecsElapsed() * 1e-6 * nProj / sub;

    k.resetImage(n);
    timer.start();
    for (int p = 0; p < nProj; ++p)
        k.backProject(p, 0, n, 0, n);
    const double tOne = timer.nsecsElapsed() * 1e-6;

    k.resetImage(n);
    timer.start();
    k.backProjectAll(0, n, 0, n);
    const double tAll = timer.nsecsElapsed() * 1e-6;

    std::printf("N %5d  proj %4d  interpolations %.3g\n", n, nProj, interp);
    std::printf("  plain loop (%d of %d projections, scaled)  %9.1f ms/slice  %6.3f e9 interp/s\n",
                sub, nProj, tRef, interp / tRef * 1e-6);
    std::printf("  backProject per projection             %9.1f ms/slice  %6.3f e9 interp/s  x%.1f\n",
                tOne, interp / tOne * 1e-6, tRef / tOne);
    std::printf("  backProjectAll (tiled)                 %9.1f ms/slice  %6.3f e9 interp/s  x%.1f\n",
                tAll, interp / tAll * 1e-6, tRef / tAll);
    std::fflush(stdout);
}

} // namespace

int main()
{
    std::printf("Back-projection, one thread, double precision, loop: %s\n", FbpKernel::loopName());
    run(510, 180, 180);
    run(1022, 180, 45);
    run(2046, 180, 18);
    run(2046, 900, 18);
    return 0;
}
