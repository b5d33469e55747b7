#pragma once
// How far a long piece of work has come (the slices of a run, the files of a
// load): done out of total, the rate so far and the time left at that rate.
#include <QtGlobal>

struct WorkProgress
{
    int done = 0;
    int total = 0;
    // Milliseconds since the work began.
    qint64 elapsedMs = 0;

    // Items per second so far; 0 while nothing is done or no time has passed.
    double rate() const;
    // Seconds left at that rate; -1 while it cannot be told (nothing done yet).
    double secondsLeft() const;
    // Whole percent done, 0 ... 100 (0 for an empty total).
    int percent() const;
};
