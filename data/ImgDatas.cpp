#include "ImgDatas.h"

#include "Failures.h"
#include "ImgData.h"
#include "ImgDataITEX.h"
#include "MemoryBudget.h"

#include <QDebug>

ImgDatas::ImgDatas(QObject* parent)
    : QObject(parent)
{
}

ImgDatas::~ImgDatas()
{
    clear();
}

bool ImgDatas::addFile(const QString& path)
{
    QString why;
    ImgData* img = loadImgData(path, true, &why);
    if (img && img->ready && img->width < 1)
        why = QStringLiteral("a TIFF file, which carries no pixels here");
    if (!img || !img->ready || img->width < 1) {
        failed << path;
        Failures::record(Failures::Load, QStringLiteral("File is not ready to access %1 (%2)").arg(path, why));
        delete img;
        return false;
    }
    if (width == 0) {
        width = img->width;
        height = img->height;
    } else if (img->width != width || img->height != height) {
        failed << path;
        Failures::record(Failures::Load, QStringLiteral("Mismatch image size")
                + QStringLiteral(": (%1, %2) != (%3, %4) : ").arg(width).arg(height).arg(img->width).arg(img->height)
                + path);
        delete img;
        return false;
    }
    imgs.append(img);
    return true;
}

bool ImgDatas::render(int index, QImage& image, ColorScale* colorBar)
{
    if (index < 0 || index >= imgs.size())
        return false;
    imgs.at(index)->renderTo(image, colorBar);
    emit imageUpdated();
    return true;
}

void ImgDatas::clearImgs()
{
    qDeleteAll(imgs);
    imgs.clear();
    failed.clear();
}

namespace {
// Why a named I0 or BG image cannot serve this series; empty when it can.
QString correctionProblem(const char* what, const QString& name, const ImgData* img, qint32 w, qint32 h)
{
    if (name.isEmpty())
        return QString();
    if (!img || !img->ready || img->fileName != name)
        return QStringLiteral("%1 image did not load: %2").arg(QLatin1String(what), name);
    if (img->width != w || img->height != h)
        return QStringLiteral("%1 image is %2 x %3, the series %4 x %5: %6")
            .arg(QLatin1String(what)).arg(img->width).arg(img->height).arg(w).arg(h).arg(name);
    return QString();
}
} // namespace

QString ImgDatas::runRefusal(const QString& i0Name, const QString& bgName) const
{
    if (!failed.isEmpty()) {
        const int shown = 3;
        QString names = QStringList(failed.mid(0, shown)).join(QStringLiteral(", "));
        if (failed.size() > shown)
            names += QStringLiteral(", ...");
        return QStringLiteral("%1 of %2 selected files failed to load: %3")
            .arg(failed.size()).arg(failed.size() + imgs.size()).arg(names);
    }
    if (imgs.isEmpty())
        return QStringLiteral("no projection images loaded");
    for (const QString& p : { correctionProblem("I0", i0Name, i0(), width, height),
                              correctionProblem("BG", bgName, bg(), width, height) })
        if (!p.isEmpty())
            return p;
    return QString();
}

qint64 ImgDatas::seriesBytes(const QStringList& files)
{
    // Headers only, and only until one answers: a long list costs a few opens.
    for (const QString& f : files) {
        if (!fileTypeProblem(f).isEmpty() || !isItexFile(f))
            continue;
        ImgDataITEX probe;
        probe.fileName = f;
        qint32 w = 0, h = 0;
        if (!probe.readProps(f, w, h))
            continue;
        const qint64 one = qint64(w) * h * probe.bytesPerPixel + (qint64(w) + h) * qint64(sizeof(double));
        return one * files.size();
    }
    return 0;
}

qint64 ImgDatas::bytesHeld() const
{
    qint64 n = 0;
    for (const ImgData* img : imgs)
        if (auto* itex = dynamic_cast<const ImgDataITEX*>(img))
            n += itex->pixels.size();
    return n;
}

QString ImgDatas::memoryRefusal(const QStringList& files, bool replacing) const
{
    const qint64 budget = memoryBudgetBytes();
    if (budget < 0 || files.isEmpty())
        return QString();
    const qint64 need = seriesBytes(files);
    // Images about to be dropped free memory the system counts as taken; a
    // budget set by hand is for the series alone.
    const qint64 room = budget + (replacing && !memoryBudgetIsSet() ? bytesHeld() : 0);
    if (need <= room)
        return QString();
    return QStringLiteral("Series not loaded: %1 files need %2, %3 of memory available")
        .arg(files.size()).arg(megabytes(need), megabytes(room));
}

void ImgDatas::clear()
{
    clearImgs();
    width = height = 0;
}
