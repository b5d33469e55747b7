#include "ConfigStore.h"
#include "Failures.h"
#include "I0ofImage.h"
#include "PopDockBase.h"
#include "SeekCtrl.h"
#include "SelectAFile.h"
#include "SelectDataFiles.h"

#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TstSelect : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void aFileSelected_data();
    void aFileSelected();
    void aFileModes_data();
    void aFileModes();
    void aFileClear_data();
    void aFileClear();
    void aFileDialogs();

    void takeFiles_data();
    void takeFiles();
    void entryStepping_data();
    void entryStepping();
    void newOrAdd();
    void expTime();

    void seekSteps_data();
    void seekSteps();
    void seekMoves();

    void popDock();
    void popDockLifetime();

    void i0Panel();

private:
    QTemporaryDir root;
};

void TstSelect::initTestCase()
{
    QVERIFY(root.isValid());
    dataRoot = root.path();
}

// ---- SelectAFile ----

void TstSelect::aFileSelected_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("relName");
    QTest::addColumn<QString>("relPath");  // expected "FilePath", relative to the temp dir
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("createdDir"); // must exist afterwards (empty: nothing)
    QTest::newRow("save into a missing tree")
        << 1 << "w1/a/b/c/out.png" << "w1/a/b/c" << "out" << "w1/a/b/c";
    QTest::newRow("save, two dots") << 1 << "w2/x/res.01.png" << "w2/x" << "res" << "w2/x";
    QTest::newRow("read, full name shown") << 0 << "r1/scan.img" << "r1/scan.img" << "scan" << "";
    QTest::newRow("read, two dots keep first part")
        << 0 << "r2/Fe-7_112keV.0001.img" << "r2/Fe-7_112keV.0001.img" << "Fe-7_112keV" << "";
    QTest::newRow("read, no suffix") << 0 << "r3/plain" << "r3/plain" << "plain" << "";
}

void TstSelect::aFileSelected()
{
    QFETCH(int, mode);
    QFETCH(QString, relName);
    QFETCH(QString, relPath);
    QFETCH(QString, name);
    QFETCH(QString, createdDir);

    SelectAFile s;
    s.setMode(mode);
    QSignalSpy spy(&s, &SelectAFile::fileSelected);
    const QString full = root.filePath(relName);
    s.fileSelected0(full);

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), full);
    QCOMPARE(s.findChild<QLineEdit*>("FilePath")->text(), root.filePath(relPath));
    QCOMPARE(s.findChild<QLineEdit*>("Name")->text(), name);
    if (createdDir.isEmpty())
        QVERIFY(!QFileInfo::exists(QFileInfo(full).absolutePath())); // reading creates nothing
    else
        QVERIFY(QFileInfo(root.filePath(createdDir)).isDir());
}

void TstSelect::aFileModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("accept");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<QStringList>("filters");
    const QStringList readFilters = { "Img file (*.img)", "Tiff file (*.tif *.tiff)",
                                      "Any file (* *.*)" };
    QTest::newRow("read") << 0 << int(QFileDialog::AcceptOpen) << int(QFileDialog::ExistingFile)
                          << readFilters;
    QTest::newRow("write") << 1 << int(QFileDialog::AcceptSave) << int(QFileDialog::AnyFile)
                           << QStringList { "Any file (* *.*)" };
    // An unknown mode changes only the number; the dialog stays as it was (write).
    QTest::newRow("unknown after write") << 7 << int(QFileDialog::AcceptSave)
                                         << int(QFileDialog::AnyFile)
                                         << QStringList { "Any file (* *.*)" };
}

void TstSelect::aFileModes()
{
    QFETCH(int, mode);
    QFETCH(int, accept);
    QFETCH(int, fileMode);
    QFETCH(QStringList, filters);

    SelectAFile s;
    QCOMPARE(s.getMode(), 0);
    if (mode != 0)
        s.setMode(1);
    s.setMode(mode);
    QCOMPARE(s.getMode(), mode);
    QCOMPARE(int(s.fileDialog()->acceptMode()), accept);
    QCOMPARE(int(s.fileDialog()->fileMode()), fileMode);
    QCOMPARE(s.fileDialog()->nameFilters(), filters);
    QVERIFY(s.findChild<QLineEdit*>("Name")->isHidden());
    QVERIFY(!s.findChild<QLineEdit*>("AddTag")->isHidden());
}

void TstSelect::aFileClear_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("already empty") << "" << "";
    QTest::newRow("filled") << "/some/dir" << "out";
}

