#pragma once
// The session's values in the window's controls: each control writes its
// value into the session's settings or state now and on every edit (the runs
// take them from there; nothing is read back from a control's text), and a
// value set from outside (a batch word, a centre found, a load) is shown in
// its control.  The calculator buttons exclude each other, choosing CT1 ends
// a series and a series chooses CT2.
#include "SessionState.h"

#include <QObject>

class CtDisplays;
class QAbstractButton;
class QButtonGroup;
class Session;
namespace Ui {
class Body;
}

class SessionControls : public QObject
{
    Q_OBJECT
public:
    SessionControls(Ui::Body& ui, Session& session, CtDisplays& displays, QObject* parent = nullptr);

private:
    void bindSettings();
    void bindState();
    // A setting or a state part changed from outside: its control shows it.
    void showSetting(const QString& key);
    void showState(SessionState::Part part);
    // With the scale fixed, the CT displays follow ColorMin and ColorMax at once.
    void applyFixedColours();
    // A batch program may clear the checked calculator (none is chosen then).
    void selectCt(QAbstractButton* button, bool on);

    Ui::Body& ui;
    Session& session;
    CtDisplays& displays;
    QButtonGroup* ctSelGroup = nullptr;
};
