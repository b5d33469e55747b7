#include "WorkProgress.h"

#include <algorithm>

double WorkProgress::rate() const
{
    if (done <= 0 || elapsedMs <= 0)
        return 0;
    return done * 1000.0 / double(elapsedMs);
}

double WorkProgress::secondsLeft() const
{
    const double r = rate();
    if (r <= 0)
        return -1;
    return std::max(0, total - done) / r;
}

int WorkProgress::percent() const
{
    if (total <= 0)
        return 0;
    return int(std::clamp<qint64>(qint64(done) * 100 / total, 0, 100));
}
