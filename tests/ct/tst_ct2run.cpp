// The worker pool on a small generated sample, without widgets: which slices
// a run computes, which runs it refuses, when it ends, what it writes and
// reports, and how good a reconstructed slice is.
#include "CorrectedSeries.h"
#include "CtCalc2.h"
#include "HSgm.h"
#include "ImageBinning.h"
#include "SinogramGen.h"
#include "CtRun.h"
#include "Failures.h"
#include "ImgData.h"
#include "ImgDataMem.h"
#include "ImgDatas.h"
#include "Phantom.h"
#include "SampleWriter.h"
#include "SinogramImage.h"
#include "TiffSampleWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {
QList<int> ints(std::initializer_list<int> l)
{
    return QList<int>(l);
}

// Qt's own SHA-256 of the file, apart from the program's (OpenSSL's); no
// process is started, which ThreadSanitizer would not follow.
QString sha256sum(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unreadable");
    return QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex());
}
} // namespace

class TstCt2Run : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void series_data();
    void series();
    void refused_data();
    void refused();
    void refusedRunKeepsLastResult();
    void refusedSettings_data();
    void refusedSettings();
    void halfTurnWithItsLastImage();
    void resultCarriesJobAndPicture();
    void regionBeyondImage();
    void phantomSlice();
    void poolOfNone();
    void savedPictureAndFailedData();
    void floatTiff_data();
    void floatTiff();
    void stopAndRestart();
    void correctionsRunBesideTheCallerAndStop();
    void sinogramViewIsTheRunsSinogram_data();
    void sinogramViewIsTheRunsSinogram();
    void reportListsRun();
    void sliceWithoutResultIsAFailure();
    void precisions();
    void ct1AndCt2WriteOneSlice_data();
    void ct1AndCt2WriteOneSlice();
    void ct1TakesTheRunsCentreLine();

private:
    CtCond cond(int from, int to, int step, int threads, bool autoExec = true) const;
    // Starts a run and waits for its end; the slices dealt, in order.
    QList<int> runAndWait(const CtCond& c, QList<int>* dealtAtOnce = nullptr, QList<int>* workersUsed = nullptr);
    // The fixture's settings with conditions c.
    ReconSettings withCond(const CtCond& c) const
    {
        ReconSettings s = settings;
        s.cond = c;
        return s;
    }
    QStringList dataFiles() const;

    QTemporaryDir tmp;
    SampleWriter* writer = nullptr;
    ImgDatas set;
    ImgData* i0 = nullptr;
    ImgData* bg = nullptr;
    CtRun* run = nullptr;
    // What each test runs with (data files in outDir), and what the
    // panels-to-be publish.
    ReconSettings settings;
    CtView view;
    QString outDir;
};

void TstCt2Run::initTestCase()
{
    QVERIFY(tmp.isValid());
    SampleOptions o;
    o.outDir = tmp.filePath("sample");
    o.width = 200;
    o.height = 16;
    o.nProj = 180;
    o.noise = false;
    o.cor = 97.5;
    writer = new SampleWriter(o);
    QVERIFY(writer->valid() && writer->write());
    for (int p = 0; p < o.nProj; ++p)
        QVERIFY(set.addFile(o.outDir + "/" + writer->seriesName(p, 0)));
    i0 = loadImgData(o.outDir + "/" + writer->i0Name(0));
    bg = loadImgData(o.outDir + "/" + writer->bgName());
    set.i0Img = &i0;
    set.bgImg = &bg;
}

void TstCt2Run::cleanupTestCase()
{
    delete i0;
    delete bg;
    delete writer;
}

void TstCt2Run::init()
{
    const QString name = QString("%1-%2").arg(QTest::currentTestFunction(), QTest::currentDataTag());
    outDir = tmp.filePath(QString(name).replace(QLatin1Char(' '), QLatin1Char('_')));
    QDir().mkpath(outDir);
    run = new CtRun;
    run->images = &set;
    run->createPool(4);
    settings = ReconSettings();
    view = CtView();
    run->viewOf = [this](int) { return view; };
    settings.data.on = true;
    settings.data.path = outDir;
    settings.data.name = QStringLiteral("res.dat");
}

void TstCt2Run::cleanup()
{
    delete run;
    run = nullptr;
}

CtCond TstCt2Run::cond(int from, int to, int step, int threads, bool autoExec) const
{
    CtCond c;
    c.ct2 = true;
    c.rotAxIsV = true;
    c.cor = writer->cor();
    c.sliceNo = from;
    c.autoExec = autoExec;
    c.setSeries(QString::number(from), QString::number(to), QString::number(step));
    c.threads = threads;
    return c;
}

