// The main window with inputs that are incomplete or wrong: a run is refused
// rather than computed on a partial series or a missing I0/BG, loads that
// cannot work leave what is loaded alone, and the list commands keep the
// images, energies and colour bars in step with what the fields show.
#include "TextFile.h"
#include "Body.h"
#include "ColorBar.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CtRun.h"
#include "Failures.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "H5SampleWriter.h"
#include "ItexWriter.h"
#include "SampleWriter.h"
#include "TiffSampleWriter.h"

#include <QSemaphore>
#include <QCheckBox>
#include <QtTest>

namespace {
void exec(Body& b, const QString& line)
{
    b.sessionHost().runCommand(BatchCmd(line));
    // Projections load in a thread of their own; a batch line waits for them.
    QVERIFY(QTest::qWaitFor([&] { return !b.isLoading(); }, 30000));
}

bool waitIdle(Body& b, int ms = 20000)
{
    return QTest::qWaitFor([&] { return !b.imagesInUse(); }, ms);
}

QString quoted(const QString& s)
{
    return QLatin1Char('"') + s + QLatin1Char('"');
}
} // namespace

class TstBodyInputs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void runRefusedOnIncompleteInputs_data();
    void runRefusedOnIncompleteInputs();
    void loadsThatCannotWorkKeepTheSeries_data();
    void loadsThatCannotWorkKeepTheSeries();
    void clearingI0ListForgetsEnergies();
    void sliceRangeLinesLoadAlone_data();
    void sliceRangeLinesLoadAlone();
    void fixedColourRangeFollowsFieldsInEitherOrder_data();
    void fixedColourRangeFollowsFieldsInEitherOrder();
    void longSeriesUnderLowFileLimit();
    void seriesFromOneFile_data();
    void seriesFromOneFile();
    void inputsLockedUntilLastSliceDone_data();
    void inputsLockedUntilLastSliceDone();
    void sequenceNeverStalls_data();
    void sequenceNeverStalls();

private:
    QTemporaryDir tmp;
    QString ctDir;
    QString brokenDir;  // the series plus one empty projection
    QString h5File, stackFile;  // the series as one HDF5 scan and one TIFF stack
    QString smallFile;          // an image smaller than the projections
    double cor = 0;
};

void TstBodyInputs::initTestCase()
{
    QVERIFY(tmp.isValid());
    SampleOptions o = SampleOptions::small(tmp.filePath("ct"), 64, 16, 12);
    SampleWriter w(o);
    QVERIFY2(w.valid() && w.write(), qPrintable(w.error()));
    ctDir = o.outDir;
    cor = w.cor();
    brokenDir = tmp.filePath("broken");
    QVERIFY(QDir().mkpath(brokenDir));
    for (const QString& n : QDir(ctDir).entryList({"ct-*.img"}, QDir::Files))
        QVERIFY(QFile::copy(ctDir + "/" + n, brokenDir + "/" + n));
    QFile empty(brokenDir + "/ct-0007b.img");
    QVERIFY(empty.open(QIODevice::WriteOnly));

    std::vector<double> data, theta;
    QList<const double*> pages;
    std::vector<std::vector<double>> frames;
    const QStringList names = QDir(ctDir).entryList({"ct-*.img"}, QDir::Files, QDir::Name);
    for (const QString& n : names) {
        std::unique_ptr<ImgData> img(loadImgData(ctDir + "/" + n));
        QVERIFY(img && img->ready);
        frames.emplace_back(size_t(o.width) * size_t(o.height));
        for (int r = 0; r < o.height; ++r)
            img->readRow(r, frames.back().data() + size_t(r) * size_t(o.width));
        data.insert(data.end(), frames.back().begin(), frames.back().end());
        theta.push_back(3.0 * frames.size());
    }
    for (const std::vector<double>& f : frames)
        pages << f.data();
    // Two flats and two darks, each a whole frame.
    const std::vector<double> flat(2 * size_t(o.width) * size_t(o.height), 1000.0), dark(flat.size(), 10.0);
    h5File = tmp.filePath("scan.h5");
    QVERIFY(H5SampleWriter::write(h5File, H5SampleWriter::exchange(o.height, o.width, data, int(names.size()), flat, 2,
                                                                   dark, 2, theta)));
    smallFile = tmp.filePath("small.img");
    const std::vector<quint16> px(16, 500);
    QVERIFY(ItexWriter(4, 4, 2).write16(smallFile, px.data()));
    stackFile = tmp.filePath("stack.tif");
    TiffSampleWriter tw;
    QVERIFY2(tw.write(stackFile, o.width, o.height, pages), qPrintable(tw.error()));
}

