#include "ImgDatas.h"

#include "Failures.h"
#include "ImgData.h"
#include "ImgDataITEX.h"
#include "ImgDataTiff.h"
#include "Logging.h"
#include "MemoryBudget.h"

#include <QDebug>

#include <algorithm>

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
    ImgData* img = loadImgData(path, true, &why, band.whole() ? planned : band);
    return adopt(img, path, why);
}

bool ImgDatas::adopt(ImgData* img, const QString& name, const QString& why)
{
    // Angles given for other images no longer fit the series, nor its source.
    anglesDeg.clear();
    sourceFile.clear();
    if (!img || !img->ready || img->width < 1) {
        failed << name;
        Failures::record(Failures::Load, QStringLiteral("File is not ready to access %1 (%2)").arg(name, why));
        delete img;
        return false;
    }
    if (width == 0) {
        width = img->width;
        height = img->height;
    } else if (img->width != width || img->height != height || img->band != heldBand()) {
        const bool sizes = img->width != width || img->height != height;
        failed << name;
        Failures::record(Failures::Load, sizes ? QStringLiteral("Mismatch image size")
                + QStringLiteral(": (%1, %2) != (%3, %4) : ").arg(width).arg(height).arg(img->width).arg(img->height)
                + name : QStringLiteral("Mismatch lines held: %1 != %2 : ").arg(img->band.text(), heldBand().text())
                + name);
        delete img;
        return false;
    }
    imgs.append(img);
    return true;
}

bool ImgDatas::addTiffStack(const QString& path, const std::atomic<bool>* cancel)
{
    QString why = fileTypeProblem(path);
    const int pages = why.isEmpty() ? ImgDataTiff::pageCount(path, &why) : 0;
    if (pages < 1) {
        failed << path;
        Failures::record(Failures::Load, QStringLiteral("File is not ready to access %1 (%2)").arg(path, why));
        return false;
    }
    int w = 0, h = 0;
    const qint64 one = imageBytes(path, &w, &h);
    const QString tooBig = planBand(one * pages, w, h, QStringLiteral("%1 pages").arg(pages), false);
    if (!tooBig.isEmpty()) {
        failed << path;
        Failures::record(Failures::Load, QStringLiteral("Series not loaded: ") + tooBig + QStringLiteral(": ") + path);
        return false;
    }
    const bool whole = imgs.isEmpty();
    bool all = true;
    for (int p = 0; p < pages; ++p) {
        if (cancel && *cancel) {
            failed << QStringLiteral("%1 (pages %2 to %3)").arg(path).arg(p + 1).arg(pages);
            Failures::record(Failures::Load, QStringLiteral("Loading cancelled at page %1 of %2: %3").arg(p + 1).arg(pages).arg(path));
            all = false;
            break;
        }
        auto* img = new ImgDataTiff;
        img->page = p;
        img->band = planned;
        img->fileName = path;
        img->ready = img->load();
        all = adopt(img, QStringLiteral("%1 (page %2)").arg(path).arg(p + 1), img->error) && all;
    }
    if (whole && !imgs.isEmpty())
        sourceFile = path;
    return all;
}

void ImgDatas::takeSeries(ImgDatas& other)
{
    clear();
    imgs = std::move(other.imgs);
    other.imgs.clear();
    width = other.width;
    height = other.height;
    failed = std::move(other.failed);
    scanI0 = std::move(other.scanI0);
    scanBg = std::move(other.scanBg);
    anglesDeg = std::move(other.anglesDeg);
    sourceFile = std::move(other.sourceFile);
    gaps = std::move(other.gaps);
    other.clear();
}

void ImgDatas::setScan(QList<ImgData*> projections, ImgData* i0, ImgData* bg, QVector<double> angles)
{
    clear();
    imgs = std::move(projections);
    if (!imgs.isEmpty()) {
        width = imgs.first()->width;
        height = imgs.first()->height;
    }
    scanI0.reset(i0);
    scanBg.reset(bg);
    if (angles.size() == imgs.size())
        anglesDeg = std::move(angles);
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
    scanI0.reset();
    scanBg.reset();
    anglesDeg.clear();
    sourceFile.clear();
    gaps.clear();
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

QString ImgDatas::runRefusal(const QString& i0Name, const QString& bgName, const QString& i0AfterName) const
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
    // A scan's own I0 and BG were checked against its projections when it loaded.
    for (const QString& p : { scanI0 ? QString() : correctionProblem("I0", i0Name, i0(), width, height),
                              scanBg ? QString() : correctionProblem("BG", bgName, bg(), width, height),
                              correctionProblem("I0 (after the scan)", i0AfterName, i0After(), width, height) })
        if (!p.isEmpty())
            return p;
    if (!i0AfterName.isEmpty() && scanI0)
        return QStringLiteral("the scan brings its own I0; clear the I0 taken after the scan: %1").arg(i0AfterName);
    if (!i0AfterName.isEmpty() && i0Name.isEmpty())
        return QStringLiteral("an I0 taken after the scan needs an I0 taken before it: %1").arg(i0AfterName);
    return QString();
}

