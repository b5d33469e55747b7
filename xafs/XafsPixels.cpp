#include "XafsPixels.h"

#include "XafsStack.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <vector>

bool XafsPixels::forEach(const XafsStack& st, const XafsRanges& ranges, const std::function<Visit()>& makeVisitor,
                         int threads, XafsProgress* progress)
{
    if (st.isEmpty())
        return true;
    if (progress) {
        progress->total = st.height;
        progress->done = 0;
    }
    const int K = st.count();
    const size_t plane = size_t(st.width) * size_t(st.height);
    std::atomic<int> nextRow{0};
    std::atomic<bool> stopped{false};
    auto work = [&]() {
        const Visit visit = makeVisitor();
        XafsNormalize norm(ranges);
        std::vector<double> mu(static_cast<size_t>(K));
        // One row of every energy, copied whole: gathering a pixel's spectrum
        // straight from the stack would touch a new page per energy.
        std::vector<float> rows(size_t(K) * size_t(st.width));
        for (int j = nextRow++; j < st.height; j = nextRow++) {
            if (progress && progress->cancelled()) {
                stopped = true;
                break;
            }
            const size_t rowAt = size_t(j) * size_t(st.width);
            for (int k = 0; k < K; ++k)
                std::copy_n(st.values.data() + size_t(k) * plane + rowAt, st.width, rows.data() + size_t(k) * size_t(st.width));
            for (int i = 0; i < st.width; ++i) {
                if (!st.inCircle(i, j))
                    continue;
                for (int k = 0; k < K; ++k)
                    mu[size_t(k)] = rows[size_t(k) * size_t(st.width) + size_t(i)];
                if (norm.fit(st.energies.data(), mu.data(), K))
                    visit(i, j, rowAt + size_t(i), mu.data(), norm);
            }
            if (progress)
                ++progress->done;
        }
    };
    const int want = threads > 0 ? threads : QThread::idealThreadCount();
    const int t = std::max(1, std::min(want, st.height));
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(1, t - 1));
    for (int k = 1; k < t; ++k)
        pool.start(work);
    work();
    pool.waitForDone();
    return !stopped;
}
