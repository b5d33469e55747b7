#include "CorrectedSeries.h"

#include "CtCond.h"
#include "ImageBinning.h"
#include "ImgData.h"
#include "ImgDataMem.h"
#include "ImgDatas.h"
#include "Logging.h"
#include "MemoryBudget.h"
#include "OffsetAxis.h"
#include "SinogramGen.h"
#include "ZingerRemoval.h"

#include <QDebug>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <limits>
#include <cmath>
#include <vector>

namespace {
using Floats = std::vector<float>;

// The held rectangle r of img as floats, binned by factor (r aligned to it).
Floats readRect(ImgData* img, const QRect& r, int factor)
{
    std::vector<double> row(size_t(img->width));
    Floats rect(size_t(r.width()) * size_t(r.height()));
    for (int y = 0; y < r.height(); ++y) {
        img->readRow(r.top() + y, row.data());
        std::copy(row.begin() + r.left(), row.begin() + r.left() + r.width(), rect.begin() + size_t(y) * r.width());
    }
    if (factor == 1)
        return rect;
    Floats binned(rect.size() / size_t(factor * factor));
    binImage(rect.data(), r.width(), r.height(), factor, binned.data());
    return binned;
}

ImgData* memImage(const QString& name, int w, int h, const QRect& held, const Floats& v, bool rows, QString* why)
{
    QByteArray bytes(reinterpret_cast<const char*>(v.data()), qsizetype(v.size() * sizeof(float)));
    LineBand band;
    if (held != QRect(0, 0, w, h))
        band = rows ? LineBand{held.top(), held.height(), true} : LineBand{held.left(), held.width(), false};
    return ImgDataMem::fromPixels(name, w, h, ImgDataMem::F32, bytes, why, band);
}

QString shortName(const ImgData* img)
{
    return QFileInfo(img->fileName).fileName();
}
} // namespace

QString CorrectedSeries::memoryProblem(const ImgDatas& src, bool rotAxIsV, double pixelUm, const Corrections& c,
                                       int threads)
{
    const int f = std::max(1, c.binning);
    const QRect held = src.count() > 0 ? src.at(0)->heldRect() : QRect();
    const qint64 w = held.width() / f, h = held.height() / f;
    const bool offset = c.offsetCor >= 0;
    const qint64 image = w * h * qint64(sizeof(float));
    // A joined line is at most twice the detector's.
    const qint64 copy = qint64(offset ? src.count() / 2 : src.count()) * image * (offset ? 2 : 1);
    qint64 perThread = 4 * image + 3 * (rotAxIsV ? w : h) * qint64(sizeof(double));
    if (c.paganin.on()) {
        const qint64 m = PaganinFilter::marginPx(c.paganin, pixelUm * f);
        perThread += 2 * qint64(PaganinFilter::fastSize(int(std::min<qint64>(w + 2 * m, 1 << 20))))
                     * PaganinFilter::fastSize(int(std::min<qint64>(h + 2 * m, 1 << 20))) * qint64(sizeof(float));
    }
    const qint64 need = copy + 3 * image + std::clamp(threads, 1, 64) * perThread;
    const qint64 budget = memoryBudgetBytes();
    if (budget < 0)
        return {};
    // A budget set by hand is for the series: the copy takes what it leaves.
    const qint64 room = std::max<qint64>(0, memoryBudgetIsSet() ? budget - src.bytesHeld() : budget);
    if (need <= room)
        return {};
    return QStringLiteral("the corrected projections need %1, %2 of memory available (binning, or fewer lines "
                          "loaded, needs less)").arg(megabytes(need), megabytes(room));
}


