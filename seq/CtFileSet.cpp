#include "CtFileSet.h"

#include "FileEnergy.h"
#include "TextUtils.h"

CtFileSet::CtFileSet(const QFileInfo& first) : QObject(nullptr)
{
    fileName = first.fileName();
    key = beforeLastDash(fileName);
    prefix = beforeLastDash(key);
    energyText = energyField(fileName);
    energy = energyNumber(energyText);

    int lastDigit = -1;
    for (int i = energyText.size() - 1; i >= 0; --i) {
        if (energyText.at(i).isDigit()) {
            lastDigit = i;
            break;
        }
    }
    unit = energyText.mid(lastDigit + 1);
    unitFactor = unit.toUpper() == QLatin1String("KEV") ? 1000 : 1;
    files << first;
}

QString CtFileSet::beforeLastDash(const QString& name)
{
    const int d = name.lastIndexOf(QLatin1Char('-'));
    return d < 0 ? name : name.left(d);
}

QList<CtFileSet*> CtFileSet::group(const QList<QFileInfo>& listing)
{
    QList<CtFileSet*> sets;
    for (const QFileInfo& fi : listing) {
        // Only the set started last is compared: a set is a run of adjacent files.
        if (!sets.isEmpty() && beforeLastDash(fi.fileName()) == sets.last()->key)
            sets.last()->files << fi;
        else
            sets << new CtFileSet(fi);
    }
    return sets;
}

QStringList CtFileSet::entryTexts(const QList<CtFileSet*>& sets)
{
    QStringList texts;
    for (int i = 0; i < sets.size(); ++i) {
        const CtFileSet* s = sets.at(i);
        const bool repeated = i > 0 && sets.at(i - 1)->prefix == s->prefix;
        texts << QStringLiteral("%1 (%2[%3], %4)")
                     .arg(repeated ? spaces(s->prefix.size()) : s->prefix)
                     .arg(s->energy, 0, 'g', -1)
                     .arg(s->unit)
                     .arg(s->files.size());
    }
    return texts;
}
