#pragma once
// What a long XAFS computation (maps, fits, clusters) shares with whoever
// waits for it: rows done out of rows, and a flag that asks it to stop.
// Written by the computing threads, read by any other.
#include <atomic>

struct XafsProgress
{
    std::atomic<int> done{0};
    std::atomic<int> total{0};
    std::atomic<bool> cancel{false};

    bool cancelled() const { return cancel.load(std::memory_order_relaxed); }
};
