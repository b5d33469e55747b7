#include "CtDisplays.h"

#include "CtCalc2Ui.h"
#include "CtRun.h"
#include "PopDockBase.h"
#include "SessionHost.h"

#include <QGridLayout>
#include <QTabWidget>

CtDisplays::CtDisplays(SessionHost& h, QTabWidget* tabWidget, QObject* parent)
    : QObject(parent), host(h), tabs(tabWidget)
{
    CtRun& run = host.session().run();
    ct1Panel.setCalc(&run.ct1());
    connectRegions(&ct1Panel);
    firstTab = tabs->count();
    for (int i = 0; i < run.count(); ++i) {
        auto* page = new QWidget;
        auto* grid = new QGridLayout(page);
        grid->setContentsMargins(2, 2, 2, 2);
        auto* base = new PopDockBase(page);
        grid->addWidget(base, 0, 0);
        tabs->addTab(page, tr("CT2 %1").arg(i + 1));
        auto* p = new CtCalc2Ui;
        p->setCalc(run.worker(i));
        base->setContent(p, tr("CT Calc2 %1").arg(i + 1));
        connectRegions(p);
        ct2Panels << p;
    }
    // The displays publish their state to the run when a slice is dealt.
    run.viewOf = [this](int i) {
        const CtCalcBase* p = i < 0 ? static_cast<const CtCalcBase*>(&ct1Panel) : ct2Panels.value(i);
        return p ? p->view() : CtView();
    };
}

void CtDisplays::connectRegions(CtCalcBase* p)
{
    connect(p, &CtCalcBase::cRUpdated, this, [this, p](double x0, double z0, double x1, double z1) {
        spreadCalcRegion(p, {x0, z0, x1, z1});
    });
    connect(p, &CtCalcBase::dRUpdated, this, [this, p](double x0, double z0, double x1, double z1) {
        spreadDisplayRegion(p, {x0, z0, x1, z1});
    });
}

QList<CtCalcBase*> CtDisplays::panels(QObject* except) const
{
    QList<CtCalcBase*> out;
    if (static_cast<const QObject*>(&ct1Panel) != except)
        out << const_cast<CtCalc*>(&ct1Panel);
    for (CtCalc2Ui* p : ct2Panels)
        if (p != except)
            out << p;
    return out;
}

bool CtDisplays::calcRegion(CtRegion* r) const
{
    *r = ct1Panel.calcRegion();
    return ct1Panel.regionSet;
}

void CtDisplays::setRegions(const CtRegion& r)
{
    setDisplayRegion(r);
    setCalcRegion(r);
}

void CtDisplays::spreadDisplayRegion(QObject* except, const CtRegion& r)
{
    host.session().state.displayRegion = r;
    for (CtCalcBase* p : panels(except))
        p->setDR(r.x0, r.z0, r.x1, r.z1);
}

void CtDisplays::spreadCalcRegion(QObject* except, const CtRegion& r)
{
    for (CtCalcBase* p : panels(except))
        p->setCR(r.x0, r.z0, r.x1, r.z1);
}

void CtDisplays::fixColours(bool on)
{
    const SessionState::ColourRange& c = host.session().state.colour;
    for (CtCalcBase* p : panels(nullptr)) {
        p->setFixColorScale(on);
        if (on)
            p->setCBarMinMaxForced(c.min, c.max);
    }
}

void CtDisplays::showTabsInUse()
{
    const int used = host.ct2DisplaysInUse();
    for (int i = 0; i < ct2Panels.size(); ++i)
        tabs->setTabVisible(firstTab + i, i < used);
}
