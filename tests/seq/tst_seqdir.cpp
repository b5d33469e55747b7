// The directory selector and the data-directory panel on real directories.
#include "ConfigStore.h"
#include "SelectDataDir.h"
#include "SelectDir.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QComboBox>
#include <QRadioButton>
#include <QtTest>

// A control of the panel's private form, by its object name.
template <class W>
W* part(const QObject& panel, const char* name)
{
    return panel.findChild<W*>(QLatin1String(name));
}

namespace {
void touch(const QString& path)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
}

void makeFiles(const QString& dir, const QStringList& names)
{
    for (const QString& n : names)
        touch(dir + QLatin1Char('/') + n);
}

QStringList entries(const SelectDataDir& p)
{
    QStringList l;
    for (int i = 0; i < part<QComboBox>(p, "SubDirs")->count(); ++i)
        l << part<QComboBox>(p, "SubDirs")->itemText(i);
    return l;
}

QStringList names(const QFileInfoList& infos)
{
    QStringList l;
    for (const QFileInfo& fi : infos)
        l << fi.fileName();
    return l;
}

const QStringList kAB{"A-1_0keV-001.img", "A-1_0keV-002.img", "A-2_0keV-001.img",
                      "B-1_0keV-001.img"};
// A step of a sequence as the session host takes it: on in the sets, the
// panel showing where the walk is and handing the set over; false: no set.
bool walk(SelectDataDir& p, DataDirSets& sets, bool first)
{
    const bool there = first ? sets.first() : sets.advance();
    p.refresh();
    if (there)
        p.set();
    return there;
}
} // namespace

class TstSeqDir : public QObject
{
    Q_OBJECT
private slots:
    void selectDirForm();
    void selectDirChoice();
    void kvtSets();
    void kvtHandOver();
    void stepping_data();
    void stepping();
    void emptyListEndsAtOnce_data();
    void emptyListEndsAtOnce();
    void noMatchKeepsPreviousSets();
    void layoutSwitchRelists();
    void patternSplitting();
    void subDirEnergy();
    void buttons();
    void directDirectoryIsShown();
};

