#pragma once
// Finds a batch command word in the command set, ignoring case, and tells a
// label from a mistyped command: a word in no row is meant as a command when
// its line has arguments or the word is within two edits of a command word
// (of a control word, for words that begin with a colon).
#include "BatchCmd.h"

#include <QHash>
#include <QString>
#include <QStringList>

class CommandLookup
{
public:
    explicit CommandLookup(const QStringList& words);

    // Row of word, ignoring case; -1 when it is in none.
    int find(const QString& word) const;
    // For a line whose word is in no row: "Not a command, line 12: calc_exce"
    // when it looks meant as one, empty for a label, a blank line or a
    // control word (an untaken :ifok arrives here).
    QString notACommand(const BatchCmd& cmd) const;

    static bool isControlWord(const QString& word);
    // Edits (insert, delete, replace, swap of neighbours) from a to b,
    // ignoring case; anything above limit is given as limit + 1.
    static int editDistance(const QString& a, const QString& b, int limit);

private:
    QStringList upper;
    QHash<QString, int> rows;
};
