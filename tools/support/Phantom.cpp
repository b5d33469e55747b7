#include "Phantom.h"

#include <algorithm>
#include <cmath>

namespace {

struct Row { double x, y, z, a, b, c, phiDeg, mu; };

// Modified Shepp-Logan head: (x, y) is the slice plane, z the height, all in
// units of the head radius. Values are relative attenuations that add up.
const Row kHead[] = {
    {  0.00,  0.0000,  0.00, 0.6900, 0.920, 0.900,   0.0,  1.0 },
    {  0.00, -0.0184,  0.00, 0.6624, 0.874, 0.880,   0.0, -0.8 },
    { -0.22,  0.0000, -0.25, 0.4100, 0.160, 0.210, 108.0, -0.2 },
    {  0.22,  0.0000, -0.25, 0.3100, 0.110, 0.220,  72.0, -0.2 },
    {  0.00,  0.3500, -0.25, 0.2100, 0.250, 0.500,   0.0,  0.1 },
    {  0.00,  0.1000, -0.25, 0.0460, 0.046, 0.046,   0.0,  0.1 },
    { -0.08, -0.6050, -0.25, 0.0460, 0.023, 0.020,   0.0,  0.1 },
    {  0.00, -0.1000, -0.25, 0.0460, 0.046, 0.046,   0.0,  0.1 },
    {  0.06, -0.6050, -0.25, 0.0460, 0.023, 0.020,  90.0,  0.1 },
    {  0.00, -0.6050, -0.25, 0.0230, 0.023, 0.023,   0.0,  0.1 },
};
const int kVentricles[] = { 2, 3 };
// Relative values times this over the radius: the longest line integral is about 2.
const double kMuScale = 3.5;

} // namespace

Phantom Phantom::head(double radius, double halfHeight)
{
    Phantom p;
    const double deg = M_PI / 180.0;
    for (const Row& r : kHead) {
        Ellipsoid e;
        // Head (x, y) -> slice plane (X, Z); head z -> axis Y.
        e.cx = r.x * radius;
        e.cz = r.y * radius;
        e.cy = r.z * halfHeight;
        e.ax = r.a * radius;
        e.az = r.b * radius;
        e.ay = r.c * halfHeight;
        e.phi = r.phiDeg * deg;
        e.mu = radius > 0 ? kMuScale * r.mu / radius : 0;
        p.ellipsoids.append(e);
    }
    return p;
}

double Phantom::edgeAbsorber(double energyEv, double edgeEv)
{
    const double below = 0.1, above = 0.4, width = 1.5;
    const double step = 0.5 * (1.0 + std::tanh((energyEv - edgeEv) / width));
    const double slope = energyEv > 0 ? std::pow(edgeEv / energyEv, 3.0) : 1.0;
    return (below + (above - below) * step) * slope;
}

double Phantom::absorberAmount(int k)
{
    return k == 0 ? 1.0 : 0.7;
}

double Phantom::edgeJump(double radius, int k)
{
    return radius > 0 ? kMuScale * absorberAmount(k) * (0.4 - 0.1) / radius : 0;
}

void Phantom::absorberCentre(double radius, double halfHeight, int k, double& X, double& Y, double& Z)
{
    const Row& r = kHead[kVentricles[k == 0 ? 0 : 1]];
    X = r.x * radius;
    Z = r.y * radius;
    Y = r.z * halfHeight;
}

Phantom Phantom::xafs(double radius, double halfHeight, double energyEv, double edgeEv, double edge2Ev)
{
    const double a[2] = {absorberAmount(0) * edgeAbsorber(energyEv, edgeEv),
                         absorberAmount(1) * edgeAbsorber(energyEv, edge2Ev)};
    return xafsWith(radius, halfHeight, energyEv, edgeEv, a);
}

