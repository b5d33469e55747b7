// No output of a run may be one of its inputs under any name, and two runs
// never write one output name in one directory at the same time.
#include "OutputGuard.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

class TstOutputGuard : public QObject
{
    Q_OBJECT
private slots:
    void noOutputIsAnInput_data();
    void noOutputIsAnInput();
    void secondWriterOfANameIsRefused();
    void lockOfAnEndedProcessIsTakenOver();
};

void TstOutputGuard::noOutputIsAnInput_data()
{
    // Paths relative to a fresh directory holding in/a.tif and in/b.tif.
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("collides");
    QTest::newRow("same path") << "in/a.tif" << "in/a.tif" << true;
    QTest::newRow("another spelling") << "in/../in/a.tif" << "in/a.tif" << true;
    QTest::newRow("through a linked directory") << "linked/a.tif" << "in/a.tif" << true;
    QTest::newRow("input is a link to the output") << "in/a.tif" << "link.tif" << true;
    QTest::newRow("hard link") << "hard.tif" << "in/a.tif" << true;
    QTest::newRow("another file") << "in/b.tif" << "in/a.tif" << false;
    QTest::newRow("not there yet") << "in/c.tif" << "in/a.tif" << false;
    QTest::newRow("input link not yet resolved") << "in/gone.tif" << "dangling.tif" << true;
}

void TstOutputGuard::noOutputIsAnInput()
{
    QFETCH(QString, output);
    QFETCH(QString, input);
    QFETCH(bool, collides);
    QTemporaryDir tmp;
    QDir d(tmp.path());
    QVERIFY(d.mkdir("in"));
    for (const char* f : {"in/a.tif", "in/b.tif"}) {
        QFile file(d.filePath(f));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
    }
    QVERIFY(QFile::link(d.filePath("in"), d.filePath("linked")));
    QVERIFY(QFile::link(d.filePath("in/a.tif"), d.filePath("link.tif")));
    QVERIFY(QFile::link(d.filePath("in/gone.tif"), d.filePath("dangling.tif")));
    QCOMPARE(::link(QFile::encodeName(d.filePath("in/a.tif")).constData(),
                    QFile::encodeName(d.filePath("hard.tif")).constData()), 0);
    const QString why = OutputGuard::collision({d.filePath("in/b.tif"), d.filePath(output)}, {d.filePath(input)});
    if (collides) {
        QVERIFY2(why.contains(d.filePath(output)) && why.contains(d.filePath(input)), qPrintable(why));
    } else {
        QCOMPARE(why, QString());
    }
}

void TstOutputGuard::secondWriterOfANameIsRefused()
{
    QTemporaryDir tmp;
    OutputGuard first, second;
    QString why;
    QVERIFY2(first.lock(tmp.path(), "ct", &why), qPrintable(why));
    QVERIFY(QFile::exists(OutputGuard::lockFile(tmp.path(), "ct")));
    QVERIFY(!second.lock(tmp.path(), "ct", &why));
    QVERIFY2(why.contains(QStringLiteral("process %1").arg(QCoreApplication::applicationPid())), qPrintable(why));
    // Another name in the same directory is free; the first lock goes at release.
    QVERIFY2(second.lock(tmp.path(), "ct2", &why), qPrintable(why));
    first.release();
    QVERIFY(!QFile::exists(OutputGuard::lockFile(tmp.path(), "ct")));
    QVERIFY2(second.lock(tmp.path(), "ct", &why), qPrintable(why));
}

void TstOutputGuard::lockOfAnEndedProcessIsTakenOver()
{
    QTemporaryDir tmp;
    // Beyond the kernel's largest process id: a process that is gone.
    QFile lock(OutputGuard::lockFile(tmp.path(), "ct"));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(qint64(999999)) + "\nzuvo2-recon\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();
    OutputGuard g;
    QString why;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("left by process 999999 .*taken over"));
    QVERIFY2(g.lock(tmp.path(), "ct", &why), qPrintable(why));
}

QTEST_GUILESS_MAIN(TstOutputGuard)
#include "tst_outputguard.moc"
