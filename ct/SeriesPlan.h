#pragma once
// A slice series split into parts that run apart (the tasks of a cluster job
// array): the chunks of a series, the data files the parts must leave, one
// run report made of theirs, and the slices to do again as FROM:TO:STEP.
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

class SeriesPlan
{
public:
    // One part: its slices of the data files out/name-%05d.dat, where its
    // run report goes, and the command that runs it with "{slices}" where
    // its FROM:TO:STEP goes.
    struct Part
    {
        QString out, name, slices, report, command;
    };

    // "FROM:TO[:STEP]" into its slices, in the order a run deals them (the
    // step points toward TO; 0 gives FROM alone). False for other text.
    static bool slices(const QString& text, QList<int>& out);
    // The series of text cut into runs of size slices, as FROM:TO:STEP
    // texts; empty for bad text or size < 1.
    static QStringList chunks(const QString& text, int size);
    // Runs of slices one step apart in list (in order), as FROM:TO:STEP.
    static QStringList ranges(const QList<int>& list, int step);
    // A plan line: out, name, slices, report and command separated by tabs.
    static bool parsePart(const QString& line, Part& part, QString* why = nullptr);
    // One report of the parts' reports: the first one's settings, the
    // earliest start, the latest end, every file written and every failure,
    // stopped or interrupted when any was, plus "parts" (how many were given)
    // and "slices" of the whole series.
    static QJsonObject merge(const QList<QJsonObject>& parts, int from, int to, int step);

    // The words of a command line as a POSIX shell splits them (quotes and
    // backslashes), without expanding anything.
    static QStringList words(const QString& command);
    // Why a part's report does not belong to the plan: its slices are not
    // the part's, or a setting differs from the command's option (centre,
    // filter, region) or from the reference report (the series read, the
    // image size, filter, region, axis, angles, and a centre the command does
    // not give). Empty when it belongs.
    static QStringList reportProblems(const QJsonObject& report, const QJsonObject& reference, const Part& part);
    // Why a data file cannot be trusted: no record of it among records (the
    // "files" of its reports), a size or SHA-256 other than recorded, or a
    // header whose region is not the run's. Empty when it can.
    static QStringList fileProblems(const QString& path, const QList<QJsonObject>& records, const QJsonValue& region);
};
