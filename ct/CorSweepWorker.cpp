#include "CorSweepWorker.h"

#include "ColorSnapshot.h"
#include "CorSearch.h"
#include "SinogramImage.h"

#include <algorithm>
#include <vector>

CorSweepWorker::CorSweepWorker(std::shared_ptr<const CorTrialSet> s, int tile, QObject* parent)
    : QObject(parent), set(std::move(s)), tileSize(std::max(1, tile))
{
}

void CorSweepWorker::run(int index, double cor)
{
    CorTrial t;
    t.index = index;
    t.cor = cor;
    if (!quitting && set) {
        std::vector<double> slice;
        int side = 0;
        t.measure = corTrial(*set, cor, &slice, &side);
        t.ok = side > 0;
        if (t.ok) {
            const auto [lo, hi] = std::minmax_element(slice.begin(), slice.end());
            ColorSnapshot colours;
            colours.autoMinMax(*lo, *hi);
            t.tile = greyImage(slice.data(), side, side, colours)
                         .scaled(tileSize, tileSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
    }
    emit trialDone(t);
}