QList<int> TstCt2Run::runAndWait(const CtCond& c, QList<int>* dealtAtOnce, QList<int>* workersUsed)
{
    QSignalSpy dealt(run, &CtRun::startCt);
    QSignalSpy finished(run, &CtRun::calcFinished);
    run->start(withCond(c));
    if (dealtAtOnce)
        for (const auto& a : dealt)
            *dealtAtOnce << a.at(1).value<CtJob>().slice;
    if (finished.isEmpty())
        finished.wait(60000);
    // Every request handed out has reported back, so no late worker signal can
    // start anything more; deliver the panel updates they posted.
    [&] { QVERIFY(QTest::qWaitFor([&] { return run->pendingCount() == 0; }, 60000)); }();
    QCoreApplication::sendPostedEvents();
    QList<int> slices;
    for (const auto& a : dealt) {
        slices << a.at(1).value<CtJob>().slice;
        if (workersUsed)
            *workersUsed << run->workerList().indexOf(a.at(0).value<CtCalc2*>());
    }
    [&] { QCOMPARE(finished.count(), 1); }();
    [&] { QVERIFY(!run->active); }();
    [&] { QCOMPARE(run->pendingCount(), 0); }();
    return slices;
}

QStringList TstCt2Run::dataFiles() const
{
    return QDir(outDir).entryList(QDir::Files, QDir::Name);
}

void TstCt2Run::series_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("threads");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<QList<int>>("atOnce");
    QTest::newRow("0 to 10 by 5, 2 threads") << 0 << 10 << 5 << 2 << ints({0, 5, 10}) << ints({0, 5});
    QTest::newRow("10 to 0 by 5") << 10 << 0 << 5 << 2 << ints({10, 5, 0}) << ints({10, 5});
    QTest::newRow("10 to 0 by -5") << 10 << 0 << -5 << 4 << ints({10, 5, 0}) << ints({10, 5, 0});
    QTest::newRow("from equals to") << 7 << 7 << 3 << 4 << ints({7}) << ints({7});
    QTest::newRow("one thread") << 2 << 6 << 2 << 1 << ints({2, 4, 6}) << ints({2});
    QTest::newRow("step 0") << 3 << 9 << 0 << 4 << ints({3}) << ints({3});
    QTest::newRow("more threads than slices") << 0 << 1 << 1 << 4 << ints({0, 1}) << ints({0, 1});
    QTest::newRow("threads beyond the pool") << 0 << 5 << 1 << 32 << ints({0, 1, 2, 3, 4, 5})
                                             << ints({0, 1, 2, 3});
}

void TstCt2Run::series()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, step);
    QFETCH(int, threads);
    QFETCH(QList<int>, expected);
    QFETCH(QList<int>, atOnce);
    QList<int> first, used;
    const QList<int> slices = runAndWait(cond(from, to, step, threads), &first, &used);
    QCOMPARE(slices, expected);
    // No more slices go out at once than the machine computes at once.
    QCOMPARE(first, atOnce.mid(0, qMax(1, QThread::idealThreadCount())));
    for (int w : used)
        QVERIFY(w >= 0 && w < qMin(threads, run->count()));
    QStringList names;
    for (int s : expected)
        names << QString::asprintf("res-%05d.dat", s);
    names << "res-run.json";
    names.sort();
    QCOMPARE(dataFiles(), names);
}

// A run that cannot produce anything, or asks for slices or regions off the
// image, is refused with one message: nothing dealt, nothing written.
void TstCt2Run::refused_data()
{
    QTest::addColumn<bool>("autoExec");
    QTest::addColumn<bool>("ct1");
    QTest::addColumn<bool>("ct2");
    QTest::addColumn<int>("threads");
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QList<double>>("region");  // empty: the whole image
    QTest::addColumn<QString>("why");
    const double cor = 97.5;
    const QList<double> whole;
    QTest::newRow("series with no threads") << true << false << true << 0 << cor << 0 << 4 << whole << "Threads is 0";
    QTest::newRow("series with CT1 only") << true << true << false << 4 << cor << 0 << 4 << whole << "series needs CT2";
    QTest::newRow("no calculator") << false << false << false << 4 << cor << 0 << 4 << whole << "no calculator";
    QTest::newRow("centre below 1") << true << false << true << 2 << 0.5 << 0 << 6 << whole << "centre of rotation 0.5";
    QTest::newRow("centre at the far edge") << true << false << true << 2 << 199.5 << 0 << 6 << whole << "usable 2 to 197";
    QTest::newRow("centre within a pixel of it") << true << false << true << 2 << 198.5 << 0 << 6 << whole << "outside the image";
    QTest::newRow("centre NaN") << false << false << true << 2 << qQNaN() << 3 << 3 << whole << "centre of rotation nan";
    QTest::newRow("slice beyond") << false << false << true << 1 << cor << 16 << 16 << whole << "slice 16 is outside the image (valid slices 0 to 15)";
    QTest::newRow("series to INT_MAX") << true << false << true << 2 << cor << 0 << 2147483647 << whole << "slices 0 to 2147483647 are outside";
    QTest::newRow("series from -1") << true << false << true << 2 << cor << -1 << 3 << whole << "slices -1 to 3";
    QTest::newRow("NaN region") << true << false << true << 2 << cor << 0 << 3 << QList<double>{0, 0, qQNaN(), 10} << "is not a number";
    QTest::newRow("reversed region") << true << false << true << 2 << cor << 0 << 3 << QList<double>{50, 50, 10, 80} << "is empty";
    QTest::newRow("region off the image") << true << false << true << 2 << cor << 0 << 3 << QList<double>{200, 0, 260, 40} << "lies outside the 192 x 192 image";
    QTest::newRow("region far too large") << false << false << true << 1 << cor << 3 << 3 << QList<double>{0, 0, 1e9, 1e9} << "too large";
}

