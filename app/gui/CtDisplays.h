#pragma once
// The CT result displays: CT1's and one per CT2 worker, each CT2 display in
// an image tab of its own.  They share the display and calculation regions
// (a change in one reaches the others) and the fixed colour range, and each
// hands a run its view when a slice is dealt.  Only the tabs of the workers
// a run would use show.
#include "CtCalc.h"
#include "CtRegion.h"

#include <QList>
#include <QObject>

class CtCalc2Ui;
class CtCalcBase;
class QTabWidget;
class SessionHost;

class CtDisplays : public QObject
{
    Q_OBJECT
public:
    // The CT2 tabs are added to tabs now, one per worker of host's run.
    CtDisplays(SessionHost& host, QTabWidget* tabs, QObject* parent = nullptr);

    CtCalc* ct1() { return &ct1Panel; }
    // Worker i's display, or null.
    CtCalc2Ui* ct2(int i) const { return ct2Panels.value(i); }
    // The tab of worker i's display.
    int ct2Tab(int i) const { return firstTab + i; }
    // The calculation region the displays share; false while none is set.
    bool calcRegion(CtRegion* r) const;
    // Every display's display region, calculation region, or both.
    void setDisplayRegion(const CtRegion& r) { spreadDisplayRegion(nullptr, r); }
    void setCalcRegion(const CtRegion& r) { spreadCalcRegion(nullptr, r); }
    void setRegions(const CtRegion& r);
    // Every display keeps the session's colour range (on), or follows its slices.
    void fixColours(bool on);
    // Only the CT2 tabs of the workers a run uses show.
    void showTabsInUse();

private:
    // Every display but except (the one that announced the change).
    QList<CtCalcBase*> panels(QObject* except) const;
    void spreadDisplayRegion(QObject* except, const CtRegion& r);
    void spreadCalcRegion(QObject* except, const CtRegion& r);
    void connectRegions(CtCalcBase* p);

    SessionHost& host;
    QTabWidget* tabs;
    CtCalc ct1Panel;
    QList<CtCalc2Ui*> ct2Panels;
    int firstTab = -1;
};
