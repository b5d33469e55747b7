// The main window offscreen: batch commands, loading, picks on the raw
// image, calculator exclusions, the overlay's selection, runs and their ends.
#include "TextFile.h"
#include "Body.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CorSweepPanel.h"
#include "CtRun.h"
#include "FieldWidth.h"
#include "Failures.h"
#include "ProcCtrl.h"
#include "WindowFit.h"
#include "SampleWriter.h"
#include "SettingTable.h"

#include <QFontDatabase>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QtTest>

#include <sys/stat.h>

namespace {
QMutex logLock;
QStringList logLines;

void recordMessage(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    QMutexLocker l(&logLock);
    logLines << msg;
}

QStringList takeLog()
{
    QMutexLocker l(&logLock);
    QStringList out = logLines;
    logLines.clear();
    return out;
}

void exec(Body& b, const QString& line)
{
    b.sessionHost().runCommand(BatchCmd(line));
    // Projections load in a thread of their own; a batch line waits for them.
    QVERIFY(QTest::qWaitFor([&] { return !b.isLoading(); }, 30000));
}

bool waitIdle(Body& b, int ms = 10000)
{
    return QTest::qWaitFor([&] { return !b.imagesInUse(); }, ms);
}

CtRegion calcRegionOf(CtCalcBase* p)
{
    return p->calcRegion();
}
} // namespace

class TstBody : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void windowFreeSessionStartsAsTheWindow();
    void windowFreeRunWritesWhatTheWindowWrites_data();
    void windowFreeRunWritesWhatTheWindowWrites();
    void commands_data();
    void commands();
    void loadingResetsSeekAndRegions();
    void seekClamps_data();
    void seekClamps();
    void picksOnRawImage();
    void calculatorExclusions();
    void selectionFollowsTheCentre_data();
    void selectionFollowsTheCentre();
    void loadBringsValuesInside_data();
    void loadBringsValuesInside();
    void calcTwiceStops();
    void picturesWithResultsHidden_data();
    void picturesWithResultsHidden();
    void runsWithoutWorkEndAtOnce_data();
    void runsWithoutWorkEndAtOnce();
    void loadRefusedDuringRun();
    void i0Choice();
    void saveImageOfEachDisplay_data();
    void saveImageOfEachDisplay();
    void closingDuringSeries();
    void runOutput_data();
    void runOutput();
    void japaneseInterface();
    void autoButtonSetsTheCentre();
    void sweepTileSetsTheCentre();

private:
    QTemporaryDir tmp;
    QString ctDir;
    QString xafsDir;
};

