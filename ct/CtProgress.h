#pragma once
// Paces the CT1 calculator from a thread of its own: every step it asks for
// comes back to the calculator as a separate queued event in the GUI thread.
#include <QObject>

#include <atomic>

class CtProgress : public QObject
{
    Q_OBJECT
public:
    explicit CtProgress(QObject* parent = nullptr);

    // Written by the calculator before the signal that leads to their next read.
    std::atomic<int> count{0};
    std::atomic<int> index{0};

signals:
    void calcAll();
    void calcOne(int pc);
    void finishedCalcOneByOne();

public slots:
    void startCalcAll();
    void startCalcOneByOne();
    void calcNext();
};