void TstSelect::aFileClear()
{
    QFETCH(QString, path);
    QFETCH(QString, name);

    SelectAFile s;
    s.show();
    s.setMode(1);
    s.findChild<QLineEdit*>("FilePath")->setText(path);
    s.findChild<QLineEdit*>("Name")->setText(name);
    s.findChild<QLineEdit*>("AddTag")->setText("tag");
    QSignalSpy spy(&s, &SelectAFile::clear);
    QTest::mouseClick(s.findChild<QPushButton*>("Clear"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(s.findChild<QLineEdit*>("FilePath")->text(), QString());
    QCOMPARE(s.findChild<QLineEdit*>("Name")->text(), QString());
    QCOMPARE(s.findChild<QLineEdit*>("AddTag")->text(), QString("tag"));
    s.clear0();
    QCOMPARE(spy.count(), 2);
}

void TstSelect::aFileDialogs()
{
    SelectAFile s;
    SelectDataFiles d;
    s.show();
    d.show();
    const QString rootPath = QDir(root.path()).absolutePath();
    QCOMPARE(s.fileDialog()->directory().absolutePath(), rootPath);
    QCOMPARE(d.fileDialog()->directory().absolutePath(), rootPath);
    QVERIFY(!s.fileDialog()->parent());
    QVERIFY(!d.fileDialog()->parent());
    QCOMPARE(d.fileDialog()->fileMode(), QFileDialog::ExistingFiles);
    QCOMPARE(d.fileDialog()->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(d.fileDialog()->nameFilters(),
             (QStringList { "Itex File (*.img)", "Tiff File (*.tif *.tiff)", "Any Files (* *.*)" }));

    // "Select" opens the dialog without blocking.
    QTest::mouseClick(s.findChild<QPushButton*>("Select"), Qt::LeftButton);
    QVERIFY(s.fileDialog()->isVisible());
    QVERIFY(!s.fileDialog()->isModal());
    s.fileDialog()->hide();
    QTest::mouseClick(d.findChild<QPushButton*>("Select"), Qt::LeftButton);
    QVERIFY(d.fileDialog()->isVisible());
    QVERIFY(!d.fileDialog()->isModal());
    d.fileDialog()->hide();

    // A choice made in the dialog reaches the panel and its owner.
    QSignalSpy one(&s, &SelectAFile::fileSelected);
    emit s.fileDialog()->fileSelected(root.filePath("z.img"));
    QCOMPARE(one.count(), 1);
    QCOMPARE(s.findChild<QLineEdit*>("FilePath")->text(), root.filePath("z.img"));
    QSignalSpy many(&d, &SelectDataFiles::filesSelected);
    emit d.fileDialog()->filesSelected({ "a.img", "b.img" });
    QCOMPARE(many.count(), 1);
    QCOMPARE(many.at(0).at(0).toStringList(), (QStringList { "a.img", "b.img" }));
}

// ---- SelectDataFiles ----

void TstSelect::takeFiles_data()
{
    QTest::addColumn<bool>("addMode");
    QTest::addColumn<bool>("multi");
    QTest::addColumn<QString>("times");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("count");       // files carried by filesSelected
    QTest::addColumn<bool>("allFirst");   // every carried file is the first one
    QTest::addColumn<QString>("message"); // expected debug line, if any

    const QStringList three = { "/d/a.img", "/d/b.img", "/d/c.img" };
    QTest::newRow("new, plain") << false << false << "180" << three << 3 << false << "";
    QTest::newRow("add, plain") << true << false << "180" << three << 3 << false << "";
    QTest::newRow("multi 180") << false << true << "180" << three << 180 << true << "";
    QTest::newRow("multi added") << true << true << "2" << three << 2 << true << "";
    QTest::newRow("multi not an integer") << false << true << "12.5" << three << 0 << true << "";
    QTest::newRow("multi text") << false << true << "abc" << three << 0 << true << "";
    QTest::newRow("multi zero") << false << true << "0" << three << 0 << true << "";
    QTest::newRow("multi negative") << false << true << "-3" << three << 0 << true << "";
    QTest::newRow("multi, nothing chosen") << false << true << "180" << QStringList() << 0 << true << "";
    QTest::newRow("multi absurd count is capped")
        << false << true << "10000000" << three << SessionState::maxMultiTimes << true
        << "Too many copies asked for, limited to 3600 : 10000000";
    QTest::newRow("multi at the cap") << false << true << "3600" << three << 3600 << true << "";
}

void TstSelect::takeFiles()
{
    QFETCH(bool, addMode);
    QFETCH(bool, multi);
    QFETCH(QString, times);
    QFETCH(QStringList, files);
    QFETCH(int, count);
    QFETCH(bool, allFirst);
    QFETCH(QString, message);

    SelectDataFiles d;
    d.show();
    d.addEntry("/old/1.img");
    d.addEntry("/old/2.img");
    if (addMode)
        QTest::mouseClick(d.findChild<QRadioButton*>("AddFiles"), Qt::LeftButton);
    d.findChild<QCheckBox*>("LoadMultiTimes")->setChecked(multi);
    // Typed: the count is read from the text as it is edited.
    d.findChild<QLineEdit*>("MultiTimes")->clear();
    QTest::keyClicks(d.findChild<QLineEdit*>("MultiTimes"), times);
    QSignalSpy sel(&d, &SelectDataFiles::filesSelected);
    QSignalSpy cleared(&d, &SelectDataFiles::filesCleared);
    if (!message.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(message));

    d.takeFiles(files);

    QCOMPARE(sel.count(), 1);
    const QStringList got = sel.at(0).at(0).toStringList();
    QCOMPARE(sel.at(0).at(1).toBool(), !addMode);
    QCOMPARE(got.size(), count);
    if (allFirst) {
        for (const QString& f : got)
            QCOMPARE(f, files.first());
    } else {
        QCOMPARE(got, files);
    }
    // The list is the owner's to replace once the files are in: a load that
    // is cancelled or refused leaves it (and the series) as it was.
    QCOMPARE(cleared.count(), 0);
    QCOMPARE(d.findChild<QComboBox*>("Selected")->count(), 2);
    QCOMPARE(d.findChild<QLabel*>("Count")->text(), QString("2"));
}

void TstSelect::entryStepping_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("op");
    QTest::addColumn<int>("arg");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("signalled");
    QTest::newRow("prev at first") << 3 << 0 << "prev" << 0 << 0 << false;
    QTest::newRow("prev") << 3 << 2 << "prev" << 0 << 1 << true;
    QTest::newRow("next") << 3 << 0 << "next" << 0 << 1 << true;
    QTest::newRow("next at last") << 3 << 2 << "next" << 0 << 2 << false;
    QTest::newRow("next in empty list") << 0 << -1 << "next" << 0 << -1 << false;
    QTest::newRow("prev in empty list") << 0 << -1 << "prev" << 0 << -1 << false;
    QTest::newRow("select inside") << 3 << 0 << "select" << 2 << 2 << true;
    QTest::newRow("select past end") << 3 << 0 << "select" << 3 << 0 << false;
    QTest::newRow("select negative") << 3 << 1 << "select" << -1 << 1 << false;
}

void TstSelect::entryStepping()
{
    QFETCH(int, entries);
    QFETCH(int, start);
    QFETCH(QString, op);
    QFETCH(int, arg);
    QFETCH(int, expected);
    QFETCH(bool, signalled);

    SelectDataFiles d;
    for (int i = 0; i < entries; ++i)
        d.addEntry(QString("/f/%1.img").arg(i));
    QCOMPARE(d.findChild<QLabel*>("Count")->text(), QString::number(entries));
    if (start >= 0)
        d.findChild<QComboBox*>("Selected")->setCurrentIndex(start);
    QSignalSpy spy(&d, &SelectDataFiles::currentIndexChanged);
    if (op == "prev")
        d.prev();
    else if (op == "next")
        d.next();
    else
        d.select(arg);
    QCOMPARE(d.findChild<QComboBox*>("Selected")->currentIndex(), expected);
    QCOMPARE(spy.count(), signalled ? 1 : 0);
    if (signalled)
        QCOMPARE(spy.at(0).at(0).toInt(), expected);
}

void TstSelect::newOrAdd()
{
    SelectDataFiles d;
    d.show();
    QVERIFY(d.findChild<QRadioButton*>("LoadNewFiles")->isChecked());
    QVERIFY(!d.findChild<QRadioButton*>("AddFiles")->isChecked());
    QVERIFY(d.findChild<QCheckBox*>("KeepConditions")->isChecked());
    QVERIFY(!d.findChild<QCheckBox*>("LoadMultiTimes")->isChecked());
    QCOMPARE(d.findChild<QLineEdit*>("MultiTimes")->text(), QString("180"));
    QTest::mouseClick(d.findChild<QRadioButton*>("AddFiles"), Qt::LeftButton);
    QVERIFY(d.findChild<QRadioButton*>("AddFiles")->isChecked());
    QVERIFY(!d.findChild<QRadioButton*>("LoadNewFiles")->isChecked());
    // Clicking the chosen one again keeps exactly one chosen.
    QTest::mouseClick(d.findChild<QRadioButton*>("AddFiles"), Qt::LeftButton);
    QVERIFY(d.findChild<QRadioButton*>("AddFiles")->isChecked());
    QTest::mouseClick(d.findChild<QRadioButton*>("LoadNewFiles"), Qt::LeftButton);
    QVERIFY(d.findChild<QRadioButton*>("LoadNewFiles")->isChecked());
    QVERIFY(!d.findChild<QRadioButton*>("AddFiles")->isChecked());

    // "Clear" empties the list and says so.
    d.addEntry("/a.img");
    QSignalSpy cleared(&d, &SelectDataFiles::filesCleared);
    QTest::mouseClick(d.findChild<QPushButton*>("Clear"), Qt::LeftButton);
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(d.findChild<QComboBox*>("Selected")->count(), 0);
    QCOMPARE(d.findChild<QLabel*>("Count")->text(), QString("0"));
}

void TstSelect::expTime()
{
    SelectDataFiles d;
    QCOMPARE(d.options().expTime, 1.0);
    QSignalSpy edited(&d, &SelectDataFiles::optionsEdited);
    d.findChild<QLineEdit*>("ExpTime")->clear();
    QTest::keyClicks(d.findChild<QLineEdit*>("ExpTime"), "abc");
    QCOMPARE(d.options().expTime, 0.0);
    QVERIFY(edited.count() > 0);
    // Shown values are not handed back as edits.
    edited.clear();
    SessionState::SeriesOptions o;
    o.expTime = 0.123456789;
    o.replace = false;
    d.showOptions(o);
    QCOMPARE(d.findChild<QLineEdit*>("ExpTime")->text(), QString("0.123457"));
    QVERIFY(d.findChild<QRadioButton*>("AddFiles")->isChecked());
    QCOMPARE(d.options().expTime, 0.123456789);
    QCOMPARE(edited.count(), 0);
}

// ---- SeekCtrl ----

void TstSelect::seekSteps_data()
{
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("up");
    QTest::addColumn<int>("expected");
    QTest::newRow("inc near max") << 100 << 95 << true << 100;
    QTest::newRow("inc at max") << 100 << 100 << true << 100;
    QTest::newRow("inc reaching max exactly") << 100 << 90 << true << 100;
    QTest::newRow("inc") << 100 << 50 << true << 60;
    QTest::newRow("inc with nothing loaded") << 0 << 0 << true << 0;
    QTest::newRow("dec near 0") << 100 << 4 << false << 0;
    QTest::newRow("dec at 0") << 100 << 0 << false << 0;
    QTest::newRow("dec") << 100 << 20 << false << 10;
    QTest::newRow("inc near int max") << INT_MAX << INT_MAX - 3 << true << INT_MAX;
}

void TstSelect::seekSteps()
{
    QFETCH(int, max);
    QFETCH(int, start);
    QFETCH(bool, up);
    QFETCH(int, expected);

    SeekCtrl s;
    s.show();
    s.findChild<QSlider*>("Seek")->setMaximum(max);
    s.findChild<QSpinBox*>("Index")->setMaximum(max);
    s.findChild<QSpinBox*>("Index")->setValue(start);
    QCOMPARE(s.findChild<QSlider*>("Seek")->value(), start);
    QSignalSpy spy(&s, &SeekCtrl::newIndex);
    QTest::mouseClick(up ? static_cast<QWidget*>(s.findChild<QToolButton*>("Inc")) : static_cast<QWidget*>(s.findChild<QToolButton*>("Dec")),
                      Qt::LeftButton);
    QCOMPARE(s.findChild<QSlider*>("Seek")->value(), expected);
    QCOMPARE(s.findChild<QSpinBox*>("Index")->value(), expected);
    // A change arrives twice (the spin box reports its own change too); none, never.
    QCOMPARE(spy.count(), expected == start ? 0 : 2);
    for (const auto& args : spy)
        QCOMPARE(args.at(0).toInt(), expected);
}

void TstSelect::seekMoves()
{
    SeekCtrl s;
    s.findChild<QSlider*>("Seek")->setMaximum(50);
    s.findChild<QSpinBox*>("Index")->setMaximum(50);
    QSignalSpy spy(&s, &SeekCtrl::newIndex);

    s.sliderMoved(7);
    QCOMPARE(s.findChild<QSpinBox*>("Index")->value(), 7);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toInt(), 7);
    QCOMPARE(spy.at(1).at(0).toInt(), 7);

    spy.clear();
    s.findChild<QSpinBox*>("Index")->setValue(33);
    QCOMPARE(s.findChild<QSlider*>("Seek")->value(), 33);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 33);

    // A drag of the slider itself goes the same way.
    spy.clear();
    s.findChild<QSlider*>("Seek")->setSliderDown(true);
    s.findChild<QSlider*>("Seek")->setSliderPosition(12);
    s.findChild<QSlider*>("Seek")->setSliderDown(false);
    QCOMPARE(s.findChild<QSpinBox*>("Index")->value(), 12);
    QVERIFY(spy.count() >= 1);
    QCOMPARE(spy.last().at(0).toInt(), 12);
}

