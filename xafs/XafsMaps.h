#pragma once
// Maps of a slice from its energy stack: at every pixel inside the
// reconstruction circle the spectrum is normalised as a region's is; the
// edge jump tells how much of the element is there, E0 its chemical state,
// and the mask where the jump reaches the threshold (E0 means nothing where
// there is no edge). Pixels outside the circle, or whose fit fails, are 0
// in every map.
#include "XafsNormalize.h"

#include <QImage>
#include <QString>
#include <QtGlobal>

#include <vector>

class XafsStack;

class XafsMaps
{
public:
    enum Kind { Jump, E0, Mask };

    // threshold: smallest jump that counts (in the stack's unit); E0 is 0
    // below it. Uses up to `threads` threads (0: as many as processors).
    static XafsMaps compute(const XafsStack& stack, const XafsRanges& ranges, double threshold, int threads = 0);

    int width = 0, height = 0;
    long long x0 = 0, z0 = 0;
    double threshold = 0;
    std::vector<float> jump, e0;
    // 1 where the jump reaches the threshold, 2 there when E0 is
    // questionable (a second derivative peak nearly as high).
    std::vector<quint8> mask;
    int fitted = 0;             // pixels whose spectrum could be normalised
    int questionable = 0;       // masked pixels whose E0 is questionable
    int thin = 0;               // fitted pixels with a range of fewer than 3 energies
    QString thinExample;        // the warning of one of them

    bool isEmpty() const { return jump.empty(); }
    // The map of a kind as floats (the mask as 0 and 1).
    std::vector<float> values(Kind k) const;
    // Smallest and largest value of a kind over the pixels the mask keeps
    // (all fitted pixels for the jump); false when there is none.
    bool range(Kind k, double& lo, double& hi) const;
    // Grey picture: lo black, hi white.
    QImage picture(Kind k, double lo, double hi) const;
    static QString kindName(Kind k);
};
