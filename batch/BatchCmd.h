#pragma once
// One batch program line split into command word and arguments.
#include <QMetaType>
#include <QString>
#include <QStringList>

class BatchCmd
{
public:
    BatchCmd() = default;
    explicit BatchCmd(const QString& line);

    bool isCommand(const QString& word) const;
    double argAsDouble(int i) const;
    double firstArgAsDouble() const { return argAsDouble(0); }
    double firstArgAsInt() const;

    QString line;
    QString cmd;
    QStringList args;
};

Q_DECLARE_METATYPE(BatchCmd)
