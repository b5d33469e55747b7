#pragma once
// One batch program line split into command word and arguments.
#include <QMetaType>
#include <QString>
#include <QStringList>

class BatchCmd
{
public:
    BatchCmd() = default;
    // lineNo: the line of the program file it came from (0 when none).
    explicit BatchCmd(const QString& line, int lineNo = 0);

    bool isCommand(const QString& word) const;
    double argAsDouble(int i) const;
    double firstArgAsDouble() const { return argAsDouble(0); }
    double firstArgAsInt() const;

    QString line;
    QString cmd;
    QStringList args;
    int lineNo = 0;
};

Q_DECLARE_METATYPE(BatchCmd)
