// The projection series a directory and pattern give: every matching entry
// is listed (a FIFO, a device or a dangling link refuses the series instead
// of being left out), numbered names go in numeric order, a missing or
// repeated number refuses unless gaps are allowed, and the run's own I0 and
// BG files are never projections.
#include "SeriesListing.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// Makes each entry in d: "name>target" a symbolic link, "name|" a FIFO,
// "name/" a directory, else a small file.
bool makeEntries(const QDir& d, const QStringList& files)
{
    for (const QString& entry : files) {
        bool ok = true;
        if (entry.contains('>')) {
            const QString target = entry.section('>', 1);
            ok = QFile::link(target.startsWith('/') ? target : d.filePath(target), d.filePath(entry.section('>', 0, 0)));
        } else if (entry.endsWith('|')) {
            ok = ::mkfifo(QFile::encodeName(d.filePath(entry.chopped(1))).constData(), 0600) == 0;
        } else if (entry.endsWith('/')) {
            ok = d.mkdir(entry.chopped(1));
        } else {
            QFile file(d.filePath(entry));
            ok = file.open(QIODevice::WriteOnly) && file.write("x") == 1;
        }
        if (!ok)
            return false;
    }
    return true;
}
} // namespace

class TstSeriesListing : public QObject
{
    Q_OBJECT
private slots:
    void listsTheSeriesTheUserMeant_data();
    void listsTheSeriesTheUserMeant();
    void referencesByEnergy_data();
    void referencesByEnergy();
};

void TstSeriesListing::listsTheSeriesTheUserMeant_data()
{
    // files: entries for makeEntries; order: the names listed, or empty when refused.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("references");
    QTest::addColumn<bool>("allowGaps");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<QString>("message");  // part of the refusal, or of gaps
    QTest::newRow("leading zeros") << QStringList{"ct-0002.img", "ct-0001.img", "ct-0003.img"} << QStringList() << false
                                   << QStringList{"ct-0001.img", "ct-0002.img", "ct-0003.img"} << "";
    QTest::newRow("numbers without zeros") << QStringList{"ct-1.img", "ct-10.img", "ct-2.img", "ct-3.img", "ct-4.img",
                                                          "ct-5.img", "ct-6.img", "ct-7.img", "ct-8.img", "ct-9.img"}
                                           << QStringList() << false
                                           << QStringList{"ct-1.img", "ct-2.img", "ct-3.img", "ct-4.img", "ct-5.img",
                                                          "ct-6.img", "ct-7.img", "ct-8.img", "ct-9.img", "ct-10.img"}
                                           << "";
    QTest::newRow("names without one numbering") << QStringList{"ct-0001.img", "ct-0002b.img", "ct-x.img"}
                                                 << QStringList() << false
                                                 << QStringList{"ct-0001.img", "ct-0002b.img", "ct-x.img"} << "";
    QTest::newRow("gap refused") << QStringList{"ct-0044.img", "ct-0046.img", "ct-0050.img"} << QStringList() << false
                                 << QStringList() << "numbers missing from ct-0044.img to ct-0050.img: 45, 47-49";
    QTest::newRow("gap accepted") << QStringList{"ct-0044.img", "ct-0046.img"} << QStringList() << true
                                  << QStringList{"ct-0044.img", "ct-0046.img"} << "45";
    QTest::newRow("number used twice") << QStringList{"ct-7.img", "ct-07.img", "ct-8.img"} << QStringList() << false
                                       << QStringList() << "numbers used twice";
    QTest::newRow("FIFO") << QStringList{"ct-1.img", "ct-2.img|"} << QStringList() << false << QStringList()
                          << "ct-2.img (a FIFO)";
    QTest::newRow("dangling link") << QStringList{"ct-1.img", "ct-2.img>gone.img"} << QStringList() << false
                                   << QStringList() << "ct-2.img (a dangling link)";
    QTest::newRow("device") << QStringList{"ct-1.img", "ct-2.img>/dev/null"} << QStringList() << false
                            << QStringList() << "ct-2.img (a device)";
    QTest::newRow("directory") << QStringList{"ct-1.img", "ct-2.img/"} << QStringList() << false << QStringList()
                               << "ct-2.img (a directory)";
    QTest::newRow("link to a file") << QStringList{"ct-1.img", "ct-2.img>data.bin"} << QStringList() << false
                                    << QStringList{"ct-1.img", "ct-2.img"} << "";
    QTest::newRow("I0 and BG among the projections") << QStringList{"ct-1.img", "ct-2.img", "ct-i0.img", "ct-bg.img"}
                                                     << QStringList{"ct-i0.img", "ct-bg.img"} << false
                                                     << QStringList{"ct-1.img", "ct-2.img"} << "";
    QTest::newRow("I0 under another name") << QStringList{"ct-1.img", "ct-2.img", "ct-3.img>i0.bin"}
                                           << QStringList{"i0.bin"} << false << QStringList{"ct-1.img", "ct-2.img"} << "";
}

