#include "NoWindow.h"

#include "CtFiles.h"
#include "Logging.h"
#include "SessionHost.h"
#include "SliceStepper.h"

#include <QFont>

#include <cmath>

namespace {
const char* displayName(BatchArgs::Display d)
{
    switch (d) {
    case BatchArgs::Raw: return "raw image";
    case BatchArgs::Sinogram: return "sinogram";
    case BatchArgs::Ct1: return "CT1";
    case BatchArgs::Ct2: return "CT2";
    case BatchArgs::I0: return "I0 image";
    case BatchArgs::Bg: return "BG image";
    }
    return "display";
}
} // namespace

NoWindow::NoWindow(SessionHost& h) : host(h)
{
    Session& s = host.session();
    CtRun& run = s.run();
    run.viewOf = [this](int) { return view(); };
    // A batch word's region is every display's.
    connect(&s, &Session::settingChanged, this, [this, &s](const QString& key) {
        if (key == QLatin1String("region"))
            setRegions(s.settings.region);
    });
    // The first slice made on the whole image sets the region to it, as a CT display does.
    connect(&run, &CtRun::sliceFinished, this, [this](const CtResult& r) {
        if (!regionSet && r.ok() && r.job.view.wholeImage)
            setRegions({0, 0, double(r.data->n), double(r.data->n)});
    });
    SliceStepper* ct1 = &run.ct1();
    connect(ct1, &SliceStepper::started, this, [this, ct1] {
        if (!regionSet)
            setRegions({0, 0, double(ct1->side()), double(ct1->side())});
    });
}

bool NoWindow::showTab(int index, const QString& noSuchTab, QString* why)
{
    const int workers = host.session().run().count();
    if (index < 0 || index >= fixedTabs + workers + 1) {
        *why = noSuchTab;
        return false;
    }
    if (index >= fixedTabs && index < fixedTabs + workers && index - fixedTabs >= host.ct2DisplaysInUse()) {
        *why = QStringLiteral("tab %1 is not in use (Threads %2)").arg(index).arg(host.session().settings.cond.threads);
        return false;
    }
    return true;
}

bool NoWindow::showCt2(int display, QString* why)
{
    const int tab = display < host.session().run().count() ? fixedTabs + display : -1;
    if (tab >= 0 && display >= host.ct2DisplaysInUse()) {
        *why = QStringLiteral("CT2 display %1 is not in use (%2)").arg(display).arg(host.ct2DisplaysReason());
        return false;
    }
    return showTab(tab, QStringLiteral("no CT2 display %1").arg(display), why);
}

bool NoWindow::saveDisplay(const BatchArgs& a, Failures::Kind* kind, QString* why)
{
    // As the window refuses it.
    if (a.display == BatchArgs::Ct2 && a.integer >= host.session().run().count()) {
        *why = QStringLiteral("no CT2 display %1").arg(a.integer);
        return false;
    }
    // A display's picture is what its view shows, zoom and colour bar
    // included: no picture is written.
    *kind = Failures::Write;
    *why = QStringLiteral("the %1 display's picture needs the window; run without -nw")
               .arg(QLatin1String(displayName(a.display)));
    return false;
}

bool NoWindow::saveSweep(const QString& file, QString* why)
{
    const Session& s = host.session();
    const QString png = file.isEmpty() ? CtFiles::sweepPath(s.settings, host.session().sweep().request().slice) : file;
    if (png.isEmpty())
        return true;
    QStringList written;
    if (!host.session().sweep().save(png, QFont(), why, &written))
        return false;
    qCDebug(lcApp).noquote() << QStringLiteral("Centre sweep saved: ") + written.join(QStringLiteral(", "));
    return true;
}

XafsJob* NoWindow::xafsJob()
{
    return &host.xafsJob();
}

bool NoWindow::calcRegion(CtRegion* r) const
{
    *r = region;
    return regionSet;
}

void NoWindow::setRegions(const CtRegion& r)
{
    regionSet = true;
    region = r;
}

CtView NoWindow::view() const
{
    CtView v;
    v.wholeImage = !regionSet;
    v.region = region;
    const SessionState::ColourRange& c = host.session().state.colour;
    if (c.fixed)
        v.colours = ColorSnapshot(c.min, c.max, 0, 1, true);
    if (regionSet) {
        const double x0 = std::trunc(region.x0), z0 = std::trunc(region.z0);
        v.pictureRect = QRectF(x0, z0, std::ceil(region.x1) - x0, std::ceil(region.z1) - z0);
    }
    return v;
}
