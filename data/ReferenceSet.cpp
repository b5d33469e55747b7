#include "ReferenceSet.h"

#include "AveragedImage.h"
#include "Failures.h"
#include "ImgData.h"
#include "Logging.h"

#include <QDebug>

ReferenceSet::ReferenceSet() = default;
ReferenceSet::~ReferenceSet() = default;

QStringList ReferenceSet::files() const
{
    QStringList names;
    for (const auto& s : sources)
        names << s->fileName;
    return names;
}

bool ReferenceSet::take(const QStringList& files, bool append)
{
    append = append && !sources.empty();
    std::vector<std::unique_ptr<ImgData>> fresh;
    const ImgData* like = append ? sources.front().get() : nullptr;
    for (const QString& fname : files) {
        qCDebug(lcData).noquote() << QStringLiteral("loading ") + fname;
        QString why;
        std::unique_ptr<ImgData> one(loadImgData(fname, true, &why));
        if (one && one->ready && like && (one->width != like->width || one->height != like->height))
            why = QStringLiteral("%1 x %2, the others %3 x %4")
                      .arg(one->width).arg(one->height).arg(like->width).arg(like->height);
        else if (one && one->ready) {
            like = like ? like : one.get();
            fresh.push_back(std::move(one));
            continue;
        }
        // The set stays; its name gives way to the failed file's, so a run
        // refuses it until the set is chosen again or cleared.
        Failures::record(Failures::Load, QStringLiteral("Image not loaded (%1): %2").arg(why, fname));
        failed = fname;
        return false;
    }
    // The mean is made before anything changes, so a failure keeps the set.
    QList<ImgData*> list;
    if (append)
        for (const auto& s : sources)
            list << s.get();
    for (const auto& s : fresh)
        list << s.get();
    std::unique_ptr<ImgData> averaged;
    if (list.size() > 1) {
        QString why;
        averaged.reset(AveragedImage::average(list, &why));
        if (!averaged) {
            Failures::record(Failures::Load, QStringLiteral("Images not averaged (%1): %2").arg(why, files.last()));
            failed = files.last();
            return false;
        }
    }
    if (!append) {
        sources.clear();
        failed.clear();
    }
    for (auto& one : fresh)
        sources.push_back(std::move(one));
    mean = std::move(averaged);
    img = mean ? mean.get() : sources.front().get();
    return true;
}

void ReferenceSet::clear()
{
    img = nullptr;
    mean.reset();
    sources.clear();
    failed.clear();
}
