#include "CorSweep.h"

#include "CorSearch.h"
#include "CorSweepWorker.h"
#include "CtFiles.h"
#include "FbpKernel.h"
#include "ImgDatas.h"
#include "SafeWrite.h"
#include "WorkerPool.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace {
QString num(double v)
{
    return QString::number(v, 'g', 10);
}

// Trials from .. to, as a double so that absurd ranges cannot overflow; the
// slack keeps `to` in when the steps add up to it with rounding.
double trialCount(double from, double to, double step)
{
    return std::floor((to - from) / step + 1e-6) + 1;
}
} // namespace

CorSweep::CorSweep(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<CorTrial>("CorTrial");
}

CorSweep::~CorSweep()
{
    dropWorkers();
}

std::vector<double> CorSweep::centres(double from, double to, double step)
{
    std::vector<double> c;
    if (!std::isfinite(from) || !std::isfinite(to) || !(step > 0) || !std::isfinite(step) || from > to)
        return c;
    const double n = trialCount(from, to, step);
    if (n > maxTrials)
        return c;
    for (int i = 0; i < int(n); ++i)
        // Millionths: 87.5 + 3 * 0.1 is shown and used as 87.8.
        c.push_back(std::round((from + i * step) * 1e6) / 1e6);
    return c;
}

QString CorSweep::refusal(const CorSweepRequest& r)
{
    if (!std::isfinite(r.from) || !std::isfinite(r.to) || !std::isfinite(r.step))
        return QStringLiteral("from, to and step must be numbers");
    if (!(r.step > 0))
        return QStringLiteral("step %1 is not above 0").arg(num(r.step));
    if (r.from > r.to)
        return QStringLiteral("from %1 is above to %2").arg(num(r.from), num(r.to));
    const double n = trialCount(r.from, r.to, r.step);
    if (n > maxTrials)
        return QStringLiteral("%1 to %2 in steps of %3 makes %4 trial centres, more than %5")
            .arg(num(r.from), num(r.to), num(r.step), num(n))
            .arg(maxTrials);
    const ImgDatas* set = r.images;
    if (!set || set->count() < 2)
        return QStringLiteral("no projection series loaded");
    const QString inputs = set->runRefusal(r.i0Name, r.bgName);
    if (!inputs.isEmpty())
        return inputs;
    if (CtCond::projectionsUsed(r.angles, set->count()) < 2)
        return QStringLiteral("too few projections (%1)").arg(set->count());
    const int dim = r.rotAxIsV ? set->width : set->height;
    const int lines = r.rotAxIsV ? set->height : set->width;
    if (r.slice < 0 || r.slice >= lines)
        return QStringLiteral("slice %1 is outside the image (valid slices 0 to %2)").arg(r.slice).arg(lines - 1);
    // The centres a run accepts.
    for (const double c : {r.from, r.to})
        if (!(c >= 2 && c <= dim - 3))
            return QStringLiteral("centre of rotation %1 is outside the image (usable 2 to %2 on %3 pixels)")
                .arg(num(c))
                .arg(dim - 3)
                .arg(dim);
    return {};
}

bool CorSweep::start(const CorSweepRequest& r, QString* why)
{
    auto refuse = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (active)
        return refuse(QStringLiteral("a centre sweep is already running"));
    const QString no = refusal(r);
    if (!no.isEmpty())
        return refuse(no);
    ImgDatas& set = *r.images;
    std::vector<double> lines;
    int dim = 0;
    QString unread;
    if (!absorbanceLines(set, r.rotAxIsV, r.slice, lines, dim, &unread, r.maxInvalid))
        return refuse(unread);
    const bool full = r.angles == AngularRange::Full;
    const int nth = CtCond::projectionsUsed(r.angles, set.count());
    std::vector<double> angles;
    if (set.anglesDeg.size() == set.count())
        angles = FbpKernel::radiansOf(set.anglesDeg.constData(), nth, full);
    if (angles.empty() && full)
        for (int p = 0; p < nth; ++p)
            angles.push_back(2 * M_PI * p / nth);
    const std::shared_ptr<const CorTrialSet> trials = makeCorTrialSet(lines.data(), dim, nth, r.from, r.to, angles, true);
    if (!trials)
        return refuse(QStringLiteral("centres %1 to %2 leave no slice to judge on %3 pixels").arg(num(r.from), num(r.to)).arg(dim));

    req = r;
    const std::vector<double> list = centres(r.from, r.to, r.step);
    results.assign(list.size(), CorTrial());
    for (size_t i = 0; i < list.size(); ++i) {
        results[i].index = int(i);
        results[i].cor = list[i];
    }
    const int processors = std::max(1, QThread::idealThreadCount());
    int k = std::clamp(maxThreads > 0 ? std::min(maxThreads, processors) : processors, 1, int(list.size()));
    WorkerPool* threads = pool;
    if (threads)
        k = std::min(k, threads->size());
    else
        threads = (ownPool = std::make_unique<WorkerPool>(k, QStringLiteral("Sweep"))).get();
    for (int i = 0; i < k; ++i) {
        auto* w = new CorSweepWorker(trials, tileSize);
        w->moveToThread(threads->thread(i));
        connect(w, &CorSweepWorker::trialDone, this, [this, i](const CorTrial& trial) { trialDone(i, trial); });
        workers.push_back(w);
    }
    next = 0;
    outstanding = 0;
    cancelled = false;
    active = true;
    emit started();
    for (int i = 0; i < k; ++i)
        deal(i);
    return true;
}

