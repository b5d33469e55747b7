#pragma once
// A homogeneous cylinder seen with propagation-based phase contrast, for
// testing phase retrieval against known truth. The cylinder's axis runs
// along the detector's rows direction (a vertical rotation axis) through
// the rotation axis, so every projection is the same line. Its complex
// transmission exp(-k beta t - i k delta t) (t the projected thickness,
// k = 2 pi / lambda) is propagated by the distance with the Fresnel
// transfer function exp(-i pi lambda z f^2) on a grid eight times finer than
// the detector, and the intensity is averaged over each detector pixel.
#include <vector>

struct PhaseCylinder
{
    double deltaBeta = 300;
    double distanceMm = 50;
    double energyKeV = 20;
    double pixelUm = 1;
    double radiusPx = 40;
    double axisPx = 0;          // centre on the detector line
    // Attenuation through the centre, mu 2R (beta follows from it).
    double centreAbsorbance = 0.5;

    double lambdaM() const;
    double beta() const;
    // mu in 1/m.
    double mu() const;
    // Projected thickness in metres averaged over each of n pixels.
    std::vector<double> thickness(int n) const;
    // Intensity relative to the beam on each of n pixels.
    std::vector<double> intensity(int n) const;
};
