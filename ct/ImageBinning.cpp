#include "ImageBinning.h"

#include <algorithm>

void binImage(const float* in, int w, int h, int factor, float* out)
{
    const int bw = w / factor, bh = h / factor;
    for (int y = 0; y < bh; ++y) {
        float* dst = out + size_t(y) * bw;
        std::fill(dst, dst + bw, 0.0f);
        for (int dy = 0; dy < factor; ++dy) {
            const float* src = in + (size_t(y) * factor + dy) * w;
            for (int x = 0; x < bw; ++x)
                for (int dx = 0; dx < factor; ++dx)
                    dst[x] += src[x * factor + dx];
        }
    }
}

QString binningProblem(int w, int h, int factor)
{
    if (factor != 1 && factor != 2 && factor != 4)
        return QStringLiteral("binning %1 is not 1, 2 or 4").arg(factor);
    if (w % factor != 0 || h % factor != 0)
        return QStringLiteral("binning %1 does not divide the %2 x %3 images").arg(factor).arg(w).arg(h);
    return {};
}