// ---- PopDockBase ----

void TstSelect::popDock()
{
    PopDockBase base;
    base.show();
    auto* content = new QLabel("content");
    base.setContent(content, "Measured Raw Image");
    ClosableBase* pop = base.popWindow();
    QCOMPARE(pop->windowTitle(), QString("Measured Raw Image"));
    QCOMPARE(pop->size(), QSize(500, 500));
    QCOMPARE(content->parentWidget(), &base);
    QVERIFY(base.findChild<QGridLayout*>("Layout")->indexOf(content) >= 0);

    for (int round = 0; round < 2; ++round) {
        QTest::mouseClick(base.findChild<QPushButton*>("PopDock"), Qt::LeftButton);
        QVERIFY(pop->isVisible());
        QCOMPARE(content->parentWidget(), pop);
        QVERIFY(pop->layout()->indexOf(content) >= 0);
        QVERIFY(!content->isHidden());

        if (round == 0) {
            QTest::mouseClick(base.findChild<QPushButton*>("PopDock"), Qt::LeftButton); // dock by the button
        } else {
            QSignalSpy closed(pop, &ClosableBase::closed);
            QVERIFY(pop->close());                           // dock by closing the window
            QCOMPARE(closed.count(), 1);
        }
        QVERIFY(!pop->isVisible());
        QCOMPARE(content->parentWidget(), &base);
        QVERIFY(base.findChild<QGridLayout*>("Layout")->indexOf(content) >= 0);
        QVERIFY(!content->isHidden());
    }
}

