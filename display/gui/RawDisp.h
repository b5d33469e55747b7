#pragma once
// The main window's raw-image display; its own type lets the window tell
// it apart from the other displays.
#include "ImgDispWPV.h"

class RawDisp : public ImgDispWPV
{
    Q_OBJECT
public:
    explicit RawDisp(QWidget* parent = nullptr) : ImgDispWPV(parent) {}
};