Phantom Phantom::xafsWith(double radius, double halfHeight, double energyEv, double edgeEv, const double absorber[2])
{
    Phantom p = head(radius, halfHeight);
    const double matrix = energyEv > 0 ? std::pow(edgeEv / energyEv, 3.0) : 1.0;
    for (Ellipsoid& e : p.ellipsoids)
        e.mu *= matrix;
    // The ventricles cancel the brain matrix and hold the absorbers instead.
    const double brain = (kHead[0].mu + kHead[1].mu) * matrix;
    for (int k = 0; k < 2; ++k)
        p.ellipsoids[kVentricles[k]].mu = radius > 0 ? kMuScale * (absorber[k] - brain) / radius : 0;
    return p;
}

double Phantom::mu(double X, double Y, double Z) const
{
    double sum = 0;
    for (const Ellipsoid& e : ellipsoids) {
        const double dx = X - e.cx, dy = Y - e.cy, dz = Z - e.cz;
        const double c = std::cos(e.phi), s = std::sin(e.phi);
        const double xr = (dx * c + dz * s) / e.ax;
        const double zr = (-dx * s + dz * c) / e.az;
        const double yr = dy / e.ay;
        if (xr * xr + yr * yr + zr * zr <= 1.0)
            sum += e.mu;
    }
    return sum;
}

double Phantom::lineIntegral(double theta, double u, double Y) const
{
    const double ct = std::cos(theta), st = std::sin(theta);
    // Line: p(t) = (u cos + t sin, Y, -u sin + t cos), |dp/dt| = 1.
    const double px = u * ct, pz = -u * st;
    const double dxl = st, dzl = ct;
    double sum = 0;
    for (const Ellipsoid& e : ellipsoids) {
        const double c = std::cos(e.phi), s = std::sin(e.phi);
        const double x0 = px - e.cx, z0 = pz - e.cz;
        const double q0x = (x0 * c + z0 * s) / e.ax;
        const double q0y = (Y - e.cy) / e.ay;
        const double q0z = (-x0 * s + z0 * c) / e.az;
        const double ex = (dxl * c + dzl * s) / e.ax;
        const double ez = (-dxl * s + dzl * c) / e.az;
        const double a = ex * ex + ez * ez;
        const double b = q0x * ex + q0z * ez;
        const double cc = q0x * q0x + q0y * q0y + q0z * q0z - 1.0;
        const double disc = b * b - a * cc;
        if (disc > 0 && a > 0)
            sum += e.mu * 2.0 * std::sqrt(disc) / a;
    }
    return sum;
}

void Phantom::projectLine(double theta, double Y, double u0, int n, double* out) const
{
    if (n <= 0 || !out)
        return;
    std::fill(out, out + n, 0.0);
    const double ct = std::cos(theta), st = std::sin(theta);
    for (const Ellipsoid& e : ellipsoids) {
        const double dy = (Y - e.cy) / e.ay;
        const double k2 = 1.0 - dy * dy;
        if (k2 <= 0)
            continue;
        // Cross-section at this height: an ellipse with semi-axes A, C.
        const double k = std::sqrt(k2);
        const double A = e.ax * k, C = e.az * k;
        const double c = std::cos(e.phi), s = std::sin(e.phi);
        // Line normal (cos, -sin) in the ellipse's own frame.
        const double nx = ct * c - st * s;
        const double nz = -ct * s - st * c;
        const double s2 = A * A * nx * nx + C * C * nz * nz;
        if (s2 <= 0)
            continue;
        const double half = std::sqrt(s2);
        const double uc = e.cx * ct - e.cz * st;
        const int k0 = std::max(0, int(std::ceil(uc - half - u0)));
        const int k1 = std::min(n - 1, int(std::floor(uc + half - u0)));
        const double f = e.mu * 2.0 * A * C / s2;
        for (int i = k0; i <= k1; ++i) {
            const double d = u0 + i - uc;
            const double r = s2 - d * d;
            if (r > 0)
                out[i] += f * std::sqrt(r);
        }
    }
}