void CorSweep::deal(int i)
{
    const int index = int(next++);
    const double cor = results[size_t(index)].cor;
    ++outstanding;
    CorSweepWorker* w = workers[size_t(i)];
    QMetaObject::invokeMethod(w, [w, index, cor] { w->run(index, cor); }, Qt::QueuedConnection);
}

void CorSweep::trialDone(int i, const CorTrial& t)
{
    --outstanding;
    if (t.index >= 0 && size_t(t.index) < results.size())
        results[size_t(t.index)] = t;
    emit trialFinished(t);
    if (!cancelled && next < results.size()) {
        deal(i);
        return;
    }
    if (outstanding > 0)
        return;
    // Every trial is back: the workers are idle, and go in their own threads
    // (a shared one may be busy with a run's slice; nothing waits for it).
    for (CorSweepWorker* w : workers)
        w->deleteLater();
    workers.clear();
    ownPool.reset();
    active = false;
    emit finished();
}

void CorSweep::cancel()
{
    cancelled = true;
    for (CorSweepWorker* w : workers)
        w->quitting = true;
}

void CorSweep::dropWorkers()
{
    for (CorSweepWorker* w : workers)
        w->quitting = true;
    for (CorSweepWorker* w : workers) {
        WorkerPool::retire(w);
        delete w;
    }
    workers.clear();
    ownPool.reset();
}

int CorSweep::best() const
{
    int b = -1;
    for (size_t i = 0; i < results.size(); ++i)
        if (results[i].ok && (b < 0 || results[i].measure < results[size_t(b)].measure))
            b = int(i);
    return b;
}

QString CorSweep::table() const
{
    QString t = QStringLiteral("centre,measure\n");
    for (const CorTrial& r : results)
        t += num(r.cor) + QLatin1Char(',') + (r.ok ? QString::number(r.measure, 'g', 8) : QString())
             + QLatin1Char('\n');
    return t;
}

bool CorSweep::saveTable(const QString& path, QString* error) const
{
    const QByteArray text = table().toUtf8();
    return SafeWrite::write(
        path,
        [&text](QIODevice* out, QString& why) {
            if (out->write(text) == text.size())
                return true;
            why = out->errorString();
            return false;
        },
        error);
}

QString CorSweep::centreText(double cor)
{
    return QString::number(cor, 'f', 2);
}

QString CorSweep::measureText(const CorTrial& t)
{
    return t.ok ? QString::number(t.measure, 'g', 5) : QStringLiteral("-");
}

int CorSweep::columns() const
{
    return std::clamp(int(std::ceil(std::sqrt(double(results.size())))), 1, 15);
}

QImage CorSweep::picture(const QFont& font) const
{
    if (results.empty())
        return QImage();
    const int n = int(results.size());
    const int cols = columns();
    const int rows = (n + cols - 1) / cols;
    const int size = tileSize;
    // Text needs the fonts of a GUI application; a headless program gets the tiles alone.
    const bool labels = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    const int label = labels ? 2 * QFontMetrics(font).height() + 4 : 0;
    const int cellW = size + 8, cellH = size + 8 + label;
    QImage img(cols * cellW, rows * cellH, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    if (labels)
        p.setFont(font);
    const int sharpest = best();
    for (const CorTrial& t : results) {
        const int x = (t.index % cols) * cellW + 4, y = (t.index / cols) * cellH + 4;
        if (!t.tile.isNull())
            p.drawImage(x + (size - t.tile.width()) / 2, y + (size - t.tile.height()) / 2, t.tile);
        if (t.index == sharpest) {
            p.setPen(QPen(Qt::red, 2));
            p.drawRect(x - 2, y - 2, size + 3, size + 3 + label);
        }
        if (!labels)
            continue;
        p.setPen(Qt::white);
        p.drawText(QRect(x, y + size + 2, size, label), Qt::AlignHCenter | Qt::AlignTop,
                   centreText(t.cor) + QLatin1Char('\n') + measureText(t));
    }
    return img;
}

bool CorSweep::save(const QString& path, const QFont& font, QString* error, QStringList* written) const
{
    const QImage img = picture(font);
    if (img.isNull()) {
        if (error)
            *error = QStringLiteral("No sweep to save");
        return false;
    }
    QString png = path;
    if (QFileInfo(png).suffix().isEmpty())
        png += QStringLiteral(".png");
    if (!CtFiles::savePicture(png, img, QRectF(), error))
        return false;
    if (written)
        *written << png;
    const QString csv = QFileInfo(png).dir().filePath(CtFiles::replaceSuffix(png, QStringLiteral("csv")));
    if (!saveTable(csv, error))
        return false;
    if (written)
        *written << csv;
    return true;
}