qint64 ImgDatas::imageBytes(const QString& f, int* wOut, int* hOut)
{
    if (!fileTypeProblem(f).isEmpty())
        return 0;
    qint32 w = 0, h = 0;
    qint64 step = 0;
    if (isTiffFile(f)) {
        ImgDataTiff probe;
        probe.fileName = f;
        if (!probe.readProps(f, w, h))
            return 0;
        step = ImgDataMem::sampleBytes(probe.sample);
    } else if (isItexFile(f)) {
        ImgDataITEX probe;
        probe.fileName = f;
        if (!probe.readProps(f, w, h))
            return 0;
        step = probe.bytesPerPixel;
    } else {
        return 0;
    }
    if (wOut)
        *wOut = w;
    if (hOut)
        *hOut = h;
    return qint64(w) * h * step + (qint64(w) + h) * qint64(sizeof(double));
}

qint64 ImgDatas::seriesBytes(const QStringList& files, int* w, int* h)
{
    // Headers only, and only until one answers: a long list costs a few opens.
    for (const QString& f : files) {
        const qint64 one = imageBytes(f, w, h);
        if (one > 0)
            return one * files.size();
    }
    return 0;
}

LineBand ImgDatas::heldBand() const
{
    return imgs.isEmpty() ? LineBand() : imgs.first()->band;
}

QString ImgDatas::bandRefusal(bool rotAxIsV, long long lo, long long hi) const
{
    const LineBand held = heldBand();
    if (held.whole())
        return QString();
    if (held.rows != rotAxIsV)
        return QStringLiteral("only %1 of the projections are loaded, and the axis now makes slices of %2")
            .arg(held.text(), rotAxIsV ? QStringLiteral("rows") : QStringLiteral("columns"));
    if (lo < held.first || hi > held.last())
        return QStringLiteral("slices %1 to %2 are not all within the loaded %3").arg(lo).arg(hi).arg(held.text());
    return QString();
}

QString ImgDatas::planBand(qint64 need, int w, int h, const QString& what, bool replacing)
{
    planned = band;
    if (need <= 0)
        return QString();
    // The images' bytes grow with the lines kept.
    auto share = [&](const LineBand& b) {
        const int lines = b.linesOf(w, h);
        return b.whole() || lines < 1 ? need : qint64(double(need) * std::min(b.count, lines) / lines);
    };
    if (!band.whole())
        return budgetRefusal(share(band), QStringLiteral("%1 (%2)").arg(what, band.text()), replacing);
    const QString whole = budgetRefusal(need, what, replacing);
    if (whole.isEmpty() || fallback.whole() || !budgetRefusal(share(fallback), what, replacing).isEmpty())
        return whole;
    planned = fallback;
    qCInfo(lcData).noquote() << QStringLiteral("%1; only %2 of the slice range are loaded (%3)")
                                    .arg(whole, fallback.text(), megabytes(share(fallback)));
    return QString();
}

qint64 ImgDatas::bytesHeld() const
{
    qint64 n = 0;
    for (const ImgData* img : imgs)
        n += img->heldBytes();
    return n;
}

QString ImgDatas::budgetRefusal(qint64 need, const QString& what, bool replacing) const
{
    const qint64 budget = memoryBudgetBytes();
    if (budget < 0 || need <= 0)
        return QString();
    // Images about to be dropped free memory the system counts as taken; a
    // budget set by hand is for the series alone.
    const qint64 room = budget + (replacing && !memoryBudgetIsSet() ? bytesHeld() : 0);
    if (need <= room)
        return QString();
    return QStringLiteral("%1 need %2, %3 of memory available").arg(what, megabytes(need), megabytes(room));
}

QString ImgDatas::memoryRefusal(const QStringList& files, bool replacing)
{
    planned = band;
    if (files.isEmpty())
        return QString();
    int w = 0, h = 0;
    const qint64 need = seriesBytes(files, &w, &h);
    const QString why = planBand(need, w, h, QStringLiteral("%1 files").arg(files.size()), replacing);
    return why.isEmpty() ? why : QStringLiteral("Series not loaded: ") + why;
}

void ImgDatas::clear()
{
    clearImgs();
    width = height = 0;
}