void TstCt2Run::refused()
{
    QFETCH(bool, autoExec);
    QFETCH(bool, ct1);
    QFETCH(bool, ct2);
    QFETCH(int, threads);
    QFETCH(double, cor);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QList<double>, region);
    QFETCH(QString, why);
    CtCond c = cond(from, to, 1, threads, autoExec);
    c.ct1 = ct1;
    c.ct2 = ct2;
    c.cor = cor;
    if (!region.isEmpty()) {
        view.wholeImage = false;
        view.region = CtRegion{region[0], region[1], region[2], region[3]};
    }
    Failures::reset();
    QSignalSpy ct1Spy(&run->ct1(), &SliceStepper::started);
    QSignalSpy stopped(run, &CtRun::runStopped);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Run refused: .*" + QRegularExpression::escape(why)));
    const QList<int> slices = runAndWait(c);
    QVERIFY(slices.isEmpty());
    QCOMPARE(ct1Spy.count(), 0);
    QCOMPARE(stopped.count(), 1);
    QVERIFY2(run->refusal().contains(why), qPrintable(run->refusal()));
    QCOMPARE(Failures::count(Failures::Run), 1);
    QCOMPARE(Failures::total(), 1);
    QVERIFY(run->endTime.isValid());
    QVERIFY(QDir(outDir).isEmpty());
}

// Filter, pixel size and ring removal that a panel let through unchecked.
void TstCt2Run::refusedSettings_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<double>("cutoff");
    QTest::addColumn<double>("pixel");
    QTest::addColumn<int>("rings");
    QTest::addColumn<QString>("why");
    QTest::newRow("unknown filter") << "parzen" << 1.0 << 0.0 << 0 << "filter: unknown filter \"parzen\"";
    QTest::newRow("cutoff not a number") << "hann" << qQNaN() << 0.0 << 0 << "filter: cutoff nan is not above 0";
    QTest::newRow("cutoff on the unpadded ramp") << "ramp-unpadded" << 0.5 << 0.0 << 0 << "takes no cutoff";
    QTest::newRow("pixel size not a number") << "ramp" << 1.0 << qQNaN() << 0 << "pixel size nan";
    QTest::newRow("negative pixel size") << "ramp" << 1.0 << -3.0 << 0 << "pixel size -3";
    QTest::newRow("ring size too large") << "ramp" << 1.0 << 0.0 << 5000 << "ring removal size 5000 is outside 0 to 1001";
}

void TstCt2Run::refusedSettings()
{
    QFETCH(QString, filter);
    QFETCH(double, cutoff);
    QFETCH(double, pixel);
    QFETCH(int, rings);
    QFETCH(QString, why);
    CtCond c = cond(0, 3, 1, 2, true);
    c.filter.name = filter;
    c.filter.cutoff = cutoff;
    c.pixelSizeUm = pixel;
    c.ringSize = rings;
    Failures::reset();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Run refused: .*" + QRegularExpression::escape(why)));
    QVERIFY(runAndWait(c).isEmpty());
    QVERIFY2(run->refusal().contains(why), qPrintable(run->refusal()));
    QCOMPARE(Failures::count(Failures::Run), 1);
    QVERIFY(QDir(outDir).isEmpty());
}

// n + 1 images ending at 180 degrees: the run uses the first n, so the
// slice equals the half-turn slice of those n, byte for byte.
void TstCt2Run::halfTurnWithItsLastImage()
{
    QCOMPARE(runAndWait(cond(6, 6, 1, 1)), ints({6}));
    QFile plain(outDir + "/res-00006.dat");
    QVERIFY(plain.open(QIODevice::ReadOnly));
    const QByteArray half = plain.readAll();
    plain.close();
    QVERIFY(plain.remove());

    ImgDatas more;
    for (const ImgData* img : set.imgs)
        QVERIFY(more.addFile(img->fileName));
    // Any image at all: it must not count.
    QVERIFY(more.addFile(set.imgs.at(45)->fileName));
    more.i0Img = &i0;
    more.bgImg = &bg;
    run->images = &more;
    CtCond c = cond(6, 6, 1, 1);
    c.angles = AngularRange::HalfInclusive;
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("the last image, .* is not used"));
    QCOMPARE(runAndWait(c), ints({6}));
    QFile inclusive(outDir + "/res-00006.dat");
    QVERIFY(inclusive.open(QIODevice::ReadOnly));
    QVERIFY(half.size() > 1000);
    QVERIFY(inclusive.readAll() == half);
    QCOMPARE(run->report().projections, 180);
    QCOMPARE(run->report().angles, QStringLiteral("half-inclusive"));
    run->images = &set;
}

// A refused run leaves the last result alone; nothing stale is written.
void TstCt2Run::refusedRunKeepsLastResult()
{
    QCOMPARE(runAndWait(cond(3, 3, 1, 1)), ints({3}));
    QVERIFY(run->refusal().isEmpty());
    CtCond bad = cond(4, 4, 1, 1);
    bad.cor = 0.5;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Run refused: centre"));
    QCOMPARE(runAndWait(bad), QList<int>());
    QCOMPARE(dataFiles(), QStringList({"res-00003.dat", "res-run.json"}));
    QCOMPARE(run->worker(0)->lastResult()->slice, 3);
}

