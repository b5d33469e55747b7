#include "CtRunReport.h"

#include "CtFiles.h"
#include "ImgData.h"
#include "ImgDatas.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <cmath>

#ifndef ZUVO2_VERSION
#define ZUVO2_VERSION "unknown"
#endif

namespace {
// NaN and infinities have no JSON number: they are written as text.
QJsonValue number(double v)
{
    if (std::isfinite(v))
        return v;
    return QString::number(v);
}

QString timeText(const QDateTime& t)
{
    return t.isValid() ? t.toString(Qt::ISODateWithMs) : QString();
}
} // namespace

QString CtRunReport::programVersion()
{
    return QStringLiteral(ZUVO2_VERSION);
}

void CtRunReport::setInput(const ImgDatas& set)
{
    QStringList names;
    for (const ImgData* img : set.imgs)
        names << QFileInfo(img->fileName).fileName();
    fileCount = set.count();
    width = set.width;
    height = set.height;
    inputFile = set.sourceFile.isEmpty() ? QString() : QFileInfo(set.sourceFile).absoluteFilePath();
    anglesFromData = !set.anglesDeg.isEmpty() && set.anglesDeg.size() == fileCount;
    if (!inputFile.isEmpty()) {
        inputDir = QFileInfo(inputFile).absolutePath();
        if (pattern.isEmpty())
            pattern = QFileInfo(inputFile).fileName();
    } else {
        inputDir = fileCount > 0 ? QFileInfo(set.at(0)->fileName).absolutePath() : QString();
        if (pattern.isEmpty())
            pattern = namePattern(names);
    }
    const ImgData* i0Img = set.i0();
    const ImgData* bgImg = set.bg();
    i0 = i0Img && i0Img->ready ? QFileInfo(i0Img->fileName).absoluteFilePath() : QString();
    bg = bgImg && bgImg->ready ? QFileInfo(bgImg->fileName).absoluteFilePath() : QString();
}

QString CtRunReport::namePattern(const QStringList& names)
{
    if (names.isEmpty())
        return {};
    QString head = names.first();
    QString tail = names.first();
    for (const QString& n : names) {
        int i = 0;
        while (i < head.size() && i < n.size() && head.at(i) == n.at(i))
            ++i;
        head.truncate(i);
        int j = 0;
        while (j < tail.size() && j < n.size() && tail.at(tail.size() - 1 - j) == n.at(n.size() - 1 - j))
            ++j;
        tail = tail.right(j);
    }
    if (names.size() == 1)
        return names.first();
    // The two ends must not overlap in the shortest name.
    int shortest = names.first().size();
    for (const QString& n : names)
        shortest = std::min(shortest, int(n.size()));
    if (head.size() + tail.size() > shortest)
        tail = tail.right(shortest - head.size());
    return head + QLatin1Char('*') + tail;
}

QString CtRunReport::fileName(const QString& name, const QString& tag)
{
    const QString tagged = tag.isEmpty() ? QFileInfo(name).fileName() : CtFiles::insertTag(name, tag);
    const QString base = QFileInfo(tagged).completeBaseName();
    return base.isEmpty() ? QStringLiteral("run.json") : base + QStringLiteral("-run.json");
}

QJsonObject CtRunReport::toJson() const
{
    QJsonObject o;
    o["program"] = QStringLiteral("zuvo2");
    o["version"] = programVersion();
    o["start"] = timeText(startTime);
    o["end"] = timeText(endTime);
    o["inputDir"] = inputDir;
    o["pattern"] = pattern;
    o["inputFile"] = inputFile.isEmpty() ? QJsonValue() : QJsonValue(inputFile);
    o["angles"] = anglesFromData ? QStringLiteral("data") : QStringLiteral("even");
    o["fileCount"] = fileCount;
    o["imageSize"] = QJsonArray{width, height};
    o["i0"] = i0.isEmpty() ? QJsonValue() : QJsonValue(i0);
    o["bg"] = bg.isEmpty() ? QJsonValue() : QJsonValue(bg);
    o["calculator"] = calculator;
    o["centre"] = number(cor);
    o["axis"] = rotAxIsV ? QStringLiteral("v") : QStringLiteral("h");
    if (wholeImage)
        o["region"] = QStringLiteral("whole");
    else
        o["region"] = QJsonArray{number(region.x0), number(region.z0), number(region.x1), number(region.z1)};
    o["slices"] = QJsonObject{{"from", from}, {"to", to}, {"step", step}};
    o["threads"] = threads;
    o["stopped"] = stopped;
    o["written"] = QJsonArray::fromStringList(written);
    o["failures"] = QJsonArray::fromStringList(failures);
    return o;
}

bool CtRunReport::save(const QString& path, QString* error) const
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(toJson()).toJson()) < 0 || !f.commit()) {
        f.cancelWriting();
        if (error)
            *error = QStringLiteral("Can't write run report ") + path;
        return false;
    }
    return true;
}
