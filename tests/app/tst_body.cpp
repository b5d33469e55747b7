// The main window offscreen: batch commands, loading, picks on the raw
// image, calculator exclusions, the overlay's selection, runs and their ends.
#include "Body.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CtRun.h"
#include "SampleWriter.h"

#include <QMutex>
#include <QPainter>
#include <QtTest>

namespace {
QMutex logLock;
QStringList logLines;
// The window whose run state the batch echo lines are checked against.
Body* watched = nullptr;

void recordMessage(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    QMutexLocker l(&logLock);
    logLines << msg;
    // The run's end is written before the report that lets the next line run.
    if (watched && msg.startsWith(":echo"))
        logLines << (watched->run()->endTime.isValid() && !watched->run()->active ? "run had ended"
                                                                                 : "run still going");
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
    QVERIFY(QMetaObject::invokeMethod(&b, "batchExCmd", Qt::DirectConnection,
                                      Q_ARG(BatchCmd, BatchCmd(line))));
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
    void commands_data();
    void commands();
    void loadingResetsSeekAndRegions();
    void seekClamps_data();
    void seekClamps();
    void picksOnRawImage();
    void calculatorExclusions();
    void selectionWithHorizontalAxis();
    void calcTwiceStops();
    void runsWithoutWorkEndAtOnce_data();
    void runsWithoutWorkEndAtOnce();
    void loadRefusedDuringRun();
    void i0Choice();
    void batchWaitsForCalcAndSeesNg();
    void closingDuringSeries();
    void japaneseInterface();

private:
    QTemporaryDir tmp;
    QString ctDir;
    QString xafsDir;
};

void TstBody::initTestCase()
{
    QVERIFY(tmp.isValid());
    SampleOptions o;
    o.outDir = tmp.filePath("ct");
    o.width = 160;
    o.height = 48;
    o.nProj = 12;
    o.noise = false;
    o.truthSlices = 1;
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
    QTest::newRow("show_ct2 31") << QStringList{"show_ct2 31"} << "ImgsTab" << QByteArray("currentIndex") << QVariant(36);
    QTest::newRow("show_ct2 beyond") << QStringList{"show_bg", "show_ct2 32"} << "ImgsTab" << QByteArray("currentIndex") << QVariant(4);
    QTest::newRow("show_ct2 huge") << QStringList{"show_bg", "show_ct2 2147483647"} << "ImgsTab" << QByteArray("currentIndex") << QVariant(4);
    QTest::newRow("show_sinogram") << QStringList{"show_sinogram"} << "ImgsTab" << QByteArray("currentIndex") << QVariant(1);
    QTest::newRow("add_inf_show 1") << QStringList{"add_inf_show 1"} << "AdditionalInfo" << QByteArray("hidden") << QVariant(false);
    QTest::newRow("add_inf_show 0") << QStringList{"add_inf_show 1", "add_inf_show 0"} << "AdditionalInfo" << QByteArray("hidden") << QVariant(true);
    QTest::newRow("add_inf_show switches layout") << QStringList{"add_inf_show 0"} << "isKVTStd_" << QByteArray("checked") << QVariant(false);
    QTest::newRow("kvt word of its own") << QStringList{"add_inf_show 0", "seq_exec_kvt_std 1"} << "isKVTStd_" << QByteArray("checked") << QVariant(true);
    QTest::newRow("colour min") << QStringList{"fix_color_min 0.000123456789"} << "ColorMin" << QByteArray("text") << QVariant("0.000123457");
    QTest::newRow("threads clamp") << QStringList{"ct_threads 100"} << "Threads" << QByteArray("value") << QVariant(32);
    QTest::newRow("slice from") << QStringList{"ct_slice_from 12.5"} << "SliceFrom" << QByteArray("text") << QVariant("0");
    QTest::newRow("cor") << QStringList{"ct_cor 120.6"} << "Cor" << QByteArray("text") << QVariant("120.6");
    QTest::newRow("quoted name") << QStringList{"auto_save_image_name \"my ct.png\""} << "Name" << QByteArray("text") << QVariant("my ct.png");
    QTest::newRow("raw i0 value") << QStringList{"add_inf_raw_i0_val 2.5"} << "I0Val" << QByteArray("text") << QVariant("2.5");
    QTest::newRow("unknown word") << QStringList{"no_such_word 1"} << "SelectCt1" << QByteArray("checked") << QVariant(true);
    QTest::newRow("new on load off") << QStringList{"images_new_on_load 0"} << "AddFiles" << QByteArray("checked") << QVariant(true);
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
        o = body.SelectImageSaveDir->Name;
    if (object == "I0Val")
        o = body.I0ofRawImage_->I0Val;
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
    QCOMPARE(body.CTFiles->Selected->count(), 12);
    QCOMPARE(body.seekCtrl->Seek->maximum(), 11);
    exec(body, "images_seek 5");
    QCOMPARE(body.seekCtrl->Index->value(), 5);

    body.CTFiles->KeepConditions->setChecked(false);
    exec(body, "ct_rot_ax_is_v 1");
    exec(body, "images_load \"" + ctDir + "\" ct-000[1-4].img");
    QCOMPARE(loaded.count(), 2);
    QCOMPARE(body.images()->count(), 4);
    QCOMPARE(body.seekCtrl->Index->value(), 0);
    QCOMPARE(body.seekCtrl->Seek->maximum(), 3);
    for (CtCalcBase* p : {static_cast<CtCalcBase*>(body.ct1Panel()), static_cast<CtCalcBase*>(body.run()->panel(0)),
                          static_cast<CtCalcBase*>(body.run()->panel(31))}) {
        const CtRegion r = calcRegionOf(p);
        QCOMPARE(r.x1, 159.0);
        QCOMPARE(r.z1, 159.0);
        QCOMPARE(p->Drx1->text(), QString("159"));
    }
    // A horizontal axis takes the height.
    exec(body, "ct_rot_ax_is_h 1");
    exec(body, "images_load \"" + ctDir + "\" ct-0001.img");
    QCOMPARE(calcRegionOf(body.run()->panel(3)).x1, 47.0);
}

void TstBody::seekClamps_data()
{
    QTest::addColumn<QString>("arg");
    QTest::addColumn<int>("index");
    QTest::newRow("far beyond") << "100000" << 11;
    QTest::newRow("negative") << "-5" << 0;
    QTest::newRow("inside") << "7" << 7;
    QTest::newRow("no number") << "x" << 0;
}

void TstBody::seekClamps()
{
    QFETCH(QString, arg);
    QFETCH(int, index);
    Body body;
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    exec(body, "images_seek 3");
    exec(body, "images_seek " + arg);
    QCOMPARE(body.seekCtrl->Index->value(), index);
    QCOMPARE(body.seekCtrl->Seek->value(), index);
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

    QSignalSpy corSpy(body.procCtrl, &ProcCtrl::corUpdated);
    QVERIFY(QMetaObject::invokeMethod(&body, "selectedAPointInRawImg", Qt::DirectConnection, Q_ARG(double, 120.6),
                                      Q_ARG(double, 40.2), Q_ARG(MouseC::MStat, MouseC::R)));
    QCOMPARE(body.procCtrl->cor, 120.6);
    QCOMPARE(body.procCtrl->Cor->text(), QString("120.6"));
    QCOMPARE(corSpy.count(), 1);
    // The same CoR again announces nothing.
    exec(body, "ct_cor 120.6");
    QCOMPARE(corSpy.count(), 1);

    // A real left click on the picture: the slice is the row under the mouse.
    RawDisp* d = body.rawDisplay();
    QWidget* area = d->dispA;
    const QPoint at(int(d->coord->r2sX(120.6)), int(d->coord->r2sY(40.2)));
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(body.procCtrl->sliceNo, int(d->coord->s2rY(at.y())));
    QVERIFY(qAbs(body.procCtrl->sliceNo - 40) <= 1);
    QVERIFY(QMetaObject::invokeMethod(&body, "selectedAPointInRawImg", Qt::DirectConnection, Q_ARG(double, 120.6),
                                      Q_ARG(double, 40.2), Q_ARG(MouseC::MStat, MouseC::L)));
    QCOMPARE(body.procCtrl->sliceNo, 40);
    QCOMPARE(body.procCtrl->SliceNo->text(), QString("40"));
    // A real right click with a horizontal axis: the CoR is the row.
    exec(body, "ct_rot_ax_is_h 1");
    QTest::mouseClick(area, Qt::RightButton, Qt::NoModifier, at);
    QCOMPARE(body.procCtrl->cor, d->coord->s2rY(at.y()));
}

void TstBody::calculatorExclusions()
{
    Body body;
    body.show();
    QVERIFY(body.SelectCt1->isChecked());
    QTest::mouseClick(body.procCtrl->AutoExecCtCalc, Qt::LeftButton);
    QVERIFY(body.procCtrl->AutoExecCtCalc->isChecked());
    QVERIFY(body.SelectCt2->isChecked());
    QVERIFY(!body.SelectCt1->isChecked());
    QTest::mouseClick(body.SelectCt1, Qt::LeftButton);
    QVERIFY(body.SelectCt1->isChecked());
    QVERIFY(!body.procCtrl->AutoExecCtCalc->isChecked());
}

void TstBody::selectionWithHorizontalAxis()
{
    Body body;
    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    exec(body, "ct_rot_ax_is_h 1");
    RawDisp* d = body.rawDisplay();
    // A finished Shift drag from column 20, row 100 to column 60, row 300.
    d->selX = 20;
    d->selY = 100;
    d->selW = 40;
    d->selH = 200;
    d->selValid = true;
    QImage canvas(200, 200, QImage::Format_RGB32);
    QPainter p(&canvas);
    QVERIFY(QMetaObject::invokeMethod(&body, "draw", Qt::DirectConnection, Q_ARG(QPainter*, &p)));
    QCOMPARE(body.procCtrl->SliceFrom->text(), QString("20"));
    QCOMPARE(body.procCtrl->SliceTo->text(), QString("60"));
    for (CtCalcBase* c : {static_cast<CtCalcBase*>(body.ct1Panel()), static_cast<CtCalcBase*>(body.run()->panel(7))}) {
        const CtRegion r = c->calcRegion();
        QCOMPARE(r.x0, 100.0);
        QCOMPARE(r.z0, 100.0);
        QCOMPARE(r.x1, 300.0);
        QCOMPARE(r.z1, 300.0);
        QCOMPARE(c->Drz1->text(), QString("300"));
    }
    // Vertical: rows give the slices, columns the regions.
    exec(body, "ct_rot_ax_is_v 1");
    QVERIFY(QMetaObject::invokeMethod(&body, "draw", Qt::DirectConnection, Q_ARG(QPainter*, &p)));
    QCOMPARE(body.procCtrl->SliceFrom->text(), QString("100"));
    QCOMPARE(body.procCtrl->SliceTo->text(), QString("300"));
    QCOMPARE(body.run()->panel(0)->calcRegion().x1, 60.0);
}

void TstBody::calcTwiceStops()
{
    Body body;
    body.show();
    QSignalSpy finished(&body, &Body::calcFinished);
    // Without images the button does nothing.
    QTest::mouseClick(body.CalcCT, Qt::LeftButton);
    QVERIFY(!body.isCalcActive());
    QVERIFY(body.CalcStartT->text().isEmpty());

    exec(body, "images_load \"" + ctDir + "\" ct-*.img");
    exec(body, "calc_ct2 1");
    exec(body, "ct_auto_exec 1");
    exec(body, "ct_slice_from 0");
    exec(body, "ct_slice_to 47");
    exec(body, "ct_threads 1");
    exec(body, "ct_cor 82.5");
    QTest::mouseClick(body.CalcCT, Qt::LeftButton);
    QVERIFY(body.isCalcActive());
    QVERIFY(!body.CalcStartT->text().isEmpty());
    QVERIFY(body.CalcEndT->text().isEmpty());
    QCOMPARE(body.CalcCT->styleSheet(), QString("background-color: rgb(255, 255, 128);"));
    QVERIFY(!body.CTFiles->Select->isEnabled());
    QTest::mouseClick(body.CalcCT, Qt::LeftButton);
    QVERIFY(!body.isCalcActive());
    QCOMPARE(finished.count(), 1);
    QVERIFY(QDateTime::fromString(body.CalcEndT->text(), "yy/MM/dd hh:mm:ss.zzz").isValid());
    bool ok = false;
    QVERIFY(body.CalcSpentT->text().toDouble(&ok) >= 0 && ok);
    QCOMPARE(body.CalcCT->styleSheet(), QString("background-color: rgb(240, 240, 240);"));
    QVERIFY(body.CTFiles->Select->isEnabled());
    QVERIFY(waitIdle(body));
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
    QVERIFY(!body.CalcEndT->text().isEmpty());
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
    ImgData* i0 = body.I0ImgSel->img;
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Reconstruction running, refused: images_load " + ctDir));
    exec(body, "images_load \"" + ctDir + "\" ct-0001.img");
    QTest::ignoreMessage(QtDebugMsg, "Reconstruction running, refused: images_clear");
    exec(body, "images_clear");
    QTest::ignoreMessage(QtDebugMsg, "Reconstruction running, refused: i0_clear");
    exec(body, "i0_clear");
    QTest::ignoreMessage(QtDebugMsg, "Reconstruction running, refused: loading projection images");
    QVERIFY(QMetaObject::invokeMethod(&body, "dataFilesSelected", Qt::DirectConnection,
                                      Q_ARG(QStringList, QStringList{ctDir + "/ct-0001.img"}), Q_ARG(bool, true)));
    QCOMPARE(body.images()->count(), 12);
    QCOMPARE(body.CTFiles->Selected->count(), 12);
    QCOMPARE(body.I0ImgSel->img, i0);
    QCOMPARE(reports.count(), 3);
    // The run goes on to its end and then reports calc_exec.
    QVERIFY(QTest::qWaitFor([&] { return reports.count() == 4; }, 20000));
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
    QCOMPARE(body.SelDDir->currentEnergy(), 7115.0);
    // 7120 and 7110 are both 5 eV away: the earlier entry wins.
    QVERIFY(QMetaObject::invokeMethod(
        &body, "i0FilesSelected", Qt::DirectConnection,
        Q_ARG(QStringList, (QStringList{"/n/I0-7_100keV-1.img", "/n/I0-7_120keV-1.img"})), Q_ARG(bool, true)));
    QVERIFY(QMetaObject::invokeMethod(&body, "i0FilesSelected", Qt::DirectConnection,
                                      Q_ARG(QStringList, QStringList{"/n/I0-7110eV-1.img"}), Q_ARG(bool, false)));
    QCOMPARE(body.i0EnergyList(), (QList<double>{7100, 7120, 7110}));
    QCOMPARE(body.SelI0Files->Selected->count(), 3);
    QTest::ignoreMessage(QtDebugMsg, "Selected I0 file /n/I0-7_120keV-1.img");
    exec(body, "seq_exec_select_i0");
    // A new list replaces the energies.
    QVERIFY(QMetaObject::invokeMethod(&body, "i0FilesSelected", Qt::DirectConnection,
                                      Q_ARG(QStringList, QStringList{"/n/I0-9keV-1.img"}), Q_ARG(bool, true)));
    QCOMPARE(body.i0EnergyList(), (QList<double>{9000}));
}

void TstBody::batchWaitsForCalcAndSeesNg()
{
    QTemporaryDir d;
    const QString prog = d.filePath("p.bat");
    QFile f(prog);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
    f.write(QString("images_load \"%1\" ct-*.img\n"
                    "ct_rot_ax_is_v 1\ncalc_ct2 1\nct_auto_exec 1\nct_slice_from 0\nct_slice_to 47\nct_slice_step 4\nct_threads 2\n"
                    "ct_cor 82.5\ncalc_exec\n:echo after calc\n"
                    "seq_exec_dir \"%2\"\nseq_exec_next\n:ifng :echo no more sets\n:ifok :echo more sets\n")
                .arg(ctDir, xafsDir)
                .toUtf8());
    f.close();

    Body body;
    QSignalSpy stopped(&body, &Body::batchProgramStopped);
    QSignalSpy finished(&body, &Body::calcFinished);
    watched = &body;
    takeLog();
    QtMessageHandler old = qInstallMessageHandler(recordMessage);
    body.batchLoad(prog);
    body.batchExec();
    const bool done = QTest::qWaitFor([&] { return stopped.count() > 0; }, 20000);
    qInstallMessageHandler(old);
    watched = nullptr;
    QVERIFY(done);
    const QStringList log = takeLog();
    const int after = log.indexOf(":echo after calc");
    QVERIFY(after >= 0);
    QCOMPARE(log.value(after + 1), QString("run had ended"));
    QCOMPARE(finished.count(), 1);
    QVERIFY(log.contains(":echo no more sets"));
    QVERIFY(!log.contains(":echo more sets"));
    QVERIFY(waitIdle(body));
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
    // Every file there is whole: the header and one line per region pixel.
    const QStringList files = QDir(out.path()).entryList(QDir::Files);
    QVERIFY(!files.isEmpty());
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
}

QTEST_MAIN(TstBody)
#include "tst_body.moc"