void TstSelect::popDockLifetime()
{
    // Popped content dies with the panel, as docked content does.
    QPointer<QLabel> content = new QLabel("c");
    {
        PopDockBase base;
        base.setContent(content, "t");
        base.popDock();
        QCOMPARE(content->parentWidget(), base.popWindow());
    }
    QVERIFY(content.isNull());

    // Content deleted by its owner is no longer touched.
    PopDockBase base;
    auto* gone = new QLabel("g");
    base.setContent(gone, "t");
    delete gone;
    base.popDock();
    QVERIFY(base.popWindow()->isVisible());
    base.moveToDockBase();
    base.moveToPopBase();
    QCOMPARE(base.popWindow()->layout()->count(), 0);
    QCOMPARE(base.findChild<QGridLayout*>("Layout")->count(), 0);
}

// ---- I0ofImage ----

void TstSelect::i0Panel()
{
    I0ofImage p;
    QCOMPARE(p.windowTitle(), QString("I0 of Image"));
    QCOMPARE(p.findChild<QLineEdit*>("I0Val")->text(), QString("1.0"));
    QVERIFY(!p.findChild<QCheckBox*>("CalcFromXAFS")->isChecked());
    QCOMPARE(p.findChild<QLineEdit*>("EngPattern")->text(), QString("####_####"));
    auto* file = p.findChild<SelectAFile*>("XafsFile");
    QCOMPARE(file->getMode(), 0);
    QCOMPARE(file->findChild<QLineEdit*>("FilePath")->text(), QString());
    p.setTitle("I0 of Raw Image");
    QCOMPARE(p.findChild<QLabel*>("Title")->text(), QString("I0 of Raw Image"));

    // The XAFS file is chosen and cleared like any single file, and each
    // edit is handed back; what is shown is not.
    QSignalSpy edited(&p, &I0ofImage::edited);
    const QString f = root.filePath("fe.dat");
    file->fileSelected0(f);
    QCOMPARE(file->findChild<QLineEdit*>("FilePath")->text(), f);
    QCOMPARE(p.source().xafsFile, f);
    file->clear0();
    QCOMPARE(file->findChild<QLineEdit*>("FilePath")->text(), QString());
    QCOMPARE(edited.count(), 2);
    SessionState::I0Source s;
    s.value = 0.000123456789;
    s.xafsFile = f;
    p.showSource(s);
    QCOMPARE(p.findChild<QLineEdit*>("I0Val")->text(), QString("0.000123457"));
    QCOMPARE(file->findChild<QLineEdit*>("FilePath")->text(), f);
    QCOMPARE(edited.count(), 2);
}

QTEST_MAIN(TstSelect)
#include "tst_select.moc"