// Each row: the loads before "calc_exec", and the refusal expected (empty: the run goes).
void TstBodyInputs::runRefusedOnIncompleteInputs_data()
{
    QTest::addColumn<QStringList>("loads");
    QTest::addColumn<QString>("refusal");
    const QString series = "images_load %1 ct-*.img";
    QTest::newRow("complete series runs") << QStringList{series.arg(quoted(ctDir)), "i0_load " + quoted(ctDir + "/i0/I0.img")} << "";
    QTest::newRow("one empty projection")
        << QStringList{series.arg(quoted(brokenDir))}
        << "Run refused: 1 of 13 selected files failed to load: " + brokenDir + "/ct-0007b.img";
    QTest::newRow("misspelt I0")
        << QStringList{series.arg(quoted(ctDir)), "i0_load " + quoted(ctDir + "/i0/I0.img"), "i0_load " + quoted(ctDir + "/i0/IO.img")}
        << "Run refused: I0 image did not load: " + ctDir + "/i0/IO.img";
    QTest::newRow("misspelt BG")
        << QStringList{series.arg(quoted(ctDir)), "bg_load " + quoted(ctDir + "/bg/GB.img")}
        << "Run refused: BG image did not load: " + ctDir + "/bg/GB.img";
    QTest::newRow("cleared series")
        << QStringList{series.arg(quoted(ctDir)), "images_clear"} << "Run refused: no projection images loaded";
    const QString i0 = quoted(ctDir + "/i0/I0.img");
    QTest::newRow("two I0, two BG, I0 after the scan")
        << QStringList{series.arg(quoted(ctDir)), "i0_load " + i0, "i0_add " + i0, "bg_load " + quoted(ctDir + "/bg/BG.img"),
                       "bg_add " + quoted(ctDir + "/bg/BG.img"), "i0_after_load " + i0, "i0_after_add " + i0}
        << "";
    QTest::newRow("I0 of another size added")
        << QStringList{series.arg(quoted(ctDir)), "i0_load " + i0, "i0_add " + quoted(smallFile)}
        << "Run refused: I0 image did not load: " + smallFile;
    QTest::newRow("BG of another size added")
        << QStringList{series.arg(quoted(ctDir)), "bg_load " + quoted(ctDir + "/bg/BG.img"), "bg_add " + quoted(smallFile)}
        << "Run refused: BG image did not load: " + smallFile;
    QTest::newRow("I0 after the scan alone")
        << QStringList{series.arg(quoted(ctDir)), "i0_after_load " + i0}
        << "Run refused: an I0 taken after the scan needs an I0 taken before it: " + ctDir + "/i0/I0.img";
    QTest::newRow("I0 after the scan misspelt")
        << QStringList{series.arg(quoted(ctDir)), "i0_load " + i0, "i0_after_load " + quoted(ctDir + "/i0/IO.img")}
        << "Run refused: I0 (after the scan) image did not load: " + ctDir + "/i0/IO.img";
    QTest::newRow("I0 Clear clears the I0 after the scan")
        << QStringList{series.arg(quoted(ctDir)), "i0_load " + i0, "i0_after_load " + i0, "i0_clear"} << "";
    QTest::newRow("I0 after the scan with a scan's own I0")
        << QStringList{"images_load_h5 " + quoted(h5File), "i0_load " + i0, "i0_after_load " + i0}
        << "Run refused: the scan brings its own I0; clear the I0 taken after the scan: " + ctDir + "/i0/I0.img";
}