void TstBody::initTestCase()
{
    QVERIFY(tmp.isValid());
    SampleOptions o = SampleOptions::small(tmp.filePath("ct"), 160, 48, 12);
    SampleWriter w(o);
    QVERIFY2(w.valid() && w.write(), qPrintable(w.error()));
    ctDir = o.outDir;
    // Sets only need names for listing.
    xafsDir = tmp.filePath("xafs");
    QVERIFY(QDir().mkpath(xafsDir));
    for (const char* n : {"Fe-7_115keV-0001.img", "Fe-7_115keV-0002.img"}) {
        QFile f(xafsDir + "/" + n);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
}

namespace {
// Every run setting as an option gives it, and what else the session holds.
QStringList startValues(const Session& s)
{
    QStringList out;
    for (const SettingTable::Setting& row : SettingTable::settings())
        out << QString("%1 %2").arg(row.key, row.show(s.settings));
    const SessionState& st = s.state;
    const auto i0 = [](const SessionState::I0Source& i) {
        return QString("%1 %2 %3 %4").arg(i.value).arg(i.fromXafs).arg(i.xafsFile, i.energyPattern);
    };
    out << QString("series %1 %2 %3 %4 %5").arg(st.series.replace).arg(st.series.keepConditions).arg(st.series.expTime)
               .arg(st.series.multi).arg(st.series.multiTimes)
        << QString("switches %1 %2 %3 %4").arg(st.sliceLinesOnly).arg(st.i0FilesReplace).arg(st.additionalInfo).arg(st.autoSinogram)
        << QString("exp %1 %2").arg(st.i0ExpTime).arg(st.bgExpTime) << "raw I0 " + i0(st.rawI0) << "I0 I0 " + i0(st.i0I0)
        << QString("colour %1 %2 %3").arg(st.colour.fixed).arg(st.colour.min).arg(st.colour.max)
        << QString("show %1 %2 %3 %4 ct1 %5 ct2 %6").arg(s.settings.showImage).arg(s.settings.image.on).arg(s.settings.data.on)
               .arg(s.settings.tiff.on).arg(s.settings.cond.ct1).arg(s.settings.cond.ct2);
    return out;
}
} // namespace

// `zuvo2 -nw` runs batch programs on a host without a window: it must start
// from what the window's controls start with.
void TstBody::windowFreeSessionStartsAsTheWindow()
{
    Body body;
    SessionHost alone(32);
    alone.begin();
    QCOMPARE(startValues(alone.session()), startValues(body.sessionHost().session()));
}

// Each row: lines before a run of three slices.  The window's CT displays
// give the run its region and colours; without a window the host must give
// the same, so every picture and data file is the same.
void TstBody::windowFreeRunWritesWhatTheWindowWrites_data()
{
    QTest::addColumn<QString>("lines");
    QTest::newRow("whole image") << "";
    QTest::newRow("regions reset by the load") << "images_keep_conditions 0\n";
    QTest::newRow("region by a word") << "ct_set_calc_region 8 10 30 26\n";
    QTest::newRow("fixed colours") << "fix_color_min 0\nfix_color_max 0.02\nfix_color_scale 1\n";
    QTest::newRow("CT1") << "calc_ct1 1\nct_auto_exec 0\n";
}

void TstBody::windowFreeRunWritesWhatTheWindowWrites()
{
    QFETCH(QString, lines);
    const QString program = lines
                            + QString("images_load \"%1\" ct-*.img\ni0_load \"%1/i0/I0.img\"\nbg_load \"%1/bg/BG.img\"\n"
                                      "ct_rot_ax_is_v 1\nct_cor 82.5\nct_proc_slice 20\ncalc_ct2 1\nct_auto_exec 1\n"
                                      "ct_slice_from 20\nct_slice_to 22\nauto_save_data_path out\nauto_save_data 1\n"
                                      "auto_save_image_path out\nauto_save_image 1\n")
                                  .arg(ctDir)
                            + (lines.contains("calc_ct1") ? lines : QString()) + "calc_exec\n";
    QTemporaryDir work;
    QVERIFY(work.isValid());
    QMap<QString, QByteArray> written[2];
    for (int windowFree = 0; windowFree < 2; ++windowFree) {
        const QString here = work.filePath(windowFree ? "alone" : "window");
        QVERIFY(QDir().mkpath(here));
        QVERIFY(QDir::setCurrent(here));
        QVERIFY(writeTextFile("prog.bat", program));
        std::unique_ptr<Body> body(windowFree ? nullptr : new Body);
        std::unique_ptr<SessionHost> alone(windowFree ? new SessionHost(32) : nullptr);
        if (alone)
            alone->begin();
        SessionHost& host = body ? body->sessionHost() : *alone;
        QSignalSpy stopped(&host, &SessionHost::batchStopped);
        host.loadBatch("prog.bat");
        host.execBatch();
        QVERIFY(stopped.wait(30000));
        for (const QFileInfo& f : QDir("out").entryInfoList({"*.png", "*.dat"}, QDir::Files)) {
            QFile in(f.filePath());
            QVERIFY(in.open(QIODevice::ReadOnly));
            written[windowFree][f.fileName()] = in.readAll();
        }
    }
    QVERIFY(written[0].size() >= 2);
    QCOMPARE(written[1].keys(), written[0].keys());
    for (const QString& name : written[0].keys())
        QVERIFY2(written[1][name] == written[0][name], qPrintable(name));
}

// Each row: commands, then the object and property expected afterwards.
void TstBody::commands_data()
{
    QTest::addColumn<QStringList>("cmds");
    QTest::addColumn<QString>("object");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("capitals") << QStringList{"IMAGES_MULTI 1 7"} << "LoadMultiTimes" << QByteArray("checked") << QVariant(true);
    QTest::newRow("multi count") << QStringList{"images_multi 1 7"} << "MultiTimes" << QByteArray("text") << QVariant("7");
    QTest::newRow("multi missing count") << QStringList{"images_multi 2"} << "MultiTimes" << QByteArray("text") << QVariant("0");
    QTest::newRow("multi 2 is off") << QStringList{"images_multi 1 3", "images_multi 2"} << "LoadMultiTimes" << QByteArray("checked") << QVariant(false);
    QTest::newRow("ct1 1.0 clears") << QStringList{"calc_ct1 1.0"} << "SelectCt1" << QByteArray("checked") << QVariant(false);
    QTest::newRow("ct1 1 ticks") << QStringList{"calc_ct2 1", "calc_ct1 1"} << "SelectCt1" << QByteArray("checked") << QVariant(true);
    QTest::newRow("ct2 excludes ct1") << QStringList{"calc_ct2 1"} << "SelectCt1" << QByteArray("checked") << QVariant(false);
    QTest::newRow("rot h 0 is vertical") << QStringList{"ct_rot_ax_is_h 1", "ct_rot_ax_is_h 0"} << "RotAxV" << QByteArray("checked") << QVariant(true);
    QTest::newRow("rot v 1 is vertical") << QStringList{"ct_rot_ax_is_h 1", "ct_rot_ax_is_v 1"} << "RotAxV" << QByteArray("checked") << QVariant(true);
    QTest::newRow("rot h 1") << QStringList{"ct_rot_ax_is_v 1", "ct_rot_ax_is_h 1"} << "RotAxH" << QByteArray("checked") << QVariant(true);
    QTest::newRow("show_ct2 0") << QStringList{"show_ct2 0"} << "ImgsTab" << QByteArray("currentIndex") << QVariant(5);
    // Only the displays of workers a run can use are shown: min(Threads 32, processors).
    QTest::newRow("show_ct2 31") << QStringList{"show_bg", "show_ct2 31"} << "ImgsTab" << QByteArray("currentIndex")
                                 << QVariant(QThread::idealThreadCount() >= 32 ? 36 : 4);
    QTest::newRow("show_ct2 beyond") << QStringList{"show_bg", "show_ct2 32"} << "ImgsTab" << QByteArray("currentIndex") << QVariant(4);
    QTest::newRow("show_ct2 huge") << QStringList{"show_bg", "show_ct2 2147483647"} << "ImgsTab" << QByteArray("currentIndex") << QVariant(4);
    QTest::newRow("show_sinogram") << QStringList{"show_sinogram"} << "ImgsTab" << QByteArray("currentIndex") << QVariant(1);
    QTest::newRow("add_inf_show 1") << QStringList{"add_inf_show 1"} << "AdditionalInfo" << QByteArray("hidden") << QVariant(false);
    QTest::newRow("add_inf_show 0") << QStringList{"add_inf_show 1", "add_inf_show 0"} << "AdditionalInfo" << QByteArray("hidden") << QVariant(true);
    QTest::newRow("add_inf_show switches layout") << QStringList{"add_inf_show 0"} << "isKVTStd_" << QByteArray("checked") << QVariant(false);
    QTest::newRow("kvt word of its own") << QStringList{"add_inf_show 0", "seq_exec_kvt_std 1"} << "isKVTStd_" << QByteArray("checked") << QVariant(true);
    QTest::newRow("colour min") << QStringList{"fix_color_min 0.000123456789"} << "ColorMin" << QByteArray("text") << QVariant("0.000123457");
    QTest::newRow("threads out of range not applied") << QStringList{"ct_threads 5", "ct_threads 100"} << "Threads" << QByteArray("value") << QVariant(5);
    QTest::newRow("slice from no integer not applied") << QStringList{"ct_slice_from 7", "ct_slice_from 12.5"} << "SliceFrom" << QByteArray("text") << QVariant("7");
    QTest::newRow("keep conditions off") << QStringList{"images_keep_conditions 0"} << "KeepConditions" << QByteArray("checked") << QVariant(false);
    QTest::newRow("keep conditions on") << QStringList{"images_keep_conditions 0", "images_keep_conditions 1"} << "KeepConditions" << QByteArray("checked") << QVariant(true);
    QTest::newRow("cor") << QStringList{"ct_cor 120.6"} << "Cor" << QByteArray("text") << QVariant("120.6");
    QTest::newRow("quoted name") << QStringList{"auto_save_image_name \"my ct.png\""} << "Name" << QByteArray("text") << QVariant("my ct.png");
    QTest::newRow("cor not applied") << QStringList{"ct_cor 120.6", "ct_cor 34,5"} << "Cor" << QByteArray("text") << QVariant("120.6");
    QTest::newRow("raw i0 value") << QStringList{"add_inf_raw_i0_val 2.5"} << "I0Val" << QByteArray("text") << QVariant("2.5");
    QTest::newRow("unknown word") << QStringList{"no_such_word 1"} << "SelectCt1" << QByteArray("checked") << QVariant(true);
    QTest::newRow("filter") << QStringList{"ct_filter hamming"} << "Filter" << QByteArray("currentText") << QVariant("hamming");
    QTest::newRow("filter cutoff") << QStringList{"ct_filter hann 0.5"} << "FilterCutoff" << QByteArray("text") << QVariant("0.5");
    QTest::newRow("unknown filter not applied") << QStringList{"ct_filter cosine", "ct_filter parzen"} << "Filter" << QByteArray("currentText") << QVariant("cosine");
    QTest::newRow("bad cutoff not applied") << QStringList{"ct_filter hann 0.5", "ct_filter hann 1.5"} << "FilterCutoff" << QByteArray("text") << QVariant("0.5");
    QTest::newRow("cutoff no number not applied") << QStringList{"ct_filter hann 0.5", "ct_filter ramp x"} << "Filter" << QByteArray("currentText") << QVariant("hann");
    QTest::newRow("pixel size") << QStringList{"ct_pixel_size 6.5"} << "PixelSize" << QByteArray("text") << QVariant("6.5");
    QTest::newRow("pixel size 0 clears") << QStringList{"ct_pixel_size 6.5", "ct_pixel_size 0"} << "PixelSize" << QByteArray("text") << QVariant("");
    QTest::newRow("ring removal") << QStringList{"ct_ring_removal 7"} << "RingSize" << QByteArray("value") << QVariant(7);
    QTest::newRow("ring removal negative not applied") << QStringList{"ct_ring_removal 7", "ct_ring_removal -3"} << "RingSize" << QByteArray("value") << QVariant(7);
    QTest::newRow("new on load off") << QStringList{"images_new_on_load 0"} << "AddFiles" << QByteArray("checked") << QVariant(true);
    QTest::newRow("zinger") << QStringList{"ct_zinger 6"} << "Zinger" << QByteArray("value") << QVariant(6.0);
    QTest::newRow("phase retrieval") << QStringList{"ct_phase_retrieval 300 50 20"} << "Paganin" << QByteArray("text") << QVariant("300,50,20");
    QTest::newRow("phase retrieval 0 turns it off") << QStringList{"ct_phase_retrieval 300 50 20", "ct_phase_retrieval 0"} << "Paganin" << QByteArray("text") << QVariant("");
    QTest::newRow("zero energy not applied") << QStringList{"ct_phase_retrieval 300 50 20", "ct_phase_retrieval 300 50 0"} << "Paganin" << QByteArray("text") << QVariant("300,50,20");
    QTest::newRow("binning") << QStringList{"images_binning 4"} << "Binning" << QByteArray("currentText") << QVariant("4");
    QTest::newRow("binning 3 not applied") << QStringList{"images_binning 2", "images_binning 3"} << "Binning" << QByteArray("currentText") << QVariant("2");
    QTest::newRow("offset angles") << QStringList{"ct_angles full-offset"} << "Angles" << QByteArray("currentText") << QVariant("full-offset");
}

void TstBody::commands()
{
    QFETCH(QStringList, cmds);
    QFETCH(QString, object);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);
    Body body;
    QSignalSpy reports(&body, &Body::callBatchCheckEnd);
    for (const QString& c : cmds)
        exec(body, c);
    QCOMPARE(reports.count(), cmds.size());
    QObject* o = body.findChild<QObject*>(object);
    if (object == "Name")
        o = body.findChild<SelectAFile*>(QStringLiteral("SelectImageSaveDir"))->findChild<QLineEdit*>("Name");
    if (object == "I0Val")
        o = body.findChild<I0ofImage*>(QStringLiteral("I0ofRawImage_"))->findChild<QLineEdit*>("I0Val");
    QVERIFY(o);
    if (property == "hidden")  // not a property: the window is never shown here
        QCOMPARE(QVariant(qobject_cast<QWidget*>(o)->isHidden()), expected);
    else
        QCOMPARE(o->property(property.constData()), expected);
}

