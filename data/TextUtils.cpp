#include "TextUtils.h"

#include "Logging.h"
#include <QDebug>
#include <QStringDecoder>

namespace {

const QString kSpaces(101, QLatin1Char(' '));

// The \s class of QRegularExpression without options: ASCII white space only.
inline bool isWs(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == '\v' || u == '\f' || u == '\r';
}

int lastNonWs(const QString& s)
{
    for (int i = s.size() - 1; i >= 0; --i)
        if (!isWs(s.at(i)))
            return i;
    return -1;
}

} // namespace

QString cutComment(const QString& line, QString& comment)
{
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quoted = !quoted;
        } else if (c == QLatin1Char('#') && !quoted) {
            comment = line.mid(i + 1);
            return line.left(i);
        }
    }
    return line;
}

QString removeComment(const QString& line)
{
    QString scratch;
    return cutComment(line, scratch);
}

bool isBlankLine(const QString& line)
{
    return removeComment(line).simplified().isEmpty();
}

qsizetype nextItemAt(const QString& text, qsizetype from, QString& item)
{
    item.clear();
    const qsizetype n = text.size();
    qsizetype s = from < 0 ? 0 : from;
    while (s < n && isWs(text.at(s)))
        ++s;
    if (s >= n)
        return n;

    // The messages quote the text as nextItem received it: from `from` on.
    if (text.at(s) == QLatin1Char('"')) {
        const qsizetype e = text.indexOf(QLatin1Char('"'), s + 1);
        if (e >= 0) {
            item = text.mid(s + 1, e - s - 1);
            return e + 1;
        }
        qCDebug(lcData).noquote() << QString("In a line [%1] item is started from quote but not ended by quote").arg(text.mid(from));
        item = text.mid(s + 1);
        return n;
    }

    qsizetype w = s;
    while (w < n && !isWs(text.at(w)))
        ++w;
    if (w < n) {
        item = text.mid(s, w - s);
        if (item.endsWith(QLatin1Char('"')))
            qCDebug(lcData).noquote() << QString("In a line [%1] item is started from not quote but ended by quote").arg(text.mid(from));
        return w;
    }
    if (text.endsWith(QLatin1Char('"')))
        qCDebug(lcData).noquote() << QString("In a line [%1] item is started from not quote but ended by quote").arg(text.mid(from));
    item = text.mid(s);
    return n;
}

QString nextItem(const QString& text, QString& item)
{
    const qsizetype rest = nextItemAt(text, 0, item);
    return rest < text.size() ? text.mid(rest) : QString();
}

QStringList itemsAfter(const QString& line, const QString& head)
{
    // Positions instead of copies of the rest: a long line stays linear.
    QStringList items;
    QString item;
    qsizetype pos = head.size();
    while (pos < line.size()) {
        pos = nextItemAt(line, pos, item);
        items << item;
    }
    return items;
}

bool beginsWith(const QString& line, const QString& key)
{
    return line.startsWith(key, Qt::CaseSensitive);
}

bool removeTailBackslash(QString& line)
{
    const int i = lastNonWs(line);
    if (i < 0 || line.at(i) != QLatin1Char('\\'))
        return false;
    line.truncate(i);
    return true;
}

QString chopContinuation(QString& line)
{
    if (!removeTailBackslash(line))
        return line;
    const int i = lastNonWs(line);
    if (i >= 0 && line.at(i) == QLatin1Char('\\'))
        return line.left(i);
    return line;
}

QString spaces(int n)
{
    if (n < 0 || n > kSpaces.size())
        return kSpaces;
    return kSpaces.left(n);
}

bool readAtMost(QIODevice& dev, qint64 limit, QByteArray& out)
{
    out.clear();
    // Chunks, not one read(limit + 1), which would allocate the whole limit
    // for every small file.
    char chunk[65536];
    while (out.size() <= limit) {
        const qint64 n = dev.read(chunk, sizeof chunk);
        if (n <= 0)
            break;
        out.append(chunk, qsizetype(n));
    }
    if (out.size() > limit) {
        out.clear();
        return false;
    }
    return true;
}

QStringList textLines(const QByteArray& bytes)
{
    const auto bom = QStringConverter::encodingForData(bytes);
    QStringDecoder decode(bom.value_or(QStringConverter::Utf8));
    const QString text = decode(bytes);
    QStringList out;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        out << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        out << text.mid(start);
    return out;
}
