// The window as an operator meets it on a laptop and on a full-HD screen, in
// English and Japanese, with a series and an XAFS stack loaded: every tab in
// turn, looking at where its widgets really are.
#include "Body.h"
#include "CtFiles.h"
#include "FieldWidth.h"
#include "ImgDispWCBar.h"
#include "SampleWriter.h"
#include "WindowFit.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTabBar>
#include <QTranslator>
#include <QtTest>

#include <vector>

namespace {
void exec(Body& b, const QString& line)
{
    b.sessionHost().runCommand(BatchCmd(line));
    QVERIFY(QTest::qWaitFor([&] { return !b.isLoading(); }, 60000));
}

QString where(const QWidget* w)
{
    QStringList path;
    for (const QWidget* p = w; p && !p->isWindow(); p = p->parentWidget())
        path.prepend(p->objectName().isEmpty() ? QString::fromLatin1(p->metaObject()->className()) : p->objectName());
    return path.join('/');
}

// Widgets a person sees: shown, with some size, inside the window.
bool seen(const QWidget* w, const QWidget* window)
{
    return w->isVisibleTo(window) && w->isVisible() && w->width() > 0 && w->height() > 0;
}

// Everything wrong with the widgets of window as it is shown now.
QStringList faults(const QWidget* window)
{
    QStringList f;
    for (const QWidget* w : window->findChildren<QWidget*>()) {
        if (!seen(w, window) || w->isWindow())
            continue;
        // A scroll area of controls may scroll down, never sideways.
        if (const auto* area = qobject_cast<const QScrollArea*>(w)) {
            if (area->horizontalScrollBar()->maximum() > 0)
                f << QString("%1 scrolls sideways by %2 px").arg(where(w)).arg(area->horizontalScrollBar()->maximum());
            continue;
        }
        const QWidget* p = w->parentWidget();
        // Inside a scroll area's viewport the area itself is judged.
        if (!p || (p->parentWidget() && qobject_cast<const QAbstractScrollArea*>(p->parentWidget())))
            continue;
        if (w->x() < 0 || w->geometry().right() > p->width() - 1)
            f << QString("%1 lies outside its parent horizontally (%2 to %3 of %4)")
                     .arg(where(w)).arg(w->x()).arg(w->geometry().right()).arg(p->width());
    }
    // The read-out rows: no field over another, each wide enough for its widest value.
    for (const ImgDispWCBar* d : window->findChildren<ImgDispWCBar*>()) {
        if (!seen(d, window))
            continue;
        QList<const QWidget*> parts;
        for (const QWidget* w : d->findChildren<QWidget*>())
            if (seen(w, window) && (qobject_cast<const QLabel*>(w) || qobject_cast<const QLineEdit*>(w)
                                    || qobject_cast<const QAbstractButton*>(w))
                && !qobject_cast<const QLineEdit*>(w->parentWidget()))
                parts << w;
        for (int i = 0; i < parts.size(); ++i) {
            const QRect a(parts[i]->mapTo(d, QPoint(0, 0)), parts[i]->size());
            if (a.height() < parts[i]->minimumSizeHint().height())
                f << QString("%1 is squeezed to %2 px high").arg(where(parts[i])).arg(a.height());
            for (int j = i + 1; j < parts.size(); ++j)
                if (a.intersects(QRect(parts[j]->mapTo(d, QPoint(0, 0)), parts[j]->size())))
                    f << QString("%1 overlaps %2").arg(where(parts[i]), where(parts[j]));
        }
    }
    // Every field shows the widest value it holds whole.
    for (const QLineEdit* e : window->findChildren<QLineEdit*>()) {
        const QString widest = e->property("widestText").toString();
        if (seen(e, window) && !widest.isEmpty() && e->fontMetrics().horizontalAdvance(widest) > FieldWidth::roomIn(e))
            f << QString("%1 cuts its widest value").arg(where(e));
    }
    return f;
}
} // namespace

class TstWindowFit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void everyTabFits_data();
    void everyTabFits();

private:
    QTemporaryDir dir;
};

