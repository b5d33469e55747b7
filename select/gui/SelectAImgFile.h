#pragma once
// A set of image files (I0, BG) with their exposure time: one file, or
// several taken alike whose pixel-by-pixel mean is used. The image is shown
// in a display window of its own.
#include "ImgDispWPV.h"
#include "SelectAFile.h"
#include "ui_SelectAImgFile.h"

#include <QStringList>

#include <memory>
#include <vector>

class ImgData;
class QLabel;
class QPushButton;

class SelectAImgFile : public SelectAFile, public Ui_SelectAImgFile
{
    Q_OBJECT
public:
    explicit SelectAImgFile(QWidget* parent = nullptr);
    ~SelectAImgFile() override;

    ImgData* image() const { return img; }
    ImgDispWPV* display() { return &disp; }
    // Files of the set, in the order they were given.
    QStringList files() const;
    int imageCount() const { return int(sources.size()); }

    // Replaces the set with files. When one does not load, or their sizes
    // differ, the set is kept and the failure counted naming the file; the
    // file's name is then shown, so a run refuses the set. False then, or
    // when refused by `locked`.
    bool selectFiles(const QStringList& files);
    // Appends files to the set (an empty set: as selectFiles). A file that
    // does not load or differs in size from the set is refused the same way.
    bool addFiles(const QStringList& files);

    // The image the set stands for: its only image or the mean of all; null
    // when none. Owned here; the image set reads it through a reference to
    // this pointer.
    ImgData* img = nullptr;
    QPushButton* Add = nullptr;

public slots:
    void noticedNewPos(double x, double y);
    void clear();
    void setExpTime(double time);

private slots:
    void loadImage(QString fname);
    void chosen(const QStringList& files);

private:
    bool take(const QStringList& files, bool append);
    void showSet();

    ImgDispWPV disp; // no parent: a window of its own
    double defaultExpTime = 0.05;
    std::vector<std::unique_ptr<ImgData>> sources;
    std::unique_ptr<ImgData> mean;  // with more than one source
    QString failedName;             // shown instead of the set's first file
    QLabel* countLabel = nullptr;
    bool adding = false;            // the dialog was opened by Add
};
