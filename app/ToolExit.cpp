#include "ToolExit.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

QTextStream& ToolExit::err()
{
    static QTextStream s(stderr);
    return s;
}

int ToolExit::usage(const QString& message)
{
    const QString program = QCoreApplication::applicationName();
    err() << program << ": " << message << "\n"
          << "Try '" << program << " --help'.\n";
    err().flush();
    return Usage;
}