void TstBodyInputs::runRefusedOnIncompleteInputs()
{
    QFETCH(QStringList, loads);
    QFETCH(QString, refusal);
    Body body;
    for (const char* c : {"ct_auto_gen_sinogram 0", "ct_rot_ax_is_v 1", "ct_cor 34.5", "ct_proc_slice 8"})
        exec(body, c);
    for (const QString& c : loads)
        exec(body, c);
    const int runFailures = Failures::count(Failures::Run);
    QSignalSpy reports(&body, &Body::callBatchCheckEnd);
    QSignalSpy finished(&body, &Body::calcFinished);
    if (!refusal.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(refusal));
    exec(body, "calc_exec");
    QVERIFY(QTest::qWaitFor([&] { return reports.count() == 1; }, 20000));
    QVERIFY(waitIdle(body));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!body.isBatchCalcActive());
    QCOMPARE(Failures::count(Failures::Run), runFailures + (refusal.isEmpty() ? 0 : 1));
    // ":ifng" sees the refusal; a run that went leaves the flag as it was.
    QCOMPARE(body.batchInterpreter()->ok(), refusal.isEmpty());
}

// Each row: the command after a complete series has loaded, and the warning it gives.
void TstBodyInputs::loadsThatCannotWorkKeepTheSeries_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("budgetMB");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("imagesAfter");
    QTest::newRow("misspelt directory") << "images_load " + quoted(ctDir + "x") + " ct-*.img" << QByteArray()
                                        << "No such directory, nothing loaded: " + ctDir + "x" << 12;
    QTest::newRow("pattern matches nothing") << "images_load " + quoted(ctDir) + " cx-*.img" << QByteArray()
                                             << "No file matches cx-*.img in " + ctDir + ", nothing loaded" << 12;
    // The sample series is tiny: its first file listed 3600 times (Multi mode)
    // needs 3600 x (2048 pixel + 640 buffer) bytes.
    QTest::newRow("series beyond the memory budget") << "images_multi 1 3600" << QByteArray("1")
                                                     << "Series not loaded: 3600 files need 9.2 MB, 1.0 MB of memory available" << 0;
    QTest::newRow("images_clear empties the images") << "images_clear" << QByteArray() << "" << 0;
}

void TstBodyInputs::loadsThatCannotWorkKeepTheSeries()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, budgetMB);
    QFETCH(QString, warning);
    QFETCH(int, imagesAfter);
    Body body;
    exec(body, "images_load " + quoted(ctDir) + " ct-*.img");
    QCOMPARE(body.images()->count(), 12);
    const int loadFailures = Failures::count(Failures::Load);
    if (!budgetMB.isEmpty())
        qputenv("ZUVO2_MEMORY_BUDGET_MB", budgetMB);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    exec(body, command);
    if (command.startsWith("images_multi"))
        exec(body, "images_load " + quoted(ctDir) + " ct-*.img");
    qunsetenv("ZUVO2_MEMORY_BUDGET_MB");
    QCOMPARE(body.images()->count(), imagesAfter);
    QCOMPARE(body.findChild<SelectDataFiles*>(QStringLiteral("CTFiles"))->findChild<QComboBox*>("Selected")->count(), imagesAfter);
    QCOMPARE(Failures::count(Failures::Load), loadFailures + (warning.isEmpty() ? 0 : 1));
}