// What prepare() found, for make(), and the stages of make().
struct CorrectedSeries::Plan
{
    ImgDatas* src = nullptr;
    bool rotAxIsV = true;
    Corrections c;
    int threads = 1;
    int n = 0, f = 1, w = 0, h = 0;
    QRect held, rect;
    bool rowsBand = true, offset = false, transmission = false;
    PaganinFilter paganin;
    OffsetJoin join;
    // The corrected projections: their count, size and the rectangle held.
    int outCount = 0, ow = 0, oh = 0;
    QRect orect;
    // Made in the preparing thread, filled by make().
    std::unique_ptr<ImgDatas> result;
    // The references, binned and cleaned once by make().
    Floats i0R, bgR, afterR;

    // What the threads of make() made, by projection.
    struct Made
    {
        std::vector<ImgData*> images;
        std::vector<QString> errors;
        std::vector<int> zingers;
        // Pixels without a logarithm (clamped, and judged after the run).
        std::vector<long long> invalid;
    };

    Floats reference(ImgData* img, int& count) const;
    Floats correct(int p, int& zingers, long long& invalid) const;
    Floats joined(const Floats& a, const Floats& b) const;
    void correctAll(const std::atomic<bool>* cancel, std::atomic<int>* done, Made& m) const;
    QString invalidProblem(const Made& m) const;
    void logZingers(const Made& m) const;
};

CorrectedSeries::CorrectedSeries() = default;
CorrectedSeries::~CorrectedSeries() = default;

bool CorrectedSeries::build(ImgDatas& src, bool rotAxIsV, double pixelUm, const Corrections& c, int threads,
                            QString* why)
{
    const bool ok = prepare(src, rotAxIsV, pixelUm, c, threads, why) && make(nullptr, nullptr, why);
    finish();
    return ok;
}

void CorrectedSeries::finish()
{
    plan.reset();
}

bool CorrectedSeries::prepare(ImgDatas& src, bool rotAxIsV, double pixelUm, const Corrections& c, int threads,
                              QString* why)
{
    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    plan.reset();
    out.reset();
    zingersPerImage.clear();
    zingersI0 = zingersBg = zingersI0After = 0;
    joinedCor = -1;
    const int n = src.count();
    if (n < 1)
        return fail(QStringLiteral("no projections to correct"));
    const int f = std::max(1, c.binning);
    if (const QString p = binningProblem(src.width, src.height, f); !p.isEmpty())
        return fail(p);
    QRect held = src.at(0)->heldRect();
    if (!c.lines.whole())
        held &= c.lines.rectIn(src.width, src.height);
    if (held.isEmpty())
        return fail(QStringLiteral("no lines of the projections are loaded"));
    if (held.left() % f || held.top() % f || held.width() % f || held.height() % f)
        return fail(QStringLiteral("binning %1 does not divide the lines loaded (%2)").arg(f).arg(src.heldBand().text()));
    const QRect rect(held.left() / f, held.top() / f, held.width() / f, held.height() / f);
    const int w = src.width / f, h = src.height / f;
    const bool rowsBand = held.width() == src.width;
    const bool offset = c.offsetCor >= 0;
    const bool transmission = c.paganin.on() || offset;

    if (const QString tooBig = memoryProblem(src, rotAxIsV, pixelUm, c, threads); !tooBig.isEmpty())
        return fail(tooBig);

    auto p = std::make_unique<Plan>();
    PaganinFilter& paganin = p->paganin;
    if (c.paganin.on() && !paganin.setup(rect.width(), rect.height(), pixelUm * f, c.paganin, why))
        return false;
    OffsetJoin& join = p->join;
    if (offset) {
        if (n % 2)
            return fail(QStringLiteral("an offset-axis full turn needs an even number of projections, not %1").arg(n));
        QString whyNot;
        join = OffsetJoin::make(rotAxIsV ? w : h, c.offsetCor, &whyNot);
        if (join.joinedWidth == 0)
            return fail(whyNot);
        if ((rotAxIsV ? rect.width() : rect.height()) != join.width)
            return fail(QStringLiteral("an offset-axis join needs whole detector lines loaded"));
        joinedCor = join.joinedCor;
    }
    p->src = &src;
    p->rotAxIsV = rotAxIsV;
    p->c = c;
    p->threads = std::clamp(threads, 1, 64);
    p->n = n;
    p->f = f;
    p->w = w;
    p->h = h;
    p->held = held;
    p->rect = rect;
    p->rowsBand = rowsBand;
    p->offset = offset;
    p->transmission = transmission;
    p->outCount = offset ? n / 2 : n;
    p->ow = offset && rotAxIsV ? join.joinedWidth : w;
    p->oh = offset && !rotAxIsV ? join.joinedWidth : h;
    p->orect = !offset ? rect
               : rotAxIsV ? QRect(0, rect.top(), p->ow, rect.height())
                          : QRect(rect.left(), 0, rect.width(), p->oh);
    p->result = std::make_unique<ImgDatas>();
    plan = std::move(p);
    total = offset ? n / 2 : n;
    return true;
}