void TstBody::loadingResetsSeekAndRegions()
{
    Body body;
    QSignalSpy loaded(&body, &Body::finishedLoadingCTFiles);
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    QCOMPARE(body.images()->count(), 12);
    QCOMPARE(body.findChild<SelectDataFiles*>(QStringLiteral("CTFiles"))->findChild<QComboBox*>("Selected")->count(), 12);
    QCOMPARE(body.findChild<SeekCtrl*>(QStringLiteral("seekCtrl"))->last(), 11);
    exec(body, "images_seek 5");
    QCOMPARE(body.findChild<SeekCtrl*>(QStringLiteral("seekCtrl"))->index(), 5);

    body.findChild<SelectDataFiles*>(QStringLiteral("CTFiles"))->findChild<QCheckBox*>("KeepConditions")->setChecked(false);
    exec(body, "ct_rot_ax_is_v 1");
    exec(body, "images_load \"" + ctDir + "\" ct-000[1-4].img");
    QCOMPARE(loaded.count(), 2);
    QCOMPARE(body.images()->count(), 4);
    QCOMPARE(body.findChild<SeekCtrl*>(QStringLiteral("seekCtrl"))->index(), 0);
    QCOMPARE(body.findChild<SeekCtrl*>(QStringLiteral("seekCtrl"))->last(), 3);
    for (CtCalcBase* p : {static_cast<CtCalcBase*>(body.ct1Panel()), static_cast<CtCalcBase*>(body.ct2Panel(0)),
                          static_cast<CtCalcBase*>(body.ct2Panel(31))}) {
        const CtRegion r = calcRegionOf(p);
        QCOMPARE(r.x1, 159.0);
        QCOMPARE(r.z1, 159.0);
        QCOMPARE(p->dispRegion().x1, 159.0);
    }
    // A horizontal axis takes the height.
    exec(body, "ct_rot_ax_is_h 1");
    exec(body, "images_load \"" + ctDir + "\" ct-0001.img");
    QCOMPARE(calcRegionOf(body.ct2Panel(3)).x1, 47.0);
}

void TstBody::seekClamps_data()
{
    QTest::addColumn<QString>("arg");
    QTest::addColumn<int>("index");
    QTest::newRow("far beyond") << "100000" << 11;
    QTest::newRow("negative") << "-5" << 0;
    QTest::newRow("inside") << "7" << 7;
    QTest::newRow("no number is not applied") << "x" << 3;
}

void TstBody::seekClamps()
{
    QFETCH(QString, arg);
    QFETCH(int, index);
    Body body;
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    exec(body, "images_seek 3");
    exec(body, "images_seek " + arg);
    QCOMPARE(body.findChild<SeekCtrl*>(QStringLiteral("seekCtrl"))->index(), index);
    QCOMPARE(body.findChild<SeekCtrl*>(QStringLiteral("seekCtrl"))->findChild<QSlider*>("Seek")->value(), index);
}

