#pragma once
// The failures of this process, counted by kind: what decides the exit
// status of an unattended run and the last line it writes.  Safe from any
// thread.  A failure that is a normal answer (no data set left) is not one.
#include <QString>

class Failures
{
public:
    enum Kind { Command, Load, Run, Write, KindCount };

    // Counts a failure of kind k and writes message as a warning.
    static void record(Kind k, const QString& message);
    static int count(Kind k);
    static int total();
    // "2 failures: 1 command, 1 write" (empty when there were none).
    static QString summary();
    // For tests: forget every count.
    static void reset();
};