// A reference binned and cleaned of zingers (count); empty when there is none.
Floats CorrectedSeries::Plan::reference(ImgData* img, int& count) const
{
    if (!img || !img->ready)
        return {};
    Floats v = readRect(img, held, f);
    count = removeZingers(v.data(), rect.width(), rect.height(), c.zingerThreshold);
    if (count > 0)
        qCInfo(lcCt).noquote() << QStringLiteral("Zingers: %1 pixels replaced in %2").arg(count).arg(shortName(img));
    return v;
}

// One corrected projection, with its zinger count and the count of its
// pixels without a logarithm.
Floats CorrectedSeries::Plan::correct(int p, int& zingers, long long& invalid) const
{
    Floats v = readRect(src->at(p), held, f);
    zingers = removeZingers(v.data(), rect.width(), rect.height(), c.zingerThreshold);
    if (!transmission)
        return v;
    const double t = !afterR.empty() && n > 1 ? double(p) / (n - 1) : 0.0;
    for (size_t k = 0; k < v.size(); ++k) {
        const double i0 = i0R.empty() ? 1.0 : (afterR.empty() ? i0R[k] : (1.0 - t) * i0R[k] + t * afterR[k]);
        const double bg = bgR.empty() ? 0.0 : bgR[k];
        double a = i0 - bg, b = v[k] - bg;
        if (!(a > 0) || !(b > 0))
            ++invalid;
        if (!(a > 0))
            a = 1;
        if (!(b > 0))
            b = 1;
        v[k] = float(b / a);
    }
    if (c.paganin.on())
        paganin.apply(v.data(), v.data(), false);
    return v;
}

// Corrected projections a and b, half a turn apart, joined line by line.
Floats CorrectedSeries::Plan::joined(const Floats& a, const Floats& b) const
{
    Floats out(size_t(orect.width()) * orect.height());
    const int lines = rotAxIsV ? rect.height() : rect.width();
    std::vector<double> la(size_t(join.width)), lb(size_t(join.width)), lo(size_t(join.joinedWidth));
    for (int l = 0; l < lines; ++l) {
        for (int x = 0; x < join.width; ++x) {
            const size_t at = rotAxIsV ? size_t(l) * rect.width() + x : size_t(x) * rect.width() + l;
            la[size_t(x)] = a[at];
            lb[size_t(x)] = b[at];
        }
        join.join(la.data(), lb.data(), lo.data());
        for (int x = 0; x < join.joinedWidth; ++x)
            out[rotAxIsV ? size_t(l) * orect.width() + x : size_t(x) * orect.width() + l] = float(lo[size_t(x)]);
    }
    return out;
}

