#pragma once
// Classes of pixels by spectral shape, without references: k-means on the
// scores of the leading principal components (those explaining 99 % of the
// variance, at least 2 where there are 2, at most 8), started by k-means++
// from a fixed seed so that a run is repeatable. Classes are numbered 1 .. K
// by falling pixel count; 0 in the class map is no class (outside the
// circle, or below the jump threshold).
#include "XafsPca.h"

#include <QByteArray>

#include <vector>

class XafsClusters
{
public:
    // False with *why when k is below 1 or above the number of spectra.
    bool compute(const XafsSpectraTable& t, const XafsPca& pca, int k, int width, int height, QString* why,
                 XafsProgress* progress = nullptr);

    int k = 0;
    int componentsUsed = 0;
    int iterations = 0;
    std::vector<float> classMap;                 // width x height, 0 .. k
    std::vector<int> count;                      // pixels per class
    std::vector<std::vector<double>> meanNorm;   // per class, at every energy
    // "energy_eV,class_1,..." with each class's mean normalised spectrum.
    QByteArray csv(const std::vector<double>& energies) const;
};