void TstBody::picksOnRawImage()
{
    Body body;
    body.resize(862, 1272);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body));
    exec(body, "ct_rot_ax_is_v 1");
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    QCoreApplication::processEvents();

    QSignalSpy corSpy(body.processControl(), &ProcCtrl::corUpdated);
    emit body.rawDisplay()->selectedAPoint(120.6, 40.2, MouseC::R);
    QCOMPARE(body.processControl()->cor, 120.6);
    QCOMPARE(body.processControl()->findChild<QLineEdit*>("Cor")->text(), QString("120.6"));
    QCOMPARE(corSpy.count(), 1);
    // The same CoR again announces nothing.
    exec(body, "ct_cor 120.6");
    QCOMPARE(corSpy.count(), 1);

    // A real left click on the picture: the slice is the row under the mouse.
    RawDisp* d = body.rawDisplay();
    QWidget* area = d->dispA;
    const QPoint at(int(d->coord->r2sX(120.6)), int(d->coord->r2sY(40.2)));
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(body.processControl()->sliceNo, int(d->coord->s2rY(at.y())));
    QVERIFY(qAbs(body.processControl()->sliceNo - 40) <= 1);
    emit body.rawDisplay()->selectedAPoint(120.6, 40.2, MouseC::L);
    QCOMPARE(body.processControl()->sliceNo, 40);
    QCOMPARE(body.processControl()->findChild<QLineEdit*>("SliceNo")->text(), QString("40"));
    // A real right click with a horizontal axis: the CoR is the row.
    exec(body, "ct_rot_ax_is_h 1");
    QTest::mouseClick(area, Qt::RightButton, Qt::NoModifier, at);
    QCOMPARE(body.processControl()->cor, d->coord->s2rY(at.y()));
}

void TstBody::calculatorExclusions()
{
    Body body;
    body.show();
    QVERIFY(body.findChild<QRadioButton*>(QStringLiteral("SelectCt1"))->isChecked());
    QTest::mouseClick(body.processControl()->findChild<QCheckBox*>("AutoExecCtCalc"), Qt::LeftButton);
    QVERIFY(body.processControl()->findChild<QCheckBox*>("AutoExecCtCalc")->isChecked());
    QVERIFY(body.findChild<QRadioButton*>(QStringLiteral("SelectCt2"))->isChecked());
    QVERIFY(!body.findChild<QRadioButton*>(QStringLiteral("SelectCt1"))->isChecked());
    QTest::mouseClick(body.findChild<QRadioButton*>(QStringLiteral("SelectCt1")), Qt::LeftButton);
    QVERIFY(body.findChild<QRadioButton*>(QStringLiteral("SelectCt1"))->isChecked());
    QVERIFY(!body.processControl()->findChild<QCheckBox*>("AutoExecCtCalc")->isChecked());
}

// A Shift drag around the object on the raw image, with the axis well off
// the middle of the detector: the CT region it makes covers the object's
// pixels in the reconstructed slice, and it is applied once.
void TstBody::selectionFollowsTheCentre_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<double>("cor");
    QTest::newRow("vertical, right of the middle") << true << 120.5;
    QTest::newRow("vertical, left of the middle") << true << 40.0;
    QTest::newRow("horizontal, below the middle") << false << 110.0;
}

void TstBody::selectionFollowsTheCentre()
{
    QFETCH(bool, vertical);
    QFETCH(double, cor);
    SampleOptions o = SampleOptions::small(tmp.filePath(QString("offcentre-%1-%2").arg(vertical).arg(cor)), vertical ? 160 : 48, vertical ? 48 : 160, 60);
    o.axisVertical = vertical;
    o.cor = cor;
    SampleWriter w(o);
    QVERIFY2(w.valid() && w.write(), qPrintable(w.error()));

    Body body;
    body.resize(1200, 800);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body));
    exec(body, vertical ? "ct_rot_ax_is_v 1" : "ct_rot_ax_is_h 1");
    exec(body, "images_load \"" + o.outDir + "\" ct-*.img");
    exec(body, "i0_load \"" + o.outDir + "/i0/I0.img\"");
    exec(body, "bg_load \"" + o.outDir + "/bg/BG.img\"");
    exec(body, "ct_cor " + QString::number(cor));
    const int slice = 24;
    exec(body, "ct_proc_slice " + QString::number(slice));
    for (const char* c : {"calc_ct2 1", "calc_ct1 0", "calc_show_res 1"})
        exec(body, c);

    // The whole slice first: where the object lies in it.
    QSignalSpy reports(&body, &Body::callBatchCheckEnd);
    exec(body, "calc_exec");
    QVERIFY(QTest::qWaitFor([&] { return reports.count() == 1; }, 20000));
    QVERIFY(waitIdle(body));
    const auto whole = body.run()->worker(0)->lastResult();
    QVERIFY(whole && whole->n == w.truthSize());
    double top = 0;
    for (double v : whole->image)
        top = std::max(top, v);
    QVERIFY(top > 0);

    // The drag: two pixels beyond the object's shadow on either side.
    const double r = w.radius() * 0.92 + 2;
    RawDisp* d = body.rawDisplay();
    d->dispA->repaint();
    const auto screen = [&](double across, double along) {
        return vertical ? QPoint(qRound(d->coord->r2sX(across)), qRound(d->coord->r2sY(along)))
                        : QPoint(qRound(d->coord->r2sX(along)), qRound(d->coord->r2sY(across)));
    };
    const QPoint from = screen(cor - r, 10), to = screen(cor + r, 30);
    QTest::mousePress(d->dispA, Qt::LeftButton, Qt::ShiftModifier, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), d->dispA->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(d->dispA, &move);
    QTest::mouseRelease(d->dispA, Qt::LeftButton, Qt::ShiftModifier, to);
    QVERIFY(d->selValid);

    const CtRegion region = body.ct2Panel(5)->calcRegion();
    const double along0 = vertical ? d->selY : d->selX;
    QCOMPARE(body.processControl()->findChild<QLineEdit*>("SliceFrom")->text(), QString::number(int(along0)));
    QVERIFY(std::abs(region.x1 - region.x0 - 2 * r) < 2);
    QCOMPARE(region.z0, region.x0);
    // Every pixel of the object lies inside the region.
    int object = 0;
    for (int z = 0; z < whole->n; ++z)
        for (int x = 0; x < whole->n; ++x)
            if (whole->image[size_t(z) * whole->n + x] > 0.3 * top) {
                ++object;
                QVERIFY2(x >= region.x0 && x < region.x1 && z >= region.z0 && z < region.z1,
                         qPrintable(QString("object pixel %1, %2 outside the region from %3").arg(x).arg(z).arg(region.x0)));
            }
    QVERIFY(object > 20);

    // Applied once: typed values stay through repaints.
    exec(body, "ct_set_calc_region 1 2 3 4");
    exec(body, "ct_slice_from 5");
    d->dispA->repaint();
    QCoreApplication::processEvents();
    QCOMPARE(body.ct2Panel(0)->calcRegion().x1, 3.0);
    QCOMPARE(body.processControl()->findChild<QLineEdit*>("SliceFrom")->text(), QString("5"));
}

