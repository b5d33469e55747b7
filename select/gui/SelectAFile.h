#pragma once
// One file to read (mode 0) or a place to write (mode 1).
#include "ui_SelectAFile.h"

#include <QFileDialog>
#include <QFrame>

#include <functional>

class SelectAFile : public QFrame, public Ui_SelectAFile
{
    Q_OBJECT
public:
    explicit SelectAFile(QWidget* parent = nullptr);
    ~SelectAFile() override;

    void setMode(int m);
    int getMode() const { return mode; }
    void setPath(QString path);
    QFileDialog* fileDialog() { return &dialog; }
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
    int mode = 0;
    QFileDialog dialog; // no parent: a window of its own, shown non-modally
};
