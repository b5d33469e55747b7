#pragma once
// The last mouse and wheel events of a paint area. Readers use the fields.
#include <QObject>

class QMouseEvent;
class QWheelEvent;

class MouseC : public QObject
{
    Q_OBJECT
public:
    // Button (left 0, right 8) plus modifier code; any other button NoStat.
    enum MStat {
        L = 0, LS, LC, LA, LSC, LSA, LCA, LSCA,
        R, RS, RC, RA, RSC, RSA, RCA, RSCA,
        NoStat
    };
    Q_ENUM(MStat)

    explicit MouseC(QObject* parent = nullptr);

    static MStat stat(int button, int modifiers);

    void captureMove(QMouseEvent* e);
    void capturePress(QMouseEvent* e);
    void captureRelease(QMouseEvent* e);
    void captureDClick(QMouseEvent* e);
    void captureWheel(QWheelEvent* e);

    int prevX = 0, prevY = 0;
    int x = 0, y = 0;
    int pressX = 0, pressY = 0;
    int releaseX = 0, releaseY = 0;
    int dClickX = 0, dClickY = 0;
    bool pressed = false;
    int button = 0;
    int pressButton = 0, releaseButton = 0, dClickButton = 0;
    int modifiers = 0;
    int pressModifiers = 0, releaseModifiers = 0, dClickModifiers = 0;
    double wheelSteps = 0;
    double zoomFactor = 1;

signals:
    void mMoved();
    void mPressed();
    void mReleased();
    void mDClicked();
};
