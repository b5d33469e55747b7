#pragma once
// The arguments of one batch command, checked against the kind the command
// takes. A number that is missing, does not parse to its end or lies outside
// its range refuses the line with a message naming the command and the line
// ("ct_cor, line 7: \"34,5\" is not a number"); nothing is applied then.
#include "BatchCmd.h"

#include <QString>
#include <QStringList>

#include <array>
#include <limits>

class BatchArgs
{
public:
    enum Kind {
        None,        // no arguments; any given are ignored
        Flag,        // on exactly when the first argument is 1 (missing, 0, 2, 1.0: off)
        Int,         // a base-10 integer within [min, max]
        Real,        // a finite number within [min, max]
        Text,        // the first argument, empty when missing
        DirPatterns, // a directory, then any number of file-name patterns
        Region,      // four finite numbers x0 z0 x1 z1
        FlagCount,   // a flag, then an integer count within [min, max] (0 when missing)
        DisplayFile, // a display (raw, sinogram, ct1, i0, bg, or ct2 and its number) and a file
        OptInt,      // nothing, or a base-10 integer within [min, max] (given tells which)
        RangeFile,   // three finite numbers from to step (region[0..2]), then an optional file
        RegionFile,  // four finite numbers x0 z0 x1 z1, then a file
        OptIntPair,  // nothing, or two base-10 integers within [min, max] (integer, second)
    };
    struct Rule
    {
        Kind kind = None;
        double min = 0;
        double max = 0;
    };
    static constexpr double inf = std::numeric_limits<double>::infinity();
    // A number as messages show it, and " (MIN to MAX)" (" (at least MIN)",
    // " (at most MAX)", or nothing for an open range): shared by every
    // reader of settings so each refuses a value in the same words.
    static QString shown(double v);
    static QString rangeText(double min, double max);

    static Rule none() { return {None, 0, 0}; }
    static Rule flagArg() { return {Flag, 0, 0}; }
    static Rule intArg(double min, double max) { return {Int, min, max}; }
    static Rule realArg(double min = -inf, double max = inf) { return {Real, min, max}; }
    static Rule textArg() { return {Text, 0, 0}; }
    static Rule dirPatterns() { return {DirPatterns, 0, 0}; }
    static Rule regionArg() { return {Region, 0, 0}; }
    static Rule flagCount(double max) { return {FlagCount, 0, max}; }
    static Rule displayFile() { return {DisplayFile, 0, 0}; }
    static Rule optIntArg(double min, double max) { return {OptInt, min, max}; }
    static Rule rangeFile() { return {RangeFile, 0, 0}; }
    static Rule regionFileArg() { return {RegionFile, 0, 0}; }
    static Rule optIntPairArg(double min, double max) { return {OptIntPair, min, max}; }

    enum Display { Raw, Sinogram, Ct1, I0, Bg, Ct2 };

    // Reads cmd's arguments as rule says; false with error set when refused.
    bool parse(const BatchCmd& cmd, const Rule& rule);

    bool flag = false;
    int integer = 0;    // Int, OptInt, FlagCount's count, the CT2 number of DisplayFile
    int second = 0;     // OptIntPair's second integer
    bool given = false; // OptInt, OptIntPair: integers were given
    double real = 0;
    QString text;       // Text, the directory of DirPatterns, the file of DisplayFile, RangeFile and RegionFile
    QStringList patterns;
    std::array<double, 4> region{};
    Display display = Raw;
    QString error;

    // "ct_cor, line 7": how messages name a line.
    static QString where(const BatchCmd& cmd);

private:
    bool fail(const BatchCmd& cmd, const QString& why);
    bool readInt(const BatchCmd& cmd, int i, const Rule& rule, int& out);
    bool readReal(const BatchCmd& cmd, int i, const Rule& rule, double& out);
};
