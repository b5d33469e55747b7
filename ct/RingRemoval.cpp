#include "RingRemoval.h"

#include <algorithm>
#include <numeric>
#include <vector>

void removeRings(double* absorb, int nx, int nth, int size)
{
    if (!absorb || nx < 3 || nth < 1 || size < 2)
        return;
    const int half = std::min(size, maxRingSize) / 2;
    const size_t w = size_t(nx), h = size_t(nth);
    // rank[j][r]: the projection holding column j's r-th smallest value;
    // sorted is stored rank-major so the smoothing walks contiguous rows.
    std::vector<int> rank(w * h);
    std::vector<double> sorted(w * h);
    for (size_t j = 0; j < w; ++j) {
        int* r = rank.data() + j * h;
        std::iota(r, r + h, 0);
        std::stable_sort(r, r + h, [&](int a, int b) { return absorb[size_t(a) * w + j] < absorb[size_t(b) * w + j]; });
        for (size_t k = 0; k < h; ++k)
            sorted[k * w + j] = absorb[size_t(r[k]) * w + j];
    }
    std::vector<double> window;
    window.reserve(size_t(2 * half + 1));
    for (size_t k = 0; k < h; ++k) {
        const double* s = sorted.data() + k * w;
        for (int j = 0; j < nx; ++j) {
            // The window shrinks symmetrically at the ends of the row.
            const int reach = std::min({half, j, nx - 1 - j});
            window.assign(s + j - reach, s + j + reach + 1);
            auto mid = window.begin() + reach;
            std::nth_element(window.begin(), mid, window.end());
            const double stripe = s[j] - *mid;
            absorb[size_t(rank[size_t(j) * h + k]) * w + size_t(j)] -= stripe;
        }
    }
}
