#pragma once
// Reconstructs trial slices of a centre sweep in a thread of its own: each
// slice's sharpness measure and a small picture, handed back as a value.
#include "CorTrial.h"

#include <QObject>

#include <atomic>
#include <memory>

class CorTrialSet;

class CorSweepWorker : public QObject
{
    Q_OBJECT
public:
    // The filtered lines all workers share; only read here.
    CorSweepWorker(std::shared_ptr<const CorTrialSet> set, int tileSize, QObject* parent = nullptr);

    // Set by the owner to drop trials not yet begun (they come back empty).
    std::atomic<bool> quitting{false};

    // In the worker's thread; trialDone() follows every call.
    void run(int index, double cor);

signals:
    void trialDone(CorTrial trial);

private:
    std::shared_ptr<const CorTrialSet> set;
    int tileSize;
};