// Values set before images_load: inside the series they are kept exactly,
// outside they are brought inside, each change with a message; the form's
// start values, never set, are brought inside without one.
void TstBody::loadBringsValuesInside_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("want");   // slice, cor, from, to, region x0 z0 x1 z1
    QTest::addColumn<int>("messages");
    const QStringList inside{"ct_rot_ax_is_v 1", "ct_proc_slice 7", "ct_cor 82.5", "ct_slice_from 3",
                             "ct_slice_to 40", "ct_set_calc_region 10 20 50 40"};
    QTest::newRow("start values") << QStringList{} << QStringList{"80", "24", "0", "159", "0", "0", "2047", "2047"} << 0;
    QTest::newRow("inside are kept") << inside << QStringList{"7", "82.5", "3", "40", "10", "20", "50", "40"} << 0;
    QTest::newRow("outside are changed")
        << QStringList{"ct_rot_ax_is_v 1", "ct_proc_slice 100", "ct_cor 300", "ct_slice_to 3000",
                       "ct_set_calc_region 10 20 500 40"}
        << QStringList{"24", "80", "0", "47", "0", "0", "156", "156"} << 4;
}

void TstBody::loadBringsValuesInside()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, want);
    QFETCH(int, messages);
    Body body;
    for (const QString& c : before)
        exec(body, c);
    takeLog();
    QtMessageHandler old = qInstallMessageHandler(recordMessage);
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    qInstallMessageHandler(old);
    const QStringList log = takeLog().filter(QRegularExpression("outside|leaves no slice"));
    ProcCtrl* pc = body.processControl();
    const CtRegion r = body.ct2Panel(3)->calcRegion();
    const QStringList got{QString::number(pc->sliceNo), QString::number(pc->cor), pc->findChild<QLineEdit*>("SliceFrom")->text(),
                          pc->findChild<QLineEdit*>("SliceTo")->text(), QString::number(r.x0), QString::number(r.z0), QString::number(r.x1),
                          QString::number(r.z1)};
    QCOMPARE(got, want);
    QCOMPARE(pc->findChild<QLineEdit*>("SliceNo")->text(), want[0]);
    QCOMPARE(log.size(), messages);
}

void TstBody::calcTwiceStops()
{
    Body body;
    body.show();
    QSignalSpy finished(&body, &Body::calcFinished);
    // Without images the button does nothing.
    QTest::mouseClick(body.findChild<QPushButton*>(QStringLiteral("CalcCT")), Qt::LeftButton);
    QVERIFY(!body.isCalcActive());
    QVERIFY(body.findChild<QLineEdit*>(QStringLiteral("CalcStartT"))->text().isEmpty());

    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    exec(body, "ct_rot_ax_is_v 1");
    exec(body, "calc_ct2 1");
    exec(body, "ct_auto_exec 1");
    exec(body, "ct_slice_from 0");
    exec(body, "ct_slice_to 47");
    exec(body, "ct_threads 1");
    exec(body, "ct_cor 82.5");
    QTest::mouseClick(body.findChild<QPushButton*>(QStringLiteral("CalcCT")), Qt::LeftButton);
    QVERIFY(body.isCalcActive());
    QVERIFY(!body.findChild<QLineEdit*>(QStringLiteral("CalcStartT"))->text().isEmpty());
    QVERIFY(body.findChild<QLineEdit*>(QStringLiteral("CalcEndT"))->text().isEmpty());
    QCOMPARE(body.findChild<QPushButton*>(QStringLiteral("CalcCT"))->styleSheet(), QString("background-color: rgb(255, 255, 128);"));
    QVERIFY(!body.findChild<SelectDataFiles*>(QStringLiteral("CTFiles"))->findChild<QPushButton*>("Select")->isEnabled());
    QTest::mouseClick(body.findChild<QPushButton*>(QStringLiteral("CalcCT")), Qt::LeftButton);
    QVERIFY(!body.isCalcActive());
    QCOMPARE(finished.count(), 1);
    QVERIFY(QDateTime::fromString(body.findChild<QLineEdit*>(QStringLiteral("CalcEndT"))->text(), "yy/MM/dd hh:mm:ss.zzz").isValid());
    bool ok = false;
    QVERIFY(body.findChild<QLineEdit*>(QStringLiteral("CalcSpentT"))->text().toDouble(&ok) >= 0 && ok);
    QCOMPARE(body.findChild<QPushButton*>(QStringLiteral("CalcCT"))->styleSheet(), QString("background-color: rgb(240, 240, 240);"));
    // Inputs come back only when the slices still running are done.
    QCOMPARE(body.findChild<SelectDataFiles*>(QStringLiteral("CTFiles"))->findChild<QPushButton*>("Select")->isEnabled(), !body.imagesInUse());
    QVERIFY(waitIdle(body));
    QTRY_VERIFY(body.findChild<SelectDataFiles*>(QStringLiteral("CTFiles"))->findChild<QPushButton*>("Select")->isEnabled());
    // The slices still running when it stopped end nothing more.
    QCOMPARE(finished.count(), 1);
}

void TstBody::runsWithoutWorkEndAtOnce_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::newRow("series with CT1") << QStringList{"ct_auto_exec 1", "calc_ct1 1"};
    QTest::newRow("no threads") << QStringList{"calc_ct2 1", "ct_auto_exec 1", "ct_threads 0"};
    QTest::newRow("no calculator") << QStringList{"calc_ct1 0"};
    QTest::newRow("CT1 with no sinogram") << QStringList{"calc_ct1 1", "ct_cor -3"};
}

void TstBody::runsWithoutWorkEndAtOnce()
{
    QFETCH(QStringList, setup);
    Body body;
    // No sinogram is made ahead, so CT1 finds none for a CoR off the image.
    exec(body, "ct_auto_gen_sinogram 0");
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    for (const QString& c : setup)
        exec(body, c);
    QSignalSpy reports(&body, &Body::callBatchCheckEnd);
    QSignalSpy finished(&body, &Body::calcFinished);
    exec(body, "calc_exec");
    QCOMPARE(reports.count(), 1);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!body.isCalcActive());
    QVERIFY(!body.isBatchCalcActive());
    QVERIFY(!body.findChild<QLineEdit*>(QStringLiteral("CalcEndT"))->text().isEmpty());
}

