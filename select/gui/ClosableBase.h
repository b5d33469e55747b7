#pragma once
// A window frame that tells its owner when the operator closes it.
#include <QFrame>

class ClosableBase : public QFrame
{
    Q_OBJECT
public:
    explicit ClosableBase(QWidget* parent = nullptr) : QFrame(parent) {}

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* e) override;
};
