#include "ZingerRemoval.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {
constexpr double madToSigma = 1.4826;
// Least noise taken, as a fraction of the local level, and in counts for
// integer images (their rounding): on noise-free or smooth data the measured
// spread is zero, and every gentle local maximum would pass for a zinger.
constexpr double leastRelativeNoise = 1e-3;
constexpr double leastCountNoise = 0.5;

inline void order(float& a, float& b)
{
    const float lo = std::min(a, b);
    b = std::max(a, b);
    a = lo;
}

// Median of nine values by the 19-exchange network (the values are reordered).
inline float median9(float* p)
{
    order(p[1], p[2]); order(p[4], p[5]); order(p[7], p[8]);
    order(p[0], p[1]); order(p[3], p[4]); order(p[6], p[7]);
    order(p[1], p[2]); order(p[4], p[5]); order(p[7], p[8]);
    order(p[0], p[3]); order(p[5], p[8]); order(p[4], p[7]);
    order(p[3], p[6]); order(p[1], p[4]); order(p[2], p[5]);
    order(p[4], p[7]); order(p[4], p[2]); order(p[6], p[4]);
    order(p[4], p[2]);
    return p[4];
}

// The nine values about (x, y), edges repeated.
inline void neighbourhood(const float* img, int w, int h, int x, int y, float* out)
{
    int k = 0;
    for (int dy = -1; dy <= 1; ++dy) {
        const float* row = img + size_t(std::clamp(y + dy, 0, h - 1)) * w;
        for (int dx = -1; dx <= 1; ++dx)
            out[k++] = row[std::clamp(x + dx, 0, w - 1)];
    }
}

// Medians of every pixel's neighbourhood into med.
void medianImage(const float* img, int w, int h, float* med)
{
    float v[9];
    for (int y = 0; y < h; ++y) {
        const float* up = img + size_t(std::max(y - 1, 0)) * w;
        const float* mid = img + size_t(y) * w;
        const float* down = img + size_t(std::min(y + 1, h - 1)) * w;
        float* out = med + size_t(y) * w;
        for (int x : {0, w - 1}) {
            neighbourhood(img, w, h, x, y, v);
            out[x] = median9(v);
        }
        // Inner pixels: the same network on columns, which the compiler
        // vectorises.
        for (int x = 1; x < w - 1; ++x) {
            float p[9] = {up[x - 1], up[x], up[x + 1], mid[x - 1], mid[x], mid[x + 1], down[x - 1], down[x], down[x + 1]};
            out[x] = median9(p);
        }
    }
}
} // namespace

int removeZingers(float* img, int w, int h, double threshold)
{
    if (!img || w < 1 || h < 1 || !(threshold > 0))
        return 0;
    const size_t n = size_t(w) * size_t(h);
    std::vector<float> med(n);
    medianImage(img, w, h, med.data());

    // The image's own noise from an even sample of its pixels.
    const size_t step = std::max<size_t>(1, n / 65536);
    std::vector<float> dev;
    dev.reserve(n / step + 1);
    bool counts = true;
    for (size_t i = 0; i < n; i += step) {
        dev.push_back(std::fabs(img[i] - med[i]));
        counts = counts && img[i] == std::floor(img[i]);
    }
    const double countNoise = counts ? leastCountNoise : 0.0;
    std::nth_element(dev.begin(), dev.begin() + dev.size() / 2, dev.end());
    const double imageNoise = madToSigma * dev[dev.size() / 2];
    const double least = threshold * imageNoise;

    // Residuals from the neighbourhood medians: their spread about a pixel
    // is its local noise, the structure of the image taken out.
    std::vector<float> residual(n);
    for (size_t i = 0; i < n; ++i)
        residual[i] = std::fabs(img[i] - med[i]);
    int replaced = 0;
    float around[24];
    for (int y = 0; y < h; ++y) {
        float* row = img + size_t(y) * w;
        const float* mrow = med.data() + size_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const double excess = double(row[x]) - mrow[x];
            const double floorNoise = std::max(leastRelativeNoise * std::fabs(double(mrow[x])), countNoise);
            if (!(excess > least) || !(excess > threshold * floorNoise))
                continue;
            int k = 0;
            for (int dy = -2; dy <= 2; ++dy) {
                const float* r = residual.data() + size_t(std::clamp(y + dy, 0, h - 1)) * w;
                for (int dx = -2; dx <= 2; ++dx)
                    if (dx != 0 || dy != 0)
                        around[k++] = r[std::clamp(x + dx, 0, w - 1)];
            }
            std::nth_element(around, around + 12, around + 24);
            const double noise = std::max({madToSigma * around[12], imageNoise, floorNoise});
            // A corner or a thin line of the object spreads its own 3 x 3
            // values; a pixel above all its neighbours by the threshold is a
            // zinger all the same (one on an edge of the object).
            float v[9];
            neighbourhood(img, w, h, x, y, v);
            float highest = -std::numeric_limits<float>::infinity();
            for (int j = 0; j < 9; ++j)
                if (j != 4)
                    highest = std::max(highest, v[j]);
            for (float& a : v)
                a = std::fabs(a - mrow[x]);
            const double spread = madToSigma * median9(v);
            if (excess > threshold * std::max(noise, spread) || row[x] - double(highest) > threshold * noise) {
                row[x] = mrow[x];
                ++replaced;
            }
        }
    }
    return replaced;
}
