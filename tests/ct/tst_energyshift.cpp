// Drift between the energies of a CT-XAFS series, applied at reconstruction:
// a set whose projections moved by a known sub-pixel shift, reconstructed
// with the shifts table, shows its slice where the reference set does; runs
// whose shift cannot apply are refused by name.
#include "CtCalc2.h"
#include "CtRun.h"
#include "EnergyShifts.h"
#include "ImgDataMem.h"
#include "ImgDatas.h"
#include "Phantom.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {
constexpr int across = 64, along = 24, nProj = 90, slice = 12;
constexpr double cor = 31.5;

// The head seen moved by (dx, dz) on the detector (columns, rows), named
// after its energy; the axis vertical (slices are rows) or horizontal.
void makeSet(ImgDatas& set, const QString& energy, double dx, double dz, bool axisV)
{
    const Phantom ph = Phantom::head(24, 9);
    const int w = axisV ? across : along, h = axisV ? along : across;
    const double dAcross = axisV ? dx : dz, dAlong = axisV ? dz : dx;
    auto image = [&](const QString& name, const std::vector<double>& v) {
        QByteArray bytes(reinterpret_cast<const char*>(v.data()), qsizetype(v.size() * sizeof(double)));
        return ImgDataMem::fromPixels(name, w, h, ImgDataMem::F64, bytes);
    };
    QList<ImgData*> projs;
    std::vector<double> line(across), v(size_t(w) * h);
    for (int p = 0; p < nProj; ++p) {
        for (int l = 0; l < along; ++l) {
            ph.projectLine(M_PI * p / nProj, l - slice - dAlong, -cor - dAcross, across, line.data());
            for (int k = 0; k < across; ++k)
                v[axisV ? size_t(l) * w + k : size_t(k) * w + l] = 1e4 * std::exp(-line[size_t(k)]);
        }
        projs << image(QStringLiteral("Fe-%1-%2.img").arg(energy).arg(p + 1, 4, 10, QChar('0')), v);
    }
    set.setScan(projs, image("i0", std::vector<double>(v.size(), 1e4)), image("bg", std::vector<double>(v.size(), 0.0)), {});
}

bool writeTable(const QString& path, const QString& rows)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(("energy_eV,dx_px,dz_px\n" + rows).toUtf8()) > 0;
}
} // namespace

class TstEnergyShift : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(tmp.isValid()); }
    void driftedEnergyLinesUpWithTheReference_data();
    void driftedEnergyLinesUpWithTheReference();
    void shiftsThatCannotApplyRefuseTheRun_data();
    void shiftsThatCannotApplyRefuseTheRun();

private:
    // Reconstructs the slice of set with the shifts table; null when refused.
    std::shared_ptr<const CtSlice> reconstruct(ImgDatas& set, const QString& table, bool axisV, QString* refusal = nullptr,
                                               QJsonObject* report = nullptr);
    QTemporaryDir tmp;
};

std::shared_ptr<const CtSlice> TstEnergyShift::reconstruct(ImgDatas& set, const QString& table, bool axisV,
                                                           QString* refusal, QJsonObject* report)
{
    CtRun run;
    run.images = &set;
    run.createPool(1);
    ReconSettings s;
    s.cond.ct2 = true;
    s.cond.rotAxIsV = axisV;
    s.cond.cor = cor;
    s.cond.sliceNo = slice;
    s.shiftsFile = table;
    QSignalSpy done(&run, &CtRun::calcFinished);
    run.start(s);
    if (refusal)
        *refusal = run.refusal();
    if (!run.refusal().isEmpty())
        return nullptr;
    if (done.isEmpty() && !done.wait(30000))
        return nullptr;
    if (!QTest::qWaitFor([&] { return run.pendingCount() == 0; }, 30000))
        return nullptr;
    if (report)
        *report = run.report().toJson();
    return run.worker(0)->lastResult();
}

void TstEnergyShift::driftedEnergyLinesUpWithTheReference_data()
{
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dz");
    QTest::addColumn<bool>("axisV");
    // Slices sampled between detector pixels are smoothed as the reference's
    // are only when both centres have the same fraction (.5): otherwise the
    // picture differs by that smoothing, which the centroid does not see.
    QTest::addColumn<double>("rmsLimit");
    QTest::newRow("across the axis, whole pixels") << 3.0 << 0.0 << true << 0.02;
    QTest::newRow("across the axis, between pixels") << 3.4 << 0.0 << true << 0.3;
    QTest::newRow("along the axis, between lines") << 0.0 << 2.6 << true << 0.07;
    QTest::newRow("both, negative") << -5.0 << -1.7 << true << 0.07;
    QTest::newRow("horizontal axis") << 1.6 << -4.0 << false << 0.07;
}

