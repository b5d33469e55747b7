#pragma once
// Drift between the energies of a CT-XAFS scan: the shift of one energy's
// projections against a reference energy's, measured by phase correlation
// of their gradient images (contrast that changes across the edge leaves
// edges where they are) and refined below a pixel by an upsampled
// cross-correlation around the peak (the cross-power spectrum's phase,
// weighted towards the lower frequencies where sampled gradients do not
// alias), then once more after moving the image back by that estimate. Several angles are measured; their
// median is the energy's shift and their spread its uncertainty.
//
// Conventions: dx along image columns, dz along rows; a shift (dx, dz) means
// the image shows at (x + dx, z + dz) what the reference shows at (x, z).
#include <QByteArray>
#include <QString>

#include <vector>

struct XafsShift
{
    double dx = 0, dz = 0;
    double peak = 0;   // height of the correlation peak, 0 .. 1
};

struct XafsEnergyShift
{
    double energy = 0;
    double dx = 0, dz = 0;          // median over the angles
    double spreadX = 0, spreadZ = 0; // largest distance of an angle's shift from the median
    double peak = 0;                // weakest peak over the angles
    int angles = 0;
    bool questionable = false;
};

class XafsAlign
{
public:
    // A spread above this (pixels) or a peak below minPeak makes a shift
    // questionable. upsample: the refinement's steps per pixel (default 20,
    // 0.05 px).
    double maxSpread = 0.5;
    double minPeak = 0.03;
    int upsample = 20;

    // Shift of img against ref, both w x h (row major). Sizes up to
    // maxSide; false with *why otherwise.
    bool measure(const float* ref, const float* img, int w, int h, XafsShift& out, QString* why) const;
    // The median of several angles' shifts, with spread and verdict.
    XafsEnergyShift combine(double energy, const std::vector<XafsShift>& perAngle) const;
    // "energy_eV,dx_px,dz_px,spread_x_px,spread_z_px,peak,angles,questionable"
    static QByteArray csv(const std::vector<XafsEnergyShift>& shifts);

    static constexpr int maxSide = 8192;
};