// The worker hands back the job it ran, the data and a picture drawn with the
// job's colour scale, its range taken from the data.
void TstCt2Run::resultCarriesJobAndPicture()
{
    view.colours = ColorSnapshot(0, 1, 0.25, 0.75, false);
    QSignalSpy results(run, &CtRun::sliceFinished);
    QCOMPARE(runAndWait(cond(9, 9, 1, 1, false)), ints({9}));
    QCOMPARE(results.count(), 1);
    const CtResult r = results.at(0).at(0).value<CtResult>();
    QVERIFY(r.ok());
    const int n = r.data->n;
    QCOMPARE(n, 2 * 97 - 2);
    QCOMPARE(r.job.slice, 9);
    QCOMPARE(r.job.cor, writer->cor());
    QCOMPARE(r.data.get(), run->worker(0)->lastResult().get());
    QCOMPARE(r.data->region.x1, double(n));
    QCOMPARE(r.colours.vMax, r.data->maxV);
    QCOMPARE(r.colours.cMin, 0.25);
    ColorSnapshot expected(r.data->minV, r.data->maxV, 0.25, 0.75, false);
    QCOMPARE(r.picture, greyImage(r.data->image.data(), n, n, expected));
    QVERIFY(r.startTime <= r.endTime);
    QCOMPARE(r.written, QStringList{QDir(outDir).absoluteFilePath("res-00009.dat")});
    // A fixed scale keeps its range.
    // Taken in this thread: the signal is emitted in the worker's.
    QList<CtResult> drawn;
    connect(run->worker(0), &CtCalc2::imageRendered, this, [&](const CtResult& r) { drawn << r; });
    const ColorSnapshot fixed(-1, 1, 0, 1, true);
    QMetaObject::invokeMethod(run->worker(0), [w = run->worker(0), fixed] { w->genResImage(fixed); });
    QTRY_COMPARE_WITH_TIMEOUT(drawn.count(), 1, 60000);
    const CtResult again = drawn.at(0);
    QCOMPARE(again.colours.vMin, -1.0);
    QCOMPARE(again.picture, greyImage(r.data->image.data(), n, n, fixed));
    // The header announces the region the worker used.
    QFile f(outDir + "/res-00009.dat");
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readLine().startsWith("#ZUVO-CTImg"));
    f.readLine(); f.readLine(); f.readLine(); f.readLine();
    QCOMPARE(f.readLine(), QString("# sx,sy, ex,ey   : 0\t0\t%1\t%1\n").arg(n).toLatin1());
    int lines = 0;
    while (!f.readLine().isEmpty())
        ++lines;
    QCOMPARE(lines, n * n);
}

void TstCt2Run::regionBeyondImage()
{
    const int n = 2 * 97 - 2;
    view.wholeImage = false;
    view.region = CtRegion{double(n - 8), -2, double(n + 4), 1};
    QCOMPARE(runAndWait(cond(5, 5, 1, 1)), ints({5}));
    QCOMPARE(run->worker(0)->lastResult()->n, n);
    QFile f(outDir + "/res-00005.dat");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    // Six header lines, 12 x 3 grid lines, and the empty piece after the last line end.
    QCOMPARE(lines.size(), 6 + 36 + 1);
    QCOMPARE(lines[6], QString("%1\t-2\t0").arg(n - 8).toLatin1());
    QCOMPARE(lines[6 + 24 + 8], QString("%1\t0\t0").arg(n).toLatin1());
    QCOMPARE(lines[41], QString("%1\t0\t0").arg(n + 3).toLatin1());
}

void TstCt2Run::phantomSlice()
{
    const int slice = int(writer->axisCentre());
    QCOMPARE(runAndWait(cond(slice, slice, 1, 1)), ints({slice}));
    const auto r = run->worker(0)->lastResult();
    QVERIFY(r);
    const int n = r->n;
    const Phantom ph = writer->phantom(0);
    const double Y = slice - writer->axisCentre();
    const double h = n / 2.0;
    double sn = 0, sr = 0, st = 0;
    std::vector<double> rec, truth;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x)
            if (std::hypot(x - h, z - h) < 0.9 * h) {
                rec.push_back(r->image[size_t(z) * n + x] / (2.0 * writer->options().nProj));
                truth.push_back(ph.mu(x - h, Y, z - h));
                sn += 1;
                sr += rec.back();
                st += truth.back();
            }
    double srt = 0, srr = 0, stt = 0;
    for (size_t i = 0; i < rec.size(); ++i) {
        const double a = rec[i] - sr / sn, b = truth[i] - st / sn;
        srt += a * b;
        srr += a * a;
        stt += b * b;
    }
    const double corr = srt / std::sqrt(srr * stt);
    const double gain = srt / stt;
    QVERIFY2(corr >= 0.9, qPrintable(QString::number(corr)));
    QVERIFY2(std::fabs(gain - 1) <= 0.2, qPrintable(QString::number(gain)));
}