void TstEnergyShift::driftedEnergyLinesUpWithTheReference()
{
    QFETCH(double, dx);
    QFETCH(double, dz);
    QFETCH(bool, axisV);
    QFETCH(double, rmsLimit);
    const QString shifts = tmp.filePath("shifts.csv"), unshifted = tmp.filePath("unshifted.csv");
    // The second table gives the drifted set no shift but keeps the slice size.
    QVERIFY(writeTable(shifts, QString("7100,0,0\n7112,%1,%2\n").arg(dx).arg(dz)));
    QVERIFY(writeTable(unshifted, QString("7100,0,0\n7112,0,0\n7200,%1,%2\n").arg(dx).arg(dz)));
    ImgDatas ref, drifted;
    makeSet(ref, "7_100keV", 0, 0, axisV);
    makeSet(drifted, "7_112keV", dx, dz, axisV);
    QJsonObject report;
    const auto a = reconstruct(ref, shifts, axisV);
    const auto b = reconstruct(drifted, shifts, axisV, nullptr, &report);
    const auto c = reconstruct(drifted, unshifted, axisV);
    QVERIFY(a && b && c);
    QCOMPARE(b->n, a->n);
    QCOMPARE(c->n, a->n);
    // Relative RMS difference from the reference, and the distance of the centroids.
    const double h = a->n / 2.0;
    auto compare = [&](const CtSlice& s, double& rms, double& moved) {
        double ss = 0, dd = 0, wa = 0, wb = 0, xa = 0, xb = 0, za = 0, zb = 0;
        for (int z = 0; z < a->n; ++z)
            for (int x = 0; x < a->n; ++x) {
                if (std::hypot(x - h, z - h) >= 0.8 * h)
                    continue;
                const size_t i = size_t(z) * a->n + x;
                const double va = a->image[i], vb = s.image[i];
                ss += va * va;
                dd += (vb - va) * (vb - va);
                wa += va, xa += va * x, za += va * z;
                wb += vb, xb += vb * x, zb += vb * z;
            }
        rms = std::sqrt(dd / ss);
        moved = std::hypot(xb / wb - xa / wa, zb / wb - za / wa);
    };
    double err = 0, off = 0, uncorrected = 0, uncorrectedOff = 0;
    compare(*b, err, off);
    compare(*c, uncorrected, uncorrectedOff);
    qInfo("shift (%.1f, %.1f): slice differs from the reference by %.4f (centroid %.3f px) corrected, %.4f (%.3f px) "
          "uncorrected", dx, dz, err, off, uncorrected, uncorrectedOff);
    QVERIFY2(err < rmsLimit, qPrintable(QString::number(err)));
    QVERIFY2(off < 0.1, qPrintable(QString::number(off)));
    QVERIFY2(uncorrected > 2 * err && uncorrected > 0.2, qPrintable(QString::number(uncorrected)));
    const QJsonObject e = report.value("energyShift").toObject();
    QCOMPARE(e.value("dx").toDouble(), dx);
    QCOMPARE(e.value("dz").toDouble(), dz);
    QCOMPARE(e.value("energy").toDouble(), 7112.0);
}

void TstEnergyShift::shiftsThatCannotApplyRefuseTheRun_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("message");
    QTest::newRow("energy missing") << "7100,0,0\n7120,1,1\n" << "no shift for 7112 eV";
    QTest::newRow("slice leaves the detector") << "7112,0,14\n" << "leave the image";
    QTest::newRow("centre leaves the detector") << "7112,0,0\n7150,31,0\n" << "is outside the image";
    QTest::newRow("not numbers") << "7112,left,0\n" << "is not energy,dx,dz";
    QTest::newRow("empty") << "" << "no shift in it";
}

void TstEnergyShift::shiftsThatCannotApplyRefuseTheRun()
{
    QFETCH(QString, table);
    QFETCH(QString, message);
    const QString path = tmp.filePath("bad.csv");
    QFile::remove(path);
    QVERIFY(writeTable(path, table));
    ImgDatas set;
    makeSet(set, "7_112keV", 0, 0, true);
    QString refusal;
    QVERIFY(!reconstruct(set, path, true, &refusal));
    QVERIFY2(refusal.contains(message), qPrintable(refusal));
}

QTEST_GUILESS_MAIN(TstEnergyShift)
#include "tst_energyshift.moc"
