#pragma once
// What the command-line tools share in talking to whoever runs them: the
// exit codes (the cluster scripts read them), standard error as one
// stream, and the usage message that names the program.
#include <QString>

class QTextStream;

class ToolExit
{
public:
    enum Code { Ok = 0, Failed = 1, Usage = 2 };
    static QTextStream& err();
    // "PROGRAM: message" and "Try 'PROGRAM --help'." on standard error, with
    // PROGRAM the application's name; returns Usage.
    static int usage(const QString& message);
};