void TstCt2Run::poolOfNone()
{
    CtRun empty;
    empty.createPool(0);
    empty.createPool(-3);
    QCOMPARE(empty.count(), 0);
    QVERIFY(!empty.worker(0));
    run->createPool(2);  // a pool exists already
    QCOMPARE(run->count(), 4);
}

void TstCt2Run::savedPictureAndFailedData()
{
    Failures::reset();
    settings.image.on = true;
    settings.image.path = outDir;
    settings.image.name = QStringLiteral("x.tif");
    settings.image.tag = QStringLiteral("A");
    settings.data.path = outDir + "/missing";
    // The picture holds the part of the image the display shows.
    view.pictureRect = QRectF(10.5, 20, 100, 50.7);
    QSignalSpy results(run, &CtRun::sliceFinished);
    const QString datPath = QDir(outDir + "/missing").absoluteFilePath("res-00007.dat");
    QTest::ignoreMessage(QtWarningMsg, qPrintable("Can't open " + datPath + " to write CT data: No such file or directory"));
    // The report goes where the data files were to go, and cannot be written there either.
    const QString reportPath = QDir(outDir + "/missing").absoluteFilePath("res-run.json");
    QTest::ignoreMessage(QtWarningMsg, qPrintable("Can't write " + reportPath + ": No such file or directory"));
    QCOMPARE(runAndWait(cond(7, 7, 1, 1)), ints({7}));
    QCOMPARE(dataFiles(), QStringList{"x-A-00007.png"});
    const CtResult r = results.at(0).at(0).value<CtResult>();
    QCOMPARE(r.failures, QStringList{"Can't open " + datPath + " to write CT data: No such file or directory"});
    const QImage saved(outDir + "/x-A-00007.png");
    QCOMPARE(saved.size(), QSize(100, 50));
    QCOMPARE(saved, r.picture.copy(10, 20, 100, 50).convertToFormat(saved.format()));
    QCOMPARE(run->reportPath(), reportPath);
    QCOMPARE(Failures::count(Failures::Write), 2);
}

// Float TIFFs are named like the data files (their tag included), in their
// directory unless given one; a failed one fails only itself.
void TstCt2Run::floatTiff_data()
{
    QTest::addColumn<QString>("dir");    // under outDir; empty: the data files'
    QTest::addColumn<QString>("name");   // empty: the data files'
    QTest::addColumn<QString>("file");   // expected, under outDir; empty: fails
    QTest::newRow("beside the data files") << "" << "" << "res-E7-00007.tif";
    QTest::newRow("own directory and name") << "t" << "f.tif" << "t/f-E7-00007.tif";
    QTest::newRow("missing directory") << "missing" << "" << "";
}

void TstCt2Run::floatTiff()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(QString, file);
    Failures::reset();
    QDir(outDir).mkpath("t");
    settings.data.tag = QStringLiteral("E7");
    settings.tiff.on = true;
    settings.tiff.path = dir.isEmpty() ? QString() : outDir + "/" + dir;
    settings.tiff.name = name;
    view.wholeImage = false;
    view.region = CtRegion{10.5, 20, 60, 45.2};
    QSignalSpy results(run, &CtRun::sliceFinished);
    const QString missing = QDir(outDir + "/missing").absoluteFilePath("res-E7-00007.tif");
    if (file.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Can't write float TIFF " + QRegularExpression::escape(missing)
                                                              + ": .*No such file or directory"));
    QCOMPARE(runAndWait(cond(7, 7, 1, 1)), ints({7}));
    const CtResult r = results.at(0).at(0).value<CtResult>();
    QVERIFY(r.written.contains(outDir + "/res-E7-00007.dat"));
    QCOMPARE(Failures::count(Failures::Write), file.isEmpty() ? 1 : 0);
    if (file.isEmpty()) {
        QCOMPARE(r.failures.size(), 1);
        QVERIFY(!QFileInfo::exists(missing));
        QCOMPARE(run->report().failures, r.failures);
        return;
    }
    const QString path = outDir + "/" + file;
    QVERIFY(r.written.contains(path));
    QVERIFY(run->report().written.contains(path));
    // The data file is hashed as it is written, the TIFF read back: the
    // report's size and digest are the file's either way.
    QCOMPARE(run->report().files.size(), 2);
    for (const QJsonObject& record : run->report().files) {
        const QString f = record.value("file").toString();
        QCOMPARE(qint64(record.value("size").toDouble()), QFileInfo(f).size());
        QCOMPARE(record.value("sha256").toString(), sha256sum(f));
    }
    int bits = 0;
    QVERIFY(TiffSampleWriter::description(path, &bits).startsWith("ZUVO-CTImg slice=7 x0=10 z0=20 width=50 height=26"));
    QCOMPARE(bits, 32);
    std::unique_ptr<ImgData> img(loadImgData(path));
    QVERIFY(img && img->ready);
    QCOMPARE(img->width, 50);
    QCOMPARE(img->height, 26);
    const CtSlice& s = *r.data;
    std::vector<double> row(50);
    for (int z = 0; z < 26; ++z) {
        img->readRow(z, row.data());
        for (int x = 0; x < 50; ++x)
            QCOMPARE(row[size_t(x)], double(float(s.image[size_t(20 + z) * s.n + size_t(10 + x)])));
    }
}

