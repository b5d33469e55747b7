#pragma once
// Which vector instructions the fast loops may use: what the processor
// offers, capped by the environment variable ZUVO2_ISA (avx512, avx2 or
// portable), so that one machine can measure and test what a processor
// with fewer instructions runs.  Decided once per program.
#include <QString>

class InstructionSet
{
public:
    enum Level { Portable, Avx2, Avx512 };
    // The processor's level (AVX2 with FMA; AVX-512 F and DQ besides),
    // lowered to ZUVO2_ISA when that is set.  An unknown ZUVO2_ISA is
    // reported once as a warning and leaves the processor's level.
    static Level level();
    // The processor's own level, whatever ZUVO2_ISA says.
    static Level processorLevel();
    static bool allows(Level l) { return l <= level(); }
    // "portable", "avx2", "avx512".
    static const char* name(Level l);
    // The processor's model name ("Intel(R) Xeon(R) ..."), or "unknown".
    static QString processorModel();
    // e.g. "avx2 (the processor has avx512; ZUVO2_ISA=avx2)": the level in
    // use, and why when the processor offers more.
    static QString describe();
};