void TstBody::loadRefusedDuringRun()
{
    Body body;
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    exec(body, "i0_load \"" + ctDir + "/i0/I0.img\"");
    for (const char* c : {"ct_rot_ax_is_v 1", "calc_ct2 1", "ct_auto_exec 1", "ct_slice_from 0", "ct_slice_to 47", "ct_threads 2", "ct_cor 82.5"})
        exec(body, c);
    QSignalSpy reports(&body, &Body::callBatchCheckEnd);
    exec(body, "calc_exec");
    QCOMPARE(reports.count(), 0);
    QVERIFY(body.isCalcActive());
    ImgData* i0 = body.findChild<SelectAImgFile*>(QStringLiteral("I0ImgSel"))->image();
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Reconstruction running, refused: images_load " + ctDir));
    exec(body, "images_load \"" + ctDir + "\" ct-0001.img");
    QTest::ignoreMessage(QtDebugMsg, "Reconstruction running, refused: images_clear");
    exec(body, "images_clear");
    QTest::ignoreMessage(QtDebugMsg, "Reconstruction running, refused: i0_clear");
    exec(body, "i0_clear");
    for (const char* word : {"images_load_h5", "images_load_stack"}) {
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QString("Reconstruction running, refused: %1 %2/x").arg(word, ctDir)));
        exec(body, QString("%1 \"%2/x\"").arg(word, ctDir));
    }
    QTest::ignoreMessage(QtDebugMsg, "Reconstruction running, refused: loading projection images");
    emit body.findChild<SelectDataFiles*>(QStringLiteral("CTFiles"))->filesSelected(QStringList{ctDir + "/ct-0001.img"}, true);
    QCOMPARE(body.images()->count(), 12);
    QCOMPARE(body.findChild<SelectDataFiles*>(QStringLiteral("CTFiles"))->findChild<QComboBox*>("Selected")->count(), 12);
    QCOMPARE(body.findChild<SelectAImgFile*>(QStringLiteral("I0ImgSel"))->image(), i0);
    QCOMPARE(reports.count(), 5);
    // The run goes on to its end and then reports calc_exec.
    QVERIFY(QTest::qWaitFor([&] { return reports.count() == 6; }, 20000));
    QVERIFY(waitIdle(body));
    exec(body, "images_load \"" + ctDir + "\" ct-0001.img");
    QCOMPARE(body.images()->count(), 1);
}

void TstBody::i0Choice()
{
    Body body;
    QTest::ignoreMessage(QtDebugMsg, "No I0 files to choose from, I0 image kept");
    exec(body, "seq_exec_select_i0");

    exec(body, "seq_exec_kvt_std 1");
    exec(body, "seq_exec_dir \"" + xafsDir + "\"");
    QCOMPARE(body.findChild<SelectDataDir*>(QStringLiteral("SelDDir"))->currentEnergy(), 7115.0);
    // 7120 and 7110 are both 5 eV away: the earlier entry wins.
    emit body.findChild<SelectDataFiles*>(QStringLiteral("SelI0Files"))->filesSelected(QStringList{"/n/I0-7_100keV-1.img", "/n/I0-7_120keV-1.img"}, true);
    emit body.findChild<SelectDataFiles*>(QStringLiteral("SelI0Files"))->filesSelected(QStringList{"/n/I0-7110eV-1.img"}, false);
    QCOMPARE(body.i0EnergyList(), (QList<double>{7100, 7120, 7110}));
    QCOMPARE(body.findChild<SelectDataFiles*>(QStringLiteral("SelI0Files"))->findChild<QComboBox*>("Selected")->count(), 3);
    QTest::ignoreMessage(QtDebugMsg, "Selected I0 file /n/I0-7_120keV-1.img");
    exec(body, "seq_exec_select_i0");
    // The set's own energy missing from a list of one file per energy: no
    // neighbour stands in for it, unless gaps are accepted.
    emit body.findChild<SelectDataFiles*>(QStringLiteral("SelI0Files"))->filesSelected(QStringList{"/n/I0-7_100keV-1.img", "/n/I0-7_105keV-1.img",
                                                    "/n/I0-7_125keV-1.img", "/n/I0-7_130keV-1.img"},
                                        true);
    const int failures = Failures::total();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no I0 file for the data set at 7115 eV: the nearest is 7105 eV"));
    exec(body, "seq_exec_select_i0");
    QCOMPARE(Failures::total(), failures + 1);
    exec(body, "images_allow_gaps 1");
    QTest::ignoreMessage(QtDebugMsg, "Selected I0 file /n/I0-7_105keV-1.img");
    exec(body, "seq_exec_select_i0");
    // A new list replaces the energies.
    emit body.findChild<SelectDataFiles*>(QStringLiteral("SelI0Files"))->filesSelected(QStringList{"/n/I0-9keV-1.img"}, true);
    QCOMPARE(body.i0EnergyList(), (QList<double>{9000}));
}

void TstBody::saveImageOfEachDisplay_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("calc");
    for (const char* d : {"raw", "sinogram", "i0", "bg"})
        QTest::newRow(d) << d << "";
    QTest::newRow("ct1") << "ct1" << "calc_ct1 1";
    QTest::newRow("ct2 0") << "ct2 0" << "calc_ct2 1";
}

void TstBody::saveImageOfEachDisplay()
{
    QFETCH(QString, display);
    QFETCH(QString, calc);
    QTemporaryDir out;
    Body body;
    QSignalSpy reports(&body, &Body::callBatchCheckEnd);
    for (const QString& c : {QString("ct_auto_gen_sinogram 1"), QString("ct_rot_ax_is_v 1"), "images_load \"" + ctDir + "\" ct-*.img",
                             "i0_load \"" + ctDir + "/i0/I0.img\"", "bg_load \"" + ctDir + "/bg/BG.img\"",
                             QString("ct_cor 82.5"), QString("ct_proc_slice 20"), QString("calc_show_res 1"), QString("ct_auto_exec 0")})
        exec(body, c);
    if (!calc.isEmpty()) {
        exec(body, calc);
        exec(body, "calc_exec");
        QTRY_COMPARE_WITH_TIMEOUT(reports.count(), 11, 20000);
        QVERIFY(waitIdle(body));
        QCoreApplication::processEvents(); // the worker's picture reaches its panel
    }
    const QHash<QString, ImgDisp*> displays{{"raw", body.rawDisplay()},
                                            {"sinogram", body.sinogramPanel()->DispSinogram},
                                            {"i0", body.findChild<SelectAImgFile*>(QStringLiteral("I0ImgSel"))->display()},
                                            {"bg", body.findChild<SelectAImgFile*>(QStringLiteral("BGImgSel"))->display()},
                                            {"ct1", body.ct1Panel()->display()},
                                            {"ct2 0", body.ct2Panel(0)->display()}};
    ImgDisp* d = displays.value(display);
    QVERIFY(!d->image.isNull());
    Failures::reset();
    body.batchInterpreter()->setOkFlag(true);
    // Into a folder not there yet: it is made, as the auto-save folders are.
    const QString file = out.filePath("new/pictures/shown.png");
    exec(body, "save_image " + display + " \"" + file + "\"");
    QVERIFY(body.batchInterpreter()->ok());
    QCOMPARE(Failures::total(), 0);
    // The picture as the display shows it: its view of the image, pixel for pixel.
    const QImage saved = QImage(file).convertToFormat(QImage::Format_Grayscale8);
    QCOMPARE(saved, d->image.copy(d->view.toRect()).convertToFormat(QImage::Format_Grayscale8));
}

