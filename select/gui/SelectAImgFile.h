#pragma once
// One image file (I0, BG) with its exposure time; each loaded image is shown
// in a display window of its own.
#include "ImgDispWPV.h"
#include "SelectAFile.h"
#include "ui_SelectAImgFile.h"

class ImgData;

class SelectAImgFile : public SelectAFile, public Ui_SelectAImgFile
{
    Q_OBJECT
public:
    explicit SelectAImgFile(QWidget* parent = nullptr);
    ~SelectAImgFile() override;

    ImgData* image() const { return img; }
    ImgDispWPV* display() { return &disp; }

    // The current image; owned here, null when none. The image set reads it
    // through a reference to this pointer.
    ImgData* img = nullptr;

public slots:
    void noticedNewPos(double x, double y);
    void clear();
    void setExpTime(double time);

private slots:
    void loadImage(QString fname);

private:
    ImgDispWPV disp; // no parent: a window of its own
    double defaultExpTime = 0.05;
};