// Every corrected projection into m, spread over the plan's threads.
void CorrectedSeries::Plan::correctAll(const std::atomic<bool>* cancel, std::atomic<int>* done, Made& m) const
{
    m.images.assign(size_t(outCount), nullptr);
    m.errors.assign(size_t(outCount), QString());
    m.zingers.assign(size_t(n), 0);
    m.invalid.assign(size_t(n), 0);
    std::atomic<int> next{0};
    auto work = [&] {
        for (int k = next++; k < outCount; k = next++) {
            if (cancel && *cancel)
                break;
            Floats v = correct(k, m.zingers[size_t(k)], m.invalid[size_t(k)]);
            if (offset)
                v = joined(v, correct(k + outCount, m.zingers[size_t(k + outCount)], m.invalid[size_t(k + outCount)]));
            QString e;
            m.images[size_t(k)] = memImage(src->at(k)->fileName, ow, oh, orect, v, rowsBand, &e);
            if (!m.images[size_t(k)])
                m.errors[size_t(k)] = e;
            if (done)
                ++*done;
        }
    };
    std::vector<QThread*> pool;
    for (int t = 1; t < threads; ++t) {
        pool.push_back(QThread::create(work));
        pool.back()->start();
    }
    work();
    for (QThread* t : pool) {
        t->wait();
        delete t;
    }
}

// Why the flat-corrected pixels without a logarithm are too many; empty
// when they are within the limit (or there are none).
QString CorrectedSeries::Plan::invalidProblem(const Made& m) const
{
    if (!transmission)
        return {};
    long long bad = 0;
    for (long long b : m.invalid)
        bad += b;
    const double all = double(n) * double(rect.width()) * double(rect.height());
    if (bad > 0 && double(bad) > c.maxInvalid * all)
        return QStringLiteral("%1 of %2 flat-corrected pixels (%3 %) have no logarithm (I0 - BG <= 0 or "
                              "I - BG <= 0), more than the limit of %4 %")
            .arg(bad)
            .arg(qint64(all))
            .arg(100.0 * double(bad) / all, 0, 'g', 3)
            .arg(100.0 * c.maxInvalid, 0, 'g', 3);
    if (bad > 0)
        qCInfo(lcCt).noquote()
            << QStringLiteral("%1 flat-corrected pixels without a logarithm taken as 1 count").arg(bad);
    return {};
}

void CorrectedSeries::Plan::logZingers(const Made& m) const
{
    if (!(c.zingerThreshold > 0))
        return;
    int total = 0;
    for (int k = 0; k < n; ++k) {
        const int count = m.zingers[size_t(k)];
        total += count;
        if (count > 0)
            qCInfo(lcCt).noquote() << QStringLiteral("Zingers: %1 pixels replaced in %2").arg(count).arg(shortName(src->at(k)));
    }
    qCInfo(lcCt).noquote() << QStringLiteral("Zingers: %1 pixels replaced in %2 projections").arg(total).arg(n);
}