void TstSeqDir::selectDirForm()
{
    QTemporaryDir root;
    const QString saved = dataRoot;
    dataRoot = root.path();
    SelectDir d;
    dataRoot = saved;
    QCOMPARE(d.findChild<QPushButton*>("Select")->text(), QStringLiteral("Sel. Dir"));
    QVERIFY(d.findChild<QLineEdit*>("SelectedDir")->isReadOnly());
    QCOMPARE(d.dialog.fileMode(), QFileDialog::Directory);
    QCOMPARE(d.dialog.acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(d.dialog.nameFilters(), QStringList{"(*)"});
    QCOMPARE(QDir(d.dialog.directory()).absolutePath(), QDir(root.path()).absolutePath());
    QVERIFY(d.dialog.parent() == nullptr);
}

void TstSeqDir::selectDirChoice()
{
    SelectDir d;
    QString seenText;
    QSignalSpy spy(&d, &SelectDir::aDirSelected);
    connect(&d, &SelectDir::aDirSelected, this, [&] { seenText = d.dirName(); });
    emit d.dialog.fileSelected(QStringLiteral("/tmp/somewhere"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("/tmp/somewhere"));
    QCOMPARE(d.dirName(), QStringLiteral("/tmp/somewhere"));
    // The owner's reaction already sees the new name.
    QCOMPARE(seenText, QStringLiteral("/tmp/somewhere"));
}

void TstSeqDir::kvtSets()
{
    QTemporaryDir tmp;
    makeFiles(tmp.path(), kAB + QStringList{"notes.txt"});
    QDir().mkdir(tmp.path() + "/sub.img"); // a directory is never a file of a set

    SelectDataDir p;
    QCOMPARE(part<SelectDir>(p, "SelDir")->findChild<QPushButton*>("Select")->text(), QStringLiteral("Sel. Data Dir."));
    QVERIFY(part<QRadioButton>(p, "isKVTStd_")->isChecked());
    QCOMPARE(part<QLineEdit>(p, "Pattern")->text(), QStringLiteral("*.img"));
    p.aDirSelected(tmp.path());
    QCOMPARE(entries(p), (QStringList{"A (1[keV], 2)", "  (2[keV], 1)", "B (1[keV], 1)"}));
    QCOMPARE(p.dataSets().fileSets().size(), 3);
    QCOMPARE(part<QComboBox>(p, "SubDirs")->currentIndex(), 0);
    QCOMPARE(p.currentEnergy(), 1000.0);
    QCOMPARE(p.currentEnergyText(), QStringLiteral("1_0keV"));
    part<QComboBox>(p, "SubDirs")->setCurrentIndex(1);
    QCOMPARE(p.currentEnergy(), 2000.0);
    QCOMPARE(p.currentEnergyText(), QStringLiteral("2_0keV"));
}

void TstSeqDir::kvtHandOver()
{
    QTemporaryDir tmp;
    makeFiles(tmp.path(), kAB);
    SelectDataDir p;
    p.aDirSelected(tmp.path());
    QSignalSpy infos(&p, &SelectDataDir::selectedFileInfoList);
    QSignalSpy dirs(&p, &SelectDataDir::selected);
    p.set();
    QCOMPARE(infos.count(), 1);
    QCOMPARE(dirs.count(), 0);
    const QFileInfoList files = infos.at(0).at(0).value<QFileInfoList>();
    QCOMPARE(names(files), (QStringList{"A-1_0keV-001.img", "A-1_0keV-002.img"}));
    QVERIFY(files.at(0).exists());
    QCOMPARE(files.at(0).absolutePath(), QDir(tmp.path()).absolutePath());
}

void TstSeqDir::stepping_data()
{
    QTest::addColumn<bool>("kvt");
    QTest::newRow("KVT layout") << true;
    QTest::newRow("sub-directory layout") << false;
}

void TstSeqDir::stepping()
{
    QFETCH(bool, kvt);
    QTemporaryDir tmp;
    makeFiles(tmp.path(), kAB);
    for (const char* s : {"7_1keV", "7_2keV", "7_3keV"})
        QDir(tmp.path()).mkdir(s);

    SelectDataDir p;
    DataDirSets sets;
    p.useSets(&sets);
    p.setIsKVTStandard(kvt);
    p.aDirSelected(tmp.path());
    QCOMPARE(part<QComboBox>(p, "SubDirs")->count(), 3);
    QSignalSpy infos(&p, &SelectDataDir::selectedFileInfoList);
    QSignalSpy dirs(&p, &SelectDataDir::selected);

    part<QComboBox>(p, "SubDirs")->setCurrentIndex(2);
    QVERIFY(walk(p, sets, true));
    QCOMPARE(part<QComboBox>(p, "SubDirs")->currentIndex(), 0);
    QVERIFY(walk(p, sets, false));
    QVERIFY(walk(p, sets, false));
    QCOMPARE(part<QComboBox>(p, "SubDirs")->currentIndex(), 2);
    QCOMPARE(infos.count() + dirs.count(), 3);

    // At the last entry: nothing handed over, the entry stays.
    QVERIFY(!walk(p, sets, false));
    QCOMPARE(part<QComboBox>(p, "SubDirs")->currentIndex(), 2);
    QCOMPARE(infos.count() + dirs.count(), 3);
    p.next();
    QCOMPARE(part<QComboBox>(p, "SubDirs")->currentIndex(), 2);

    // next() moves without handing over.
    part<QComboBox>(p, "SubDirs")->setCurrentIndex(0);
    p.next();
    QCOMPARE(part<QComboBox>(p, "SubDirs")->currentIndex(), 1);
    QCOMPARE(infos.count() + dirs.count(), 3);

    if (kvt) {
        QCOMPARE(names(infos.at(2).at(0).value<QFileInfoList>()),
                 QStringList{"B-1_0keV-001.img"});
    } else {
        const QStringList paths{dirs.at(0).at(0).toString(), dirs.at(1).at(0).toString(),
                                dirs.at(2).at(0).toString()};
        // Joined with the platform's separator, so each path names the sub-directory.
        for (const QString& path : paths)
            QVERIFY2(QFileInfo(path).isDir(), qPrintable(path));
        QCOMPARE(QFileInfo(paths.at(2)).fileName(), QStringLiteral("7_3keV"));
    }
}

void TstSeqDir::emptyListEndsAtOnce_data()
{
    QTest::addColumn<bool>("kvt");
    QTest::addColumn<bool>("chooseDir");
    QTest::newRow("KVT, directory without files") << true << true;
    QTest::newRow("KVT, no directory chosen") << true << false;
    QTest::newRow("sub-dirs, directory without sub-directories") << false << true;
    QTest::newRow("sub-dirs, no directory chosen") << false << false;
}

void TstSeqDir::emptyListEndsAtOnce()
{
    QFETCH(bool, kvt);
    QFETCH(bool, chooseDir);
    QTemporaryDir tmp;
    makeFiles(tmp.path(), {"readme.txt"});
    SelectDataDir p;
    DataDirSets sets;
    p.useSets(&sets);
    p.setIsKVTStandard(kvt);
    if (chooseDir)
        p.aDirSelected(tmp.path());
    QCOMPARE(part<QComboBox>(p, "SubDirs")->count(), 0);

    QSignalSpy infos(&p, &SelectDataDir::selectedFileInfoList);
    QSignalSpy dirs(&p, &SelectDataDir::selected);
    p.set();
    QCOMPARE(infos.count() + dirs.count(), 0);
    // A run asking for its first set learns at once that there is none.
    QVERIFY(!walk(p, sets, true));
    QCOMPARE(infos.count() + dirs.count(), 0);
    QCOMPARE(p.currentEnergy(), 0.0);
    QCOMPARE(p.currentEnergyText(), QString());
}

void TstSeqDir::noMatchKeepsPreviousSets()
{
    QTemporaryDir good, empty;
    makeFiles(good.path(), kAB);
    makeFiles(empty.path(), {"readme.txt"});
    SelectDataDir p;
    p.aDirSelected(good.path());
    part<QComboBox>(p, "SubDirs")->setCurrentIndex(2);
    p.aDirSelected(empty.path());
    QCOMPARE(part<QComboBox>(p, "SubDirs")->count(), 3);
    QCOMPARE(p.dataSets().fileSets().size(), 3);
    QCOMPARE(part<QComboBox>(p, "SubDirs")->currentIndex(), 2);
    QSignalSpy infos(&p, &SelectDataDir::selectedFileInfoList);
    p.set();
    QCOMPARE(infos.count(), 1);
    QCOMPARE(names(infos.at(0).at(0).value<QFileInfoList>()), QStringList{"B-1_0keV-001.img"});
}

void TstSeqDir::layoutSwitchRelists()
{
    QTemporaryDir tmp;
    makeFiles(tmp.path(), kAB);
    QDir(tmp.path()).mkdir("7_1keV");
    QDir(tmp.path()).mkdir("7_2keV");
    SelectDataDir p;
    DataDirSets sets;
    p.useSets(&sets);
    p.aDirSelected(tmp.path());
    QCOMPARE(part<QComboBox>(p, "SubDirs")->count(), 3);

    p.setIsKVTStandard(false);
    QVERIFY(!part<QRadioButton>(p, "isKVTStd_")->isChecked());
    QCOMPARE(entries(p), (QStringList{"7_1keV", "7_2keV"}));
    QVERIFY(p.dataSets().fileSets().isEmpty());
    QCOMPARE(p.currentEnergyText(), QStringLiteral("7_1keV"));

    p.setIsKVTStandard(true);
    QCOMPARE(entries(p), (QStringList{"A (1[keV], 2)", "  (2[keV], 1)", "B (1[keV], 1)"}));
    QCOMPARE(p.dataSets().fileSets().size(), 3);

    // Back to KVT in a directory with sub-directories only: no set is offered.
    QTemporaryDir subsOnly;
    QDir(subsOnly.path()).mkdir("7_1keV");
    p.setIsKVTStandard(false);
    p.aDirSelected(subsOnly.path());
    QCOMPARE(part<QComboBox>(p, "SubDirs")->count(), 1);
    p.setIsKVTStandard(true);
    QCOMPARE(part<QComboBox>(p, "SubDirs")->count(), 0);
    QVERIFY(!sets.first());
}

void TstSeqDir::patternSplitting()
{
    QTemporaryDir tmp;
    makeFiles(tmp.path(), {"Fe-7eV-1.img", "Fe-7eV-1.tif"});
    QDir(tmp.path()).mkdir("7_1keV");
    SelectDataDir p;
    part<QLineEdit>(p, "Pattern")->setText(QStringLiteral("*.img *.tif"));
    p.aDirSelected(tmp.path());
    // One pattern with a space in it: nothing matches.
    QCOMPARE(part<QComboBox>(p, "SubDirs")->count(), 0);

    p.setIsKVTStandard(false);
    QSignalSpy dirs(&p, &SelectDataDir::selected);
    p.set();
    QCOMPARE(dirs.count(), 1);
    QCOMPARE(dirs.at(0).at(1).toStringList(), (QStringList{"*.img", "*.tif"}));

    part<QLineEdit>(p, "Pattern")->setText(QStringLiteral(" *.img"));
    p.set();
    QCOMPARE(dirs.at(1).at(1).toStringList(), (QStringList{"", "*.img"}));
}

void TstSeqDir::subDirEnergy()
{
    QTemporaryDir tmp;
    QDir(tmp.path()).mkdir("7_112keV");
    QDir(tmp.path()).mkdir("7200");
    SelectDataDir p;
    p.setIsKVTStandard(false);
    p.aDirSelected(tmp.path());
    QCOMPARE(entries(p), (QStringList{"7200", "7_112keV"}));
    QCOMPARE(p.currentEnergy(), 7200.0);
    p.next();
    // The unit counts in this layout too: the nearest I0 depends on it.
    QCOMPARE(p.currentEnergy(), 7112.0);
}

void TstSeqDir::buttons()
{
    QTemporaryDir tmp;
    makeFiles(tmp.path(), kAB);
    SelectDataDir p;
    p.show();
    p.aDirSelected(tmp.path());
    QSignalSpy infos(&p, &SelectDataDir::selectedFileInfoList);
    QTest::mouseClick(part<QPushButton>(p, "Next"), Qt::LeftButton);
    QCOMPARE(part<QComboBox>(p, "SubDirs")->currentIndex(), 1);
    QCOMPARE(infos.count(), 0);
    QTest::mouseClick(part<QPushButton>(p, "Set"), Qt::LeftButton);
    QCOMPARE(infos.count(), 1);
    QCOMPARE(names(infos.at(0).at(0).value<QFileInfoList>()), QStringList{"A-2_0keV-001.img"});
    // The lone switch can be turned off by a click.
    QTest::mouseClick(part<QRadioButton>(p, "isKVTStd_"), Qt::LeftButton);
    QVERIFY(!part<QRadioButton>(p, "isKVTStd_")->isChecked());
}

void TstSeqDir::directDirectoryIsShown()
{
    QTemporaryDir tmp;
    QDir(tmp.path()).mkdir("7_1keV");
    SelectDataDir p;
    p.setIsKVTStandard(false);
    p.aDirSelected(tmp.path());
    QCOMPARE(part<SelectDir>(p, "SelDir")->dirName(), tmp.path());
    QSignalSpy dirs(&p, &SelectDataDir::selected);
    p.set();
    QCOMPARE(QDir(dirs.at(0).at(0).toString()).absolutePath(),
             QDir(tmp.path() + "/7_1keV").absolutePath());

    // A choice through the dialog lists that directory.
    QTemporaryDir other;
    QDir(other.path()).mkdir("a");
    QDir(other.path()).mkdir("b");
    emit part<SelectDir>(p, "SelDir")->dialog.fileSelected(other.path());
    QCOMPARE(entries(p), (QStringList{"a", "b"}));
    QCOMPARE(part<SelectDir>(p, "SelDir")->dirName(), other.path());
}

QTEST_MAIN(TstSeqDir)
#include "tst_seqdir.moc"
