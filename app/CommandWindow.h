#pragma once
// What batch words ask of the window rather than of the session: showing a
// tab, an image or the sweep, saving a display's picture, the XAFS tab's
// views, and the region the CT displays share.  The window implements it;
// NoWindow stands in for it without one.
#include "BatchArgs.h"
#include "CtRegion.h"
#include "Failures.h"

#include <QString>
#include <QStringList>

class XafsJob;
struct XafsRoi;

class CommandWindow
{
public:
    virtual ~CommandWindow() = default;

    // Only about the window.  False with *why when refused.
    virtual bool showTab(int index, const QString& noSuchTab, QString* why) = 0;
    virtual bool showCt2(int display, QString* why) = 0;
    virtual bool showXafs(QString* why) = 0;
    // The picture of a.display (a.integer: the CT2 number) into a.text.
    virtual bool saveDisplay(const BatchArgs& a, Failures::Kind* kind, QString* why) = 0;
    // Projection `index` in the raw display.
    virtual void showImage(int index) = 0;
    // The sweep's window, when the main window shows.
    virtual void showSweep() = 0;
    // The last sweep's grid picture at file (empty: beside the saved
    // pictures or data files, nothing when neither is saved).
    virtual bool saveSweep(const QString& file, QString* why) = 0;
    // The XAFS tab's job (null: none), its redraw, a region and a view.
    virtual XafsJob* xafsJob() = 0;
    virtual void xafsChanged() = 0;
    virtual void xafsRegionAdded(const XafsRoi& roi) = 0;
    virtual void showXafsView(int view) = 0;
    // The calculation region the CT displays share; false while none is set
    // (a run then reconstructs the whole image).
    virtual bool calcRegion(CtRegion* r) const = 0;
    // Display and calculation region of every CT display.
    virtual void setRegions(const CtRegion& r) = 0;
};
