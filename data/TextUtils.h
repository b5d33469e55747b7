#pragma once
// Shared line-reading helpers: comments, items (words or quoted phrases),
// continued lines and blank lines, for every line-oriented reader.
#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

QString cutComment(const QString& line, QString& comment);
QString removeComment(const QString& line);
bool isBlankLine(const QString& line);
QString nextItem(const QString& text, QString& item);
// nextItem on the text from position `from` on; returns the position where
// the rest begins (text.size() when nothing is left). Loops over the items of
// a long line use it to avoid copying the rest at every step.
qsizetype nextItemAt(const QString& text, qsizetype from, QString& item);
QStringList itemsAfter(const QString& line, const QString& head);
bool beginsWith(const QString& line, const QString& key);
bool removeTailBackslash(QString& line);
QString chopContinuation(QString& line);
QString spaces(int n);
// Reads all of an open device into out, unless it holds more than limit
// bytes (false then): a wrong file or an endless device never fills memory.
bool readAtMost(QIODevice& dev, qint64 limit, QByteArray& out);
// The lines of a text file's bytes: decoded as UTF-8 (or as its byte-order
// mark says), split at LF, CR LF and lone CR, without line ends; a last line
// without an end counts, an empty one after the last end does not.
QStringList textLines(const QByteArray& bytes);