// Each row: the commands before loading the series ("tick": the window's
// box), the memory budget, the lines the series then holds, its images.
void TstBodyInputs::sliceRangeLinesLoadAlone_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QByteArray>("budgetMB");
    QTest::addColumn<QString>("held");
    QTest::addColumn<int>("images");
    QTest::newRow("named by the batch program") << QStringList{"images_load_rows 9 3"} << QByteArray() << "columns 3 to 9" << 12;
    QTest::newRow("named, then all again") << QStringList{"images_load_rows 3 9", "images_load_rows"} << QByteArray()
                                           << "all lines" << 12;
    QTest::newRow("the box takes the slice range") << QStringList{"ct_slice_from 4", "ct_slice_to 6", "tick"} << QByteArray()
                                                   << "columns 4 to 6" << 12;
    // 3600 x 2688 bytes do not fit in 2 MB; 8 of the 64 columns do.
    QTest::newRow("too big whole, the slice range fits")
        << QStringList{"ct_slice_from 0", "ct_slice_to 7", "images_multi 1 3600"} << QByteArray("2") << "columns 0 to 7" << 3600;
}

void TstBodyInputs::sliceRangeLinesLoadAlone()
{
    QFETCH(QStringList, before);
    QFETCH(QByteArray, budgetMB);
    QFETCH(QString, held);
    QFETCH(int, images);
    Body body;
    for (const QString& c : before) {
        if (c == QLatin1String("tick"))
            body.processControl()->findChild<QCheckBox*>("LoadSliceRowsOnly")->setChecked(true);
        else
            exec(body, c);
    }
    const int loadFailures = Failures::count(Failures::Load);
    if (!budgetMB.isEmpty())
        qputenv("ZUVO2_MEMORY_BUDGET_MB", budgetMB);
    exec(body, "images_load " + quoted(ctDir) + " ct-*.img");
    qunsetenv("ZUVO2_MEMORY_BUDGET_MB");
    QCOMPARE(Failures::count(Failures::Load), loadFailures);
    QCOMPARE(body.images()->count(), images);
    QCOMPARE(body.images()->heldBand().text(), held);
}

// "Clear" on the I0 list must take the energies with the names, or a later
// "Add" pairs old energies with new names.
void TstBodyInputs::clearingI0ListForgetsEnergies()
{
    Body body;
    emit body.findChild<SelectDataFiles*>(QStringLiteral("SelI0Files"))->filesSelected(QStringList{"/n/I0-7_100keV-1.img", "/n/I0-7_120keV-1.img"}, true);
    QTest::mouseClick(body.findChild<SelectDataFiles*>(QStringLiteral("SelI0Files"))->findChild<QPushButton*>("Clear"), Qt::LeftButton);
    QCOMPARE(body.findChild<SelectDataFiles*>(QStringLiteral("SelI0Files"))->findChild<QComboBox*>("Selected")->count(), 0);
    QVERIFY(body.i0EnergyList().isEmpty());
    emit body.findChild<SelectDataFiles*>(QStringLiteral("SelI0Files"))->filesSelected(QStringList{"/n/I0-9keV-1.img"}, false);
    QCOMPARE(body.i0EnergyList(), (QList<double>{9000}));
}

void TstBodyInputs::fixedColourRangeFollowsFieldsInEitherOrder_data()
{
    QTest::addColumn<QStringList>("cmds");
    QTest::newRow("min then max") << QStringList{"fix_color_scale 1", "fix_color_min -3", "fix_color_max 7"};
    QTest::newRow("max then min") << QStringList{"fix_color_scale 1", "fix_color_max 7", "fix_color_min -3"};
    QTest::newRow("fields first") << QStringList{"fix_color_min -3", "fix_color_max 7", "fix_color_scale 1"};
}

void TstBodyInputs::fixedColourRangeFollowsFieldsInEitherOrder()
{
    QFETCH(QStringList, cmds);
    Body body;
    for (const QString& c : cmds)
        exec(body, c);
    QCOMPARE(body.findChild<QLineEdit*>(QStringLiteral("ColorMin"))->text(), QString("-3"));
    QCOMPARE(body.findChild<QLineEdit*>(QStringLiteral("ColorMax"))->text(), QString("7"));
    for (ColorBar* bar : {body.ct1Panel()->cbar, body.ct2Panel(0)->cbar, body.ct2Panel(31)->cbar}) {
        QCOMPARE(bar->getVMin(), -3.0);
        QCOMPARE(bar->getVMax(), 7.0);
    }
}

