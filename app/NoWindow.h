#pragma once
// What the batch words that need a window do when there is none (`zuvo2
// -nw`): words that only show something succeed and do nothing; a tab or CT2
// display that the window would not have is refused as the window refuses
// it; the centre sweep's picture is drawn by the core; a display's picture
// cannot be saved.  It also keeps what the CT displays would hold for a run:
// the shared calculation region (set by the first slice, by a batch word or
// by a load) and the colour scale, so runs get the views the window gives.
#include "CommandWindow.h"
#include "CtJob.h"

#include <QObject>

class SessionHost;

class NoWindow : public QObject, public CommandWindow
{
    Q_OBJECT
public:
    explicit NoWindow(SessionHost& host);

    bool showTab(int index, const QString& noSuchTab, QString* why) override;
    bool showCt2(int display, QString* why) override;
    bool showXafs(QString*) override { return true; }
    bool saveDisplay(const BatchArgs& a, Failures::Kind* kind, QString* why) override;
    void showImage(int) override {}
    void showSweep() override {}
    bool saveSweep(const QString& file, QString* why) override;
    XafsJob* xafsJob() override;
    void xafsChanged() override {}
    void xafsRegionAdded(const XafsRoi&) override {}
    void showXafsView(int) override {}
    bool calcRegion(CtRegion* r) const override;
    void setRegions(const CtRegion& r) override;

    // The view a CT display would hand a run: region, colour scale, the part
    // a saved picture holds.
    CtView view() const;

private:
    // The window's tabs: the raw, sinogram, CT1, I0 and BG images, one per
    // slice worker, then the XAFS tab.
    static constexpr int fixedTabs = 5;

    SessionHost& host;
    bool regionSet = false;
    CtRegion region;
};
