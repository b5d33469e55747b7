// Every text utility on arbitrary UTF-8, line by line and on the whole input,
// with the properties each one promises checked on the way.
#include "FuzzCommon.h"
#include "TextUtils.h"

#include <QStringList>

namespace {

bool onlyWs(const QString& s)
{
    for (const QChar c : s)
        if (!(c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'))
            return false;
    return true;
}

void checkComment(const QString& line)
{
    QString comment;
    const QString body = cutComment(line, comment);
    FUZZ_CHECK(line.startsWith(body));
    if (body.size() < line.size()) {
        FUZZ_CHECK(line.at(body.size()) == QLatin1Char('#'));
        FUZZ_CHECK(comment == line.mid(body.size() + 1));
    } else {
        FUZZ_CHECK(comment.isEmpty());
    }
    FUZZ_CHECK(removeComment(line) == body);
    FUZZ_CHECK(isBlankLine(line) == body.simplified().isEmpty());
    // The comment-free part has no comment left in it.
    QString again;
    FUZZ_CHECK(cutComment(body, again) == body);
}

void checkItems(const QString& line)
{
    // Every call must consume something, so a reader's item loop ends.
    QString rest = line;
    QString item;
    int count = 0;
    while (!rest.isEmpty()) {
        const QString before = rest;
        rest = nextItem(before, item);
        FUZZ_CHECK(rest.size() < before.size());
        FUZZ_CHECK(before.endsWith(rest));
        FUZZ_CHECK(item.size() <= before.size() - rest.size());
        FUZZ_CHECK(before.contains(item));
        ++count;
    }
    FUZZ_CHECK(count <= line.size());

    const int cut = line.isEmpty() ? 0 : int(line.at(0).unicode()) % (line.size() + 1);
    const QString head = line.left(cut);
    FUZZ_CHECK(beginsWith(line, head));
    FUZZ_CHECK(beginsWith(line, QString()));
    FUZZ_CHECK(beginsWith(head, line) == (head.size() == line.size()));
    const QStringList items = itemsAfter(line, head);
    FUZZ_CHECK(items.size() <= line.size() - head.size());
    // The same items by nextItem on the copied rest, step by step.
    QStringList byRest;
    for (QString r = line.mid(head.size()); !r.isEmpty();) {
        r = nextItem(r, item);
        byRest << item;
    }
    FUZZ_CHECK(items == byRest);
    for (const QString& it : items)
        FUZZ_CHECK(line.contains(it));
}

void checkContinuation(const QString& line)
{
    QString a = line;
    if (removeTailBackslash(a)) {
        FUZZ_CHECK(line.startsWith(a));
        const QString tail = line.mid(a.size());
        FUZZ_CHECK(tail.startsWith(QLatin1Char('\\')) && onlyWs(tail.mid(1)));
    } else {
        FUZZ_CHECK(a == line);
    }

    QString b = line;
    const QString chopped = chopContinuation(b);
    FUZZ_CHECK(line.startsWith(chopped));
    const QString gone = line.mid(chopped.size());
    FUZZ_CHECK(gone.count(QLatin1Char('\\')) <= 2);
    for (const QChar c : gone)
        FUZZ_CHECK(c == QLatin1Char('\\') || onlyWs(QString(c)));
}

void checkSpaces(int n)
{
    const QString s = spaces(n);
    FUZZ_CHECK(s.size() == (n >= 0 && n <= 101 ? n : 101));
    FUZZ_CHECK(s.count(QLatin1Char(' ')) == s.size());
}

void checkAll(const QString& line)
{
    checkComment(line);
    checkItems(line);
    checkContinuation(line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::quiet();
    const QString text = fuzz::text(data, size);
    for (const QString& line : text.split(QLatin1Char('\n')))
        checkAll(line);
    checkAll(text);
    checkSpaces(int(text.size()));
    checkSpaces(-int(text.size()) - 1);
    checkSpaces(size >= 4 ? int(uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                                uint32_t(data[3]) << 24)
                          : 101);
    return 0;
}
