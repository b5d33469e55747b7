#pragma once
// A list of projection image files, new or added, optionally one file many times.
#include "SessionState.h"
#include "ui_SelectDataFiles.h"

#include <QFrame>
#include <QStringList>

class QButtonGroup;
class QFileDialog;

class SelectDataFiles : public QFrame
{
    Q_OBJECT
public:
    explicit SelectDataFiles(QWidget* parent = nullptr);
    ~SelectDataFiles() override;

    void addEntry(QString fname);
    // Empties the list only; the files stay loaded (the owner replaces the
    // list once a new series is in).
    void clearList();
    // Hands files over with filesSelected (New: they are to replace the
    // list, Add: to extend it); the list itself is the owner's to change.
    void takeFiles(QStringList files);
    QFileDialog* fileDialog() { return dialog; }
    void setTitle(const QString& title);
    // The buttons that change the list take requests, or not.
    void enableChoosing(bool on);
    // How chosen files join the series: shown here, and handed back by
    // optionsEdited on every edit of a control.
    void showOptions(const SessionState::SeriesOptions& o);
    const SessionState::SeriesOptions& options() const { return opts; }

signals:
    void currentIndexChanged(int idx);
    void filesSelected(const QStringList& files, bool newFile);
    void filesCleared();
    void optionsEdited(const SessionState::SeriesOptions& o);

public slots:
    // The list and, through filesCleared, what was loaded from it.
    void clearFiles();
    void prev();
    void next();
    void select(int idx);

private:
    Ui::SelectDataFiles ui;
    int multiCount() const;
    void edited();

    SessionState::SeriesOptions opts;
    // The controls are being set from opts: no edit to hand back.
    bool showing = false;

    QFileDialog* dialog = nullptr; // no parent; deleted here
    QButtonGroup* newOrAdd = nullptr;
};