bool CorrectedSeries::make(const std::atomic<bool>* cancel, std::atomic<int>* done, QString* why)
{
    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (!plan)
        return fail(QStringLiteral("nothing prepared to correct"));
    Plan& p = *plan;
    ImgDatas& src = *p.src;
    p.i0R = p.reference(src.i0(), zingersI0);
    p.bgR = p.reference(src.bg(), zingersBg);
    p.afterR = p.i0R.empty() ? Floats() : p.reference(src.i0After(), zingersI0After);

    Plan::Made m;
    p.correctAll(cancel, done, m);
    std::unique_ptr<ImgDatas> result = std::move(p.result);
    QString firstError;
    if (cancel && *cancel)
        firstError = QStringLiteral("stopped");
    for (int k = 0; k < p.outCount; ++k) {
        if (!m.images[size_t(k)] && firstError.isEmpty())
            firstError = QStringLiteral("%1: %2").arg(shortName(src.at(k)), m.errors[size_t(k)]);
        if (m.images[size_t(k)])
            result->adopt(m.images[size_t(k)], m.images[size_t(k)]->fileName, QString());
    }
    if (!firstError.isEmpty())
        return fail(QStringLiteral("corrected projection not made: ") + firstError);
    if (const QString tooMany = p.invalidProblem(m); !tooMany.isEmpty())
        return fail(tooMany);
    if (src.anglesDeg.size() == p.n)
        result->anglesDeg = src.anglesDeg.mid(0, p.outCount);
    result->sourceFile = src.sourceFile;

    // With transmissions the set has no references of its own.
    i0.reset();
    bg.reset();
    i0After.reset();
    i0Ptr = bgPtr = i0AfterPtr = nullptr;
    if (!p.transmission) {
        QString e;
        if (!p.i0R.empty())
            i0.reset(memImage(src.i0()->fileName, p.w, p.h, p.rect, p.i0R, p.rowsBand, &e));
        if (!p.bgR.empty())
            bg.reset(memImage(src.bg()->fileName, p.w, p.h, p.rect, p.bgR, p.rowsBand, &e));
        if (!p.afterR.empty())
            i0After.reset(memImage(src.i0After()->fileName, p.w, p.h, p.rect, p.afterR, p.rowsBand, &e));
        if (!e.isEmpty())
            return fail(QStringLiteral("corrected reference not made: ") + e);
        i0Ptr = i0.get();
        bgPtr = bg.get();
        i0AfterPtr = i0After.get();
    }
    result->i0Img = &i0Ptr;
    result->bgImg = &bgPtr;
    result->i0AfterImg = &i0AfterPtr;

    p.logZingers(m);
    zingersPerImage = QVector<int>(m.zingers.begin(), m.zingers.end());
    out = std::move(result);
    return true;
}

LineBand CorrectedSeries::linesFor(const CtCond& c, int a, int b, int* margin)
{
    const int f = std::max(1, c.binning);
    // Zinger removal judges a pixel by its 5 x 5 neighbourhood.
    int m = c.zingerThreshold > 0 ? 2 * f : 0;
    if (c.paganin.on() && c.pixelSizeUm > 0)
        m = std::max(m, PaganinFilter::marginPx(c.paganin, c.pixelSizeUm * f) * f);
    if (margin)
        *margin = m;
    if (m == 0 && f == 1)
        return LineBand::ofSlices(a, b, c.rotAxIsV);
    const long long lo = std::max(0LL, qint64(std::min(a, b)) - m) / f * f;
    const long long hi = std::min<long long>((qint64(std::max(a, b)) + m) / f * f + f - 1, std::numeric_limits<int>::max() - 1);
    return LineBand{int(lo), int(hi - lo + 1), c.rotAxIsV};
}

Corrections Corrections::of(const CtCond& c)
{
    Corrections k;
    k.zingerThreshold = c.zingerThreshold;
    k.paganin = c.paganin;
    k.binning = std::max(1, c.binning);
    k.maxInvalid = c.maxInvalid;
    if (c.angles == AngularRange::FullOffset)
        k.offsetCor = binnedPosition(c.cor, k.binning);
    return k;
}

bool CorrectedSeries::sinogramOf(ImgDatas& raw, const CtCond& c, HSgm* h, QString* why)
{
    const int b = std::max(1, c.binning);
    const bool offset = c.angles == AngularRange::FullOffset;
    Corrections k = Corrections::of(c);
    if (c.paganin.on())
        if (const QString p = c.paganin.problem(c.pixelSizeUm); !p.isEmpty()) {
            if (why)
                *why = p;
            return false;
        }
    const int lines = c.rotAxIsV ? raw.height : raw.width;
    if (c.sliceNo < 0 || c.sliceNo >= lines) {
        if (why)
            *why = QStringLiteral("slice %1 is outside the image").arg(c.sliceNo);
        return false;
    }
    k.lines = linesFor(c, c.sliceNo, c.sliceNo);
    CorrectedSeries series;
    if (!series.build(raw, c.rotAxIsV, c.pixelSizeUm, k, QThread::idealThreadCount(), why))
        return false;
    genSinogram(*series.set(), h, c.rotAxIsV, offset ? series.joinedCor : binnedPosition(c.cor, b), c.sliceNo / b);
    return true;
}