// Every image used to keep its file open: with a limit of 256 open files a
// long series lost its tail, then I0, BG and the result file.
void TstBodyInputs::longSeriesUnderLowFileLimit()
{
    QTemporaryDir work;
    QVERIFY(work.isValid());
    SampleOptions o = SampleOptions::small(work.filePath("long"), 16, 8, 1100);
    SampleWriter w(o);
    QVERIFY2(w.valid() && w.write(), qPrintable(w.error()));
    const QString out = work.filePath("out");
    const QString prog = work.filePath("long.bat");
    QVERIFY(writeTextFile(prog, QString("images_load \"%1\" ct-*.img\ni0_load \"%1/i0/I0.img\"\nbg_load \"%1/bg/BG.img\"\n"
                    "ct_rot_ax_is_v 1\ncalc_ct2 1\nct_cor %2\nct_proc_slice 4\nauto_save_data_path \"%3\"\n"
                    "auto_save_data_name s.dat\nauto_save_data 1\ncalc_exec\n:end\n")
                .arg(o.outDir)
                .arg(w.cor())
                .arg(out)));

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("/bin/sh", {"-c", "ulimit -n 256 && exec \"$0\" -nw -e -b \"$1\" -x -q",
                        QStringLiteral(ZUVO2_BINARY_DIR "/zuvo2"), prog});
    QVERIFY(p.waitForFinished(120000));
    const QString log = QString::fromUtf8(p.readAll());
    QVERIFY2(!log.contains("not ready") && !log.contains("refused") && !log.contains("not loaded"), qPrintable(log.right(2000)));
    const QStringList written = QDir(out).entryList({"*.dat"}, QDir::Files);
    QCOMPARE(written.size(), 1);
    QFile dat(out + "/" + written.first());
    QVERIFY(dat.open(QIODevice::ReadOnly));
    QVERIFY2(dat.readAll().count('\n') > 16, "the data file holds the slice");
}


// Each row: a command that makes one file the series, whether the line
// succeeds, and the projections and angles it leaves.
void TstBodyInputs::seriesFromOneFile_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("images");
    QTest::addColumn<int>("angles");
    QTest::newRow("HDF5 scan") << "images_load_h5 " + quoted(h5File) << "" << 12 << 12;
    QTest::newRow("TIFF stack") << "images_load_stack " + quoted(stackFile) << "" << 12 << 0;
    QTest::newRow("image file given as a scan")
        << "images_load_h5 " + quoted(ctDir + "/ct-0001.img") << "HDF5 scan not loaded (not an HDF5 file" << 0 << 0;
    QTest::newRow("missing stack") << "images_load_stack " + quoted(ctDir + "/none.tif")
                                   << "File is not ready to access " + ctDir + "/none.tif" << 0 << 0;
    QTest::newRow("no file named") << "images_load_stack" << "images_load_stack, line 0: a file name is missing" << 12 << 0;
}

void TstBodyInputs::seriesFromOneFile()
{
    QFETCH(QString, command);
    QFETCH(QString, warning);
    QFETCH(int, images);
    QFETCH(int, angles);
    Body body;
    exec(body, "images_load " + quoted(ctDir) + " ct-*.img");
    QCOMPARE(body.images()->count(), 12);
    body.batchInterpreter()->setOkFlag(true);
    const int failures = Failures::total();
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^" + QRegularExpression::escape(warning)));
    exec(body, command);
    QCOMPARE(body.batchInterpreter()->ok(), warning.isEmpty());
    QCOMPARE(Failures::total(), failures + (warning.isEmpty() ? 0 : 1));
    QCOMPARE(body.images()->count(), images);
    QCOMPARE(body.images()->anglesDeg.size(), angles);
    if (warning.isEmpty()) {
        // The file stands alone in the list, and the series is ready to run.
        QCOMPARE(body.findChild<SelectDataFiles*>(QStringLiteral("CTFiles"))->findChild<QComboBox*>("Selected")->count(), 1);
        QCOMPARE(body.images()->runRefusal(QString(), QString()), QString());
        QCOMPARE(body.findChild<SeekCtrl*>(QStringLiteral("seekCtrl"))->last(), 11);
    }
}

