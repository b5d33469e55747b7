#pragma once
// The selector of a reference image (I0, BG) with its exposure time: shows
// the set (one file, or the mean of several) held by the session and hands
// it the files chosen.  The image is shown in a display window of its own.
#include "ImgDispWPV.h"
#include "ReferenceSet.h"
#include "SelectAFile.h"
#include "ui_SelectAImgFile.h"

#include <QStringList>

#include <memory>
#include <vector>

class ImgData;
class QLabel;
class QPushButton;

class SelectAImgFile : public SelectAFile
{
    Q_OBJECT
public:
    explicit SelectAImgFile(QWidget* parent = nullptr);
    ~SelectAImgFile() override;

    ImgData* image() const { return set->img; }
    // The set shown and changed from now on (the session's); until then the
    // panel has one of its own.
    void useSet(ReferenceSet* shared);
    // Shows the set after someone else changed it: names, count, and the
    // picture when the image is another; an emptied set takes the default
    // exposure time again, as Clear does.
    void refresh();
    ImgDispWPV* display() { return &disp; }
    // Files of the set, in the order they were given.
    QStringList files() const { return set->files(); }
    int imageCount() const { return set->count(); }

    // Replaces the set with files. When one does not load, or their sizes
    // differ, the set is kept and the failure counted naming the file; the
    // file's name is then shown, so a run refuses the set. False then, or
    // when refused by `locked`.
    bool selectFiles(const QStringList& files);
    // Appends files to the set (an empty set: as selectFiles). A file that
    // does not load or differs in size from the set is refused the same way.
    bool addFiles(const QStringList& files);

    // The exposure time as typed.
    QLineEdit* expTimeField() const { return imgUi.ExpTimeLE; }
    void enableChoosing(bool on) override;

    QPushButton* Add = nullptr;

public slots:
    void noticedNewPos(double x, double y);
    void clear();
    void setExpTime(double time);

private slots:
    void loadImage(QString fname);
    void chosen(const QStringList& files);

private:
    Ui::SelectAImgFile imgUi;
    bool take(const QStringList& files, bool append);
    void showSet();

    ReferenceSet own;
    ReferenceSet* set = &own;
    const ImgData* shown = nullptr; // the image the display was drawn from
    ImgDispWPV disp; // no parent: a window of its own
    double defaultExpTime = 0.05;
    QLabel* countLabel = nullptr;
    bool adding = false;            // the dialog was opened by Add
};