void TstBody::closingDuringSeries()
{
    QTemporaryDir out;
    {
        Body body;
        QSignalSpy finishing(&body, &Body::finishing);
        exec(body, "images_load \"" + ctDir + "\" ct-*.img");
        for (const char* c : {"ct_rot_ax_is_v 1", "calc_ct2 1", "ct_auto_exec 1", "ct_slice_from 0", "ct_slice_to 47", "ct_threads 4",
                              "ct_cor 82.5", "auto_save_data 1", "auto_save_data_name s.dat"})
            exec(body, c);
        exec(body, "auto_save_data_path \"" + out.path() + "\"");
        exec(body, "calc_exec");
        QVERIFY(body.isCalcActive());
        // Close once slices are being computed or written (they are quick here):
        // whatever is in progress still ends whole.
        QVERIFY(QTest::qWaitFor([&] {
            for (CtCalc2* w : body.run()->workerList())
                if (w->busy)
                    return true;
            return !QDir(out.path()).isEmpty();
        }, 10000));
        QVERIFY(body.close());
        QCOMPARE(finishing.count(), 1);
    }
    // Every file there is whole: the header and one line per region pixel;
    // the report of the interrupted run lists every one of them.
    QStringList files = QDir(out.path()).entryList(QDir::Files);
    QVERIFY(files.removeOne("s-run.json"));
    QVERIFY(!files.isEmpty());
    QFile reportFile(out.filePath("s-run.json"));
    QVERIFY(reportFile.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(reportFile.readAll()).object();
    QCOMPARE(report.value("written").toArray().size(), files.size());
    for (const QString& f : files) {
        QVERIFY2(f.endsWith(".dat"), qPrintable(f));
        QFile in(out.filePath(f));
        QVERIFY(in.open(QIODevice::ReadOnly | QIODevice::Text));
        const QList<QByteArray> lines = in.readAll().split('\n');
        QCOMPARE(lines.first(), QByteArray("#ZUVO-CTImg"));
        const QList<QByteArray> r = lines.at(5).mid(19).split('\t');
        QCOMPARE(lines.size() - 7, r.at(2).toInt() * r.at(3).toInt());
    }
}

void TstBody::japaneseInterface()
{
    // The embedded catalogue covers the window: with it installed, as at start-up
    // without "-e", the tabs and captions are Japanese; without it, English.
    {
        Body english;
        QCOMPARE(english.findChild<QTabWidget*>("ImgsTab")->tabText(0), QString("Raw Image"));
    }
    QTranslator translator;
    QVERIFY(translator.load(":zuvo2_ja_JP", QCoreApplication::applicationDirPath()));
    QVERIFY(QCoreApplication::installTranslator(&translator));
    Body body;
    QCoreApplication::removeTranslator(&translator);
    auto* tabs = body.findChild<QTabWidget*>("ImgsTab");
    QCOMPARE(tabs->tabText(0), QString::fromUtf8("生画像"));
    QCOMPARE(tabs->tabText(1), QString::fromUtf8("サイノグラム"));
    QCOMPARE(tabs->tabText(5), QString("CT2 1"));
    QCOMPARE(body.findChild<QAbstractButton*>("CalcCT")->text(), QString::fromUtf8("計算"));
    QCOMPARE(body.findChild<QAbstractButton*>("AutoSaveImage")->text(), QString::fromUtf8("画像自動保存"));
    QCOMPARE(body.stopButton()->text(), QString::fromUtf8("停止"));
    // The texts need glyphs, or the default interface is empty boxes.
    QVERIFY2(!QFontDatabase::families(QFontDatabase::Japanese).isEmpty(), "no Japanese font (scripts/setup.sh installs one)");
}

void TstBody::runOutput_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("CT1 saves its result")
        << QStringList{"calc_ct1 1", "ct_proc_slice 20"}
        << QStringList{"s-00020.dat", "s-00020.png", "s-run.json"} << QString();
    QTest::newRow("CT2 series")
        << QStringList{"calc_ct2 1", "ct_auto_exec 1", "ct_slice_from 40", "ct_slice_to 47", "ct_slice_step 7"}
        << QStringList{"s-00040.dat", "s-00040.png", "s-00047.dat", "s-00047.png", "s-run.json"} << QString();
    QTest::newRow("series beyond the image")
        << QStringList{"calc_ct2 1", "ct_auto_exec 1", "ct_slice_from 0", "ct_slice_to 2147483647"} << QStringList()
        << "Run refused: slices 0 to 2147483647 are outside the image (valid slices 0 to 47)";
    QTest::newRow("reversed region")
        << QStringList{"calc_ct2 1", "ct_proc_slice 5", "ct_set_calc_region 50 50 10 80"} << QStringList()
        << "Run refused: calculation region (50, 50, 10, 80) is empty";
    QTest::newRow("CT1 with a centre off the image")
        << QStringList{"calc_ct1 1", "ct_cor 300"} << QStringList()
        << "Run refused: centre of rotation 300 is outside the image (usable 2 to 157 on 160 pixels)";
}

// What a run started by calc_exec leaves in the output directory: the
// pictures, data files and report of a run, or nothing and one message.
void TstBody::runOutput()
{
    QFETCH(QStringList, setup);
    QFETCH(QStringList, files);
    QFETCH(QString, refusal);
    QTemporaryDir out;
    Body body;
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    for (const char* c : {"ct_rot_ax_is_v 1", "ct_cor 82.5", "ct_threads 2", "auto_save_data 1", "auto_save_data_name s.dat",
                          "auto_save_image 1", "auto_save_image_name s.png"})
        exec(body, c);
    exec(body, "auto_save_data_path \"" + out.path() + "\"");
    exec(body, "auto_save_image_path \"" + out.path() + "\"");
    for (const QString& c : setup)
        exec(body, c);
    Failures::reset();
    if (!refusal.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(refusal));
    QSignalSpy reports(&body, &Body::callBatchCheckEnd);
    exec(body, "calc_exec");
    QVERIFY(QTest::qWaitFor([&] { return reports.count() == 1; }, 20000));
    QVERIFY(waitIdle(body));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), files);
    QCOMPARE(Failures::count(Failures::Run), refusal.isEmpty() ? 0 : 1);
    QCOMPARE(Failures::count(Failures::Write), 0);
    // A refused run fails calc_exec for ":ifng".
    QCOMPARE(body.batchInterpreter()->ok(), refusal.isEmpty());
    if (files.isEmpty())
        return;
    QFile f(out.filePath("s-run.json"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(f.readAll()).object();
    QCOMPARE(report.value("written").toArray().size(), files.size() - 1);
    QCOMPARE(report.value("centre").toDouble(), 82.5);
    QCOMPARE(report.value("pattern").toString(), QStringLiteral("ct-00*.img"));
}

// Saved pictures hold the calculation region drawn with the current scale,
// whether or not results are shown.
void TstBody::picturesWithResultsHidden_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<bool>("fixed");
    QTest::newRow("CT2, results hidden") << QStringList{"calc_ct2 1", "calc_show_res 0"} << false;
    QTest::newRow("CT2 series, results hidden")
        << QStringList{"calc_ct2 1", "calc_show_res 0", "ct_auto_exec 1", "ct_slice_from 20", "ct_slice_to 20"} << false;
    QTest::newRow("CT2, results shown") << QStringList{"calc_ct2 1", "calc_show_res 1"} << false;
    QTest::newRow("CT2, hidden, fixed scale") << QStringList{"calc_ct2 1", "calc_show_res 0"} << true;
    QTest::newRow("CT1") << QStringList{"calc_ct1 1"} << false;
}