namespace {
// Holds worker 0's thread until released: a slice dealt to it stays "in
// progress" for as long as the test needs.
void holdWorker(Body& body, QSemaphore& hold)
{
    QMetaObject::invokeMethod(body.run()->worker(0), [&hold] { hold.acquire(); }, Qt::QueuedConnection);
}
} // namespace

// After Stop, a slice still computing reads the projections, I0 and BG: no
// way of replacing or clearing them gets through until it is done.
void TstBodyInputs::inputsLockedUntilLastSliceDone_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("I0 Clear") << "i0 clear";
    QTest::newRow("BG Clear") << "bg clear";
    QTest::newRow("I0 Select") << "i0 select";
    QTest::newRow("I0 Add") << "i0 add";
    QTest::newRow("BG Add") << "bg add";
    QTest::newRow("I0 after the scan Clear") << "after clear";
    QTest::newRow("I0 after the scan Select") << "after select";
}

void TstBodyInputs::inputsLockedUntilLastSliceDone()
{
    QFETCH(QString, what);
    Body body;
    exec(body, "images_load " + quoted(ctDir) + " ct-*.img");
    exec(body, "i0_load " + quoted(ctDir + "/i0/I0.img"));
    exec(body, "bg_load " + quoted(ctDir + "/bg/BG.img"));
    exec(body, "i0_after_load " + quoted(ctDir + "/i0/I0.img"));
    for (const QString& c : {QString("ct_rot_ax_is_v 1"), QString("ct_cor %1").arg(cor), QString("calc_ct2 1"),
                             QString("ct_proc_slice 4")})
        exec(body, c);
    SelectAImgFile* sel = what.startsWith("i0") ? body.findChild<SelectAImgFile*>(QStringLiteral("I0ImgSel")) : what.startsWith("bg") ? body.findChild<SelectAImgFile*>(QStringLiteral("BGImgSel")) : body.findChild<SelectAImgFile*>(QStringLiteral("I0AfterImgSel"));
    const ImgData* before = sel->image();
    QVERIFY(before);
    QSemaphore hold;
    holdWorker(body, hold);
    body.findChild<QPushButton*>(QStringLiteral("CalcCT"))->click();
    QVERIFY(body.isCalcActive());
    body.findChild<QPushButton*>(QStringLiteral("CalcCT"))->click();  // Stop
    QVERIFY(!body.isCalcActive());
    QVERIFY(body.imagesInUse());
    QVERIFY(!sel->findChild<QPushButton*>("Clear")->isEnabled());
    QVERIFY(!sel->findChild<QPushButton*>("Select")->isEnabled());
    QVERIFY(!sel->Add->isEnabled());
    // Not only the buttons: every path to the selector is refused.
    if (what.endsWith("clear"))
        sel->clear0();
    else if (what.endsWith("add"))
        QVERIFY(!sel->addFiles({ctDir + "/bg/BG.img"}));
    else
        sel->fileSelected0(ctDir + "/bg/BG.img");
    QCOMPARE(sel->image(), before);
    QCOMPARE(sel->imageCount(), 1);
    QVERIFY(body.findChild<SelectAImgFile*>(QStringLiteral("I0AfterImgSel"))->image());
    QVERIFY(!sel->findChild<QLineEdit*>("FilePath")->text().isEmpty());
    hold.release();
    QVERIFY(waitIdle(body));
    QTRY_VERIFY(sel->findChild<QPushButton*>("Clear")->isEnabled());
    QVERIFY(sel->findChild<QPushButton*>("Select")->isEnabled());
    sel->findChild<QPushButton*>("Clear")->click();
    QVERIFY(!sel->image());
}

