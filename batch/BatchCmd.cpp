#include "BatchCmd.h"

#include "TextUtils.h"

BatchCmd::BatchCmd(const QString& l, int no) : line(l), lineNo(no)
{
    qsizetype pos = nextItemAt(line, 0, cmd);
    if (cmd.isEmpty())
        return;
    QString item;
    for (;;) {
        pos = nextItemAt(line, pos, item);
        if (item.isEmpty())
            break;
        args << item;
    }
}

bool BatchCmd::isCommand(const QString& word) const
{
    return cmd.toUpper() == word.toUpper();
}

double BatchCmd::argAsDouble(int i) const
{
    if (i < 0 || i >= args.size())
        return 0;
    return args.at(i).toDouble();
}

double BatchCmd::firstArgAsInt() const
{
    if (args.isEmpty())
        return 0;
    bool ok = false;
    const int v = args.first().toInt(&ok, 10);
    return ok ? v : 0;
}
