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
