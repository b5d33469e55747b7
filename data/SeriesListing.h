#pragma once
// The projection files a directory and its patterns name, in the order the
// user meant: every matching entry is listed, whatever it is (a FIFO, a
// device or a dangling link is refused, never silently left out), names that
// carry a number are ordered by it (ct-2 before ct-10), and a number missing
// from the run or used twice refuses the series, since a projection missing
// from the middle of a turn gives a wrong slice without any other sign.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class SeriesListing
{
public:
    struct Result
    {
        // Absolute paths in series order; empty when refused.
        QStringList files;
        // Ordered by the number in the names (otherwise by name).
        bool numeric = false;
        // Ordered by the energy in the names (byEnergy).
        bool energies = false;
        // Missing numbers, accepted with allowGaps: "45, 60-62"; empty when none.
        QString gaps;
        // Files left out because they are the run's I0 or BG images.
        QStringList removed;
        // Why there is no series; empty when files is it.
        QString refusal;
        // One line for the log: how many, in which order, what was left out.
        QString text() const;
    };

    // Every entry of dir whose name matches one of patterns ("." and ".."
    // and hidden names never), of any kind, as absolute paths in name order.
    static QStringList entries(const QString& dir, const QStringList& patterns);
    // The series of paths: references (the run's I0 and BG files, the same
    // file under any name) removed; each other path must be a readable
    // regular file once links are followed; names of one prefix and suffix
    // around their last number are ordered by it, and a gap or a repeated
    // number refuses the series unless allowGaps (gaps then listed).
    static Result order(const QStringList& paths, const QStringList& references, bool allowGaps);
    // The reference files of a choice by energy (one I0 image per energy):
    // each path must be a readable regular file whose name carries an energy
    // above 0 (fileEnergy), and no energy may come twice (which file would be
    // taken would hang on the names' order); ordered by energy.
    static Result byEnergy(const QStringList& paths);
    // entries() then order(); a directory that cannot be read or no match
    // refuses.
    static Result list(const QString& dir, const QStringList& patterns, const QStringList& references,
                       bool allowGaps);
    // "45, 60-62" of runs of numbers (first, last), at most `most` then ", ...".
    static QString runsText(const QList<QPair<qint64, qint64>>& runs, int most = 12);
};
