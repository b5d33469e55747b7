#pragma once
// Hosts one widget either docked in the panel or in a window of its own.
#include "ClosableBase.h"
#include "ui_PopDockBase.h"

#include <QFrame>
#include <QPointer>

class PopDockBase : public QFrame
{
    Q_OBJECT
public:
    explicit PopDockBase(QWidget* parent = nullptr);
    ~PopDockBase() override;

    void setContent(QWidget* w, QString title);
    QWidget* getContent() const { return content; }
    ClosableBase* popWindow() { return &popWin; }

public slots:
    void popDock();
    void moveToDockBase();
    void moveToPopBase();

private:
    Ui::PopDockBase ui;
    // Not owned: guarded so a content deleted by its owner is not touched.
    QPointer<QWidget> content;
    ClosableBase popWin;
};
