#pragma once
// The loop the maps, the linear-combination fits and the principal
// components share: every pixel of a stack's reconstruction circle whose
// spectrum can be normalised, rows handed to several threads one at a time.
#include "XafsNormalize.h"
#include "XafsProgress.h"

#include <cstddef>
#include <functional>

class XafsStack;

class XafsPixels
{
public:
    // Called for pixel (i, j) (at = j * width + i) with its spectrum mu (one
    // value per energy) and the normalisation that fitted it.
    using Visit = std::function<void(int i, int j, size_t at, const double* mu, const XafsNormalize& norm)>;

    // makeVisitor is called once in each thread (its buffers are that
    // thread's own); each row is visited by one thread only. threads: 0
    // (default) one per core. With progress: total and done count rows, and
    // its cancel stops the loop. False when cancelled.
    static bool forEach(const XafsStack& st, const XafsRanges& ranges, const std::function<Visit()>& makeVisitor,
                        int threads = 0, XafsProgress* progress = nullptr);
};
