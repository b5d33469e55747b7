#pragma once
// What the two CT result panels share: the form with its result display,
// the display and calculation regions kept in step with the other panels,
// and the time and slice read-outs.
#include "CtJob.h"
#include "CtRegion.h"
#include "ui_CtCalc.h"

#include <QDateTime>
#include <QFrame>
#include <QImage>
#include <QRectF>

class ColorBar;

class CtCalcBase : public QFrame
{
    Q_OBJECT
public:
    explicit CtCalcBase(QWidget* parent = nullptr);

    // The calculation region as the fields hold it.
    CtRegion calcRegion() const;
    CtRegion dispRegion() const;
    // What the next slice shown here is made with: the calculation region
    // (or the whole image while none is set), the colour scale and the part
    // of the image the display shows.
    CtView view() const;
    // The result display with its colour bar and value read-out.
    ImgDispWPV* display() const { return ui.DispCt; }

    ColorBar* cbar = nullptr;
    QDateTime startTime;
    QDateTime endTime;
    // The calculation region has been set since construction.
    bool regionSet = false;
    // Factor from the shown slice's values to mu in 1/cm; 0: no pixel size.
    double valueToPerCm = 0;

    // A field's text as a double, 0 when it is not a number.
    static double fieldValue(const QLineEdit* field);

signals:
    void dRUpdated(double rx0, double rz0, double rx1, double rz1);
    void cRUpdated(double rx0, double rz0, double rx1, double rz1);

public slots:
    void noticedNewS(QRectF s);
    void setCRegion();
    void showStartTime();
    void showEndTime();
    void showSpentT();
    // The same with the times taken where the work ran.
    void showStartTimeAt(const QDateTime& t);
    void showEndTimeAt(const QDateTime& t);
    void showSliceNo(int no);
    // The display takes img; it repaints when show is set.
    void takeImage(const QImage& img, bool show);
    void setCR(double rx0, double rz0, double rx1, double rz1);
    void setDR(double rx0, double rz0, double rx1, double rz1);
    void setFixColorScale(bool f);
    void setCBarMinMaxForced(double min, double max);
    // The value read-out, with mu in 1/cm when a pixel size is known.
    void showValue(double v);
    // The colour bar labelled in 1/cm when a pixel size is known.
    void showUnits();

protected:
    Ui::CtCalc& form() { return ui; }
    const Ui::CtCalc& form() const { return ui; }

private:
    Ui::CtCalc ui;
    // Writes the four values; true when any field now reads differently.
    static bool changeFields(QLineEdit* f0, QLineEdit* f1, QLineEdit* f2, QLineEdit* f3,
                             double v0, double v1, double v2, double v3);
};
