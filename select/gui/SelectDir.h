#pragma once
// Chooses a directory through a non-modal dialog opening in the data root.
#include "ui_SelectDir.h"

#include <QFileDialog>
#include <QFrame>

class SelectDir : public QFrame
{
    Q_OBJECT
public:
    explicit SelectDir(QWidget* parent = nullptr);

    // Public so that batch commands can point it at a directory.
    QFileDialog dialog;
    // The directory shown (the last chosen or set).
    QString dirName() const;
    void setButtonText(const QString& text);

signals:
    void aDirSelected(QString dir);

public slots:
    void setDirName(QString dir);

private:
    Ui::SelectDir ui;
};
