#pragma once
// X-ray energies written into file names: "<prefix>-<energy>-<index>.img",
// the energy with "_" as decimal point and an optional unit ("keV" = x 1000).
#include <QList>
#include <QString>

// Number of an energy field up to its last digit, "_" read as ".".
double energyNumber(const QString& text);
// Text between the last two "-" of a path (the whole path without two "-").
QString energyField(const QString& path);
// Energy of an energy field ("7_200keV", "7200eV", "7200") in eV.
double fieldEnergy(const QString& field);
// Energy of a path in eV.
double fileEnergy(const QString& path);
// Index of the energy nearest to e (ties keep the earlier entry); -1 for an empty list.
int nearestEnergyIndex(const QList<double>& energies, double e);
// Why the energy nearest to e does not stand for it: it lies farther from e
// than half the usual step between the energies (the median of the steps
// between distinct ones, the lower of two middles), as when the file of e's
// own energy is missing from
// a list of one file per energy; empty when it stands, and always for a list
// of one energy (one file for every e).
QString energyGap(const QList<double>& energies, double e);
