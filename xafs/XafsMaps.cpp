#include "XafsMaps.h"

#include "XafsPixels.h"
#include "XafsStack.h"

#include <algorithm>
#include <atomic>
#include <cmath>

XafsMaps XafsMaps::compute(const XafsStack& st, const XafsRanges& ranges, double threshold, int threads)
{
    XafsMaps m;
    if (st.isEmpty())
        return m;
    m.width = st.width;
    m.height = st.height;
    m.x0 = st.x0;
    m.z0 = st.z0;
    m.threshold = threshold;
    const size_t n = size_t(st.width) * size_t(st.height);
    m.jump.assign(n, 0.0f);
    m.e0.assign(n, 0.0f);
    m.mask.assign(n, 0);
    std::atomic<int> fitted{0}, questionable{0}, thin{0};
    std::atomic<bool> exampleTaken{false};
    XafsPixels::forEach(st, ranges, [&]() -> XafsPixels::Visit {
        return [&](int i, int j, size_t at, const double*, const XafsNormalize& norm) {
            ++fitted;
            m.jump[at] = float(norm.jump);
            if (!norm.warning.isEmpty()) {
                ++thin;
                if (!exampleTaken.exchange(true))
                    m.thinExample = QStringLiteral("pixel (%1, %2): ").arg(st.x0 + i).arg(st.z0 + j) + norm.warning;
            }
            if (norm.jump >= threshold) {
                m.mask[at] = norm.questionable ? 2 : 1;
                questionable += norm.questionable;
                m.e0[at] = float(norm.e0);
            }
        };
    }, threads);
    m.fitted = fitted;
    m.questionable = questionable;
    m.thin = thin;
    return m;
}

std::vector<float> XafsMaps::values(Kind k) const
{
    if (k == Jump)
        return jump;
    if (k == E0)
        return e0;
    std::vector<float> out(mask.size());
    std::transform(mask.begin(), mask.end(), out.begin(), [](quint8 v) { return float(v); });
    return out;
}

bool XafsMaps::range(Kind k, double& lo, double& hi) const
{
    if (k == Mask) {
        // Questionable (2) shows as white as certain (1).
        lo = 0;
        hi = 1;
        return !mask.empty();
    }
    const std::vector<float>& v = k == Jump ? jump : e0;
    bool any = false;
    for (size_t i = 0; i < v.size(); ++i) {
        if (k == E0 ? !mask[i] : v[i] == 0.0f)
            continue;
        if (!any)
            lo = hi = v[i];
        lo = std::min(lo, double(v[i]));
        hi = std::max(hi, double(v[i]));
        any = true;
    }
    return any;
}

QImage XafsMaps::picture(Kind k, double lo, double hi) const
{
    QImage img(width, height, QImage::Format_Grayscale8);
    if (img.isNull())
        return img;
    const std::vector<float> v = values(k);
    const double span = hi > lo ? hi - lo : 1.0;
    for (int j = 0; j < height; ++j) {
        uchar* row = img.scanLine(j);
        for (int i = 0; i < width; ++i) {
            const size_t at = size_t(j) * size_t(width) + size_t(i);
            const bool shown = k == E0 ? mask[at] != 0 : true;
            const double g = shown ? (v[at] - lo) / span * 255.0 : 0.0;
            row[i] = uchar(std::clamp(g, 0.0, 255.0));
        }
    }
    return img;
}

QString XafsMaps::kindName(Kind k)
{
    switch (k) {
    case Jump: return QStringLiteral("edge jump");
    case E0: return QStringLiteral("E0");
    case Mask: return QStringLiteral("mask");
    }
    return QString();
}
