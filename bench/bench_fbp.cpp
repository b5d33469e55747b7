// Back-projection speed: the plain per-pixel loop against the loops the
// program uses, single-threaded, on random ramp-filtered projections, in
// double and in single precision (each loop the processor runs, with its
// largest difference from double as a share of the slice's value range);
// and next to it what transforming and filtering a slice costs.
#include "BenchMachine.h"
#include "FbpKernel.h"


#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

// Processor time of this thread in ms: other programs on a shared machine
// do not count against the loop.
struct CpuTimer
{
    double t0 = 0;
    static double now() { return 1e3 * BenchMachine::threadCpu(); }
    void start() { t0 = now(); }
    double ms() const { return now() - t0; }
};

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

// Best processor time of transform + filter over all projections of a slice.
double filterMs(int n, int nProj, const FbpFilter& f, int& length)
{
    FbpKernel k;
    k.setup(n, nProj, f);
    length = k.m;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> rows((size_t(n) + 1) * size_t(nProj));
    for (double& v : rows)
        v = u(rng);
    double best = 1e300;
    for (int r = 0; r < 3; ++r) {
        CpuTimer timer;
        timer.start();
        for (int p = 0; p < nProj; ++p)
            k.transform(rows.data() + size_t(p) * (size_t(n) + 1), p);
        for (int p = 0; p < nProj; ++p)
            k.filter(p);
        best = std::min(best, timer.ms());
    }
    return best;
}

void run(int n, int nProj, int oracleProj, bool skipPortable)
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
    CpuTimer timer;

    // The plain loop on a subset of projections, scaled to the whole slice.
    const int sub = std::min(oracleProj, nProj);
    k.resetImage(n);
    timer.start();
    for (int p = 0; p < sub; ++p)
        k.backProjectReference(p * (nProj / sub), 0, n, 0, n);
    const double tRef = timer.ms() * nProj / sub;

    // The machine may be shared: the best of a few runs is the loop's own speed.
    const int reps = nProj * double(n) * n > 1e9 ? 2 : 4;
    auto best = [&](int runs, auto body) {
        double t = 1e300;
        for (int r = 0; r < runs; ++r) {
            k.resetImage(n);
            timer.start();
            body();
            t = std::min(t, timer.ms());
        }
        return t;
    };
    const double tOne = best(reps, [&] {
        for (int p = 0; p < nProj; ++p)
            k.backProject(p, 0, n, 0, n);
    });
    std::printf("N %5d  proj %4d  interpolations %.3g\n", n, nProj, interp);
    std::printf("  plain loop (%d of %d projections, scaled)  %9.1f ms/slice  %6.3f e9 interp/s\n",
                sub, nProj, tRef, interp / tRef * 1e-6);
    std::printf("  backProject per projection %-8s    %9.1f ms/slice  %6.3f e9 interp/s  x%.1f\n",
                FbpKernel::loopName(), tOne, interp / tOne * 1e-6, tRef / tOne);
    // Every loop this processor runs (within ZUVO2_ISA), fastest first, in
    // double and in single precision; single's largest difference from the
    // chosen loop's double as a share of the slice's value range.
    std::vector<double> twice;
    double lo = 0, hi = 0, tAll = 0;
    for (FbpKernel::Loop l : {FbpKernel::Loop::Avx512, FbpKernel::Loop::Avx2, FbpKernel::Loop::Portable}) {
        if ((skipPortable && l == FbpKernel::Loop::Portable) || !k.useLoop(l))
            continue;
        const int runs = l == FbpKernel::Loop::Portable ? 1 : reps;
        k.setPrecision(FbpKernel::Precision::Double);
        const double tD = best(runs, [&] { k.backProjectAll(0, n, 0, n); });
        if (twice.empty()) {
            twice = k.image;
            tAll = tD;
            const auto [a, b] = std::minmax_element(twice.begin(), twice.end());
            lo = *a;
            hi = *b;
        }
        double dD = 0;
        for (size_t i = 0; i < twice.size(); ++i)
            dD = std::max(dD, std::fabs(k.image[i] - twice[i]));
        std::printf("  backProjectAll double %-8s         %9.1f ms/slice  %6.3f e9 interp/s  x%.1f over plain"
                    "  (max difference %.1e of the range)\n",
                    FbpKernel::loopName(l), tD, interp / tD * 1e-6, tRef / tD, dD / (hi - lo));
        k.setPrecision(FbpKernel::Precision::Single);
        const double tS = best(runs, [&] { k.backProjectAll(0, n, 0, n); });
        double d = 0;
        for (size_t i = 0; i < twice.size(); ++i)
            d = std::max(d, std::fabs(k.image[i] - twice[i]));
        std::printf("  backProjectAll single %-8s         %9.1f ms/slice  %6.3f e9 interp/s  x%.2f over its double"
                    "  (max difference %.1e of the range)\n",
                    FbpKernel::loopName(l), tS, interp / tS * 1e-6, tD / tS, d / (hi - lo));
    }
    k.useLoop(FbpKernel::Loop::Auto);
    k.setPrecision(FbpKernel::Precision::Double);
    for (const char* name : {"ramp", "hann", "ramp-unpadded"}) {
        FbpFilter f;
        f.name = QString::fromLatin1(name);
        int m = 0;
        const double t = filterMs(n, nProj, f, m);
        std::printf("  transform + filter %-13s (%5d)  %9.1f ms/slice  %5.1f %% of backProjectAll\n", name, m, t,
                    100.0 * t / tAll);
    }
    std::fflush(stdout);
}

} // namespace

// Arguments NxP (e.g. 2046x900) run those sizes only; --vector leaves out
// the portable loops (minutes under an instruction counter).
int main(int argc, char** argv)
{
    std::printf("Back-projection, one thread, thread processor time\n");
    BenchMachine::printMachine(FbpKernel::loopName());
    bool skipPortable = false;
    int sizes = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--vector")
            skipPortable = true;
        else
            ++sizes;
    }
    if (sizes > 0) {
        for (int i = 1; i < argc; ++i) {
            if (std::string(argv[i]) == "--vector")
                continue;
            int n = 0, p = 0;
            if (std::sscanf(argv[i], "%dx%d", &n, &p) != 2 || n < 4 || n > 16384 || p < 1 || p > 20000) {
                std::fprintf(stderr, "bench_fbp: \"%s\" is not NxP\n", argv[i]);
                return 2;
            }
            run(n, p, 18, skipPortable);
        }
        return 0;
    }
    run(510, 180, 180, skipPortable);
    run(1022, 180, 45, skipPortable);
    run(2046, 180, 18, skipPortable);
    run(2046, 900, 18, skipPortable);
    return 0;
}
