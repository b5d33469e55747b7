#include "CtRunReport.h"

#include "AveragedImage.h"
#include "CtFiles.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "SafeWrite.h"
#include "Sha256.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

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

double CtRunReport::valueToPerCm(double pixelSizeUm, int nProj, bool ct1)
{
    if (!(pixelSizeUm > 0) || nProj <= 0)
        return 0.0;
    const double pixelCm = pixelSizeUm * 1e-4;
    return 1.0 / ((ct1 ? 2.0 : 2.0 * nProj) * pixelCm);
}

QString CtRunReport::sha256(const QString& path, qint64* size)
{
    return Sha256::ofFile(path, size);
}

QJsonObject CtRunReport::fileRecord(const QString& path)
{
    qint64 size = -1;
    const QString hash = sha256(path, &size);
    return fileRecord(path, size, hash);
}

QJsonObject CtRunReport::fileRecord(const QString& path, qint64 size, const QString& hash)
{
    QJsonObject o{{"file", QFileInfo(path).absoluteFilePath()}, {"size", hash.isEmpty() ? -1 : size}};
    if (!hash.isEmpty())
        o["sha256"] = hash;
    return o;
}

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
    linesLoaded = set.heldBand().whole() ? QString() : set.heldBand().text();
    gaps = set.gaps;
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
    const ImgData* afterImg = set.i0After();
    i0After = !i0.isEmpty() && afterImg && afterImg->ready ? QFileInfo(afterImg->fileName).absoluteFilePath() : QString();
    auto averaged = [](const ImgData* img, const QString& name) {
        if (name.isEmpty())
            return 0;
        const auto* a = dynamic_cast<const AveragedImage*>(img);
        return a ? a->count() : 1;
    };
    i0Count = averaged(i0Img, i0);
    bgCount = averaged(bgImg, bg);
    i0AfterCount = averaged(afterImg, i0After);
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
    // The rotation angles came with the projections (they then replace the range).
    o["anglesFromData"] = anglesFromData;
    o["fileCount"] = fileCount;
    o["imageSize"] = QJsonArray{width, height};
    o["linesLoaded"] = linesLoaded.isEmpty() ? QStringLiteral("all") : linesLoaded;
    o["i0"] = i0.isEmpty() ? QJsonValue() : QJsonValue(i0);
    o["bg"] = bg.isEmpty() ? QJsonValue() : QJsonValue(bg);
    // How many images each reference is the mean of (the file named is the first).
    o["i0Images"] = i0Count;
    o["bgImages"] = bgCount;
    if (!i0After.isEmpty()) {
        o["i0After"] = i0After;
        o["i0AfterImages"] = i0AfterCount;
    }
    o["calculator"] = calculator;
    o["centre"] = number(cor);
    if (corFit)
        o["centrePerSlice"] = QJsonObject{{"at0", number(corAt0)}, {"slope", number(corSlope)},
                                          {"rule", QStringLiteral("at0 + slope * slice")}};
    if (shift.on)
        o["energyShift"] = QJsonObject{{"file", shiftsFile}, {"energy", number(shift.row.energy)},
                                       {"dx", number(shift.row.dx)}, {"dz", number(shift.row.dz)},
                                       {"centreUsed", number(cor + shift.across)}, {"lineShift", number(shift.along)},
                                       {"side", shift.side}, {"questionable", shift.row.questionable}};
    o["axis"] = rotAxIsV ? QStringLiteral("v") : QStringLiteral("h");
    if (wholeImage)
        o["region"] = QStringLiteral("whole");
    else
        o["region"] = QJsonArray{number(region.x0), number(region.z0), number(region.x1), number(region.z1)};
    o["slices"] = QJsonObject{{"from", from}, {"to", to}, {"step", step}};
    o["threads"] = threads;
    o["filter"] = filter;
    o["precision"] = precision;
    o["cutoff"] = number(cutoff);
    o["ringRemoval"] = ringSize;
    o["angles"] = angles;
    o["projections"] = projections;
    if (pixelSizeUm > 0) {
        QJsonObject u;
        u["pixelSizeUm"] = number(pixelSizeUm);
        // Data files keep their values; these turn them into mu in 1/cm.
        if (calculator.contains(QLatin1String("CT2")))
            u["ct2ValueToPerCm"] = number(valueToPerCm(pixelSizeUm, projections, false));
        if (calculator.contains(QLatin1String("CT1")))
            u["ct1ValueToPerCm"] = number(valueToPerCm(pixelSizeUm, projections, true));
        o["units"] = u;
    }
    // Corrections appear only when the run used them.
    if (binning > 1)
        o["binning"] = binning;
    if (!paganin.isEmpty())
        o["phaseRetrieval"] = QJsonObject{{"method", "paganin"}, {"deltaBetaDistanceMmEnergyKeV", paganin}};
    if (zingerThreshold > 0) {
        QJsonArray perImage;
        for (int z : zingers)
            perImage.append(z);
        o["zingers"] = QJsonObject{{"threshold", number(zingerThreshold)}, {"perProjection", perImage},
                                   {"i0", zingersI0}, {"bg", zingersBg}};
    }
    if (!volume.isEmpty())
        o["volume"] = volume;
    o["stopped"] = stopped;
    o["interrupted"] = interrupted;
    if (!gaps.isEmpty())
        o["numbersMissing"] = gaps;
    // Samples with no logarithm, per slice that had any; the limit is the
    // fraction (beyond the repaired ones) that refuses a slice.
    o["maxInvalidFraction"] = number(maxInvalid);
    QJsonArray samples;
    for (auto it = invalidSamples.begin(); it != invalidSamples.end(); ++it)
        samples.append(QJsonObject{{"slice", it.key()}, {"invalid", double(it.value().first)},
                                   {"repaired", double(it.value().second)}});
    o["invalidSamples"] = samples;
    o["written"] = QJsonArray::fromStringList(written);
    QJsonArray records;
    for (const QJsonObject& r : files)
        records << r;
    o["files"] = records;
    o["failures"] = QJsonArray::fromStringList(failures);
    return o;
}

bool CtRunReport::save(const QString& path, QString* error) const
{
    const QByteArray text = QJsonDocument(toJson()).toJson();
    return SafeWrite::write(
        path, [&](QIODevice* out, QString&) { return out->write(text) == text.size(); }, error);
}
