#pragma once
// The colour scale of a display: limits [vMin, vMax] stretched over the bar
// and a window [cMin, cMax] of the bar's height spread over the 256 greys.
// Renderers in other threads call level(); the four scale values are
// atomics so that those reads never race with a drag in the GUI thread.
#include "ColorScale.h"
#include "ColorSnapshot.h"
#include "DispA.h"
#include "DrawText.h"
#include "ui_CBarUI.h"

#include <atomic>
#include <memory>

class ColorBar : public DispA, public ColorScale
{
    Q_OBJECT
public:
    explicit ColorBar(QWidget* parent = nullptr);
    ~ColorBar() override;

    int level(double v) const override;
    void levelRow(const double* v, uchar* out, int n) const override;
    bool isFixed() const override;
    void autoMinMax(double min, double max) override;
    void setMinMaxForced(double min, double max);
    // The scale as it stands now, for drawing elsewhere.
    ColorSnapshot snapshot() const;
    // With a factor above 0 the bar's labels give value x factor in 1/cm
    // (mu of a slice whose pixel size is known); 0 shows the values.
    void setUnitFactor(double f);
    double unitFactor() const { return perCm; }
    // The text the bar draws for value v.
    QString labelText(double v) const;

    double getVMin() const { return vMin.load(std::memory_order_relaxed); }
    double getVMax() const { return vMax.load(std::memory_order_relaxed); }
    double getCMin() const { return cMin.load(std::memory_order_relaxed); }
    double getCMax() const { return cMax.load(std::memory_order_relaxed); }

    // Frame that carries the control panel until a display adopts "CBarUIBase".
    std::unique_ptr<QFrame> uiFrame;
    Ui_CBarUI ui;
    DrawText drawText;
    std::atomic<double> vMin{0};
    std::atomic<double> vMax{1};
    std::atomic<double> cMin{0};
    std::atomic<double> cMax{1};
    bool dragging = false;
    std::atomic<double>* handle = &cMin;

signals:
    void newBar();

public slots:
    void draw1(QPainter* p);
    void onMouseMoved();
    void onMousePressed();
    void onMouseReleased();
    void minVEdited();
    void maxVEdited();
    void setFixColorScale(bool f);

private slots:
    void showLimits(double min, double max);

private:
    void setLimits(double min, double max);

    double perCm = 0;
    // Mirror of the "CFix" check state, readable from any thread.
    std::atomic<bool> fixed{false};
};
