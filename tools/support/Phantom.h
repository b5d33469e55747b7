#pragma once
// A three-dimensional test object made of ellipsoids with known attenuation,
// and its exact parallel-beam line integrals.
//
// Geometry (the convention the reconstruction uses):
// - Object coordinates (X, Y, Z) are in detector pixels, origin on the
//   rotation axis. Y runs along the axis; (X, Z) is the slice plane.
// - Projection p (p = 0 .. nProj-1) is taken at angle theta = pi * p / nProj.
//   It records P(theta, u, Y), the integral of mu along the line
//   { X cos(theta) - Z sin(theta) = u } at height Y.
// - Axis vertical on the detector: image pixel (column c, row r) holds
//   u = c - cor and Y = r - yc (yc = detector row of the object centre, H / 2).
//   Axis horizontal: rows and columns swap, u = r - cor and Y = c - xc (xc = W / 2).
// - Ground-truth slices are N x N grids with N = 2 floor(min(cor, dim - cor - 1)) - 2
//   (dim = the detector size across the axis); grid pixel (x, z) is
//   X = x - N/2, Z = z - N/2.
// - mu is in 1 / pixel. Ellipsoids add up where they overlap; the head is
//   scaled so that the longest line integral is about 2.
#include <QList>

struct Ellipsoid
{
    double cx = 0, cy = 0, cz = 0; // centre
    double ax = 1, ay = 1, az = 1; // semi-axes along X', Y, Z'
    double phi = 0;                // rotation about the Y axis (radians), X' = X cos + Z sin
    double mu = 0;                 // attenuation added inside, 1 / pixel
};

class Phantom
{
public:
    // Modified Shepp-Logan head; radius = in-plane size, halfHeight = size along the axis.
    static Phantom head(double radius, double halfHeight);
    // The head whose two ventricles hold one element in two chemical states:
    // the left one (X < 0) with its edge at edgeEv, the right one at edge2Ev
    // with 0.7 of the left one's amount. Each attenuation rises fourfold
    // across its edge (tanh step, 1.5 eV wide, so that lines fitted 15 eV
    // away see no trace of it); the rest falls slowly as (edgeEv / E)^3.
    static Phantom xafs(double radius, double halfHeight, double energyEv, double edgeEv = 7112.0,
                        double edge2Ev = 7122.0);
    // The same head with the absorbers' attenuations given (absorber[k] as
    // absorberAmount(k) * edgeAbsorber(...) would give it): absorbers of
    // any spectrum, e.g. measured ones. edgeEv sets the matrix's slope.
    static Phantom xafsWith(double radius, double halfHeight, double energyEv, double edgeEv, const double absorber[2]);
    // Attenuation of an edge absorber alone (1 / pixel before scaling by the radius).
    static double edgeAbsorber(double energyEv, double edgeEv);
    // Amount of absorber k (0 left, 1 right) relative to the left one.
    static double absorberAmount(int k);
    // Edge jump of absorber k in 1 / pixel: the post-edge minus the
    // pre-edge attenuation at its edge.
    static double edgeJump(double radius, int k);
    // Centre of absorber k in the slice plane (X, Z) and along the axis (Y).
    static void absorberCentre(double radius, double halfHeight, int k, double& X, double& Y, double& Z);

    double mu(double X, double Y, double Z) const;
    // Exact integral of mu along the line { X cos(theta) - Z sin(theta) = u } at height Y.
    double lineIntegral(double theta, double u, double Y) const;
    // Integrals at u = u0 + k for k = 0 .. n-1 (one detector line), same values as lineIntegral.
    void projectLine(double theta, double Y, double u0, int n, double* out) const;

    QList<Ellipsoid> ellipsoids;
};