// A stop hands out nothing more; slices in progress still finish, and a new
// run waits for a worker still busy with the old one.
void TstCt2Run::stopAndRestart()
{
    QSignalSpy dealt(run, &CtRun::startCt);
    run->start(withCond(cond(0, 15, 1, 2)));
    QCOMPARE(dealt.count(), 2);
    run->stopCalcCt();
    QVERIFY(!run->active);
    run->start(withCond(cond(12, 12, 1, 1, false)));
    QTRY_VERIFY_WITH_TIMEOUT(!run->active, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(run->pendingCount(), 0, 60000);
    QList<int> slices;
    for (const auto& a : dealt)
        slices << a.at(1).value<CtJob>().slice;
    QCOMPARE(slices, ints({0, 1, 12}));
    QCOMPARE(dataFiles(), QStringList({"res-00000.dat", "res-00001.dat", "res-00012.dat", "res-run.json"}));
    QCOMPARE(run->worker(0)->lastResult()->slice, 12);
}

// A run with a correction returns at once with nothing dealt while another
// thread corrects the projections; a stop then ends it with nothing written
// and the inputs free; the next run deals its slices on the corrected set.
void TstCt2Run::correctionsRunBesideTheCallerAndStop()
{
    CtCond c = cond(0, 3, 1, 2);
    c.zingerThreshold = 5;
    QSignalSpy dealt(run, &CtRun::startCt);
    QSignalSpy ended(run, &CtRun::correctionsEnded);
    run->start(withCond(c));
    QVERIFY(run->active);
    QVERIFY(run->correcting());
    QCOMPARE(dealt.count(), 0);
    QCOMPARE(run->progress().total, 180);
    run->stopCalcCt();
    QVERIFY(!run->active);
    QTRY_VERIFY_WITH_TIMEOUT(!run->correcting(), 60000);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(dealt.count(), 0);
    QCOMPARE(dataFiles(), QStringList());
    QCOMPARE(runAndWait(c), ints({0, 1, 2, 3}));
    // The corrected set (gone with the run) was read, not the loaded one.
    QVERIFY(dealt.first().at(1).value<CtJob>().images != &set);
    QCOMPARE(dataFiles().size(), 5);
}

void TstCt2Run::sinogramViewIsTheRunsSinogram_data()
{
    QTest::addColumn<int>("binning");
    QTest::addColumn<QString>("phase");
    QTest::addColumn<QString>("angles");
    // Of the run sinogram's range; the view's lines are only those around the slice.
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("binning 2") << 2 << "0" << "half" << 0.0 << "";
    QTest::newRow("phase retrieval") << 1 << "300,50,20" << "half" << 0.01 << "";
    QTest::newRow("binning and phase retrieval") << 2 << "300,50,20" << "half" << 0.01 << "";
    QTest::newRow("offset axis about the middle") << 1 << "0" << "full-offset" << 0.0 << "near the middle";
}

// The sinogram panel shows, from the lines around the slice, the sinogram a
// run makes from its corrected projections; settings a run refuses give no
// view and say why.
void TstCt2Run::sinogramViewIsTheRunsSinogram()
{
    QFETCH(int, binning);
    QFETCH(QString, phase);
    QFETCH(QString, angles);
    QFETCH(double, tolerance);
    QFETCH(QString, refusal);
    CtCond c = cond(7, 7, 1, 1, false);
    c.binning = binning;
    c.pixelSizeUm = 1;
    QVERIFY(PaganinParams::parse(phase, c.paganin, nullptr));
    QVERIFY(CtCond::angularRange(angles, c.angles));
    HSgm view;
    QString why;
    const bool ok = CorrectedSeries::sinogramOf(set, c, &view, &why);
    if (!refusal.isEmpty()) {
        QVERIFY(!ok);
        QVERIFY2(why.contains(refusal), qPrintable(why));
        return;
    }
    QVERIFY2(ok, qPrintable(why));
    Corrections k;
    k.paganin = c.paganin;
    k.binning = binning;
    CorrectedSeries whole;
    QVERIFY2(whole.build(set, true, c.pixelSizeUm, k, 2, &why), qPrintable(why));
    HSgm runs;
    genSinogram(*whole.set(), &runs, true, binnedPosition(c.cor, binning), c.sliceNo / binning);
    QCOMPARE(view.nx, runs.nx);
    QCOMPARE(view.nth, runs.nth);
    QVERIFY(runs.nx > 0);
    const auto [lo, hi] = std::minmax_element(runs.absorb.begin(), runs.absorb.end());
    double worst = 0;
    for (size_t i = 0; i < runs.absorb.size(); ++i)
        worst = std::max(worst, std::fabs(view.absorb[i] - runs.absorb[i]));
    QVERIFY2(worst <= tolerance * (*hi - *lo), qPrintable(QString::number(worst / (*hi - *lo))));
}

// The report beside the data files names what went in and every file out.
void TstCt2Run::reportListsRun()
{
    settings.data.tag = QStringLiteral("E1");
    settings.pattern = QStringLiteral("ct-*.img");
    QCOMPARE(runAndWait(cond(2, 6, 2, 2)), ints({2, 4, 6}));
    QFile f(outDir + "/res-E1-run.json");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    QCOMPARE(o.value("version").toString(), CtRunReport::programVersion());
    QCOMPARE(o.value("fileCount").toInt(), 180);
    QCOMPARE(o.value("imageSize").toArray(), (QJsonArray{200, 16}));
    QCOMPARE(o.value("pattern").toString(), QStringLiteral("ct-*.img"));
    QCOMPARE(o.value("inputDir").toString(), QFileInfo(set.at(0)->fileName).absolutePath());
    QVERIFY(o.value("i0").toString().endsWith(writer->i0Name(0)));
    QCOMPARE(o.value("centre").toDouble(), 97.5);
    QCOMPARE(o.value("axis").toString(), QStringLiteral("v"));
    QCOMPARE(o.value("region").toString(), QStringLiteral("whole"));
    QCOMPARE(o.value("slices").toObject(), (QJsonObject{{"from", 2}, {"to", 6}, {"step", 2}}));
    QCOMPARE(o.value("threads").toInt(), 2);
    QStringList written;
    for (const QJsonValue& v : o.value("written").toArray())
        written << QFileInfo(v.toString()).fileName();
    written.sort();
    QCOMPARE(written, QStringList({"res-E1-00002.dat", "res-E1-00004.dat", "res-E1-00006.dat"}));
    QVERIFY(o.value("failures").toArray().isEmpty());
    QVERIFY(QDateTime::fromString(o.value("start").toString(), Qt::ISODateWithMs).isValid());
    // Names the report takes: tag and suffix as the data files, a pattern
    // made from the file names when none was given.
    QCOMPARE(CtRunReport::fileName("ct.dat", ""), QStringLiteral("ct-run.json"));
    QCOMPARE(CtRunReport::fileName("", ""), QStringLiteral("run.json"));
    QCOMPARE(CtRunReport::namePattern({"ct-0001.img", "ct-0002.img", "ct-0010.img"}), QStringLiteral("ct-00*.img"));
    QCOMPARE(CtRunReport::namePattern({"a.img", "ab.img"}), QStringLiteral("a*.img"));
}

// A slice that comes back with neither a result nor a failure of its own
// (here an I0 of another size that no name ties to the run, so nothing
// refuses it first, and no slice has a sinogram) fails the run: a window's
// "-q" then exits non-zero, and the report names each slice.
void TstCt2Run::sliceWithoutResultIsAFailure()
{
    std::unique_ptr<ImgData> odd(ImgDataMem::fromPixels(QStringLiteral("odd-i0"), 100, 16, ImgDataMem::U16,
                                                        QByteArray(100 * 16 * 2, '\x40')));
    QVERIFY(odd);
    ImgData* other = odd.get();
    set.i0Img = &other;
    const auto restore = qScopeGuard([this] { set.i0Img = &i0; });
    const int failures = Failures::count(Failures::Run);
    const QList<int> dealt = runAndWait(cond(2, 4, 1, 2));
    QCOMPARE(dealt, ints({2, 3, 4}));
    QCOMPARE(Failures::count(Failures::Run), failures + 3);
    QCOMPARE(dataFiles(), QStringList{"res-run.json"});
    QFile f(outDir + "/res-run.json");
    QVERIFY(f.open(QIODevice::ReadOnly));
    QStringList named;
    for (const QJsonValue& v : QJsonDocument::fromJson(f.readAll()).object().value("failures").toArray())
        named << v.toString();
    named.sort();
    QCOMPARE(named, QStringList({"Slice 2 gave no result", "Slice 3 gave no result", "Slice 4 gave no result"}));
}

// A run in single precision (the default) writes what one in double does
// within 2e-6 of the slice's value range, and the report says which it was.
void TstCt2Run::precisions()
{
    QCOMPARE(settings.precision, FbpKernel::Precision::Single);
    std::shared_ptr<const CtSlice> slices[2];
    for (FbpKernel::Precision p : {FbpKernel::Precision::Double, FbpKernel::Precision::Single}) {
        settings.precision = p;
        QCOMPARE(runAndWait(cond(8, 8, 1, 1)), ints({8}));
        slices[int(p)] = run->worker(0)->lastResult();
        QFile f(outDir + "/res-run.json");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(f.readAll()).object().value("precision").toString(),
                 QString(FbpKernel::precisionName(p)));
    }
    const CtSlice& d = *slices[0];
    const CtSlice& s = *slices[1];
    QCOMPARE(s.image.size(), d.image.size());
    double worst = 0;
    for (size_t i = 0; i < d.image.size(); ++i)
        worst = std::max(worst, std::fabs(s.image[i] - d.image[i]));
    QVERIFY(d.maxV > d.minV);
    QVERIFY2(worst <= 2e-6 * (d.maxV - d.minV), qPrintable(QString::number(worst / (d.maxV - d.minV))));
}

