#pragma once
// Shows how the I0 of one image kind is given: a value, or an XAFS file with
// the energy pattern of the image file names; hands every edit back.
#include "SessionState.h"
#include "ui_I0ofImage.h"

#include <QFrame>

class I0ofImage : public QFrame
{
    Q_OBJECT
public:
    explicit I0ofImage(QWidget* parent = nullptr);

    void setTitle(const QString& title) { ui.Title->setText(title); }
    // The value is shown with six significant digits, as every number field.
    void showSource(const SessionState::I0Source& s);
    const SessionState::I0Source& source() const { return shown; }

signals:
    void edited(const SessionState::I0Source& s);

private:
    void changed();

    Ui::I0ofImage ui;
    SessionState::I0Source shown;
    // The controls are being set from shown: no edit to hand back.
    bool showing = false;
};
