#pragma once
// Writes a batch program or a configuration file for a test; false when the
// file cannot be written.
#include <QFile>
#include <QString>

inline bool writeTextFile(const QString& path, const QString& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Text) && f.write(text.toUtf8()) >= 0;
}