void TstCt2Run::ct1AndCt2WriteOneSlice_data()
{
    QTest::addColumn<bool>("region");
    QTest::addColumn<bool>("paced");
    QTest::newRow("whole image, at once") << false << false;
    QTest::newRow("region, one projection per step") << true << true;
}

// CT1 and CT2 on the same settings and slice: the same files under the same
// names from the same path builder and writer, CT1's values the mean of the
// back-projections where CT2's are their sum, and the float TIFFs of both
// giving the same mu.
void TstCt2Run::ct1AndCt2WriteOneSlice()
{
    QFETCH(bool, region);
    QFETCH(bool, paced);
    settings.data.tag = QStringLiteral("E7");
    settings.tiff.on = true;
    settings.precision = FbpKernel::Precision::Double;
    if (region) {
        view.wholeImage = false;
        view.region = CtRegion{10.5, 20, 60, 45.2};
    }
    run->ct1().paced = paced;
    QStringList text[2];
    std::vector<float> tiff[2];
    QString description[2];
    for (int k = 0; k < 2; ++k) {
        settings.data.path = outDir + (k ? "/ct2" : "/ct1");
        QDir().mkpath(settings.data.path);
        CtCond c = cond(7, 7, 1, 1, false);
        c.ct1 = k == 0;
        c.ct2 = k == 1;
        QSignalSpy finished(run, &CtRun::calcFinished);
        QSignalSpy slices(run, &CtRun::sliceFinished);
        run->start(withCond(c));
        QVERIFY(finished.count() == 1 || finished.wait(30000));
        QVERIFY(QTest::qWaitFor([&] { return slices.count() == 1 && run->pendingCount() == 0; }, 30000));
        const CtResult r = slices.at(0).at(0).value<CtResult>();
        QVERIFY(r.failures.isEmpty());
        const QString dat = settings.data.path + "/res-E7-00007.dat", tif = settings.data.path + "/res-E7-00007.tif";
        QCOMPARE(r.written, QStringList({dat, tif}));
        QCOMPARE(run->report().written, r.written);
        QCOMPARE(QDir(settings.data.path).entryList(QDir::Files), QStringList({"res-E7-00007.dat", "res-E7-00007.tif", "res-E7-run.json"}));
        QFile f(dat);
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        text[k] = QString::fromLatin1(f.readAll()).split('\n');
        description[k] = TiffSampleWriter::description(tif);
        std::unique_ptr<ImgData> img(loadImgData(tif));
        QVERIFY(img && img->ready);
        std::vector<double> row(size_t(img->width));
        for (int z = 0; z < img->height; ++z) {
            img->readRow(z, row.data());
            tiff[k].insert(tiff[k].end(), row.begin(), row.end());
        }
    }
    // The same header and pixels; values within the six digits written.
    QCOMPARE(text[0].size(), text[1].size());
    QVERIFY(text[0].size() > 100);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(text[0][i], text[1][i]);
    double big = 0;
    for (int i = 6; i + 1 < text[1].size(); ++i)
        big = std::max(big, std::fabs(text[1][i].section('\t', 2).toDouble()));
    QVERIFY(big > 0);
    const int nProj = writer->options().nProj;
    for (int i = 6; i + 1 < text[0].size(); ++i) {
        QCOMPARE(text[0][i].section('\t', 0, 1), text[1][i].section('\t', 0, 1));
        const double mean = text[0][i].section('\t', 2).toDouble(), sum = text[1][i].section('\t', 2).toDouble();
        QVERIFY2(std::fabs(mean * nProj - sum) <= 1e-5 * big, qPrintable(text[0][i] + " x nProj != " + text[1][i]));
    }
    QVERIFY2(description[0].contains("mu_per_pixel=value/2 "), qPrintable(description[0]));
    QVERIFY2(description[1].contains(QString("mu_per_pixel=value/%1 ").arg(2 * nProj)), qPrintable(description[1]));
    QCOMPARE(tiff[0].size(), tiff[1].size());
    for (size_t i = 0; i < tiff[0].size(); ++i)
        QVERIFY(std::fabs(double(tiff[0][i]) * nProj - double(tiff[1][i])) <= 1e-5 * big);
}

// With a centre line CT1 reconstructs about the line's centre at its slice,
// the centre the run records, not the single centre.
void TstCt2Run::ct1TakesTheRunsCentreLine()
{
    CtCond c = cond(7, 7, 1, 1, false);
    c.ct1 = true;
    c.ct2 = false;
    c.cor = writer->cor() - 6;
    c.corFit = true;
    c.corSlope = 0.25;
    c.corAt0 = writer->cor() - 7 * c.corSlope;
    QSignalSpy started(&run->ct1(), &SliceStepper::started);
    QSignalSpy finished(run, &CtRun::calcFinished);
    run->start(withCond(c));
    QVERIFY(finished.count() == 1 || finished.wait(30000));
    QCOMPARE(started.count(), 1);
    const CtJob job = started.first().at(0).value<CtJob>();
    QCOMPARE(job.cor, writer->cor());
    QCOMPARE(job.slice, 7);
    QCOMPARE(run->report().cor, c.cor);
    QVERIFY(run->report().corFit);
}

QTEST_GUILESS_MAIN(TstCt2Run)
#include "tst_ct2run.moc"