// "Seq. Calc." during a run, or "Calc" during a sequence: the sequence waits
// for the slices in progress and goes on to its end.
void TstBodyInputs::sequenceNeverStalls_data()
{
    QTest::addColumn<bool>("seqDuringRun");
    QTest::newRow("Seq. Calc. during a run") << true;
    QTest::newRow("Calc during a sequence") << false;
}

void TstBodyInputs::sequenceNeverStalls()
{
    QFETCH(bool, seqDuringRun);
    QTemporaryDir d;
    SampleOptions o = SampleOptions::small(d.filePath("xafs"), 64, 16, 8);
    o.kind = "xafs";
    o.energies = {7100, 7120};
    SampleWriter w(o);
    QVERIFY2(w.valid() && w.write(), qPrintable(w.error()));
    const QString out = d.filePath("out");
    Body body;
    for (const QString& c :
         {QString("images_new_on_load 1"), QString("seq_exec_kvt_std 1"), QString("seq_exec_file_pattern Fe-*.img"),
          "seq_exec_dir " + quoted(o.outDir), QString("ct_rot_ax_is_v 1"), QString("ct_cor %1").arg(w.cor()),
          QString("calc_ct2 1"), QString("ct_auto_exec 1"), QString("ct_slice_from 4"), QString("ct_slice_to 8"),
          QString("ct_slice_step 4"), QString("ct_threads 2"), "auto_save_data_path " + quoted(out),
          QString("auto_save_data_name Fe.dat"), QString("auto_save_data 1")})
        exec(body, c);
    QSignalSpy finished(body.sequentialDriver(), &XafsBatch::finished);
    QSemaphore hold;
    holdWorker(body, hold);
    if (seqDuringRun) {
        exec(body, "images_load " + quoted(ctDir) + " ct-*.img");
        body.findChild<QPushButton*>(QStringLiteral("CalcCT"))->click();
        QVERIFY(body.isCalcActive());
        body.findChild<QPushButton*>(QStringLiteral("SeqCalc"))->click();
        // The driver's first load arrives while the slices are computing.
        QTRY_COMPARE(body.findChild<QLineEdit*>(QStringLiteral("ProgressMsg"))->text(), QString("Data Loading"));
        QTest::qWait(100);
        QVERIFY(body.sequentialDriver()->isActive());
    } else {
        body.findChild<QPushButton*>(QStringLiteral("SeqCalc"))->click();
        QTRY_VERIFY(body.isCalcActive());
        body.findChild<QPushButton*>(QStringLiteral("CalcCT"))->click();  // the operator stops the set's run
        QVERIFY(!body.isCalcActive());
    }
    hold.release();
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, 30000);
    QVERIFY(waitIdle(body));
    QVERIFY(!body.sequentialDriver()->isActive());
    // Both sets' slices 4 and 8 (after the operator's run or beside the stopped one).
    const QStringList tagged = QDir(out).entryList({"Fe-*-0000?.dat"}, QDir::Files);
    QVERIFY2(tagged.size() >= (seqDuringRun ? 4 : 3), qPrintable(tagged.join(' ')));
    // The XAFS tab is offered one slice over every energy.
    QCOMPARE(body.findChild<QLineEdit*>("XafsDir")->text(), out);
    const QString pattern = body.findChild<QLineEdit*>("XafsPattern")->text();
    QVERIFY2(QRegularExpression("^Fe-\\*-0000[48]\\.dat$").match(pattern).hasMatch(), qPrintable(pattern));
}

QTEST_MAIN(TstBodyInputs)
#include "tst_bodyinputs.moc"