void TstSeriesListing::listsTheSeriesTheUserMeant()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, references);
    QFETCH(bool, allowGaps);
    QFETCH(QStringList, order);
    QFETCH(QString, message);
    QTemporaryDir tmp;
    QDir d(tmp.path());
    for (const QString& f : {QStringLiteral("data.bin"), QStringLiteral("i0.bin")}) {
        QFile file(d.filePath(f));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
    }
    QVERIFY(makeEntries(d, files));
    QStringList refs;
    for (const QString& r : references)
        refs << d.filePath(r);
    const SeriesListing::Result r = SeriesListing::list(d.path(), {"ct-*"}, refs, allowGaps);
    QStringList got;
    for (const QString& f : r.files)
        got << QFileInfo(f).fileName();
    QCOMPARE(got, order);
    if (order.isEmpty())
        QVERIFY2(r.refusal.contains(message), qPrintable(r.refusal));
    else
        QCOMPARE(r.gaps, message);
    QCOMPARE(r.removed.size(), references.size());
}

void TstSeriesListing::referencesByEnergy_data()
{
    // files as for makeEntries; order: by energy, or empty when refused.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("in energy order") << QStringList{"I0-7_100keV-0001.img", "I0-7_090keV-0001.img", "I0-7095eV-0001.img"}
                                     << QStringList{"I0-7_090keV-0001.img", "I0-7095eV-0001.img", "I0-7_100keV-0001.img"}
                                     << "";
    QTest::newRow("a name without an energy") << QStringList{"I0-7_100keV-0001.img", "I0.img"} << QStringList()
                                              << "1 of 2 names carry no energy";
    QTest::newRow("an energy twice") << QStringList{"I0-7_100keV-0001.img", "I0-7_100keV-0002.img", "I0-7_110keV-0001.img"}
                                     << QStringList()
                                     << "energies used twice: I0-7_100keV-0001.img and I0-7_100keV-0002.img (7100 eV)";
    QTest::newRow("FIFO") << QStringList{"I0-7_100keV-0001.img", "I0-7_110keV-0001.img|"} << QStringList()
                          << "I0-7_110keV-0001.img (a FIFO)";
    QTest::newRow("dangling link") << QStringList{"I0-7_100keV-0001.img", "I0-7_110keV-0001.img>gone.img"}
                                   << QStringList() << "I0-7_110keV-0001.img (a dangling link)";
}

// The I0 files of a choice by energy: every match listed, each with an
// energy of its own, ordered by it.
void TstSeriesListing::referencesByEnergy()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, order);
    QFETCH(QString, refusal);
    // No "-" in the directory's name: the energy is read from the whole path.
    QTemporaryDir tmp(QDir::tempPath() + "/listingXXXXXX");
    QDir d(tmp.path());
    QVERIFY(makeEntries(d, files));
    const SeriesListing::Result r = SeriesListing::byEnergy(SeriesListing::entries(d.path(), {"I0*"}));
    QStringList got;
    for (const QString& f : r.files)
        got << QFileInfo(f).fileName();
    QCOMPARE(got, order);
    QVERIFY2(r.refusal.contains(refusal), qPrintable(r.refusal));
    QCOMPARE(r.energies, refusal.isEmpty());
}

QTEST_GUILESS_MAIN(TstSeriesListing)
#include "tst_serieslisting.moc"