void TstBody::picturesWithResultsHidden()
{
    QFETCH(QStringList, setup);
    QFETCH(bool, fixed);
    QTemporaryDir out;
    Body body;
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    for (const char* c : {"ct_rot_ax_is_v 1", "ct_cor 82.5", "ct_proc_slice 20", "ct_set_calc_region 10 20 50 40",
                          "auto_save_image 1", "auto_save_image_name s.png"})
        exec(body, c);
    exec(body, "auto_save_image_path \"" + out.path() + "\"");
    // A range far beyond the data: every pixel at the bottom of the scale.
    if (fixed)
        for (const char* c : {"fix_color_min 1e6", "fix_color_max 2e6", "fix_color_scale 1"})
            exec(body, c);
    for (const QString& c : setup)
        exec(body, c);
    Failures::reset();
    QSignalSpy reports(&body, &Body::callBatchCheckEnd);
    exec(body, "calc_exec");
    QVERIFY(QTest::qWaitFor([&] { return reports.count() == 1; }, 20000));
    QVERIFY(waitIdle(body));
    QCOMPARE(Failures::total(), 0);
    const QImage pic = QImage(out.filePath("s-00020.png")).convertToFormat(QImage::Format_Grayscale8);
    QCOMPARE(pic.size(), QSize(40, 20));
    int lo = 255, hi = 0;
    for (int y = 0; y < pic.height(); ++y)
        for (int x = 0; x < pic.width(); ++x) {
            lo = std::min(lo, int(pic.constScanLine(y)[x]));
            hi = std::max(hi, int(pic.constScanLine(y)[x]));
        }
    if (fixed)
        QCOMPARE(hi, 0);
    else
        QVERIFY2(hi > lo, "a flat picture");
}

// The Auto button does what ct_cor_auto does: the centre field takes the
// centre found on the current slice (the sample's is 82.5).
void TstBody::autoButtonSetsTheCentre()
{
    Body body;
    const int failures = Failures::total();
    exec(body, "ct_cor_auto");
    QCOMPARE(Failures::total(), failures + 1); // nothing loaded
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    exec(body, "i0_load \"" + ctDir + "/i0/I0.img\"");
    exec(body, "ct_rot_ax_is_v 1");
    exec(body, "ct_cor 70");
    exec(body, "ct_proc_slice 24");
    takeLog();
    QtMessageHandler old = qInstallMessageHandler(recordMessage);
    body.processControl()->findChild<QPushButton*>("CorAuto")->click();
    qInstallMessageHandler(old);
    QVERIFY2(std::fabs(body.processControl()->cor - 82.5) < 0.2, qPrintable(body.processControl()->findChild<QLineEdit*>("Cor")->text()));
    QCOMPARE(body.processControl()->findChild<QLineEdit*>("Cor")->text(), QString::number(body.processControl()->cor, 'g', 6));
    QVERIFY(takeLog().contains("Centre of rotation " + QString::number(body.processControl()->cor, 'f', 2) + " (sound)"));
    QCOMPARE(Failures::total(), failures + 1);
}

// The Sweep button tries ten pixels either side of the centre in whole
// steps; a click on a tile takes its centre. ct_cor_sweep waits for its
// trials and writes the grid picture and the table where it is told.
void TstBody::sweepTileSetsTheCentre()
{
    Body body;
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    exec(body, "i0_load \"" + ctDir + "/i0/I0.img\"");
    exec(body, "ct_rot_ax_is_v 1");
    exec(body, "ct_cor 80");
    exec(body, "ct_proc_slice 24");
    QSignalSpy done(body.centreSweep(), &CorSweep::finished);
    body.processControl()->findChild<QPushButton*>("CorSweepButton")->click();
    QVERIFY(done.wait(30000));
    CorSweepPanel* p = body.sweepPanel();
    QVERIFY(p->isVisible());
    QCOMPARE(p->tileCount(), 21);
    QCOMPARE(p->tile(0)->text().section('\n', 0, 0), QString("70.00"));
    QVERIFY(!p->tile(20)->icon().isNull());
    QTest::mouseClick(p->tile(15), Qt::LeftButton);
    QCOMPARE(body.processControl()->cor, 85.0);
    QCOMPARE(body.processControl()->findChild<QLineEdit*>("Cor")->text(), QString("85"));

    const QString png = tmp.filePath("sweep/grid.png");
    QVERIFY(QDir().mkpath(tmp.filePath("sweep")));
    const int failures = Failures::total();
    body.batchInterpreter()->setOkFlag(true);
    QSignalSpy reports(&body, &Body::callBatchCheckEnd);
    exec(body, "ct_cor_sweep 79 86 2 \"" + png + "\"");
    QVERIFY(reports.wait(30000));
    QVERIFY(body.batchInterpreter()->ok());
    QCOMPARE(Failures::total(), failures);
    QCOMPARE(p->tileCount(), 4);
    const QImage grid(png);
    QCOMPARE(grid.size(), p->gridImage().size());
    QFile csv(tmp.filePath("sweep/grid.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines.at(4).startsWith("85,"));

    // Without a file, beside the automatically saved pictures.
    exec(body, "auto_save_image 1");
    exec(body, "auto_save_image_path \"" + tmp.filePath("sweep") + "\"");
    exec(body, "auto_save_image_name ct.png");
    exec(body, "ct_cor_sweep 80 82 1");
    QVERIFY(reports.wait(30000));
    QVERIFY(body.batchInterpreter()->ok());
    QVERIFY(QFileInfo(tmp.filePath("sweep/ct-00024-sweep.png")).isFile());
    QVERIFY(QFileInfo(tmp.filePath("sweep/ct-00024-sweep.csv")).isFile());
}

QTEST_MAIN(TstBody)
#include "tst_body.moc"
