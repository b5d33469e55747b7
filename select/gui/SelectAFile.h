#pragma once
// One file to read (mode 0) or a place to write (mode 1).
#include "ui_SelectAFile.h"

#include <QFileDialog>
#include <QFrame>

#include <functional>

class SelectAFile : public QFrame
{
    Q_OBJECT
public:
    explicit SelectAFile(QWidget* parent = nullptr);
    ~SelectAFile() override;

    void setMode(int m);
    int getMode() const { return mode; }
    void setPath(QString path);
    QFileDialog* fileDialog() { return &dialog; }
    // The path, name and tag fields, which the owner binds to its settings.
    QLineEdit* pathField() const { return ui.FilePath; }
    QLineEdit* nameField() const { return ui.Name; }
    QLineEdit* tagField() const { return ui.AddTag; }
    // The buttons that change the file take requests, or not.
    virtual void enableChoosing(bool on);
    // When set and true for a request (its description), the file is
    // neither replaced nor cleared: a reader still uses it.
    std::function<bool(const QString& what)> locked;

signals:
    void fileSelected(QString fname);
    void clear();

public slots:
    void fileSelected0(QString fname);
    void clear0();

protected:
    Ui::SelectAFile ui;
    int mode = 0;
    QFileDialog dialog; // no parent: a window of its own, shown non-modally
};