void TstWindowFit::initTestCase()
{
    SampleWriter w(SampleOptions::small(dir.filePath("ct"), 160, 24, 40));
    QVERIFY2(w.valid() && w.write(), qPrintable(w.error()));
    // A stack of a slice over five energies for the XAFS tab.
    QVERIFY(QDir(dir.path()).mkpath("stack"));
    for (double e : {7100.0, 7110.0, 7120.0, 7130.0, 7140.0}) {
        std::vector<double> img(64 * 64);
        for (size_t i = 0; i < img.size(); ++i)
            img[i] = double(i % 64) * (e > 7115 ? 2.0 : 1.0) + 12345.678;
        QVERIFY(CtFiles::saveData(dir.filePath(QString("stack/S-%1eV-00001.dat").arg(e)), img.data(), 64, 0, 0, 63, 63));
    }
}

void TstWindowFit::everyTabFits_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<bool>("japanese");
    for (const QSize s : {QSize(1366, 768), QSize(1920, 1080)})
        for (const bool ja : {false, true})
            QTest::addRow("%dx%d %s", s.width(), s.height(), ja ? "ja" : "en") << s << ja;
}

void TstWindowFit::everyTabFits()
{
    // The first size: a laptop screen is filled, a larger one not exceeded.
    QCOMPARE(WindowFit::firstSize(QSize(1366, 768)), QSize(1366, 768));
    QVERIFY(WindowFit::firstSize(QSize(1920, 1080)).boundedTo(QSize(1920, 1080)) == WindowFit::firstSize(QSize(1920, 1080)));
    QFETCH(QSize, screen);
    QFETCH(bool, japanese);
    QTranslator ja;
    if (japanese) {
        QVERIFY(ja.load(QStringLiteral(":zuvo2_ja_JP")));
        QCoreApplication::installTranslator(&ja);
    }
    {
        Body body;
        for (const QString& c : {QString("ct_rot_ax_is_v 1"), "images_load \"" + dir.filePath("ct") + "\" ct-*.img",
                                 "i0_load \"" + dir.filePath("ct/i0/I0.img") + "\"", QString("ct_cor 80"),
                                 QString("ct_proc_slice 12"), QString("ct_auto_gen_sinogram 1"), QString("add_inf_show 1"),
                                 "xafs_stack_load \"" + dir.filePath("stack") + "\" S-*.dat"})
            exec(body, c);
        body.resize(screen);
        body.show();
        QVERIFY(QTest::qWaitForWindowExposed(&body));
        QStringList found;
        for (int t = 0; t < body.findChild<QTabWidget*>(QStringLiteral("ImgsTab"))->count(); ++t) {
            if (!body.findChild<QTabWidget*>(QStringLiteral("ImgsTab"))->isTabVisible(t))
                continue;
            body.findChild<QTabWidget*>(QStringLiteral("ImgsTab"))->setCurrentIndex(t);
            QCoreApplication::processEvents();
            // No tab widens the window past the screen it opened on.
            if (body.width() > screen.width())
                found << QString("tab %1 widens the window to %2").arg(body.findChild<QTabWidget*>(QStringLiteral("ImgsTab"))->tabText(t)).arg(body.width());
            for (const QString& f : faults(&body))
                found << body.findChild<QTabWidget*>(QStringLiteral("ImgsTab"))->tabText(t) + ": " + f;
        }
        // The pictures keep a usable width, and every tab's caption shows
        // without the tab bar's scroll arrows.
        QVERIFY2(body.findChild<QTabWidget*>(QStringLiteral("ImgsTab"))->width() >= 650, qPrintable(QString::number(body.findChild<QTabWidget*>(QStringLiteral("ImgsTab"))->width())));
        const QTabBar* bar = body.findChild<QTabWidget*>(QStringLiteral("ImgsTab"))->tabBar();
        for (int t = 0; t < bar->count(); ++t)
            if (bar->isTabVisible(t) && !bar->rect().contains(bar->tabRect(t)))
                found << QString("the tab %1 is not in view").arg(bar->tabText(t));
        // The message panel shows four lines at least.
        const auto* messages = body.findChild<QWidget*>("Messages");
        QVERIFY(messages);
        QVERIFY2(messages->height() >= 4 * messages->fontMetrics().lineSpacing(),
                 qPrintable(QString::number(messages->height())));
        found.removeDuplicates();
        QVERIFY2(found.isEmpty(), qPrintable(found.join('\n')));
    }
    QCoreApplication::removeTranslator(&ja);
}

QTEST_MAIN(TstWindowFit)
#include "tst_windowfit.moc"
